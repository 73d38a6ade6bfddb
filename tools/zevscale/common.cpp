#include "common.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "console.h"
#include "line.h"
#include "process_locale.h"
#include "zev/platform/locale.h"
#include "zev/platform/ports.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {

namespace {
const char* const kPortUnavailable = "Порт недоступен";
// The driver's text when the port's own driver refuses the line settings.
const char* const kLineSettingsRefused = "Ошибка DCB-структуры";
}  // namespace

std::string Context::Kilograms(double kg) const {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f ", kg);
  return Decimal(text) + T(M::Kg);
}

const std::vector<std::string>& ModelNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const scales::ModelRow& row : scales::Models()) all.emplace_back(row.name);
    return all;
  }();
  return names;
}

std::string Context::Decimal(std::string number) const {
  // The C library writes the process's separator, which follows the user's
  // locale as in the platform's process; the user's language decides here:
  // Russian writes a decimal comma (JSON keeps the full stop).
  for (char& ch : number) {
    if (ch == '.' || ch == ',') ch = o.lang == Lang::Ru ? ',' : '.';
  }
  return number;
}

size_t CharCount(const std::string& utf8) {
  size_t chars = 0;
  for (unsigned char ch : utf8) chars += (ch & 0xC0) != 0x80;
  return chars;
}

std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        length = 0;
      }
    }
    // C0 controls, DEL and the C1 controls (U+0080 to U+009F).
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0) {
      out += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
      ++i;
    } else if (c < 0x20 || c == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(text[i + 1]) : c;
      out += std::string("\\u00") + kHex[code >> 4] + kHex[code & 15];
      i += length;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

std::string PadRight(const std::string& text, size_t width) {
  const size_t chars = CharCount(text);
  return chars >= width ? text : text + std::string(width - chars, ' ');
}

std::string JsonString(const std::string& utf8) {
  return Json(utf8).dump(-1, ' ', false, Json::error_handler_t::replace);
}

Session::Session(const host::Library& library, std::u16string_view className)
    : component_(library, mm_, &connection_, className),
      equipment_(className == u"TZEV_SCALE_4001_Class") {}

Session::Session(const host::Library& library, DriverClass driver)
    : Session(library, platform::Utf8ToUtf16(cli::ClassName(driver))) {}

std::unique_ptr<host::Call> Session::Run(std::u16string_view method,
                                         std::vector<host::tVariant> params) {
  return std::make_unique<host::Call>(component_, mm_, method, std::move(params));
}

bool Session::Set(const std::string& name, host::tVariant value) {
  return Run(u"SetParameter", {Wide(name), value})->Succeeded();
}

std::pair<int, std::string> Session::LastError() {
  auto call = Run(u"GetLastError", {host::Empty()});
  return {call->ret.lVal, TextOf(*call, 0)};
}

std::string Session::LastReport() const {
  if (connection_.Errors.empty()) return std::string();
  return platform::Utf16ToUtf8(connection_.Errors.back().description);
}

std::string Session::TextOf(const host::Call& call, size_t i) const {
  // The first class gives its texts narrow (Windows-1251), the other wide.
  return equipment_ ? call.WText(i) : call.Text(i);
}

void Session::Localize(Lang lang) {
  if (equipment_) Run(u"SetLocalization", {Wide(lang == Lang::Ru ? "ru" : "en"), Wide("")});
}

bool Session::Configure(const std::string& model, int port) {
  if (equipment_ && !Set("Connection", Wide("COM"))) return false;
  return Set("Model", Wide(model)) && Set("Port", host::Int(port));
}

bool Session::Configure(const std::string& model, const platform::TcpAddress& converter) {
  const char* connection = converter.rfc2217 ? "RFC2217" : "TCP";
  return equipment_ && Set("Model", Wide(model)) && Set("Connection", Wide(connection)) &&
         Set("Host", Wide(converter.host)) && Set("TCPPort", host::Int(converter.port));
}

bool Session::Open() {
  auto call = Run(u"Open", {host::Empty()});
  if (equipment_ && call->Succeeded()) device_ = TextOf(*call, 0);
  return call->Succeeded();
}

bool Session::Close() {
  return Run(u"Close", {Wide(device_)})->Succeeded();
}

bool Session::Weigh(double& kg) {
  auto w = Run(u"GetWeight", {Wide(device_), host::Empty()});
  if (!w->Succeeded()) return false;
  kg = w->params[1].dblVal;
  return true;
}

bool Session::Tare(double weight, bool cancel) {
  // The first class takes 0 as the cancel; the equipment library's class
  // takes 0 as the cancel too, and no value as the tare of the load.
  host::tVariant value = host::Double(cancel ? 0.0 : weight);
  if (equipment_ && !cancel && !(weight > 0)) value = host::Empty();
  return Run(u"Calibrate", {Wide(device_), value})->Succeeded();
}

bool Session::Zero() {
  // The equipment library's class offers the zero as an additional action.
  if (equipment_) return Run(u"DoAdditionalAction", {Wide("Zeroing")})->Succeeded();
  return Run(u"Zeroing")->Succeeded();
}

bool Session::Test(std::string& text) {
  auto t = Run(u"DeviceTest", {host::Empty(), host::Empty()});
  text = TextOf(*t, 0);
  return t->Succeeded();
}

std::string Session::Page() {
  return TextOf(*Run(u"GetParameters", {host::Empty()}), 0);
}

std::string AttributeOf(const std::string& xml, const std::string& name,
                        const std::string& attribute) {
  const size_t at = xml.find("Name=\"" + name + "\"");
  if (at == std::string::npos) return std::string();
  const std::string key = attribute + "=\"";
  const size_t begin = xml.find(key, at);
  const size_t end = begin == std::string::npos ? begin : xml.find('"', begin + key.size());
  if (end == std::string::npos || xml.find('>', at) < begin) return std::string();
  return xml.substr(begin + key.size(), end - begin - key.size());
}

Json Failure::ToJson() const {
  Json j;
  j["code"] = code;
  j["text"] = text;
  if (!explanation.empty()) j["explanation"] = explanation;
  j["reasons"] = reasons;
  return j;
}

std::string Failure::Line(const Context& c) const {
  return text.empty() ? c.T(M::ErrorNoText, {std::to_string(code)})
                      : c.T(M::ErrorLine, {std::to_string(code), text});
}

void Failure::Print(const Context& c) const {
  c.out.flush();
  c.err << Line(c) << "\n";
  if (!explanation.empty()) c.err << "  " << explanation << "\n";
  for (const auto& reason : reasons) c.err << "  " << reason << "\n";
}

std::string SystemWords(Lang lang, const std::string& words) {
  if (lang != Lang::Ru) return words;
  // The words alone, or at the end of a message ("x.so: cannot open shared
  // object file: No such file or directory").
  const size_t colon = words.rfind(": ");
  const size_t at =
      os::NameSystemError(words).name.empty() && colon != std::string::npos ? colon + 2 : 0;
  const os::SystemErrorName known = os::NameSystemError(words.substr(at));
  return known.name.empty() ? words : words.substr(0, at) + known.russian + " (" + known.name + ")";
}

std::string FitLine(const std::string& text, int columns) {
  // One column less than the width: a line that fills it would wrap on some
  // terminals.
  const size_t room = static_cast<size_t>(columns > 1 ? columns - 1 : 79);
  if (CharCount(text) <= room) return text;
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && ++chars == room) break;
    out += text[i];
  }
  return out + "\u2026";
}

namespace {

bool HasZero(const std::string& model) {
  const scales::ModelRow* row = ModelNamed(model);
  return row != nullptr && row->Has(scales::Command::Zero);
}

// The length of `model`'s weigh reply, which ends in CR LF.
size_t FrameLength(const std::string& model) {
  const scales::ModelRow* row = ModelNamed(model);
  return row != nullptr ? row->frame.length : 0;
}

// What is wrong with the bytes that arrived for a weigh command, when it can
// be told from their count and form; empty otherwise.
std::string ReplyDiagnosis(const Context& c, const std::string& model, const std::string& bytes) {
  const size_t frame = FrameLength(model);
  const size_t n = bytes.size();
  if (n == 0) return std::string();
  if (n < frame) {
    return c.T(M::ReplyShort, {std::to_string(n), std::to_string(frame)});
  }
  if (n > frame) {
    for (size_t at = 0; at + frame <= n; ++at) {
      if (bytes.compare(at + frame - 2, 2, "\r\n") == 0)
        return c.T(M::ReplyWholeAndMore, {std::to_string(n - frame)});
    }
    // A full read attempt (32 bytes) may be only the start of what came.
    if (n >= 32) return std::string();
    return c.T(M::ReplyLonger,
               {std::to_string(n), std::to_string(n - frame), std::to_string(frame)});
  }
  // A reply of the right length: a decimal comma among the digits.
  // The driver reads the separator of the process's locale, as the
  // platform's process has it: a comma is wrong only where that is not one.
  const char separator = platform::DecimalSeparator();
  const size_t comma = bytes.find(',');
  if (separator != ',' && comma != std::string::npos && comma > 0 && comma + 1 < n &&
      std::isdigit(static_cast<unsigned char>(bytes[comma - 1])) &&
      std::isdigit(static_cast<unsigned char>(bytes[comma + 1]))) {
    size_t from = comma, to = comma + 1;
    while (from > 0 && std::isdigit(static_cast<unsigned char>(bytes[from - 1]))) --from;
    while (to < n && std::isdigit(static_cast<unsigned char>(bytes[to]))) ++to;
    return c.T(M::ReplyComma,
               {bytes.substr(from, to - from), os::NumericLocaleName(), std::string(1, separator)});
  }
  return std::string();
}

}  // namespace

std::string PortName(const Options& o, int port) {
  const auto named = o.tcpNames.find(port);
  return named != o.tcpNames.end() ? named->second : "COM" + std::to_string(port);
}

std::optional<platform::TcpAddress> ConverterOf(const Options& o, int port) {
  const auto named = o.tcpNames.find(port);
  if (named != o.tcpNames.end()) return platform::ParseTcpAddress(named->second);
  if (port < 0 || port > 255) return std::nullopt;
  return platform::TcpEntry(static_cast<uint8_t>(port));
}

std::string ConverterUrl(const Options& o) {
  if (o.tcp.empty()) return std::string();
  const auto address = platform::ParseTcpAddress(o.tcp.front());
  return address ? address->Url() : o.tcp.front();
}

std::string TcpReason(Lang lang, platform::TcpStatus status) {
  switch (status) {
    case platform::TcpStatus::Ok:
      return "ok";
    case platform::TcpStatus::ResolveFailed:
      return Text(lang, M::TcpResolveFailed);
    case platform::TcpStatus::ResolveTimedOut:
      return Text(lang, M::TcpResolveTimedOut);
    case platform::TcpStatus::Refused:
      return Text(lang, M::TcpRefused);
    case platform::TcpStatus::TimedOut:
      return Text(lang, M::TcpTimedOut);
    case platform::TcpStatus::Unreachable:
      return Text(lang, M::TcpUnreachable);
    case platform::TcpStatus::Closed:
      return Text(lang, M::TcpClosed);
    case platform::TcpStatus::Busy:
      return Text(lang, M::TcpBusy);
    case platform::TcpStatus::NoLineControl:
      return Text(lang, M::TcpNoLineControl);
    case platform::TcpStatus::LineRefused:
      return Text(lang, M::TcpLineRefused);
    case platform::TcpStatus::Failed:
      break;
  }
  return Text(lang, M::TcpFailed);
}

platform::TcpStatus ConnectOutcome(const Context& c, int port,
                                   const platform::TcpAddress& converter, std::string& why) {
  // The reason the add-in's trace gave, else a connection of the tool's own.
  std::optional<platform::TcpStatus> status;
  const std::string traced = c.tap.LastOpen(port);
  for (int k = 1; k <= static_cast<int>(platform::TcpStatus::Failed); ++k) {
    const auto s = static_cast<platform::TcpStatus>(k);
    if (traced == platform::TcpStatusText(s)) status = s;
  }
  platform::TcpConnection probe;
  if (!status) status = probe.Connect(converter);
  why = TcpReason(c.o.lang, *status);
  // A busy converter's own words, from a connection of the tool's own (the
  // driver's was closed by the converter).
  if (status == platform::TcpStatus::Busy) {
    const std::string words = GreetingTrouble(c, Greet(converter));
    if (!words.empty()) why = words;
  }
  if (!probe.SystemError().empty() &&
      (status == platform::TcpStatus::Failed || status == platform::TcpStatus::ResolveFailed ||
       status == platform::TcpStatus::Unreachable))
    why += " (" + SystemWords(c.o.lang, probe.SystemError()) + ")";
  return *status;
}

std::string GreetingTrouble(const Context& c, const Greeting& g) {
  switch (g.What()) {
    case Greeting::Kind::Busy:
      return c.T(M::ConverterBusy, {Printable(g.Line())});
    case Greeting::Kind::Closed:
      return c.T(M::ConverterClosesAtOnce);
    case Greeting::Kind::Telnet: {
      TelnetReader telnet;
      return c.T(M::ConverterTelnet, {Shown(telnet.Read(g.bytes))});
    }
    case Greeting::Kind::Quiet:
    case Greeting::Kind::Text:
      break;
  }
  return std::string();
}

std::string NearAddress(Lang lang, const std::string& firstLine) {
  constexpr std::string_view kScheme = "tcp://", kBom = "\xEF\xBB\xBF";
  std::string line = firstLine;
  // As the add-in reads it: blanks and a CR at the end do not matter.
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  std::vector<std::string> faults;
  if (line.compare(0, kBom.size(), kBom) == 0) {
    faults.push_back(Text(lang, M::EntryBom));
    line.erase(0, kBom.size());
  }
  const size_t text = line.find_first_not_of(" \t");
  if (text != 0 && text != std::string::npos) {
    faults.push_back(Text(lang, M::EntryBlank));
    line.erase(0, text);
  }
  std::string scheme = line.substr(0, kScheme.size());
  for (char& ch : scheme) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (scheme == kScheme && line.compare(0, kScheme.size(), kScheme) != 0) {
    faults.push_back(Text(lang, M::EntryCapitals, {Printable(line.substr(0, kScheme.size()))}));
    line.replace(0, kScheme.size(), kScheme);
  } else if (scheme != kScheme) {
    if (!platform::ParseTcpAddress(line)) return std::string();  // nothing like an address
    faults.push_back(Text(lang, M::EntryNoScheme));
    line.insert(0, kScheme);
  }
  const auto address = platform::ParseTcpAddress(line);
  if (!address) {
    const std::string rest = line.substr(kScheme.size());
    const size_t bracket = rest.rfind(']');
    const size_t colon = rest.find(':', bracket == std::string::npos ? 0 : bracket);
    const bool port = colon != std::string::npos && colon + 1 < rest.size();
    faults.push_back(Text(lang, port || rest.empty() ? M::EntryBadAddress : M::EntryNoPort));
  }
  if (faults.empty()) return std::string();  // the add-in reads it as it is
  std::string joined;
  for (const auto& f : faults) joined += (joined.empty() ? "" : "; ") + f;
  return Text(lang, M::EntryNearAddress,
              {joined, address ? Text(lang, M::EntryFix, {address->Url()}) : std::string()});
}

std::vector<std::string> WhyNoOpen(const Context& c, int port) {
  if (const auto converter = ConverterOf(c.o, port)) {
    std::string why;
    ConnectOutcome(c, port, *converter, why);
    std::vector<std::string> reasons;
    if (!c.o.tcpNames.count(port))
      reasons.push_back(c.T(M::WhyConverter, {std::to_string(port), converter->Url()}));
    reasons.push_back(c.T(M::WhyConnect, {converter->Url(), why}));
    return reasons;
  }
  const platform::OpenDiagnosis d = platform::DiagnoseOpen(port);
  std::vector<std::string> why;
  if (d.device.empty()) {
    why.push_back(c.T(M::WhyNoDevice, {std::to_string(port)}));
  } else {
    why.push_back(c.T(M::WhyMappedTo, {std::to_string(port), d.device}));
  }
  if (d.device.empty()) {
    // Nothing to open: the ports directory's notes below say what to do.
  } else if (!d.exists) {
    why.push_back(c.T(M::WhyMissing, {d.device}));
  } else if (d.noPermission) {
    why.push_back(c.T(M::WhyNoPermission, {d.device, AccessText(d.access)}));
    const std::string real = platform::ResolvedPath(d.entry.empty() ? d.device : d.entry);
    switch (d.access.remedy) {
      case platform::PortAccess::AddToGroup:
        why.push_back(c.T(M::WhyAddToGroup, {d.access.group}));
        break;
      case platform::PortAccess::LogInAgain:
        why.push_back(c.T(M::WhyLogInAgain, {d.access.group}));
        break;
      case platform::PortAccess::UdevRule:
        why.push_back(c.T(M::WhyUdevRule, {real.substr(real.find_last_of('/') + 1)}));
        break;
      case platform::PortAccess::None:
        break;
    }
  } else if (d.busy) {
    const std::string who = HolderList(d.holders);
    why.push_back(who.empty() ? c.T(M::WhyBusy, {d.device}) : c.T(M::WhyBusyBy, {d.device, who}));
  } else if (d.notSerial) {
    why.push_back(c.T(M::WhyOpenError, {d.device, c.T(M::PortNotSerial)}));
    const std::string near = NearAddress(c.o.lang, d.firstLine);
    if (!near.empty()) why.push_back(near);
  } else if (!d.systemError.empty()) {
    why.push_back(c.T(M::WhyOpenError, {d.device, SystemWords(c.o.lang, d.systemError)}));
  }
  if (!d.busy && !d.holders.empty())
    why.push_back(c.T(M::WhyOpenNoLock, {d.device, HolderList(d.holders)}));
  if (d.entry.empty()) {
    for (auto& note : PortsDirectoryNotes(c, port)) why.push_back(std::move(note));
  }
  return why;
}

std::string HolderList(const std::vector<platform::PortHolder>& holders) {
  std::string who;
  for (const auto& h : holders) {
    if (!who.empty()) who += ", ";
    who += "PID " + std::to_string(h.pid) + (h.name.empty() ? "" : " (" + Printable(h.name) + ")");
  }
  return who;
}

std::string AccessText(const platform::PortAccess& access) {
  if (!access.known) return std::string();
  char mode[16];
  std::snprintf(mode, sizeof mode, "%04o", access.mode);
  return Printable(access.owner) + ":" + Printable(access.group) + " " + mode;
}

std::vector<std::string> PortsDirectoryNotes(const Context& c, int port) {
  const platform::PortsDirectory d = platform::PortsDirectoryState();
  if (d.path.empty() || d.state == platform::PortsDirectory::Usable) return {};
  const std::string path = Printable(d.path);
  const std::string source = c.T(d.fromVariable ? M::DirFromVariable : M::DirDefault);
  std::vector<std::string> notes;
  switch (d.state) {
    case platform::PortsDirectory::Usable:
    case platform::PortsDirectory::Missing:
      notes.push_back(c.T(M::DirMissing, {path, source}));
      break;
    case platform::PortsDirectory::Empty:
      notes.push_back(c.T(M::DirEmpty, {path, source}));
      break;
    case platform::PortsDirectory::NotDirectory:
      notes.push_back(c.T(M::DirNotDirectory, {path, source}));
      break;
    case platform::PortsDirectory::Unreadable:
      notes.push_back(c.T(M::DirUnreadable, {path, source}));
      break;
  }
  // The directory under /etc is root's; one of the user's own is not.
  const std::string sudo = d.fromVariable ? "" : "sudo ";
  std::string command =
      sudo + "ln -s /dev/ttyUSB0 " + path + "/COM" + std::to_string(port >= 0 ? port : 3);
  if (d.state == platform::PortsDirectory::Missing)
    command = sudo + "mkdir -p " + path + " && " + command;
  const bool mistyped = d.fromVariable && (d.state == platform::PortsDirectory::Missing ||
                                           d.state == platform::PortsDirectory::NotDirectory);
  notes.push_back(c.T(mistyped ? M::DirRemedyVariable : M::DirRemedy, {command}));
  return notes;
}

std::string OpenWithoutLockNote(const Context& c, int port) {
  if (ConverterOf(c.o, port) || port > 255) return std::string();
  const std::vector<platform::PortHolder> others = platform::OpenWithoutLock(port);
  return others.empty() ? std::string()
                        : c.T(M::WhyOpenNoLock, {PortName(c.o, port), HolderList(others)});
}

namespace {

// Why a weighing through the converter behind COM<port> failed, when the
// converter is to blame: it speaks Telnet, is busy, or closed the connection
// mid-reply. True, with the reasons added to `f`, when it is.
bool ConverterReasons(Context& c, int port, const std::string& model, TraceTap::LineOutcome outcome,
                      const std::string& bytes, Failure& f) {
  const auto converter = ConverterOf(c.o, port);
  if (!converter || outcome == TraceTap::LineOutcome::Unknown) return false;
  const std::string reply = c.tap.ReplyBytes(port);
  const bool gone = c.tap.GoneSinceLastCommand(port);
  std::string trouble;
  const std::string telnetSeen = c.tap.TelnetSeen(port);
  if (BeginsWithTelnet(reply)) {
    TelnetReader telnet;
    trouble = c.T(M::ConverterTelnet, {Shown(telnet.Read(reply))});
  } else if (!telnetSeen.empty() && outcome == TraceTap::LineOutcome::Nothing) {
    trouble = c.T(M::ConverterTelnet, {"telnet: " + telnetSeen});
  } else if (gone) {
    // The driver's connection is closed: one of the tool's own tells what
    // the converter does before anything is sent (a busy one says so).
    trouble = GreetingTrouble(c, Greet(*converter));
  }
  if (!trouble.empty()) {
    f.reasons.push_back(trouble);
    return true;
  }
  if (gone && !reply.empty() && outcome == TraceTap::LineOutcome::NotAReply) {
    f.reasons.push_back(c.T(M::WhyNotAReply, {model, bytes}));
    f.reasons.push_back(
        c.T(M::ReplyClosed, {std::to_string(reply.size()), std::to_string(FrameLength(model))}));
    if (!c.o.trace) f.reasons.push_back(c.T(M::SeeTrace));
    return true;
  }
  return false;
}

}  // namespace

Failure Explain(Context& c, Session& s, Operation operation, int port, const std::string& model) {
  Failure f;
  const auto [code, text] = s.LastError();
  f.code = code;
  f.text = text;
  c.tap.Drain();
  std::string bytes;
  const auto outcome = c.tap.LastExchange(port, &bytes);
  // The equipment library's class says why in its own text; the trace tells
  // that its port or converter did not open.
  const std::string opened = c.tap.LastOpen(port);
  const bool openFailed = s.Equipment()
                              ? !opened.empty() && opened != "ok" &&
                                    (operation == Operation::Open || operation == Operation::Test)
                              : text == kPortUnavailable;
  bool reported = false;  // the driver told the platform of an exception
  if (f.text.empty()) {
    // The driver's text stays as it was given; the tool's words go beside it.
    if (operation == Operation::Test) f.explanation = c.T(M::DeviceTestFailed);
    const std::string report = s.LastReport();
    reported = !report.empty();
    if (reported) f.reasons.push_back(c.T(M::PlatformTold, {report}));
  }
  if (openFailed) {
    f.reasons = WhyNoOpen(c, port);
    return f;
  }
  if (text == kLineSettingsRefused) {
    f.reasons.push_back(c.T(M::WhyDcb));
    return f;
  }
  if (operation == Operation::Open || operation == Operation::Close) return f;
  // Another program that reads the line takes replies meant for the driver.
  const std::string shared = OpenWithoutLockNote(c, port);
  if (ConverterReasons(c, port, model, outcome, bytes, f)) return f;
  switch (outcome) {
    case TraceTap::LineOutcome::Nothing:
      f.reasons.push_back(c.T(M::WhyNothingArrived));
      break;
    case TraceTap::LineOutcome::NotAReply:
      // A reply of the right form whose weight text does not read as
      // kilograms ends in an exception of the driver, not in a rejection.
      f.reasons.push_back(c.T(reported ? M::WhyNotAWeight : M::WhyNotAReply, {model, bytes}));
      if (const std::string what = ReplyDiagnosis(c, model, c.tap.ReplyBytes(port)); !what.empty())
        f.reasons.push_back(what);
      break;
    case TraceTap::LineOutcome::Gone:
      f.reasons.push_back(c.T(ConverterOf(c.o, port) ? M::WhyConnectionClosed : M::WhyLineGone));
      break;
    case TraceTap::LineOutcome::Unknown:
      if (operation == Operation::Command) {
        // Refused without a word on the line; a model without a zero
        // command is refused before anything is sent.
        if (c.o.command == "zero" && !HasZero(model) && c.tap.LastSent(port).empty())
          f.reasons.push_back(c.T(M::ZeroNone, {model}));
        return f;
      }
      f.reasons.push_back(c.T(M::WhyUnknownReply));
      break;
  }
  if (!shared.empty()) f.reasons.push_back(shared);
  if (!c.o.trace) f.reasons.push_back(c.T(M::SeeTrace));
  return f;
}

TraceTap::TraceTap(bool echo, std::ostream& err, Lang lang) : echo_(echo), err_(err) {
  const std::string set = platform::EnvironmentVariable("ZEVSCALE_TRACE");
  previous_ = set;
  std::string lower = set;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool toStderr = lower == "stderr";
  if (toStderr) echo_ = true;
  if (!set.empty() && !toStderr) {
    std::string error;
    platform::AppendFile probe;
    if (!probe.Open(set, &error)) {
      // The add-in would say so on standard error at each open; say it once,
      // and read this run's trace from a file of the tool's own.
      err_ << "zevscale: " << Text(lang, M::TraceUnwritable, {set, SystemWords(lang, error)})
           << "\n";
    } else if (!echo) {
      // The user's own trace file: read back what this run adds to it. The
      // add-in writes only to a regular file (not through a link); for any
      // other target the tool's own file takes its place.
      file_ = os::OpenTraceFile(set);
      if (file_ != -1) {
        path_ = set;
        offset_ = std::max(0LL, os::TraceFileSize(file_));
        return;
      }
    }
  }
  path_ = os::NewTemporaryFile();
  own_ = true;
  os::SetEnvironment("ZEVSCALE_TRACE", path_);
  if (!path_.empty()) file_ = os::OpenTraceFile(path_);
}

TraceTap::~TraceTap() {
  os::CloseTraceFile(file_);
  if (!own_) return;
  os::SetEnvironment("ZEVSCALE_TRACE", previous_);
  if (!path_.empty()) std::remove(path_.c_str());
}

void TraceTap::Drain() {
  if (file_ == -1) return;
  // Only what was appended since the last look, up to the size now.
  const long long size = os::TraceFileSize(file_);
  if (size >= 0 && size < offset_) offset_ = size;  // cut short meanwhile
  std::string chunk;
  if (size > offset_)
    chunk = os::ReadTraceFile(file_, offset_, static_cast<size_t>(size - offset_));
  offset_ += static_cast<long long>(chunk.size());
  partial_ += chunk;
  size_t start = 0;
  for (size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines_.push_back(partial_.substr(start, nl - start));
    if (!echo_) continue;
    std::string shown = lines_.back();
    for (const auto& [port, url] : names_) {
      const std::string com = " COM" + std::to_string(port) + " ";
      const size_t at = shown.find(com);
      if (at != std::string::npos) shown.replace(at, com.size(), " " + url + " ");
    }
    err_ << shown << "\n";
  }
  partial_.erase(0, start);
  if (echo_) err_.flush();
}

namespace {

// A trace line: "DATE TIME [PID] COMn MODEL WHAT REST".
struct TraceLine {
  std::string port, model, what, rest;
};

TraceLine Split(const std::string& line) {
  TraceLine t;
  std::istringstream in(line);
  std::string date, time, pid;
  in >> date >> time >> pid >> t.port >> t.model >> t.what;
  std::getline(in, t.rest);
  return t;
}

// The bytes of a "<-" line as hex and printable characters.
std::string Bytes(const std::string& rest) {
  const size_t end = rest.rfind(" +");
  return rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

}  // namespace

bool TraceTap::Is(const std::string& link, int port) const {
  // COM<N>, or the converter's address that the equipment library's class writes.
  if (link == "COM" + std::to_string(port)) return true;
  const auto named = names_.find(port);
  return named != names_.end() && link == named->second;
}

TraceTap::LineOutcome TraceTap::LastExchange(int port, std::string* bytes) const {
  size_t i = lines_.size();
  bool found = false;
  while (!found && i > 0) {
    const TraceLine t = Split(lines_[--i]);
    found = Is(t.port, port) && t.what == "->";
  }
  if (!found) return LineOutcome::Unknown;
  const TraceLine sent = Split(lines_[i]);
  // "written X of Y": a short write means the line is gone.
  std::istringstream w(sent.rest.substr(sent.rest.rfind("written") + 7));
  size_t written = 0, total = 0;
  std::string of;
  if (w >> written >> of >> total && written < total) return LineOutcome::Gone;
  LineOutcome outcome = LineOutcome::Nothing;
  for (size_t k = i + 1; k < lines_.size(); ++k) {
    const TraceLine t = Split(lines_[k]);
    if (!Is(t.port, port) || t.what != "<-") continue;
    if (t.rest.find("(nothing)") == std::string::npos) {
      if (bytes != nullptr) *bytes = Bytes(t.rest);
      return LineOutcome::NotAReply;
    }
    if (t.rest.find("line gone") != std::string::npos) outcome = LineOutcome::Gone;
  }
  return outcome;
}

namespace {

// The bytes a "<-" line shows as hex pairs, decoded.
std::string Decoded(const std::string& rest) {
  std::istringstream in(rest);
  std::string out;
  const auto hex = [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; };
  for (std::string pair; in >> pair && pair.size() == 2 && hex(pair[0]) && hex(pair[1]);) {
    out += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return out;
}

}  // namespace

std::string TraceTap::ReplyBytes(int port) const {
  std::string bytes;
  for (size_t i = lines_.size(); i > 0; --i) {
    const TraceLine t = Split(lines_[i - 1]);
    if (!Is(t.port, port)) continue;
    if (t.what == "->") return bytes;
    if (t.what == "<-" && t.rest.find("(nothing)") == std::string::npos)
      bytes.insert(0, Decoded(t.rest));
  }
  return std::string();
}

bool TraceTap::GoneSinceLastCommand(int port) const {
  for (size_t i = lines_.size(); i > 0; --i) {
    const TraceLine t = Split(lines_[i - 1]);
    if (!Is(t.port, port)) continue;
    if (t.what == "->") {
      std::istringstream w(t.rest.substr(t.rest.rfind("written") + 7));
      size_t written = 0, total = 0;
      std::string of;
      return w >> written >> of >> total && written < total;
    }
    if (t.what == "<-" && t.rest.find("line gone") != std::string::npos) return true;
  }
  return false;
}

size_t TraceTap::Mark() {
  Drain();
  return lines_.size();
}

std::string TraceTap::SentSince(int port, size_t mark) const {
  for (size_t i = mark; i < lines_.size(); ++i) {
    const TraceLine t = Split(lines_[i]);
    if (!Is(t.port, port) || t.what != "->") continue;
    const size_t end = t.rest.rfind(" written");
    return t.rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return std::string();
}

std::string TraceTap::LastSent(int port) const {
  for (size_t i = lines_.size(); i > 0; --i) {
    const TraceLine t = Split(lines_[i - 1]);
    if (!Is(t.port, port)) continue;
    if (t.what == "open") return std::string();
    if (t.what != "->") continue;
    const size_t end = t.rest.rfind(" written");
    return t.rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return std::string();
}

std::string TraceTap::AnyBytes(int port) const {
  for (const auto& line : lines_) {
    const TraceLine t = Split(line);
    if (Is(t.port, port) && t.what == "<-" && t.rest.find("(nothing)") == std::string::npos) {
      return Bytes(t.rest);
    }
  }
  return std::string();
}

bool TraceTap::OnlySilence(int port, const std::string& model) const {
  bool read = false;
  for (const auto& line : lines_) {
    const TraceLine t = Split(line);
    if (!Is(t.port, port) || t.model != model || t.what != "<-") continue;
    if (t.rest.find("(nothing)") == std::string::npos) return false;
    read = true;
  }
  return read;
}

std::string TraceTap::TelnetSeen(int port) const {
  // Every "telnet:" line since the connection was last made, oldest first.
  std::string seen;
  for (size_t i = lines_.size(); i > 0; --i) {
    const TraceLine t = Split(lines_[i - 1]);
    if (!Is(t.port, port)) continue;
    if (t.what == "open") break;
    if (t.what != "telnet:") continue;
    const size_t open = t.rest.find('('), close = t.rest.rfind(')');
    const std::string commands = open != std::string::npos && close > open
                                     ? t.rest.substr(open + 1, close - open - 1)
                                     : t.rest.substr(1, t.rest.find(';') - 1);
    seen = seen.empty() ? commands : commands + ", " + seen;
  }
  return seen;
}

std::string TraceTap::LastOpen(int port) const {
  for (size_t i = lines_.size(); i > 0; --i) {
    const TraceLine t = Split(lines_[i - 1]);
    if (!Is(t.port, port) || t.what != "open") continue;
    const size_t colon = t.rest.rfind(": ");
    return colon == std::string::npos ? std::string() : t.rest.substr(colon + 2);
  }
  return std::string();
}

std::string Heading(const Context& c) {
  const Options& o = c.o;
  std::string h = o.model + (o.port >= 0 ? ", " + PortName(o, o.port) : "");
  if (o.port < 0 && !o.tcp.empty()) h += ", " + ConverterUrl(o);
  if (o.simulate) {
    std::string faults;
    const sim::Faults& f = o.simFaults;
    if (f.silent) faults += " silent";
    if (f.delayMs) faults += " delay=" + std::to_string(f.delayMs) + "ms";
    if (f.noise) faults += " noise";
    if (f.hangUpOnCommand) faults += " hang-up";
    if (f.missingBytes) faults += " missing=" + std::to_string(f.missingBytes);
    if (f.extraBytes) faults += " extra=" + std::to_string(f.extraBytes);
    h += " (" + c.T(M::Simulated) + faults + ")";
  }
  return h;
}

Json Envelope(const Context& c, bool ok) {
  Json j;
  j["command"] = c.o.command;
  j["ok"] = ok;
  if (!c.o.model.empty()) j["model"] = c.o.model;
  if (c.o.port >= 0 && c.o.tcpNames.count(c.o.port)) {
    j["tcp"] = PortName(c.o, c.o.port);
  } else if (c.o.port >= 0) {
    j["port"] = c.o.port;
  } else if (!c.o.tcp.empty()) {
    j["tcp"] = ConverterUrl(c.o);
  }
  if (c.o.simulate) j["simulated"] = true;
  return j;
}

bool Usable(Context& c, const Session& s) {
  if (!s.Valid()) c.err << "zevscale: " << c.T(M::NoObject, {s.ClassName()}) << "\n";
  return s.Valid();
}

int RunCommand(Context& c, const std::function<std::string(const std::string& sent)>& said,
               const std::function<bool(Session&)>& command) {
  Session s(*c.library, c.o.driverClass);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Failure failure;
  if (!OpenScale(c, s, failure)) return Finish(c, {}, Json::object(), &failure);
  // The command is the first one sent from here (a weighing may follow it).
  const size_t mark = c.tap.Mark();
  const bool ok = command(s);
  if (!ok) failure = Explain(c, s, Operation::Command, c.o.port, c.o.model);
  if (!s.Close() && ok) {
    failure = Explain(c, s, Operation::Close, c.o.port, c.o.model);
    return Finish(c, {}, Json::object(), &failure);
  }
  if (!ok) return Finish(c, {}, Json::object(), &failure);
  // The commands have no reply: only a weighing tells what the scale did.
  c.tap.Drain();
  const std::string sent = c.tap.SentSince(c.o.port, mark);
  std::string check = "zevscale weigh --model ";
  check += c.o.model.find('(') != std::string::npos ? "\"" + c.o.model + "\"" : c.o.model;
  if (c.o.classGiven && s.Equipment()) check += " --class 4001";
  check += c.o.tcp.empty() ? " --port " + std::to_string(c.o.port) : " --tcp " + c.o.tcp.front();
  Json fields;
  fields["sent"] = sent;
  fields["confirmed"] = false;
  fields["check"] = check;
  return Finish(c, {said(sent.empty() ? sent : " (" + sent + ")"), c.T(M::NotConfirmed, {check})},
                fields, nullptr);
}

bool SetScale(Context& c, Session& s) {
  s.Localize(c.o.lang);
  // A converter of --tcp by its address; a COM<N> of the ports directory as it is.
  const auto converter =
      s.Equipment() && c.o.tcpNames.count(c.o.port) ? ConverterOf(c.o, c.o.port) : std::nullopt;
  return converter ? s.Configure(c.o.model, *converter) : s.Configure(c.o.model, c.o.port);
}

bool OpenScale(Context& c, Session& s, Failure& failure) {
  if (!SetScale(c, s)) {
    failure = Explain(c, s, Operation::Open, c.o.port, c.o.model);
    return false;
  }
  if (!s.Open()) {
    failure = Explain(c, s, Operation::Open, c.o.port, c.o.model);
    return false;
  }
  return true;
}

void Begin(Context& c) {
  if (!c.o.json) c.out << Heading(c) << std::endl;
}

int Finish(Context& c, const std::vector<std::string>& lines, const Json& fields,
           const Failure* failure) {
  c.tap.Drain();
  if (c.o.json) {
    Json j = Envelope(c, failure == nullptr);
    for (const auto& [name, value] : fields.items()) j[name] = value;
    j["error"] = failure != nullptr ? failure->ToJson() : Json{{"code", 0}, {"text", ""}};
    c.out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    for (const auto& line : lines) {
      c.out << line << (line.empty() || line.back() != '\n' ? "\n" : "");
    }
    if (failure != nullptr) failure->Print(c);
  }
  return failure != nullptr ? 1 : 0;
}

}  // namespace zev::cli

// zevscale scan: which model answers on which port. Every port is tried at
// once, each on its own thread with its own driver object; only weighing
// commands are sent. A converter of --tcp on a system without a ports
// directory is tried through the equipment library's class, which takes its
// address.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <thread>

#include "common.h"
#include "line.h"
#include "zev/platform/ports.h"
#include "zev/platform/serial.h"
#include "zev/platform/tcp.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

const char* const kPortUnavailable = "Порт недоступен";

struct Answer {
  std::string model;
  double kg = 0;
};

struct PortResult {
  int port = 0;
  std::vector<Answer> answers;
  std::string unavailable;    // the driver's text when the port would not open
  int sameAs = -1;            // an earlier port that stands for the same device
  std::string device;         // the device the port stands for
  int lateMs = -1;            // a whole reply that came after the deadline...
  std::string lateModel;      // ...as this model's
  bool noisy = false;         // the line never fell quiet: noise, no scale late
  bool unconnected = false;   // the equipment library's class did not connect to the converter
  bool triedRfc2217 = false;  // the converter spoke Telnet and was tried again with RFC 2217
  // The converter the port stands for, and what it did on a connection of
  // the tool's own (when greeted).
  std::optional<platform::TcpAddress> converter;
  bool greeted = false;
  Greeting greeting;
};

// Each model on the port, one after another, through the first class; a
// converter of --tcp without a ports directory through the equipment
// library's class, which takes its address.
void ScanPort(const host::Library& library, const Options& o,
              const std::vector<std::string>& models, PortResult& result) {
  const bool address =
      (o.tcpDirect || result.triedRfc2217) && result.converter && o.tcpNames.count(result.port);
  Session s(library, address ? DriverClass::Equipment : DriverClass::First);
  if (!s.Valid()) return;
  for (const auto& model : models) {
    if (!(address ? s.Configure(model, *result.converter) : s.Configure(model, result.port)))
      continue;
    if (!s.Open()) {
      result.unavailable = s.LastError().second;
      // The class connects at Open: no other model gets a connection either.
      result.unconnected = address;
      if (result.unavailable == kPortUnavailable || result.unconnected) return;
      continue;
    }
    double kg = 0;
    if (s.Weigh(kg)) result.answers.push_back({model, kg});
    s.Close();
  }
}

// A scale that answers after the driver's deadline gives nothing to its own
// command and its late reply to the next one. After a quiet spell each model
// tried sends its command once more and the line is listened to for a
// second: a whole reply of that model, late, tells what happened. A line
// that never falls quiet sends noise: it is given up at once, not listened
// to for each model.
void CheckLate(const std::vector<std::string>& models, PortResult& result) {
  for (const auto& model : models) {
    const scales::ModelRow* line = ModelNamed(model);
    if (line == nullptr) continue;
    // Stale replies to earlier commands may come first, in time; the reply
    // to this command is the frame that begins after the deadline.
    const Listening l = Listen(result.port, result.converter, *line, 1000, true, false);
    if (l.noisy) {
      result.noisy = true;
      return;
    }
    const Heard late = FrameAt(l, model, 500);
    if (late.ms >= 0) {
      result.lateMs = static_cast<int>(late.ms);
      result.lateModel = LooksLike(late.bytes);
      return;
    }
  }
}

// The bytes of a trace's "hex |text|" dump.
std::string Undump(const std::string& dump) {
  std::string raw;
  for (size_t i = 0; i + 2 <= dump.size() && dump[i] != '|'; i += 3)
    raw += static_cast<char>(std::stoi(dump.substr(i, 2), nullptr, 16));
  return raw;
}

// Of several models that answered on one port, the one that reads the reply
// best, and why.
size_t BestFit(const Context& c, const std::vector<Answer>& answers, std::string& why) {
  auto find = [&](const char* model) {
    for (size_t i = 0; i < answers.size(); ++i) {
      if (answers[i].model == model) return i;
    }
    return answers.size();
  };
  // Of a model whose reader takes another's replies and that other, the
  // other reads the reply whole.
  for (const auto& a : answers) {
    const scales::ModelRow* row = ModelNamed(a.model);
    if (row == nullptr || row->repliesLike == nullptr) continue;
    const size_t other = find(row->repliesLike);
    if (other < answers.size()) {
      why = c.T(M::ScanWhyAwOverNt);
      return other;
    }
  }
  why = c.T(M::ScanWhyDistinct, {c.Kilograms(answers[0].kg)});
  return 0;
}

// How the settings page lists `model` ("Весы: ZEV-У" for ZEV-U).
std::string ListCaption(const Context& c, const std::string& model) {
  Session s(*c.library);
  const std::string page = s.Valid() ? s.Run(u"GetParameters", {host::Empty()})->Text(0) : "";
  const std::string key = "<Item Value=\"" + model + "\">";
  const size_t at = page.find(key);
  if (at == std::string::npos) return model;
  const size_t from = at + key.size();
  return page.substr(from, page.find('<', from) - from);
}

// What keeps a converter that connects from serving the driver, as its
// greeting on a connection of the tool's own or the bytes the driver got
// tell, with the status that scan --json gives it; empty when nothing does.
std::pair<const char*, std::string> ConverterTrouble(const Context& c, const PortResult& r,
                                                     const std::string& bytes) {
  const Greeting::Kind kind = r.greeted ? r.greeting.What() : Greeting::Kind::Quiet;
  if (kind == Greeting::Kind::Busy) return {"busy", GreetingTrouble(c, r.greeting)};
  if (kind == Greeting::Kind::Closed) return {"closes", GreetingTrouble(c, r.greeting)};
  if (kind == Greeting::Kind::Telnet) return {"telnet", GreetingTrouble(c, r.greeting)};
  if (BeginsWithTelnet(bytes)) {
    TelnetReader telnet;
    return {"telnet", c.T(M::ConverterTelnet, {Shown(telnet.Read(bytes))})};
  }
  return {"", std::string()};
}

// A line about COM<N> names the converter instead when COM<N> stands for one of --tcp.
std::string Named(const Options& o, std::string line) {
  for (const auto& [port, url] : o.tcpNames) {
    const std::string com = "COM" + std::to_string(port);
    for (size_t at; (at = line.find(com)) != std::string::npos;) line.replace(at, com.size(), url);
  }
  return line;
}

// The ports to try: those of --ports, or COM1 to COM8 and every mapped one
// less the system's console and login lines, which `skipped` names.
std::set<int> PortsToScan(const Context& c, const std::vector<int>& mapped,
                          std::vector<std::string>& skipped) {
  const Options& o = c.o;
  std::set<int> portSet(o.scanPorts.begin(), o.scanPorts.end());
  if (!portSet.empty()) return portSet;
  for (int n = 1; n <= 8; ++n) portSet.insert(n);
  for (int n : mapped) portSet.insert(n);
  // Weighing commands must not reach the system's own console or a login
  // line unless the user names the port.
  for (auto it = portSet.begin(); it != portSet.end();) {
    const platform::SystemLine line = platform::SystemLineOf(*it);
    if (line.kind == platform::SystemLine::None) {
      ++it;
      continue;
    }
    const std::string port = std::to_string(*it), device = Printable(line.device);
    skipped.push_back(line.kind == platform::SystemLine::Console
                          ? c.T(M::ScanSkippedConsole, {port, device})
                          : c.T(M::ScanSkippedLogin, {port, device, Printable(line.program)}));
    it = portSet.erase(it);
  }
  return portSet;
}

// A result for each port to show, with the earlier port it is the same
// device as, if any.
std::vector<PortResult> PortResults(const Options& o, const std::set<int>& portSet,
                                    const std::vector<int>& mapped) {
  std::vector<PortResult> results;
  for (int port : portSet) {
    PortResult r;
    r.port = port;
    r.converter = ConverterOf(o, port);
    r.device =
        r.converter
            ? r.converter->Url()
            : platform::ResolvedPath(platform::SerialPort::DeviceName(static_cast<uint8_t>(port)));
    // A port asked for, or mapped, is always shown; a default one only when
    // its device exists.
    const bool asked =
        !o.scanPorts.empty() || std::find(mapped.begin(), mapped.end(), port) != mapped.end();
    if (!asked && !platform::DiagnoseOpen(port).exists) continue;
    for (const auto& earlier : results) {
      if (!r.converter && !r.device.empty() && earlier.device == r.device && earlier.sameAs < 0) {
        r.sameAs = earlier.port;
        break;
      }
    }
    results.push_back(r);
  }
  // A converter takes one connection at a time: it is tried by one port
  // only, that of --tcp when one stands for it, and the other entries that
  // hold its address are the same device.
  for (auto& r : results) {
    if (!r.converter) continue;
    const PortResult* tried = nullptr;
    for (const auto& other : results) {
      if (!other.converter || other.device != r.device) continue;
      if (tried == nullptr || (o.tcpNames.count(other.port) && !o.tcpNames.count(tried->port)))
        tried = &other;
    }
    if (tried->port != r.port) r.sameAs = tried->port;
  }
  return results;
}

// Waits for `threads`, the add-in's trace read on the way; on a terminal the
// progress goes to standard error, one line rewritten.
void WaitFor(Context& c, std::vector<std::thread>& threads, const std::atomic<size_t>& finished,
             bool progress) {
  size_t shown = SIZE_MAX;
  while (finished < threads.size()) {
    c.tap.Drain();
    if (progress && finished != shown) {
      shown = finished;
      c.err << "\r" << c.T(M::ScanProgress, {std::to_string(shown), std::to_string(threads.size())})
            << std::flush;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& t : threads) t.join();
  if (progress) c.err << "\r\033[K" << std::flush;
  c.tap.Drain();
}

// Every port that stands for a device of its own, each model on it, all at once.
void TryEveryPort(Context& c, const std::vector<std::string>& models,
                  std::vector<PortResult>& results, bool progress) {
  std::atomic<size_t> finished{0};
  std::vector<std::thread> threads;
  for (auto& result : results) {
    if (result.sameAs >= 0) continue;
    threads.emplace_back([&c, &models, &result, &finished] {
      ScanPort(*c.library, c.o, models, result);
      ++finished;
    });
  }
  WaitFor(c, threads, finished, progress);
}

// Ports that opened and gave no answer, or only a ZEV-NT(N) answer after a
// silent ZEV-AW (which a late ZEV-AW gives), are checked for a late scale,
// all at once. A converter that connected and gave no answer is first
// asked, on a connection of the tool's own, whether it serves another
// connection or speaks Telnet; then no scale can be late behind it.
void CheckSilentPorts(Context& c, const std::vector<std::string>& models,
                      std::vector<PortResult>& results, bool progress) {
  std::atomic<size_t> finished{0};
  std::vector<std::thread> threads;
  for (auto& r : results) {
    const bool opened = r.sameAs < 0 && r.unavailable.empty();
    // A model answered whose reader takes the replies of a model that got
    // no reply: that one's reply may have come late, into this one's read.
    const scales::ModelRow* only = r.answers.size() == 1 ? ModelNamed(r.answers[0].model) : nullptr;
    const char* silent = only != nullptr ? only->repliesLike : nullptr;
    const bool afterSilentOther = silent != nullptr && c.tap.OnlySilence(r.port, silent);
    // A late reply to one model's command lands in the next model's read;
    // with one model tried nothing shows it but listening longer.
    const bool suspect = !c.tap.AnyBytes(r.port).empty() || models.size() == 1;
    const bool greet = opened && r.converter && r.answers.empty();
    const bool late = opened && ((r.answers.empty() && suspect) || afterSilentOther);
    if (!greet && !late) continue;
    const std::vector<std::string> check =
        afterSilentOther ? std::vector<std::string>{silent} : models;
    threads.emplace_back([check, greet, late, &r, &finished] {
      if (greet) {
        r.greeting = Greet(*r.converter);
        r.greeted = true;
      }
      // A converter that is busy, closes, or speaks Telnet hides any scale.
      const auto kind = r.greeting.What();
      const bool serves =
          !r.greeted || (r.greeting.status == platform::TcpStatus::Ok &&
                         (kind == Greeting::Kind::Quiet || kind == Greeting::Kind::Text));
      if (late && serves) {
        CheckLate(check, r);
        if (r.lateMs >= 0) r.answers.clear();
      }
      ++finished;
    });
  }
  WaitFor(c, threads, finished, progress);
}

// A converter of --tcp that spoke Telnet and gave no answer may be one of
// RFC 2217, which takes its line settings from the driver: each model is
// tried again through the equipment library's class with Connection
// RFC2217, all at once.
void TryRfc2217(Context& c, const std::vector<std::string>& models,
                std::vector<PortResult>& results, bool progress) {
  std::atomic<size_t> finished{0};
  std::vector<std::thread> threads;
  for (auto& r : results) {
    if (!r.converter || r.converter->rfc2217 || !c.o.tcpNames.count(r.port) || r.sameAs >= 0 ||
        !r.answers.empty() || r.lateMs >= 0 || !r.unavailable.empty())
      continue;
    const bool telnet = (r.greeted && r.greeting.What() == Greeting::Kind::Telnet) ||
                        BeginsWithTelnet(Undump(c.tap.AnyBytes(r.port)));
    if (!telnet) continue;
    r.converter->rfc2217 = true;
    r.triedRfc2217 = true;
    threads.emplace_back([&c, &models, &r, &finished] {
      ScanPort(*c.library, c.o, models, r);
      ++finished;
    });
  }
  WaitFor(c, threads, finished, progress);
}

// What scan shows: a line for each outcome, notes, the settings to enter,
// and the list that --json gives.
struct ScanOutput {
  Json list = Json::array();
  std::vector<std::string> lines, notes, settings;
  bool any = false;  // a scale answered
};

// Where a port leads, for --json: a converter of --tcp by its address
// alone (the COM number it is reached by is the tool's own), every other
// port by its number, and with the address when it stands for a converter.
Json Where(const Options& o, const PortResult& r) {
  Json j;
  if (r.converter && o.tcpNames.count(r.port)) {
    j["tcp"] = r.converter->Url();
    j["host"] = r.converter->host;
    j["tcpPort"] = r.converter->port;
  } else {
    j["port"] = r.port;
    if (r.converter) j["tcp"] = r.converter->Url();
  }
  return j;
}

// A port's outcome: its status and reason in the list, `shown` on its line.
void Outcome(const Options& o, const PortResult& r, const char* status, const std::string& reason,
             const std::string& shown, ScanOutput& out) {
  Json j = Where(o, r);
  j["status"] = status;
  if (!reason.empty()) j["reason"] = reason;
  out.list.push_back(j);
  out.lines.push_back(PadRight(PortName(o, r.port) + " ", 6) + shown);
}

// A port that would not open, or a converter that would not connect: why.
// False when the port opened.
bool ShowUnopened(Context& c, const PortResult& r, ScanOutput& out) {
  const Options& o = c.o;
  // The equipment library's class that did not open a converter: no
  // connection, unless one of the tool's own connects.
  const bool unlinked = r.converter && (r.unavailable == kPortUnavailable || r.unconnected);
  std::string why;
  const platform::TcpStatus status =
      unlinked ? ConnectOutcome(c, r.port, *r.converter, why) : platform::TcpStatus::Ok;
  if (unlinked && (status != platform::TcpStatus::Ok || !r.unconnected)) {
    // No connection: refused, not answered, or no way to the converter.
    std::string shown = status == platform::TcpStatus::Refused ? c.T(M::ScanOutRefused)
                        : status == platform::TcpStatus::TimedOut
                            ? c.T(M::ScanOutConnectTimeout)
                            : c.T(M::ScanOutNoConnection, {why});
    if (!o.tcpNames.count(r.port))
      shown += "; " + c.T(M::WhyConverter, {std::to_string(r.port), r.converter->Url()});
    Outcome(o, r,
            status == platform::TcpStatus::Refused    ? "refused"
            : status == platform::TcpStatus::TimedOut ? "no answer to connection"
                                                      : "no connection",
            shown, shown, out);
    return true;
  }
  if (r.unavailable == kPortUnavailable) {
    const platform::OpenDiagnosis d = platform::DiagnoseOpen(r.port);
    why.clear();
    for (const auto& reason : WhyNoOpen(c, r.port)) why += (why.empty() ? "" : "; ") + reason;
    if (!d.exists) {
      Outcome(o, r, "missing", why, c.T(M::ScanOutMissing, {why}), out);
    } else if (d.busy) {
      Outcome(o, r, "busy", why, c.T(M::ScanOutBusy, {why}), out);
    } else if (d.notSerial) {
      Outcome(o, r, "not a serial port", why, c.T(M::ScanOutNotSerial, {why}), out);
    } else {
      Outcome(o, r, "no access", why, c.T(M::ScanOutNoAccess, {why}), out);
    }
    return true;
  }
  if (!r.unavailable.empty()) {
    why = r.unavailable;
    // The port's driver refused the line settings: say why that happens.
    if (why == "Ошибка DCB-структуры") why += "; " + c.T(M::WhyDcb);
    Outcome(o, r, "no access", why, c.T(M::ScanOutNoAccess, {why}), out);
    return true;
  }
  return false;
}

// A port that opened and gave no reply of the models tried: what, if
// anything, arrived instead.
void ShowUnanswered(Context& c, const PortResult& r, const std::vector<std::string>& models,
                    const std::string& tried, ScanOutput& out) {
  const Options& o = c.o;
  const std::string bytes = c.tap.AnyBytes(r.port);
  if (r.converter) {
    const auto [status, trouble] = ConverterTrouble(c, r, Undump(bytes));
    if (!trouble.empty()) {
      Outcome(o, r, status, trouble, trouble, out);
      return;
    }
  }
  if (bytes.empty()) {
    const std::string why = c.T(M::ScanOutNoAnswer, {tried});
    Outcome(o, r, "no answer", why, why, out);
    return;
  }
  const std::string looks = LooksLike(Undump(bytes));
  std::string why = c.T(M::ScanOutNotAReply, {bytes}) + "; ";
  why += !looks.empty() && std::find(models.begin(), models.end(), looks) == models.end()
             ? c.T(M::ScanOutLooksLike, {looks})
             : c.T(M::ScanOutNoneTried, {tried});
  Outcome(o, r, "not a reply", why, why, out);
}

// The models that answered on a port, the one that fits best recommended,
// and the settings to enter for it.
void ShowAnswers(Context& c, const PortResult& r, ScanOutput& out) {
  const Options& o = c.o;
  const std::string com = PortName(o, r.port);
  out.any = true;
  std::string why;
  const size_t best = r.answers.size() > 1 ? BestFit(c, r.answers, why) : 0;
  for (size_t i = 0; i < r.answers.size(); ++i) {
    const Answer& a = r.answers[i];
    char weight[64];
    std::snprintf(weight, sizeof weight, "%10.3f ", a.kg);
    out.lines.push_back(PadRight(com + " ", 6) + PadRight(a.model, 11) + c.Decimal(weight) +
                        c.T(M::Kg));
    Json j = Where(o, r);
    j["status"] = "answer";
    j["model"] = a.model;
    j["weight"] = a.kg;
    if (i == best) j["recommended"] = true;
    out.list.push_back(j);
  }
  for (size_t i = 0; i < r.answers.size(); ++i) {
    if (i == best) continue;
    out.notes.push_back(c.T(
        M::ScanBestFit, {std::to_string(r.port), r.answers[i].model, r.answers[best].model, why}));
  }
  const std::string& model = r.answers[best].model;
  // A ZEV-AW frame read as ZEV-NT(N) (ZEV-AW not tried) loses its sign.
  if (RepliesLike(model, LooksLike(Undump(c.tap.AnyBytes(r.port)))))
    out.notes.push_back(c.T(M::ScanSignLost, {std::to_string(r.port)}));
  if (r.port > 8 && !o.tcpNames.count(r.port))
    out.notes.push_back(c.T(M::ScanAboveEight, {std::to_string(r.port)}));
  // A converter of --tcp goes into the equipment library's class, which
  // takes its address; the tool's own COM number would mean nothing there.
  out.settings.push_back(
      r.converter && o.tcpNames.count(r.port)
          ? c.T(r.converter->rfc2217 ? M::ScanSettingsRfc2217 : M::ScanSettingsTcp,
                {model, ListCaption(c, model), r.converter->host,
                 std::to_string(r.converter->port)})
          : c.T(M::ScanSettings, {model, ListCaption(c, model), std::to_string(r.port)}));
}

// One port's outcome.
void ShowPort(Context& c, const PortResult& r, const std::vector<std::string>& models,
              const std::string& tried, ScanOutput& out) {
  const Options& o = c.o;
  if (r.sameAs >= 0) {
    const std::string why = r.converter
                                ? c.T(M::ScanOutSameConverter, {PortName(o, r.sameAs)})
                                : c.T(M::ScanOutSameDevice, {std::to_string(r.sameAs), r.device});
    Outcome(o, r, "same device", why, why, out);
  } else if (r.lateMs >= 0) {
    const std::string why = c.T(M::ScanOutLate, {std::to_string(r.lateMs), r.lateModel});
    Json j = Where(o, r);
    j["status"] = "late";
    j["model"] = r.lateModel;
    j["ms"] = r.lateMs;
    j["reason"] = why;
    out.list.push_back(j);
    out.lines.push_back(PadRight(PortName(o, r.port) + " ", 6) + why);
  } else if (r.noisy && r.answers.empty()) {
    const std::string why = c.T(M::ScanOutNoise, {c.tap.AnyBytes(r.port), tried});
    Outcome(o, r, "noise", why, why, out);
  } else if (r.answers.empty()) {
    if (!ShowUnopened(c, r, out)) ShowUnanswered(c, r, models, tried, out);
  } else {
    ShowAnswers(c, r, out);
  }
  if (r.triedRfc2217) {
    std::string answered;
    for (const auto& a : r.answers) answered += (answered.empty() ? "" : ", ") + a.model;
    out.notes.push_back(answered.empty()
                            ? c.T(M::ScanTriedRfc2217None, {PortName(o, r.port)})
                            : c.T(M::ScanTriedRfc2217, {PortName(o, r.port), answered}));
  }
}

// A program with a port open beside the driver reads the scale's replies too.
void HolderNotes(Context& c, const std::vector<PortResult>& results, ScanOutput& out) {
  for (const auto& r : results) {
    if (r.sameAs >= 0 || c.o.tcpNames.count(r.port)) continue;
    const std::vector<platform::PortHolder> others = platform::OpenWithoutLock(r.port);
    if (others.empty()) continue;
    out.notes.push_back(OpenWithoutLockNote(c, r.port));
    Json holders = Json::array();
    for (const auto& h : others)
      holders.push_back({{"pid", h.pid}, {"name", h.name}, {"lock", false}});
    for (auto& j : out.list) {
      if (j.contains("port") && j["port"] == r.port) j["holders"] = holders;
    }
  }
}

}  // namespace

int RunScan(Context& c) {
  const Options& o = c.o;
  const std::vector<int> mapped = platform::MappedComNumbers();
  ScanOutput out;
  const std::set<int> portSet = PortsToScan(c, mapped, out.notes);
  const std::vector<std::string> models = o.scanModels.empty() ? ModelNames() : o.scanModels;
  std::string tried;
  for (const auto& m : models) tried += (tried.empty() ? "" : ", ") + m;

  const auto start = std::chrono::steady_clock::now();
  std::vector<PortResult> results = PortResults(o, portSet, mapped);
  // On a terminal the progress goes to standard error, one line rewritten.
  const bool progress = o.terminal && !o.json && !o.trace;
  TryEveryPort(c, models, results, progress);
  CheckSilentPorts(c, models, results, progress);
  TryRfc2217(c, models, results, progress);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  for (const auto& r : results) ShowPort(c, r, models, tried, out);
  HolderNotes(c, results, out);
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  if (o.json) {
    c.out << out.list.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    for (const auto& line : out.lines) c.out << line << "\n";
    for (const auto& note : out.notes) c.out << Named(o, note) << "\n";
    for (const auto& line : out.settings) c.out << line << "\n";
    if (!out.any) {
      std::string scanned;
      for (int port : portSet) scanned += (scanned.empty() ? "" : ", ") + PortName(o, port);
      c.out << c.T(M::ScanNone, {scanned}) << "\n";
    }
  }
  c.err << "("
        << c.T(M::ScanTime,
               {std::to_string(results.size()), std::to_string(models.size()), c.Decimal(time)})
        << ")\n";
  return out.any ? 0 : 1;
}

}  // namespace zev::cli

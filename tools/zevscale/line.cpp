#include "line.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "TPort.h"
#include "TTelnet.h"
#include "TTrace.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"
#include "zev/platform/tcp.h"

namespace zev::cli {

const scales::ModelRow* ModelNamed(const std::string& name) {
  return scales::FindModel(std::string_view(name));
}

namespace {

// Short read attempts, so that each piece is stamped close to its arrival.
platform::SerialTimeouts ShortAttempts() {
  platform::SerialTimeouts t;
  t.readInterval = 10;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = 10;
  return t;
}

// A greeting comes as soon as the connection is made; a converter that has
// said nothing by then says nothing.
constexpr int64_t kGreetingMs = 400;
constexpr int64_t kGreetingQuietMs = 150;  // after its last byte
constexpr int64_t kGreetingMostMs = 1500;

// Reads what a converter sends before anything is sent to it, through `read`
// (one read attempt), until the greeting is over or the connection closed.
template <typename Read>
void Gather(Read read, std::string& bytes, bool& closed) {
  char buffer[64];
  const auto start = platform::Now();
  auto last = start;
  for (;;) {
    const auto now = platform::Now();
    const int64_t since = platform::MillisBetween(start, now);
    if (bytes.empty()
            ? since >= kGreetingMs
            : platform::MillisBetween(last, now) >= kGreetingQuietMs || since >= kGreetingMostMs)
      return;
    const platform::ReadResult r = read(buffer, sizeof buffer);
    if (r.count > 0) {
      bytes.append(buffer, r.count);
      last = platform::Now();
    } else if (r.failed) {
      closed = true;
      return;
    }
  }
}

const char* TelnetCommandName(unsigned char c) {
  static const char* const kNames[] = {"SE", "NOP", "DM", "BRK",  "IP",   "AO", "AYT", "EC",
                                       "EL", "GA",  "SB", "WILL", "WONT", "DO", "DONT"};
  return c >= 240 && c <= 254 ? kNames[c - 240] : nullptr;
}

std::string TelnetOptionName(unsigned char option) {
  return scales::TTelnet::OptionName(option);
}

// A converter's connection as it is, for listening: no Telnet spoken, no
// greeting taken away; the bytes are shown as they come.
class RawTcpPort : public scales::TPort {
 public:
  explicit RawTcpPort(const platform::SerialTimeouts& timeouts) : timeouts_(timeouts) {}
  platform::TcpStatus Connect(const platform::TcpAddress& a) { return connection_.Connect(a); }
  bool Close() override {
    connection_.Close();
    return true;
  }
  void Purge() override { connection_.Purge(); }
  size_t Write(const void* data, size_t size) override {
    return connection_.Write(data, size, timeouts_);
  }
  platform::ReadResult ReadAttempt(void* buffer, size_t size) override {
    return connection_.ReadAttempt(buffer, size, timeouts_);
  }
  platform::ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) override {
    platform::SerialTimeouts t;
    t.readInterval = 0;
    t.readTotalMultiplier = 0;
    t.readTotalConstant = ms;
    return connection_.ReadAttempt(buffer, size, t);
  }

 private:
  platform::TcpConnection connection_;
  platform::SerialTimeouts timeouts_;
};

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out += std::string(" ") + kHex[b >> 4] + kHex[b & 15];
  }
  return out;
}

// Waits until `line` has been quiet for 300 ms, up to a second; false when
// it never is, or when more bytes come meanwhile than the replies to the
// commands before could make (the longest reply is 18 bytes: three of them
// and then some), as on a line of noise, which is given up without waiting
// the second out.
bool WaitQuiet(scales::TPort& line, const std::function<bool()>& stop) {
  constexpr size_t kMostStaleBytes = 64;
  const auto limit = platform::Now() + platform::Millis(1000);
  auto quietSince = platform::Now();
  size_t stale = 0;
  char buffer[64];
  while (platform::MillisBetween(quietSince, platform::Now()) < 300) {
    if (stop()) return true;  // interrupted: no verdict
    if (platform::Now() >= limit || stale > kMostStaleBytes) return false;
    const size_t n = line.ReadAttempt(buffer, sizeof buffer).count;
    if (n > 0) quietSince = platform::Now();
    stale += n;
  }
  return true;
}

}  // namespace

std::string Listening::All() const {
  std::string all;
  for (const auto& h : heard) all += h.bytes;
  return all;
}

Listening Listen(int port, const std::optional<platform::TcpAddress>& converter,
                 const scales::ModelRow& model, int ms, bool quietFirst, bool untilFrame,
                 const std::atomic<bool>* interrupted) {
  Listening l;
  const platform::SerialTimeouts t = ShortAttempts();
  std::unique_ptr<scales::TPort> line;
  if (converter) {
    l.converter = true;
    auto raw = std::make_unique<RawTcpPort>(t);
    const platform::TcpStatus status = raw->Connect(*converter);
    if (status == platform::TcpStatus::Ok) {
      line = std::move(raw);
    } else {
      l.error = converter->Url() + ": " + platform::TcpStatusText(status);
    }
  } else {
    platform::OpenStatus status;
    platform::OpenProblem problem;
    line = scales::OpenSerialPort(static_cast<uint8_t>(port), model.line.baudRate,
                                  model.line.parity, t, status, problem, l.error);
    if (!line && l.error.empty()) l.error = "the line settings were refused";
  }
  if (!line) return l;
  l.opened = true;
  char buffer[64];
  auto stop = [&] { return interrupted != nullptr && *interrupted; };
  if (l.converter) {
    // What the converter says of its own before the command: a busy one
    // closes the connection, and nothing is sent.
    Gather([&](char* into, size_t size) { return line->ReadAttempt(into, size); }, l.before,
           l.closed);
    if (l.closed) return l;
  }
  if (quietFirst) {
    l.noisy = !WaitQuiet(*line, stop);
    if (l.noisy) return l;
  }
  line->Purge();
  line->Write(model.weigh.data(), model.weigh.size());
  const auto start = platform::Now();
  std::string all;
  while (platform::MillisBetween(start, platform::Now()) < ms && !stop()) {
    const platform::ReadResult r = line->ReadAttempt(buffer, sizeof buffer);
    if (r.failed) {
      // A serial line that went away, or a converter that closed the connection.
      l.closed = l.converter;
      if (l.closed) l.closedMs = platform::MillisBetween(start, platform::Now());
      break;
    }
    if (r.count == 0) continue;
    l.heard.push_back({platform::MillisBetween(start, platform::Now()), {buffer, r.count}});
    all += l.heard.back().bytes;
    if (untilFrame && IsFrame(model.name, all)) break;
  }
  return l;
}

Heard FrameAt(const Listening& l, const std::string& model, int64_t after) {
  const scales::ModelRow* row = ModelNamed(model);
  if (row == nullptr) return {-1, std::string()};
  const size_t size = row->frame.length;
  for (size_t i = 0; i < l.heard.size(); ++i) {
    if (l.heard[i].ms < after) continue;
    std::string from;
    for (size_t k = i; k < l.heard.size() && from.size() < size; ++k) from += l.heard[k].bytes;
    from.resize(std::min(from.size(), size));
    if (IsFrame(model, from) || (row->repliesLike != nullptr && IsFrame(row->repliesLike, from)))
      return {l.heard[i].ms, from};
  }
  return {-1, std::string()};
}

bool RepliesLike(const std::string& model, const std::string& other) {
  const scales::ModelRow* row = ModelNamed(model);
  return row != nullptr && row->repliesLike != nullptr && other == row->repliesLike;
}

bool IsFrame(const std::string& model, const std::string& bytes) {
  const scales::ModelRow* row = ModelNamed(model);
  return row != nullptr && !row->parse(bytes, '.').empty();
}

std::string LooksLike(const std::string& bytes) {
  // A model's strict layout first (a reader may take another model's reply:
  // ZEV-NT(N)'s takes a ZEV-AW frame, without its sign), then its reader.
  for (const scales::ModelRow& row : scales::Models()) {
    if (bytes.size() == row.frame.length && row.frame.whole(bytes)) return row.name;
  }
  for (const scales::ModelRow& row : scales::Models()) {
    if (!row.parse(bytes, '.').empty()) return row.name;
  }
  return std::string();
}

std::string Dump(const std::string& bytes) {
  // The trace's own rendering; nothing at all is shown as empty bars here.
  return bytes.empty() ? "||" : scales::TTrace::Dump(bytes);
}

Greeting::Kind Greeting::What() const {
  if (BeginsWithTelnet(bytes)) return Kind::Telnet;
  if (!closed) return bytes.empty() ? Kind::Quiet : Kind::Text;
  // Text of its own, then the close: the converter serves another connection.
  return Line().empty() ? Kind::Closed : Kind::Busy;
}

std::string Greeting::Line() const {
  std::string text;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == '\r' || b == '\n' || b == '\t') {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else if (b < 0x20 || b == 0x7F) {
      return std::string();  // not text
    } else {
      text += ch;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

Greeting Greet(const platform::TcpAddress& address) {
  Greeting g;
  platform::TcpConnection connection;
  g.status = connection.Connect(address);
  g.systemError = connection.SystemError();
  if (g.status != platform::TcpStatus::Ok) return g;
  const platform::SerialTimeouts t = ShortAttempts();
  Gather([&](char* into, size_t size) { return connection.ReadAttempt(into, size, t); }, g.bytes,
         g.closed);
  return g;
}

bool BeginsWithTelnet(const std::string& bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) >= 0xFB &&
         static_cast<unsigned char>(bytes[1]) <= 0xFE;
}

std::vector<TelnetReader::Part> TelnetReader::Read(const std::string& bytes) {
  constexpr unsigned char kIac = 0xFF, kSb = 250, kSe = 240, kWill = 251;
  constexpr size_t kMostSubnegotiation = 256;
  std::vector<Part> parts;
  auto data = [&parts](char ch) {
    if (parts.empty() || parts.back().telnet) parts.push_back({false, std::string()});
    parts.back().text += ch;
  };
  std::string in = pending_ + bytes;
  pending_.clear();
  size_t i = 0;
  while (i < in.size()) {
    if (static_cast<unsigned char>(in[i]) != kIac) {
      data(in[i++]);
      continue;
    }
    if (i + 1 >= in.size()) break;  // completed by the next piece
    const auto command = static_cast<unsigned char>(in[i + 1]);
    if (command == kIac) {  // a data byte FF, doubled
      data(in[i]);
      i += 2;
      continue;
    }
    const char* name = TelnetCommandName(command);
    if (name == nullptr) {  // no command: both bytes are data
      data(in[i++]);
      continue;
    }
    std::string label = name;
    size_t end = i + 2;
    if (command >= kWill) {
      if (end >= in.size()) break;
      label += " " + TelnetOptionName(static_cast<unsigned char>(in[end]));
      ++end;
    } else if (command == kSb) {
      size_t se = end;
      while (se + 1 < in.size() && !(static_cast<unsigned char>(in[se]) == kIac &&
                                     static_cast<unsigned char>(in[se + 1]) == kSe))
        ++se;
      if (se + 1 >= in.size() && in.size() - i < kMostSubnegotiation) break;
      if (end < se) label += " " + TelnetOptionName(static_cast<unsigned char>(in[end]));
      if (end + 1 < se) label += Hex(in.substr(end + 1, se - end - 1));
      end = std::min(se + 2, in.size());
    }
    seen_ = true;
    parts.push_back({true, label});
    i = end;
  }
  pending_ = in.substr(i);
  return parts;
}

std::string DataOf(const std::vector<TelnetReader::Part>& parts) {
  std::string data;
  for (const auto& p : parts) {
    if (!p.telnet) data += p.text;
  }
  return data;
}

std::string Shown(const std::vector<TelnetReader::Part>& parts) {
  std::string shown;
  bool inCommands = false;
  for (const auto& p : parts) {
    if (p.telnet && inCommands) {
      shown += ", " + p.text;
      continue;
    }
    if (!shown.empty()) shown += "  ";
    shown += p.telnet ? "telnet: " + p.text : Dump(p.text);
    inCommands = p.telnet;
  }
  return shown;
}

std::vector<std::string> CommandsOf(const std::vector<TelnetReader::Part>& parts) {
  std::vector<std::string> commands;
  for (const auto& p : parts) {
    if (p.telnet) commands.push_back(p.text);
  }
  return commands;
}

}  // namespace zev::cli

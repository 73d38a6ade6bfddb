#include "TPort.h"

#include <algorithm>
#include <utility>

#include "TRfc2217.h"
#include "TTelnet.h"
#include "TTrace.h"
#include "zev/platform/clock.h"

namespace zev::scales {
namespace {

platform::SerialTimeouts Within(uint32_t ms) {
  platform::SerialTimeouts t;
  t.readInterval = 0;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = ms;
  return t;
}

// How long a converter is given to greet a new connection (Telnet
// negotiation, a banner, a busy text) before it is taken for a raw one, and
// how long the line must then be quiet for the greeting to be whole.
constexpr uint32_t kGreetingMs = 60;
constexpr uint32_t kGreetingQuietMs = 25;
constexpr size_t kGreetingMost = 512;
// How long an RFC 2217 converter is given to agree to the serial-port control
// and answer the line settings, and to answer a purge; a converter that lets
// a purge go unanswered is drained locally from then on.
constexpr int64_t kNegotiationMs = 1000;
constexpr int64_t kPurgeAnswerMs = 100;
constexpr uint32_t kAnswerQuietMs = 2;

// A read of what arrives within `ms` that ends `quietMs` after the last byte.
platform::SerialTimeouts Answers(int64_t ms) {
  platform::SerialTimeouts t = Within(static_cast<uint32_t>(ms > 0 ? ms : 1));
  t.readInterval = kAnswerQuietMs;
  return t;
}

// The commands seen, without the subnegotiations ("SB"), which are told in
// words of their own.
std::string WithoutSubs(const std::string& seen) {
  std::string out;
  size_t from = 0;
  while (from <= seen.size()) {
    const size_t comma = seen.find(", ", from);
    const std::string item = seen.substr(from, comma == std::string::npos ? comma : comma - from);
    if (item != "SB" && !item.empty()) out += (out.empty() ? "" : ", ") + item;
    if (comma == std::string::npos) break;
    from = comma + 2;
  }
  return out;
}

// True for a line of text: printable characters and blanks, then a line end.
bool IsTextLine(std::string_view bytes) {
  if (bytes.empty() || (bytes.back() != '\n' && bytes.back() != '\r')) return false;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\r' && c != '\n' && c != '\t') return false;
    if (u == 0x7F || u == 0xFF) return false;
  }
  return true;
}

// The connection stands for the port while the port is open: when the
// converter closes it, the operation under way fails as on a line that went
// away, and the next one connects again.
class TTcpPort : public TPort {
 public:
  TTcpPort(const platform::TcpAddress& address, const LineSettings& line,
           const platform::SerialTimeouts& timeouts)
      : address_(address), line_(line), timeouts_(timeouts) {}
  platform::TcpStatus Open() { return Connect(); }
  bool Close() override {
    connection_.Close();
    return true;
  }
  void Purge() override;
  bool Restorable() const override { return !connection_.IsOpen(); }
  platform::TcpStatus Restore() override {
    return connection_.IsOpen() ? platform::TcpStatus::Ok : Connect();
  }
  size_t Write(const void* data, size_t size) override;
  platform::ReadResult ReadAttempt(void* buffer, size_t size) override {
    return Read(buffer, size, timeouts_);
  }
  platform::ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) override {
    return Read(buffer, size, Within(ms));
  }
  bool Drop() override {
    connection_.Close();
    Note("connection given up: the next command connects again");
    return true;
  }
  platform::TcpStatus LinkStatus() const override {
    return refused_ != platform::TcpStatus::Ok ? refused_ : connection_.Status();
  }
  std::string TakeNotes() override { return std::exchange(notes_, std::string()); }
  std::string LineRefusal() const override { return refusal_; }
  std::string KeptLine() const override { return kept_; }

 private:
  enum class Mode : uint8_t { Unknown, Raw, Telnet };

  platform::TcpStatus Connect();
  void Greet();
  // Sets the converter's line over RFC 2217 and reads what it applied.
  void Negotiate();
  // Waits for the converter's agreement to the serial-port control and then
  // for the answers to the line settings, until `start` + kNegotiationMs;
  // returns the data that came meanwhile. `sent`: the settings went out.
  std::string AwaitAnswers(platform::MonoTime start, bool& sent);
  // The converter's subnegotiations taken and noted in words.
  void TakeSubs();
  void PurgeRemote();
  platform::ReadResult Read(void* buffer, size_t size, const platform::SerialTimeouts& t);
  // Bytes received, with the connection's mode found from the first of them;
  // returns how many are data (kept at the front of `bytes`).
  size_t Received(char* bytes, size_t count);
  void Note(const std::string& text) {
    if (!notes_.empty()) notes_ += '\n';
    notes_ += text;
  }

  platform::TcpAddress address_;
  LineSettings line_;
  platform::TcpConnection connection_;
  platform::SerialTimeouts timeouts_;
  Mode mode_ = Mode::Unknown;
  TTelnet telnet_;
  TRfc2217 control_{line_};
  // Why the connection was given up at connecting (busy, line settings not
  // taken); Ok when it was not.
  platform::TcpStatus refused_ = platform::TcpStatus::Ok;
  std::string refusal_, kept_;
  bool purgeAnswers_ = true;  // the converter answers PURGE-DATA
  std::string notes_;
};

platform::TcpStatus TTcpPort::Connect() {
  refused_ = platform::TcpStatus::Ok;
  refusal_.clear();
  kept_.clear();
  mode_ = Mode::Unknown;
  telnet_ = TTelnet();
  const platform::TcpStatus status = connection_.Connect(address_);
  if (status != platform::TcpStatus::Ok) return status;
  if (address_.rfc2217) {
    Negotiate();
  } else {
    Greet();
  }
  if (refused_ == platform::TcpStatus::Ok) return platform::TcpStatus::Ok;
  connection_.Close();
  return refused_;
}

void TTcpPort::Negotiate() {
  mode_ = Mode::Telnet;
  control_ = TRfc2217(line_);
  purgeAnswers_ = true;
  telnet_.Want(TTelnet::Side::Ours, TTelnet::kComPort);
  const std::string requests = telnet_.Request(TTelnet::Side::Ours, TTelnet::kComPort) +
                               telnet_.Request(TTelnet::Side::Ours, TTelnet::kBinary) +
                               telnet_.Request(TTelnet::Side::Theirs, TTelnet::kBinary);
  const platform::MonoTime start = platform::Now();
  connection_.Write(requests.data(), requests.size(), timeouts_);
  Note("rfc2217: WILL COM-PORT-OPTION, WILL BINARY, DO BINARY sent");
  bool sent = false;
  const std::string data = AwaitAnswers(start, sent);
  if (!connection_.IsOpen()) {
    // A converter that closes at once with a line of text serves another client.
    if (IsTextLine(data)) refused_ = platform::TcpStatus::Busy;
    Note("the converter closed the connection" +
         (data.empty() ? std::string() : " after " + TTrace::Dump(data)));
    return;
  }
  if (!data.empty()) Note("greeting dropped: " + TTrace::Dump(data));
  if (!sent) {
    refused_ = platform::TcpStatus::NoLineControl;
    Note(std::string("rfc2217: the converter ") +
         (telnet_.Declined(TTelnet::Side::Ours, TTelnet::kComPort) ? "refused"
                                                                   : "did not agree to") +
         " COM-PORT-OPTION: it does not take line settings");
    return;
  }
  if (const auto refusal = control_.Refusal()) {
    refused_ = platform::TcpStatus::LineRefused;
    refusal_ = *refusal;
    kept_ = control_.KeptText();
    Note("rfc2217: " + refusal_);
    return;
  }
  if (!telnet_.On(TTelnet::Side::Ours, TTelnet::kBinary) ||
      !telnet_.On(TTelnet::Side::Theirs, TTelnet::kBinary))
    Note("rfc2217: binary transmission not agreed both ways");
  Note("rfc2217: the converter's line is " + control_.KeptText());
}

std::string TTcpPort::AwaitAnswers(platform::MonoTime start, bool& sent) {
  std::string data;
  char buffer[256];
  while (connection_.IsOpen()) {
    if (!sent && telnet_.On(TTelnet::Side::Ours, TTelnet::kComPort)) {
      const std::string settings = control_.Requests();
      connection_.Write(settings.data(), settings.size(), timeouts_);
      Note("rfc2217: asked for " + LineText(line_) + ", no flow control, DTR and RTS on");
      sent = true;
    }
    if (sent ? control_.Settled() : telnet_.Declined(TTelnet::Side::Ours, TTelnet::kComPort)) break;
    const int64_t left = kNegotiationMs - platform::MillisBetween(start, platform::Now());
    if (left <= 0) break;
    const platform::ReadResult r = connection_.ReadAttempt(buffer, sizeof buffer, Answers(left));
    const size_t kept = Received(buffer, r.count);
    if (data.size() < kGreetingMost) data.append(buffer, kept);
  }
  return data;
}

void TTcpPort::TakeSubs() {
  for (const std::string& sub : telnet_.TakeSubnegotiations()) {
    const std::string words = control_.Take(sub);
    if (!words.empty()) Note("rfc2217: " + words);
  }
}

void TTcpPort::Greet() {
  std::string got;
  char buffer[256];
  platform::SerialTimeouts t = Within(kGreetingMs);
  t.readInterval = kGreetingQuietMs;
  while (got.size() < kGreetingMost && connection_.IsOpen()) {
    const platform::ReadResult r = connection_.ReadAttempt(buffer, sizeof buffer, t);
    got.append(buffer, r.count);
    if (r.count == 0 || r.byInterval) break;
    t = Within(kGreetingQuietMs);
    t.readInterval = kGreetingQuietMs;
  }
  if (got.empty()) return;  // a raw converter, most likely: decided by the first reply
  if (TTelnet::Opens(got)) {
    mode_ = Mode::Telnet;
    std::string answers, seen;
    const size_t data = telnet_.Filter(got.data(), got.size(), answers, seen);
    if (!answers.empty()) connection_.Write(answers.data(), answers.size(), timeouts_);
    Note("telnet: the converter speaks Telnet (" + seen + "); every option refused");
    if (data > 0) Note("greeting dropped: " + TTrace::Dump(got.substr(0, data)));
    return;
  }
  mode_ = Mode::Raw;
  if (!connection_.IsOpen() && IsTextLine(got)) {
    refused_ = platform::TcpStatus::Busy;
    Note("the converter said " + TTrace::Dump(got) +
         " and closed the connection: it is busy with another connection");
    return;
  }
  Note("greeting dropped: " + TTrace::Dump(got));
}

size_t TTcpPort::Received(char* bytes, size_t count) {
  if (count == 0) return 0;
  if (mode_ == Mode::Unknown) {
    mode_ = TTelnet::Opens(std::string_view(bytes, count)) ? Mode::Telnet : Mode::Raw;
  }
  if (mode_ != Mode::Telnet) return count;
  std::string answers, seen;
  const size_t data = telnet_.Filter(bytes, count, answers, seen);
  if (!answers.empty()) connection_.Write(answers.data(), answers.size(), timeouts_);
  if (address_.rfc2217) {
    seen = WithoutSubs(seen);
    if (!seen.empty()) Note("telnet: " + seen);
    TakeSubs();
  } else if (!seen.empty()) {
    Note("telnet: " + seen + (answers.empty() ? "" : "; refused"));
  }
  return data;
}

platform::ReadResult TTcpPort::Read(void* buffer, size_t size, const platform::SerialTimeouts& t) {
  // Telnet commands are no data: where they took room in an attempt that
  // filled its buffer, or were all it brought, the attempt goes on for the
  // data, a few rounds at the most, under the same time-outs.
  auto* bytes = static_cast<char*>(buffer);
  platform::ReadResult r;
  size_t data = 0;
  for (int round = 0; round < 4 && data < size; ++round) {
    const size_t wanted = size - data;
    r = connection_.ReadAttempt(bytes + data, wanted, t);
    const size_t raw = r.count;
    const size_t kept = Received(bytes + data, raw);
    data += kept;
    if (r.failed || raw == 0 || (kept == raw && raw < wanted)) break;
    if (kept > 0 && raw < wanted) break;  // the attempt ended by a time-out
  }
  r.count = data;
  r.failed = r.failed && data == 0;
  return r;
}

void TTcpPort::PurgeRemote() {
  // What the converter holds is discarded by it; what it sent before its
  // answer is read and dropped here.
  const std::string request = TRfc2217::PurgeRequest();
  const int before = control_.Purges();
  const platform::MonoTime start = platform::Now();
  if (connection_.Write(request.data(), request.size(), timeouts_) != request.size()) return;
  char sink[256];
  while (control_.Purges() == before && connection_.IsOpen()) {
    const int64_t left = kPurgeAnswerMs - platform::MillisBetween(start, platform::Now());
    if (left <= 0) {
      purgeAnswers_ = false;
      Note("rfc2217: no answer to PURGE-DATA within 100 ms: drained here from now on");
      return;
    }
    const platform::ReadResult r = connection_.ReadAttempt(sink, sizeof sink, Answers(left));
    Received(sink, r.count);
  }
}

void TTcpPort::Purge() {
  if (mode_ == Mode::Raw) {
    connection_.Purge();
    return;
  }
  if (address_.rfc2217 && purgeAnswers_) {
    PurgeRemote();
    return;
  }
  // What waits may hold negotiation that needs its answer, or the first
  // bytes that tell the mode: read through, not thrown away unread.
  char sink[256];
  for (int round = 0; round < 64 && connection_.IsOpen(); ++round) {
    const platform::ReadResult r = connection_.ReadAttempt(sink, sizeof sink, Within(1));
    Received(sink, r.count);
    if (r.count == 0) break;
  }
}

size_t TTcpPort::Write(const void* data, size_t size) {
  if (mode_ != Mode::Telnet) return connection_.Write(data, size, timeouts_);
  const std::string escaped =
      TTelnet::Escape(std::string_view(static_cast<const char*>(data), size));
  const size_t written = connection_.Write(escaped.data(), escaped.size(), timeouts_);
  return written == escaped.size() ? size : std::min(written, size);
}

}  // namespace

TEndpoint TEndpoint::Com(uint8_t port) {
  TEndpoint e;
  e.com = port;
  return e;
}

TEndpoint TEndpoint::Tcp(platform::TcpAddress address) {
  TEndpoint e;
  e.kind = Kind::Tcp;
  e.tcp = std::move(address);
  return e;
}

std::string TEndpoint::Name() const {
  return kind == Kind::Tcp ? tcp.Url() : "COM" + std::to_string(com);
}

std::unique_ptr<TPort> OpenSerialPort(uint8_t port, uint32_t baudRate, platform::Parity parity,
                                      const platform::SerialTimeouts& timeouts,
                                      platform::OpenStatus& status, platform::OpenProblem& problem,
                                      std::string& error) {
  auto p = std::make_unique<platform::SerialPort>();
  status = p->Open(port, baudRate, parity, timeouts);
  problem = p->LastOpenProblem();
  error = p->OpenError();
  if (status != platform::OpenStatus::Opened) return nullptr;
  return p;
}

std::unique_ptr<TPort> OpenTcpPort(const platform::TcpAddress& address, const LineSettings& line,
                                   const platform::SerialTimeouts& timeouts,
                                   TConverterOpen& report) {
  auto p = std::make_unique<TTcpPort>(address, line, timeouts);
  report.status = p->Open();
  report.notes = p->TakeNotes();
  report.refusal = p->LineRefusal();
  report.kept = p->KeptLine();
  if (report.status != platform::TcpStatus::Ok) return nullptr;
  return p;
}

}  // namespace zev::scales

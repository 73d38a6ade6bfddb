#include "TPort.h"

#include <algorithm>
#include <utility>

#include "TTelnet.h"
#include "TTrace.h"

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
  TTcpPort(const platform::TcpAddress& address, const platform::SerialTimeouts& timeouts)
      : address_(address), timeouts_(timeouts) {}
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
    return busy_ ? platform::TcpStatus::Busy : connection_.Status();
  }
  std::string TakeNotes() override { return std::exchange(notes_, std::string()); }

 private:
  enum class Mode : uint8_t { Unknown, Raw, Telnet };

  platform::TcpStatus Connect();
  void Greet();
  platform::ReadResult Read(void* buffer, size_t size, const platform::SerialTimeouts& t);
  // Bytes received, with the connection's mode found from the first of them;
  // returns how many are data (kept at the front of `bytes`).
  size_t Received(char* bytes, size_t count);
  void Note(const std::string& text) {
    if (!notes_.empty()) notes_ += '\n';
    notes_ += text;
  }

  platform::TcpAddress address_;
  platform::TcpConnection connection_;
  platform::SerialTimeouts timeouts_;
  Mode mode_ = Mode::Unknown;
  TTelnet telnet_;
  bool busy_ = false;
  std::string notes_;
};

platform::TcpStatus TTcpPort::Connect() {
  busy_ = false;
  mode_ = Mode::Unknown;
  telnet_ = TTelnet();
  const platform::TcpStatus status = connection_.Connect(address_);
  if (status != platform::TcpStatus::Ok) return status;
  Greet();
  if (!busy_) return platform::TcpStatus::Ok;
  connection_.Close();
  return platform::TcpStatus::Busy;
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
    busy_ = true;
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
  if (!seen.empty()) Note("telnet: " + seen + (answers.empty() ? "" : "; refused"));
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

void TTcpPort::Purge() {
  if (mode_ == Mode::Raw) {
    connection_.Purge();
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

std::unique_ptr<TPort> OpenTcpPort(const platform::TcpAddress& address,
                                   const platform::SerialTimeouts& timeouts,
                                   platform::TcpStatus& status, std::string* notes) {
  auto p = std::make_unique<TTcpPort>(address, timeouts);
  status = p->Open();
  if (notes != nullptr) *notes = p->TakeNotes();
  if (status != platform::TcpStatus::Ok) return nullptr;
  return p;
}

}  // namespace zev::scales

#include "TCommunication.h"

#include "TTrace.h"
#include "zev/platform/locale.h"

namespace zev::scales {
namespace {

uint8_t OpenCode(platform::OpenStatus status) {
  switch (status) {
    case platform::OpenStatus::Opened:
      return kOpenOk;
    case platform::OpenStatus::OpenFailed:
      return kOpenFailed;
    case platform::OpenStatus::LineSettingsFailed:
      return kOpenLineSettingsFailed;
    case platform::OpenStatus::TimeoutsFailed:
      return kOpenTimeoutsFailed;
  }
  return kOpenFailed;
}

}  // namespace

TCommunication::TCommunication(ReplyParser parser, const char* model)
    : parser_(parser), model_(model) {}

TCommunication::~TCommunication() = default;

uint8_t TCommunication::OpenCom(uint8_t port, uint32_t baudRate, uint8_t parity) {
  const auto converter = platform::TcpEntry(port);
  const TEndpoint endpoint = converter ? TEndpoint::Tcp(*converter) : TEndpoint::Com(port);
  return OpenNamed(endpoint, baudRate, parity, "COM" + std::to_string(port));
}

uint8_t TCommunication::Open(const TEndpoint& endpoint, uint32_t baudRate, uint8_t parity) {
  return OpenNamed(endpoint, baudRate, parity, endpoint.Name());
}

uint8_t TCommunication::OpenNamed(const TEndpoint& endpoint, uint32_t baudRate, uint8_t parity,
                                  const std::string& name) {
  trace_ = TraceTarget.empty() ? TTrace::FromEnvironment(name, model_)
                               : TTrace::ToTarget(TraceTarget, name, model_);
  if (Handle) Handle->Close();
  Handle.reset();
  openStatus_ = platform::TcpStatus::Ok;
  openProblem_ = platform::OpenProblem::None;
  // An attempt that asks for the reply's length alone keeps the total
  // time-out of one that asks for 32 bytes: a reply that does not come is
  // given up at the same moment.
  timeouts_ = platform::SerialTimeouts();
  if (ReplyFrame > 0 && ReplyFrame < kReadChunk) {
    timeouts_.readTotalConstant +=
        timeouts_.readTotalMultiplier * static_cast<uint32_t>(kReadChunk - ReplyFrame);
  }
  if (endpoint.kind == TEndpoint::Kind::Tcp) {
    address_ = endpoint.tcp.Url();
    Handle = OpenTcpPort(endpoint.tcp, timeouts_, openStatus_);
    if (trace_) trace_->Connected(endpoint.tcp.Url(), platform::TcpStatusText(openStatus_));
    return Handle ? kOpenOk : kOpenFailed;
  }
  const auto p = parity == 1 ? platform::Parity::Odd : platform::Parity::None;
  platform::OpenStatus status;
  std::string error;
  Handle = OpenSerialPort(endpoint.com, baudRate, p, timeouts_, status, openProblem_, error);
  const uint8_t code = OpenCode(status);
  if (trace_) {
    trace_->Opened(platform::SerialPort::DeviceName(endpoint.com), baudRate, parity, code, error);
  }
  return code;
}

platform::TcpStatus TCommunication::LinkStatus() const {
  return Handle ? Handle->LinkStatus() : openStatus_;
}

uint8_t TCommunication::CloseCom() {
  const bool held = Handle != nullptr;
  const bool closed = held && Handle->Close();
  if (trace_) trace_->Closed(held ? (closed ? "ok" : "failed") : "no port open");
  trace_.reset();  // the next open reads ZEVSCALE_TRACE again
  Handle.reset();
  return closed ? kCloseOk : kCloseFailed;
}

bool TCommunication::WriteCom(std::string_view command) {
  size_t written = 0;
  if (Handle) {
    Handle->Purge();
    // A converter that closed the connection since the last command.
    if (Handle->Restorable()) {
      const platform::TcpStatus status = Handle->Restore();
      if (trace_) trace_->Connected(address_ + " again", platform::TcpStatusText(status));
    }
    if (!command.empty()) written = Handle->Write(command.data(), command.size());
  }
  WriteTime = platform::Now();
  if (trace_) trace_->Sent(command, written);
  return Handle && written == command.size();
}

bool TCommunication::ReadCom(std::string& out) {
  // A known reply length ends the attempt as soon as the reply is complete.
  return Read(out, ReplyFrame > 0 && ReplyFrame < kReadChunk ? ReplyFrame : kReadChunk);
}

bool TCommunication::ReadOn() {
  constexpr size_t kMostSkipped = 256;
  std::string byte;
  while (RawReply.size() < kMostSkipped) {
    if (!Read(byte, 1)) {
      LastRead = ReadOutcome::Bytes;  // what arrived is still no reply
      return false;
    }
    RawReply += byte;
    ParseReply(std::string_view(RawReply).substr(RawReply.size() - ReplyFrame), ReplyText);
    if (!ReplyText.empty()) return true;
  }
  return false;
}

bool TCommunication::Read(std::string& out, size_t wanted) {
  char buffer[kReadChunk];
  for (;;) {
    platform::ReadResult r;
    r.failed = true;
    if (Handle) r = Handle->ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r);
    if (r.count > 0) {
      out.assign(buffer, r.count);
      LastRead = ReadOutcome::Bytes;
      return true;
    }
    // No port, or a line that is gone: waiting cannot bring a reply.
    if (r.failed) {
      LastRead = ReadOutcome::Gone;
      return false;
    }
    if (platform::MillisBetween(WriteTime, platform::Now()) > kReplyDeadlineMs) {
      LastRead = ReadOutcome::Nothing;
      return false;
    }
  }
}

void TCommunication::TraceAttempt(const char* bytes, size_t wanted, const platform::ReadResult& r) {
  // The port tells which of the attempt's time-outs ended it: the bytes asked
  // for, the interval after a byte, or the total for the whole attempt.
  ReadEnding ending = ReadEnding::TotalTimeout;
  if (r.failed || (r.count > 0 && Handle && Handle->Restorable())) {
    // Nothing read from a line that is gone, or a converter that closed the
    // connection right after the bytes it sent.
    ending = ReadEnding::LineGone;
  } else if (r.count == wanted) {
    ending = wanted == kReadChunk ? ReadEnding::Full : ReadEnding::FrameComplete;
  } else if (r.count > 0 && r.byInterval) {
    ending = ReadEnding::IntervalTimeout;
  }
  trace_->Attempt(std::string_view(bytes, r.count),
                  platform::MillisBetween(WriteTime, platform::Now()), ending);
}

void TCommunication::ParseReply(std::string_view reply, std::string& out) const {
  out.clear();
  if (parser_ != nullptr) out = parser_(reply, platform::DecimalSeparator());
}

bool TCommunication::Exchange(std::string_view command, bool replyExpected) {
  LastRead = ReadOutcome::None;
  if (!WriteCom(command)) return false;
  if (!replyExpected) return true;
  if (!ReadCom(RawReply)) return false;
  ParseReply(RawReply, ReplyText);
  if (ReplyText.empty() && ReplyFrame > 0 && RawReply.size() == ReplyFrame) ReadOn();
  return !ReplyText.empty();
}

std::string FormatGrams(int64_t grams, char separator) {
  const bool negative = grams < 0;
  const uint64_t magnitude =
      negative ? static_cast<uint64_t>(-grams) : static_cast<uint64_t>(grams);
  std::string fraction = std::to_string(magnitude % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 1000);
  text += separator;
  text += fraction;
  return text;
}

}  // namespace zev::scales

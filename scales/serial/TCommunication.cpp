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
  trace_ = TraceTarget.empty() ? TTrace::FromEnvironment(port, model_)
                               : TTrace::ToTarget(TraceTarget, port, model_);
  const auto p = parity == 1 ? platform::Parity::Odd : platform::Parity::None;
  // An attempt that asks for the reply's length alone keeps the total
  // time-out of one that asks for 32 bytes: a reply that does not come is
  // given up at the same moment.
  timeouts_ = platform::SerialTimeouts();
  if (ReplyFrame > 0 && ReplyFrame < kReadChunk) {
    timeouts_.readTotalConstant +=
        timeouts_.readTotalMultiplier * static_cast<uint32_t>(kReadChunk - ReplyFrame);
  }
  const uint8_t code = OpenCode(Handle.Open(port, baudRate, p, timeouts_));
  if (trace_) trace_->Opened(platform::SerialPort::DeviceName(port), baudRate, parity, code);
  return code;
}

uint8_t TCommunication::CloseCom() {
  trace_.reset();  // the next open reads ZEVSCALE_TRACE again
  return Handle.Close() ? kCloseOk : kCloseFailed;
}

bool TCommunication::WriteCom(std::string_view command) {
  Handle.Purge();
  const size_t written = command.empty() ? 0 : Handle.Write(command.data(), command.size());
  WriteTime = platform::Now();
  if (trace_) trace_->Sent(command, written);
  return Handle.IsOpen() && written == command.size();
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
    const platform::MonoTime start = trace_ ? platform::Now() : platform::MonoTime();
    const platform::ReadResult r = Handle.ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r, start);
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

void TCommunication::TraceAttempt(const char* bytes, size_t wanted, const platform::ReadResult& r,
                                  platform::MonoTime start) {
  const platform::MonoTime end = platform::Now();
  // The attempt's own time-outs tell its ending: 32 bytes, the interval after
  // a byte, or the total for the whole attempt.
  const platform::SerialTimeouts& t = timeouts_;
  const int64_t total =
      int64_t{t.readTotalMultiplier} * static_cast<int64_t>(wanted) + t.readTotalConstant;
  ReadEnding ending = ReadEnding::TotalTimeout;
  if (r.failed) {
    ending = ReadEnding::LineGone;
  } else if (r.count == wanted) {
    ending = wanted == kReadChunk ? ReadEnding::Full : ReadEnding::FrameComplete;
  } else if (r.count > 0 && platform::MillisBetween(start, end) < total) {
    ending = ReadEnding::IntervalTimeout;
  }
  trace_->Attempt(std::string_view(bytes, r.count), platform::MillisBetween(WriteTime, end),
                  ending);
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

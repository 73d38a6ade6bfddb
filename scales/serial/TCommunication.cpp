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
  trace_ = TTrace::FromEnvironment(port, model_);
  const auto p = parity == 1 ? platform::Parity::Odd : platform::Parity::None;
  const uint8_t code = OpenCode(Handle.Open(port, baudRate, p));
  if (trace_) {
    trace_->Opened(platform::SerialPort::DeviceName(port), baudRate, parity, code,
                   Handle.OpenError());
  }
  return code;
}

uint8_t TCommunication::CloseCom() {
  const bool held = Handle.IsOpen();
  const bool closed = Handle.Close();
  if (trace_) trace_->Closed(held ? (closed ? "ok" : "failed") : "no port open");
  trace_.reset();  // the next open reads ZEVSCALE_TRACE again
  return closed ? kCloseOk : kCloseFailed;
}

bool TCommunication::WriteCom(std::string_view command) {
  Handle.Purge();
  const size_t written = command.empty() ? 0 : Handle.Write(command.data(), command.size());
  WriteTime = platform::Now();
  if (trace_) trace_->Sent(command, written);
  return Handle.IsOpen() && written == command.size();
}

bool TCommunication::ReadCom(std::string& out) {
  char buffer[kReadChunk];
  for (;;) {
    const platform::ReadResult r = Handle.ReadAttempt(buffer, sizeof buffer);
    if (trace_) TraceAttempt(buffer, r);
    if (r.count > 0) {
      out.assign(buffer, r.count);
      return true;
    }
    // No port, or a line that is gone: waiting cannot bring a reply.
    if (r.failed) return false;
    if (platform::MillisBetween(WriteTime, platform::Now()) > kReplyDeadlineMs) return false;
  }
}

void TCommunication::TraceAttempt(const char* bytes, const platform::ReadResult& r) {
  // The port tells which of the attempt's time-outs ended it: 32 bytes, the
  // interval after a byte, or the total for the whole attempt.
  ReadEnding ending = ReadEnding::TotalTimeout;
  if (r.failed) {
    ending = ReadEnding::LineGone;
  } else if (r.count == kReadChunk) {
    ending = ReadEnding::Full;
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
  if (!WriteCom(command)) return false;
  if (!replyExpected) return true;
  if (!ReadCom(RawReply)) return false;
  ParseReply(RawReply, ReplyText);
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

#include "TCommunication.h"

#include <algorithm>

#include "TTelnet.h"
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
  if (frame_.length > 0 && frame_.length < kReadChunk) {
    timeouts_.readTotalConstant +=
        timeouts_.readTotalMultiplier * static_cast<uint32_t>(kReadChunk - frame_.length);
  }
  // The characters' time the frame rule asks for (start, data, parity and
  // stop bits): the next byte of a stream that goes on comes after one.
  const uint32_t bits = parity == 1 ? 11 : 10;
  afterFrameMs_ = baudRate > 0 ? (frame_.quietChars * bits * 1000 + baudRate - 1) / baudRate : 0;
  if (endpoint.kind == TEndpoint::Kind::Tcp) {
    address_ = endpoint.tcp.Url();
    std::string notes;
    Handle = OpenTcpPort(endpoint.tcp, timeouts_, openStatus_, &notes);
    if (trace_) {
      trace_->Connected(endpoint.tcp.Url(), platform::TcpStatusText(openStatus_));
      if (!notes.empty()) trace_->Note(notes);
    }
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
    TraceNotes();
    if (!command.empty()) written = Handle->Write(command.data(), command.size());
  }
  WriteTime = platform::Now();
  if (trace_) trace_->Sent(command, written);
  return Handle && written == command.size();
}

bool TCommunication::ReadCom(std::string& out) {
  return Read(out, kReadChunk);
}

bool TCommunication::Read(std::string& out, size_t wanted) {
  char buffer[kReadChunk];
  for (;;) {
    platform::ReadResult r;
    r.failed = true;
    if (Handle) r = Handle->ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r, ReadEnding::Full);
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

TCommunication::Gathered TCommunication::Gather(std::string& got, size_t upTo,
                                                ReadEnding complete) {
  // However the bytes keep coming (noise without end), the read ends.
  constexpr int64_t kGatherMostMs = 1000;
  char buffer[kReadChunk];
  while (got.size() < upTo) {
    const size_t wanted = std::min(upTo - got.size(), kReadChunk);
    platform::ReadResult r;
    r.failed = true;
    if (Handle) r = Handle->ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r, complete);
    got.append(buffer, r.count);
    if (r.count > 0 && r.byInterval) return Gathered::Quiet;
    if (r.failed) return Gathered::Gone;
    const int64_t elapsed = platform::MillisBetween(WriteTime, platform::Now());
    if (r.count == 0) {
      if (!got.empty()) return Gathered::Quiet;  // a whole attempt without a byte
      if (elapsed > kReplyDeadlineMs) return Gathered::Nothing;
    } else if (elapsed > kGatherMostMs) {
      return Gathered::Quiet;
    }
  }
  return Gathered::Full;
}

bool TCommunication::MoreAfter(std::string& got) {
  char buffer[kReadChunk];
  platform::ReadResult r;
  if (Handle) r = Handle->ReadWithin(buffer, sizeof buffer, afterFrameMs_);
  if (trace_) {
    trace_->Attempt(std::string_view(buffer, r.count),
                    platform::MillisBetween(WriteTime, platform::Now()), ReadEnding::AfterFrame);
  }
  got.append(buffer, r.count);
  return r.count > 0;
}

bool TCommunication::Accept(std::string_view frame) {
  ParseReply(frame, ReplyText);
  return !ReplyText.empty();
}

namespace {

// Bytes that may stand in front of a reply without being part of it: line
// ends, blanks and NULs, Telnet negotiation that came late, or the end of a
// line (a converter's banner, the tail of a reply that came late).
bool IsPreamble(std::string_view bytes) {
  std::string copy(bytes), answers, seen;
  TTelnet telnet;
  const size_t data = telnet.Filter(copy.data(), copy.size(), answers, seen);
  if (data > 0 && (copy[data - 1] == '\n' || copy[data - 1] == '\r')) return true;
  for (size_t i = 0; i < data; ++i) {
    if (static_cast<unsigned char>(copy[i]) > 0x20) return false;
  }
  return true;
}

}  // namespace

bool TCommunication::ReadFrame() {
  constexpr size_t kMostGathered = 256;
  const size_t n = frame_.length;
  std::string got;
  Gathered end = Gather(got, n, ReadEnding::FrameComplete);
  if (got.empty()) {
    LastRead = end == Gathered::Gone ? ReadOutcome::Gone : ReadOutcome::Nothing;
    return false;
  }
  LastRead = ReadOutcome::Bytes;
  if (got.size() == n && frame_.whole(got)) {
    if (!MoreAfter(got)) {
      RawReply = got;
      return Accept(got);
    }
    end = Gathered::Full;
  }
  // Not a reply standing alone: as a read that ends when the line falls
  // quiet, then the whole of what came is judged.
  if (end == Gathered::Full) end = Gather(got, kMostGathered, ReadEnding::Full);
  RawReply = got;
  ReplyText.clear();
  if (got.size() < n) return false;
  const std::string_view all(got);
  const std::string_view first = all.substr(0, n), last = all.substr(all.size() - n);
  const bool firstWhole = frame_.whole(first), lastWhole = frame_.whole(last);
  if (all.size() == n) return firstWhole && Accept(first);
  // A reply behind a line end or negotiation; or a reply that the scale
  // followed with more bytes. Where both readings are possible, neither is
  // taken: bytes in front that look like the reply's could shift it.
  if (lastWhole && !firstWhole && IsPreamble(all.substr(0, all.size() - n))) return Accept(last);
  if (firstWhole && !lastWhole) return Accept(first);
  return false;
}

void TCommunication::TraceAttempt(const char* bytes, size_t wanted, const platform::ReadResult& r,
                                  ReadEnding complete) {
  // The port tells which of the attempt's time-outs ended it: the bytes asked
  // for, the interval after a byte, or the total for the whole attempt.
  ReadEnding ending = ReadEnding::TotalTimeout;
  if (r.failed || (r.count > 0 && Handle && Handle->Restorable())) {
    // Nothing read from a line that is gone, or a converter that closed the
    // connection right after the bytes it sent.
    ending = ReadEnding::LineGone;
  } else if (r.count == wanted) {
    ending = wanted == kReadChunk ? ReadEnding::Full : complete;
  } else if (r.count > 0 && r.byInterval) {
    ending = ReadEnding::IntervalTimeout;
  }
  TraceNotes();
  trace_->Attempt(std::string_view(bytes, r.count),
                  platform::MillisBetween(WriteTime, platform::Now()), ending);
}

void TCommunication::TraceNotes() {
  if (!Handle) return;
  const std::string notes = Handle->TakeNotes();
  if (trace_ && !notes.empty()) trace_->Note(notes);
}

void TCommunication::ParseReply(std::string_view reply, std::string& out) const {
  out.clear();
  if (parser_ != nullptr) out = parser_(reply, platform::DecimalSeparator());
}

bool TCommunication::Exchange(std::string_view command, bool replyExpected) {
  LastRead = ReadOutcome::None;
  if (!WriteCom(command)) return false;
  if (!replyExpected) return true;
  bool ok = false;
  if (frame_.length > 0) {
    ok = ReadFrame();
  } else if (ReadCom(RawReply)) {
    ParseReply(RawReply, ReplyText);
    ok = !ReplyText.empty();
  }
  // A converter's connection that brought nothing may be dead without either
  // side knowing (the network dropped it): the next command connects again.
  if (LastRead == ReadOutcome::Nothing && Handle && Handle->Drop()) TraceNotes();
  return ok;
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

#include "TCommunication.h"

#include <algorithm>

#include "TTelnet.h"
#include "TTrace.h"
#include "zev/platform/locale.h"

namespace zev::scales {
namespace {

Fault OpenFault(platform::OpenStatus status, platform::OpenProblem problem) {
  switch (status) {
    case platform::OpenStatus::Opened:
      return Fault::None;
    case platform::OpenStatus::LineSettingsFailed:
      return Fault::LineSettings;
    case platform::OpenStatus::TimeoutsFailed:
      return Fault::Timeouts;
    case platform::OpenStatus::OpenFailed:
      break;
  }
  switch (problem) {
    case platform::OpenProblem::Missing:
      return Fault::PortMissing;
    case platform::OpenProblem::NoAccess:
      return Fault::PortNoAccess;
    case platform::OpenProblem::Busy:
      return Fault::PortBusy;
    default:
      return Fault::PortRefused;
  }
}

// The trace's code of an open: 0 opened, 1 refused, 2 line settings, 3 time-outs.
uint8_t TraceCode(platform::OpenStatus status) {
  return static_cast<uint8_t>(status);
}

}  // namespace

TCommunication::TCommunication(const ModelRow& model) : model_(model) {}

TCommunication::~TCommunication() = default;

void TCommunication::Prepare(const std::string& name) {
  trace_ = traceTarget_.empty() ? TTrace::FromEnvironment(name, model_.name)
                                : TTrace::ToTarget(traceTarget_, name, model_.name);
  if (port_) port_->Close();
  port_.reset();
  openStatus_ = platform::TcpStatus::Ok;
  error_ = Failure();
  frame_ = fast_ ? model_.frame : FrameRule();
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
  const LineSettings& line = model_.line;
  const uint32_t bits =
      1u + line.dataBits + (line.parity == platform::Parity::Odd ? 1u : 0u) + line.stopBits;
  afterFrameMs_ =
      line.baudRate > 0 ? (frame_.quietChars * bits * 1000 + line.baudRate - 1) / line.baudRate : 0;
}

bool TCommunication::Open(const TEndpoint& endpoint) {
  endpoint_ = endpoint;
  reached_ = endpoint;
  if (endpoint.kind == TEndpoint::Kind::Com) {
    if (const auto converter = platform::TcpEntry(endpoint.com))
      reached_ = TEndpoint::Tcp(*converter);
  }
  Prepare(endpoint.Name());
  return reached_.kind == TEndpoint::Kind::Tcp ? OpenConverter(reached_.tcp)
                                               : OpenSerial(reached_.com);
}

bool TCommunication::OpenConverter(const platform::TcpAddress& address) {
  TConverterOpen report;
  port_ = OpenTcpPort(address, model_.line, timeouts_, report);
  openStatus_ = report.status;
  if (trace_) {
    trace_->Connected(address.Url(), platform::TcpStatusText(openStatus_));
    if (!report.notes.empty()) trace_->Note(report.notes);
  }
  if (port_) return true;
  error_ = Failure(Fault::LinkFailed);
  error_.link = openStatus_;
  error_.systemText = report.refusal;
  error_.kept = report.kept;
  return false;
}

bool TCommunication::OpenSerial(uint8_t com) {
  platform::OpenStatus status = platform::OpenStatus::OpenFailed;
  platform::OpenProblem problem = platform::OpenProblem::None;
  std::string words;
  const LineSettings& line = model_.line;
  port_ = OpenSerialPort(com, line.baudRate, line.parity, timeouts_, status, problem, words);
  const std::string device = platform::SerialPort::DeviceName(com);
  if (trace_) {
    trace_->Opened(device, line.baudRate,
                   static_cast<uint8_t>(line.parity == platform::Parity::Odd ? 1 : 0),
                   TraceCode(status), words);
  }
  const Fault fault = OpenFault(status, problem);
  if (fault == Fault::None) return true;
  error_ = Failure(fault);
  error_.systemText = words;
  if (fault == Fault::PortBusy) error_.holders = platform::PortHolders(device);
  return false;
}

void TCommunication::Attach(std::unique_ptr<TPort> port, const std::string& name) {
  endpoint_ = reached_ = TEndpoint();
  Prepare(name);
  port_ = std::move(port);
}

bool TCommunication::Close() {
  const bool held = port_ != nullptr;
  const bool closed = held && port_->Close();
  if (trace_) trace_->Closed(held ? (closed ? "ok" : "failed") : "no port open");
  trace_.reset();  // the next open reads ZEVSCALE_TRACE again
  port_.reset();
  error_ = closed ? Failure() : Failure(held ? Fault::CloseFailed : Fault::NotOpen);
  return closed;
}

bool TCommunication::Run(Command command) {
  error_ = Failure();
  const std::string_view bytes = model_.Bytes(command);
  if (bytes.empty()) {
    error_ = Failure(Fault::Unsupported);
    return false;
  }
  const bool weighing = command == Command::Weigh;
  if (Exchange(bytes, weighing)) return true;
  if (!port_) {
    Failed(Fault::NotOpen);
  } else if (!weighing || lastRead_ == ReadOutcome::None) {
    Failed(Fault::CommandFailed);
  } else if (lastRead_ == ReadOutcome::Nothing) {
    Failed(Fault::NothingArrived);
  } else if (lastRead_ == ReadOutcome::Gone) {
    Failed(Fault::LineGone);
  } else {
    Failed(Fault::NotAReply);
    if (error_.fault == Fault::NotAReply) error_.bytes = rawReply_;
  }
  return false;
}

void TCommunication::Failed(Fault fault) {
  error_ = Failure(fault);
  if (fault == Fault::NotOpen) return;
  const platform::TcpStatus status = LinkStatus();
  if (status == platform::TcpStatus::Ok) return;
  error_ = Failure(Fault::LinkFailed);
  error_.link = status;
  // A reconnection refused as the first connection would be, with its words.
  if (!port_) return;
  error_.systemText = port_->LineRefusal();
  error_.kept = port_->KeptLine();
}

bool TCommunication::Write(std::string_view command) {
  size_t written = 0;
  if (port_) {
    port_->Purge();
    // A converter that closed the connection since the last command.
    if (port_->Restorable()) {
      const platform::TcpStatus status = port_->Restore();
      if (trace_) trace_->Connected(reached_.tcp.Url() + " again", platform::TcpStatusText(status));
    }
    TraceNotes();
    if (!command.empty()) written = port_->Write(command.data(), command.size());
  }
  writeTime_ = platform::Now();
  if (trace_) trace_->Sent(command, written);
  return port_ && written == command.size();
}

bool TCommunication::ReadQuiet(std::string& out) {
  const size_t wanted = kReadChunk;
  char buffer[kReadChunk];
  for (;;) {
    platform::ReadResult r;
    r.failed = true;
    if (port_) r = port_->ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r, ReadEnding::Full);
    if (r.count > 0) {
      out.assign(buffer, r.count);
      lastRead_ = ReadOutcome::Bytes;
      return true;
    }
    // No port, or a line that is gone: waiting cannot bring a reply.
    if (r.failed) {
      lastRead_ = ReadOutcome::Gone;
      return false;
    }
    if (platform::MillisBetween(writeTime_, platform::Now()) > kReplyDeadlineMs) {
      lastRead_ = ReadOutcome::Nothing;
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
    if (port_) r = port_->ReadAttempt(buffer, wanted);
    if (trace_) TraceAttempt(buffer, wanted, r, complete);
    got.append(buffer, r.count);
    if (r.count > 0 && r.byInterval) return Gathered::Quiet;
    if (r.failed) return Gathered::Gone;
    const int64_t elapsed = platform::MillisBetween(writeTime_, platform::Now());
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
  if (port_) r = port_->ReadWithin(buffer, sizeof buffer, afterFrameMs_);
  if (trace_) {
    trace_->Attempt(std::string_view(buffer, r.count),
                    platform::MillisBetween(writeTime_, platform::Now()), ReadEnding::AfterFrame);
  }
  got.append(buffer, r.count);
  return r.count > 0;
}

bool TCommunication::Accept(std::string_view frame) {
  weightText_ = model_.parse(frame, platform::DecimalSeparator());
  return !weightText_.empty();
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
    lastRead_ = end == Gathered::Gone ? ReadOutcome::Gone : ReadOutcome::Nothing;
    return false;
  }
  lastRead_ = ReadOutcome::Bytes;
  if (got.size() == n && frame_.whole(got)) {
    if (!MoreAfter(got)) {
      rawReply_ = got;
      return Accept(got);
    }
    end = Gathered::Full;
  }
  // Not a reply standing alone: as a read that ends when the line falls
  // quiet, then the whole of what came is judged.
  if (end == Gathered::Full) end = Gather(got, kMostGathered, ReadEnding::Full);
  rawReply_ = got;
  weightText_.clear();
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
  if (r.failed || (r.count > 0 && port_ && port_->Restorable())) {
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
                  platform::MillisBetween(writeTime_, platform::Now()), ending);
}

void TCommunication::TraceNotes() {
  if (!port_) return;
  const std::string notes = port_->TakeNotes();
  if (trace_ && !notes.empty()) trace_->Note(notes);
}

bool TCommunication::Exchange(std::string_view command, bool replyExpected) {
  lastRead_ = ReadOutcome::None;
  if (!Write(command)) return false;
  if (!replyExpected) return true;
  bool ok = false;
  if (frame_.length > 0) {
    ok = ReadFrame();
  } else if (ReadQuiet(rawReply_)) {
    ok = Accept(rawReply_);
  }
  // A converter's connection that brought nothing may be dead without either
  // side knowing (the network dropped it): the next command connects again.
  if (lastRead_ == ReadOutcome::Nothing && port_ && port_->Drop()) TraceNotes();
  return ok;
}

}  // namespace zev::scales

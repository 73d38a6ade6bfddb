// The link between the device core and a port: the model's row gives the
// line settings, the command bytes and the reply's check.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "TPort.h"
#include "TTrace.h"
#include "fault.h"
#include "models.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::scales {

constexpr size_t kReadChunk = 32;          // bytes asked for by one read attempt
constexpr int64_t kReplyDeadlineMs = 500;  // after the write

// One model's conversation over one port: a command written after a purge of
// the input, its reply read under a fixed deadline and checked by the model's
// row, and what went wrong as a value.
class TCommunication {
 public:
  explicit TCommunication(const ModelRow& model);
  ~TCommunication();
  TCommunication(const TCommunication&) = delete;
  TCommunication& operator=(const TCommunication&) = delete;

  // Opens a COM port exclusively with the model's line settings, or connects
  // to a converter; a port that is held is closed first. A COM<N> that stands
  // for a converter's address (platform::TcpEntry) is resolved here, once.
  // The line trace is switched on or off here.
  bool Open(const TEndpoint& endpoint);
  // Takes a port opened elsewhere (one in memory, in tests) as if Open had
  // opened it; `name` names it in the trace.
  void Attach(std::unique_ptr<TPort> port, const std::string& name);
  // False (NotOpen) when no port was held, (CloseFailed) when the system
  // refused to close it.
  bool Close();
  bool IsOpen() const { return port_ != nullptr; }

  // Writes the command and, for a weighing, reads and checks the reply.
  // Unsupported, with nothing sent, where the model has no such command.
  bool Run(Command command);
  // The weight text of the last weighing that read a reply; empty after a
  // rejected one, kept after one that read nothing.
  const std::string& WeightText() const { return weightText_; }
  // The bytes of the last read that returned anything.
  const std::string& RawReply() const { return rawReply_; }
  // Why the last operation failed; Fault::None after a success.
  const Failure& Error() const { return error_; }
  // How the converter's connection stands: Ok while it is up, or for a
  // serial port; why the last connect failed when no port is held.
  platform::TcpStatus LinkStatus() const { return port_ ? port_->LinkStatus() : openStatus_; }

  const ModelRow& Model() const { return model_; }
  // Where the last Open went, as given, and what was reached: a COM<N> that
  // stands for a converter is the converter's address here.
  const TEndpoint& Endpoint() const { return endpoint_; }
  const TEndpoint& Reached() const { return reached_; }

  // Replies read as soon as they are whole by the model's frame rule from the
  // next open on, instead of when the line falls quiet.
  void SetFastReplies(bool fast) { fast_ = fast; }
  // Where the line trace goes from the next open: a file path or "stderr";
  // empty follows ZEVSCALE_TRACE.
  void SetTraceTarget(std::string target) { traceTarget_ = std::move(target); }

 private:
  // How the last read ended.
  enum class ReadOutcome { None, Nothing, Bytes, Gone };
  // How gathering bytes ended.
  enum class Gathered { Full, Quiet, Nothing, Gone };

  void Prepare(const std::string& name);
  bool OpenSerial(uint8_t com);
  bool OpenConverter(const platform::TcpAddress& address);
  bool Write(std::string_view command);
  bool Exchange(std::string_view command, bool replyExpected);
  // The read of a reply that ends when the line falls quiet.
  bool ReadQuiet(std::string& out);
  // Read attempts until `got` holds `upTo` bytes, the line falls quiet after
  // some, nothing arrives by the deadline, or the line is gone.
  Gathered Gather(std::string& got, size_t upTo, ReadEnding complete);
  // The read of a reply under the frame rule; true with the weight text set
  // when a whole reply stands alone in what arrived.
  bool ReadFrame();
  // Waits a few bytes' time for more; true when something came (appended).
  bool MoreAfter(std::string& got);
  bool Accept(std::string_view frame);
  // Why an exchange failed, from where it stopped; a converter whose
  // connection is down is told by why it is.
  void Failed(Fault fault);
  void TraceAttempt(const char* bytes, size_t wanted, const platform::ReadResult& r,
                    ReadEnding complete);
  // Writes what the port noted beside the data into the trace.
  void TraceNotes();

  const ModelRow& model_;
  bool fast_ = false;
  std::string traceTarget_;
  FrameRule frame_;                    // of the open port; length 0: reads end when quiet
  uint32_t afterFrameMs_ = 0;          // the quiet asked for after a whole reply
  platform::SerialTimeouts timeouts_;  // of the open port
  std::unique_ptr<TTrace> trace_;      // null: no trace
  std::unique_ptr<TPort> port_;        // null: no port held
  TEndpoint endpoint_, reached_;
  platform::TcpStatus openStatus_ = platform::TcpStatus::Ok;  // of the last failed connect
  ReadOutcome lastRead_ = ReadOutcome::None;
  platform::MonoTime writeTime_;  // end of the last write
  std::string rawReply_;
  std::string weightText_;
  Failure error_;
};

}  // namespace zev::scales

// The serial link shared by every scale model: one port, a command written
// after a purge of the input, and a reply read under a fixed deadline.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "TPort.h"
#include "TTrace.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::scales {

// A model's reply check: the reply bytes in, the weight text out (empty when
// the reply is rejected). `decimalSeparator` is the regional one.
using ReplyParser = std::string (*)(std::string_view reply, char decimalSeparator);

// Codes of OpenCom.
enum : uint8_t {
  kOpenOk = 0,
  kOpenFailed = 1,
  kOpenLineSettingsFailed = 2,
  kOpenTimeoutsFailed = 3,
};
// Codes of CloseCom.
enum : uint8_t { kCloseOk = 0, kCloseFailed = 1 };

constexpr size_t kReadChunk = 32;          // bytes asked for by one read attempt
constexpr int64_t kReplyDeadlineMs = 500;  // after the write

// What makes a model's reply whole, for a read that ends as soon as the reply
// has arrived instead of when the line falls quiet.
struct FrameRule {
  size_t length = 0;  // bytes of a reply; 0: no such read
  // True when the bytes are exactly one reply of the model, each byte where
  // the model's layout allows it. A whole reply is taken only when the line
  // stays quiet for a few bytes' time after it: a byte then shows that the
  // bytes read began before the reply (and would shift it), or that the
  // scale sends more after it (which must not be left for the next command).
  bool (*whole)(std::string_view bytes) = nullptr;
  // Characters' time the line must stay quiet after a whole reply: three
  // where bytes in front could shift a reply into a whole-looking one, two
  // where none can (a reply closed by its only CR LF) and only bytes after
  // it are looked for.
  uint32_t quietChars = 3;
};

class TCommunication {
 public:
  // `model` names the model in the line trace.
  explicit TCommunication(ReplyParser parser, const char* model = "");
  ~TCommunication();
  TCommunication(const TCommunication&) = delete;
  TCommunication& operator=(const TCommunication&) = delete;

  // Opens COM<port> exclusively at `baudRate` with `parity` (0 none, 1 odd),
  // 8 data bits, 1 stop bit; a held port is closed first. Returns 0 to 3.
  // The line trace is switched on or off here (ZEVSCALE_TRACE).
  // COM<port> may stand for a converter's TCP address (see platform::TcpEntry).
  uint8_t OpenCom(uint8_t port, uint32_t baudRate, uint8_t parity);
  // The same for any endpoint: a COM port or a converter. A converter that
  // cannot be reached gives 1; LinkStatus() tells why.
  uint8_t Open(const TEndpoint& endpoint, uint32_t baudRate, uint8_t parity);
  // 0 when the port was closed, 1 when none was held or closing failed.
  uint8_t CloseCom();
  // Purges the input, writes the command and starts the reply deadline.
  // True when every byte was written.
  bool WriteCom(std::string_view command);
  // Read attempts until one returns bytes or the deadline passes; `out` is set
  // only when something arrived.
  bool ReadCom(std::string& out);
  void ParseReply(std::string_view reply, std::string& out) const;
  // Writes the command and, when a reply is expected, reads and checks it.
  bool Exchange(std::string_view command, bool replyExpected);

  bool IsOpen() const { return Handle != nullptr; }
  // How the last connection to a converter failed, or Ok.
  platform::TcpStatus LinkStatus() const;

  // How the last read ended.
  enum class ReadOutcome { None, Nothing, Bytes, Gone };
  // Why the last open of a serial port failed (None after a successful one).
  platform::OpenProblem LastOpenProblem() const { return openProblem_; }

  // Replies read as soon as they are whole by `rule` from the next open on;
  // a rule of length 0 reads up to 32 bytes until the line falls quiet.
  void SetFrameRule(const FrameRule& rule) { frame_ = rule; }
  // Where the line trace goes from the next open: a file path or "stderr";
  // empty follows ZEVSCALE_TRACE.
  std::string TraceTarget;
  ReadOutcome LastRead = ReadOutcome::None;

  std::unique_ptr<TPort> Handle;  // null: no port held
  std::string RawReply;           // bytes of the last read that returned anything
  platform::MonoTime WriteTime;   // end of the last write
  std::string ReplyText;          // the last weight text; empty after a rejected reply

 private:
  uint8_t OpenNamed(const TEndpoint& endpoint, uint32_t baudRate, uint8_t parity,
                    const std::string& name);
  void TraceAttempt(const char* bytes, size_t wanted, const platform::ReadResult& r,
                    ReadEnding complete);
  bool Read(std::string& out, size_t wanted);
  // How gathering bytes ended.
  enum class Gathered { Full, Quiet, Nothing, Gone };
  // Read attempts until `got` holds `upTo` bytes, the line falls quiet after
  // some, nothing arrives by the deadline, or the line is gone.
  Gathered Gather(std::string& got, size_t upTo, ReadEnding complete);
  // The read of a reply under the frame rule; true with ReplyText set when a
  // whole reply stands alone in what arrived.
  bool ReadFrame();
  // Waits a few bytes' time for more; true when something came (appended).
  bool MoreAfter(std::string& got);
  bool Accept(std::string_view frame);
  // Writes what the port noted beside the data into the trace.
  void TraceNotes();

  ReplyParser parser_;
  const char* model_;
  FrameRule frame_;
  uint32_t afterFrameMs_ = 0;          // the quiet asked for after a whole reply
  platform::SerialTimeouts timeouts_;  // of the open port
  std::unique_ptr<TTrace> trace_;      // null: no trace
  platform::TcpStatus openStatus_ = platform::TcpStatus::Ok;  // of the last failed connect
  platform::OpenProblem openProblem_ = platform::OpenProblem::None;
  std::string address_;  // the converter's, for the trace
};

// Weight text of a gram count: kilograms with three decimals and `separator`.
std::string FormatGrams(int64_t grams, char separator);

}  // namespace zev::scales

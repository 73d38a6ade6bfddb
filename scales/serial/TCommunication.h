// The serial link shared by every scale model: one port, a command written
// after a purge of both buffers, and a reply read under a fixed deadline.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::scales {
class TTrace;
}

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
  uint8_t OpenCom(uint8_t port, uint32_t baudRate, uint8_t parity);
  // 0 when the port was closed, 1 when none was held or closing failed.
  uint8_t CloseCom();
  // Purges both buffers, writes the command and starts the reply deadline.
  // True when every byte was written.
  bool WriteCom(std::string_view command);
  // Read attempts until one returns bytes or the deadline passes; `out` is set
  // only when something arrived.
  bool ReadCom(std::string& out);
  void ParseReply(std::string_view reply, std::string& out) const;
  // Writes the command and, when a reply is expected, reads and checks it.
  bool Exchange(std::string_view command, bool replyExpected);

  bool IsOpen() const { return Handle.IsOpen(); }

  platform::SerialPort Handle;
  std::string RawReply;          // bytes of the last read that returned anything
  platform::MonoTime WriteTime;  // end of the last write
  std::string ReplyText;         // the last weight text; empty after a rejected reply

 private:
  void TraceAttempt(const char* bytes, const platform::ReadResult& r);

  ReplyParser parser_;
  const char* model_;
  std::unique_ptr<TTrace> trace_;  // null: no trace
};

// Weight text of a gram count: kilograms with three decimals and `separator`.
std::string FormatGrams(int64_t grams, char separator);

}  // namespace zev::scales

// The line trace: what a port sends and receives, one line per command and
// per read attempt, for whoever integrates or installs a scale. Off unless the
// environment variable ZEVSCALE_TRACE names a file to append to (or "stderr")
// when the port is opened ("stderr" in any letter case). A trace file that
// cannot be opened is said once per open on standard error, and the port
// opens without a trace. Lines that could not be written at once are
// counted, and the count is written ("12 trace lines lost") as soon as
// writing works again.
//
// Line format: date, time, [process id], port, model, then what happened:
//   2026-12-08 12:00:01.234 [4242] COM3 ZEV-U open /dev/ttyS2 4800 8N1: ok
//   2026-12-08 12:00:01.235 [4242] COM3 ZEV-U -> 50 |P| written 1 of 1
//   2026-12-08 12:00:01.463 [4242] COM3 ZEV-U <- 20 20 ... 0D 0A |  0.500 kg  ..| +228 ms,
//     interval time-out
//   2026-12-08 12:00:01.763 [4242] COM3 ZEV-U <- (nothing) +528 ms, total time-out
//   2026-12-08 12:00:01.800 [4242] COM3 ZEV-U close: ok
// The open line names the device behind a COM<N> entry in brackets, and the
// system's words when the open failed. A port that is a converter's TCP
// address opens so:
//   2026-12-08 12:00:01.234 [4242] COM3 ZEV-U open tcp://192.168.1.50:4001: ok
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zev/platform/tracefile.h"

namespace zev::scales {

inline constexpr const char* kTraceVariable = "ZEVSCALE_TRACE";

// How a read attempt ended.
// AfterFrame: the short wait after a complete frame for a byte that would
// show it was not the whole reply.
enum class ReadEnding { Full, FrameComplete, IntervalTimeout, TotalTimeout, LineGone, AfterFrame };

class TTrace {
 public:
  // The trace that ZEVSCALE_TRACE asks for, or null when it is unset or its
  // file cannot be opened.
  static std::unique_ptr<TTrace> FromEnvironment(uint8_t port, std::string_view model);
  // The same for a port named `link` ("COM3", "tcp://192.168.1.50:4001").
  static std::unique_ptr<TTrace> FromEnvironment(std::string_view link, std::string_view model);
  // The trace into `target` (a file path or "stderr"), or null when it cannot
  // be opened.
  static std::unique_ptr<TTrace> ToTarget(const std::string& target, std::string_view link,
                                          std::string_view model);

  void Opened(const std::string& device, uint32_t baudRate, uint8_t parity, uint8_t code,
              const std::string& systemError);
  // A connection to `url` made (`outcome` "ok") or not (the reason).
  void Connected(const std::string& url, const std::string& outcome);
  void Closed(const char* outcome);
  void Sent(std::string_view command, size_t written);
  void Attempt(std::string_view bytes, int64_t msSinceWrite, ReadEnding ending);
  // What the port saw or did beside the data (a converter's Telnet
  // negotiation, its greeting, a connection given up), as a line of its own.
  void Note(const std::string& text);

  // The text of a read ending as the trace writes it.
  static const char* EndingText(ReadEnding ending);
  // Bytes as hex pairs and as printable characters between bars.
  static std::string Dump(std::string_view bytes);

 private:
  TTrace(std::string_view link, std::string_view model) : prefix_(" ") {
    prefix_.append(link).append(" ").append(model.empty() ? "?" : model);
  }
  void Write(const std::string& text);

  std::string prefix_;
  platform::AppendFile file_;
  uint64_t lost_ = 0;  // lines dropped since the last one written
};

}  // namespace zev::scales

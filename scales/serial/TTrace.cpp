#include "TTrace.h"

namespace zev::scales {

std::unique_ptr<TTrace> TTrace::FromEnvironment(uint8_t port, std::string_view model) {
  return FromEnvironment("COM" + std::to_string(port), model);
}

std::unique_ptr<TTrace> TTrace::FromEnvironment(std::string_view link, std::string_view model) {
  return ToTarget(platform::EnvironmentVariable(kTraceVariable), link, model);
}

std::unique_ptr<TTrace> TTrace::ToTarget(const std::string& target, std::string_view link,
                                         std::string_view model) {
  if (target.empty()) return nullptr;
  std::unique_ptr<TTrace> trace(new TTrace(link, model));
  if (!trace->file_.Open(target)) return nullptr;
  return trace;
}

const char* TTrace::EndingText(ReadEnding ending) {
  switch (ending) {
    case ReadEnding::Full:
      return "32 bytes";
    case ReadEnding::FrameComplete:
      return "frame complete";
    case ReadEnding::IntervalTimeout:
      return "interval time-out";
    case ReadEnding::TotalTimeout:
      return "total time-out";
    case ReadEnding::LineGone:
      return "line gone";
  }
  return "?";
}

std::string TTrace::Dump(std::string_view bytes) {
  if (bytes.empty()) return "(nothing)";
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex, printable;
  for (unsigned char c : bytes) {
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
    hex += ' ';
    printable += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
  }
  return hex + "|" + printable + "|";
}

void TTrace::Write(const std::string& text) {
  // One line, one write: lines of different ports never interleave.
  const std::string time = platform::LocalTimeOfDay();
  if (lost_ > 0 &&
      file_.Append(time + prefix_ + " " + std::to_string(lost_) + " trace lines lost\n")) {
    lost_ = 0;
  }
  if (!file_.Append(time + prefix_ + " " + text + "\n")) ++lost_;
}

void TTrace::Opened(const std::string& device, uint32_t baudRate, uint8_t parity, uint8_t code) {
  static const char* const kOutcome[] = {"ok", "cannot open the device", "line settings refused",
                                         "time-outs refused"};
  Write("open " + (device.empty() ? std::string("(no device)") : device) + " " +
        std::to_string(baudRate) + (parity == 1 ? " 8O1: " : " 8N1: ") +
        (code < 4 ? kOutcome[code] : "?"));
}

void TTrace::Connected(const std::string& url, const std::string& outcome) {
  Write("open " + url + ": " + outcome);
}

void TTrace::Sent(std::string_view command, size_t written) {
  Write("-> " + Dump(command) + " written " + std::to_string(written) + " of " +
        std::to_string(command.size()));
}

void TTrace::Attempt(std::string_view bytes, int64_t msSinceWrite, ReadEnding ending) {
  Write("<- " + Dump(bytes) + " +" + std::to_string(msSinceWrite) + " ms, " + EndingText(ending));
}

}  // namespace zev::scales

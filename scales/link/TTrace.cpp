#include "TTrace.h"

#include <algorithm>

namespace zev::scales {

namespace {

bool IsStandardError(const std::string& target) {
  static const char kName[] = "stderr";
  if (target.size() != sizeof kName - 1) return false;
  for (size_t i = 0; i < target.size(); ++i) {
    const char c =
        target[i] >= 'A' && target[i] <= 'Z' ? static_cast<char>(target[i] + 32) : target[i];
    if (c != kName[i]) return false;
  }
  return true;
}

}  // namespace

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
  std::string error;
  const std::string file = IsStandardError(target) ? std::string("stderr") : target;
  if (!trace->file_.Open(file, &error)) {
    // Said once for this open, on standard error only: the platform is never
    // troubled with it, and the port opens as it would without a trace.
    platform::AppendFile console;
    if (console.Open("stderr")) {
      console.Append("ZEVScale: " + std::string(kTraceVariable) +
                     ": cannot write the line trace to " + target + ": " + error +
                     "; no trace for " + std::string(link) + "\n");
    }
    return nullptr;
  }
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
    case ReadEnding::AfterFrame:
      return "after the frame";
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
  const std::string head = platform::LocalDateTime() + " [" +
                           std::to_string(platform::ProcessId()) + "]" + prefix_ + " ";
  if (lost_ > 0 && file_.Append(head + std::to_string(lost_) + " trace lines lost\n")) {
    lost_ = 0;
  }
  if (!file_.Append(head + text + "\n")) ++lost_;
}

void TTrace::Opened(const std::string& device, uint32_t baudRate, uint8_t parity, uint8_t code,
                    const std::string& systemError) {
  static const char* const kOutcome[] = {"ok", "cannot open the device", "line settings refused",
                                         "time-outs refused"};
  std::string name = device.empty() ? std::string("(no device)") : device;
  if (!device.empty()) {
    const std::string behind = platform::ResolvedPath(device);
    if (behind != device) name += " (" + behind + ")";
  }
  Write("open " + name + " " + std::to_string(baudRate) + (parity == 1 ? " 8O1: " : " 8N1: ") +
        (code < 4 ? kOutcome[code] : "?") +
        (code != 0 && !systemError.empty() ? " (" + systemError + ")" : std::string()));
}

void TTrace::Closed(const char* outcome) {
  Write(std::string("close: ") + outcome);
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

void TTrace::Note(const std::string& text) {
  size_t from = 0;
  while (from <= text.size()) {
    const size_t end = std::min(text.find('\n', from), text.size());
    if (end > from) Write(text.substr(from, end - from));
    from = end + 1;
  }
}

}  // namespace zev::scales

#include "TTrace.h"

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
  std::string target = platform::EnvironmentVariable(kTraceVariable);
  if (target.empty()) return nullptr;
  if (IsStandardError(target)) target = "stderr";
  std::unique_ptr<TTrace> trace(new TTrace(port, model));
  std::string error;
  if (!trace->file_.Open(target, &error)) {
    // Said once for this open, on standard error only: the platform is never
    // troubled with it, and the port opens as it would without a trace.
    platform::AppendFile console;
    if (console.Open("stderr")) {
      console.Append("ZEVScale: " + std::string(kTraceVariable) +
                     ": cannot write the line trace to " + target + ": " + error +
                     "; no trace for COM" + std::to_string(port) + "\n");
    }
    return nullptr;
  }
  return trace;
}

const char* TTrace::EndingText(ReadEnding ending) {
  switch (ending) {
    case ReadEnding::Full:
      return "32 bytes";
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
  file_.Append(platform::LocalDateTime() + " [" + std::to_string(platform::ProcessId()) + "]" +
               prefix_ + " " + text + "\n");
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

void TTrace::Sent(std::string_view command, size_t written) {
  Write("-> " + Dump(command) + " written " + std::to_string(written) + " of " +
        std::to_string(command.size()));
}

void TTrace::Attempt(std::string_view bytes, int64_t msSinceWrite, ReadEnding ending) {
  Write("<- " + Dump(bytes) + " +" + std::to_string(msSinceWrite) + " ms, " + EndingText(ending));
}

}  // namespace zev::scales

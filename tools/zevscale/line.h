// The serial line as the tool itself sees it, beside the add-in: each model's
// line settings and weighing command, listening to what a scale sends after
// a command, and which model a frame of bytes belongs to.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace zev::cli {

struct ModelLine {
  const char* name;
  bool oddParity;
  std::string weigh;     // the weighing command's bytes
  const char* settings;  // "4800 8N1"
};
// The line of `model`, or null for a name that is none of the three.
const ModelLine* FindModelLine(const std::string& model);

// Bytes that arrived together, `ms` after the command was written.
struct Heard {
  int64_t ms = 0;
  std::string bytes;
};

struct Listening {
  bool opened = false;
  std::string error;  // why the port did not open
  std::vector<Heard> heard;
  std::string All() const;
};

// Opens COM<port> with the model's settings, sends its weighing command once
// and gathers what arrives for `ms` milliseconds. With `quietFirst` it first
// waits until the line has been quiet for 300 ms (up to a second), so that
// late replies to earlier commands are not taken for this one's. With
// `untilFrame` it stops once the bytes make one of the model's frames.
Listening Listen(int port, const ModelLine& model, int ms, bool quietFirst, bool untilFrame,
                 const std::atomic<bool>* interrupted = nullptr);

// The first reply frame of `model` (or, for ZEV-NT(N), of ZEV-AW) that
// begins `after` ms or later after the command: its time and bytes; ms -1
// when there is none.
Heard FrameAt(const Listening& l, const std::string& model, int64_t after = 0);

// The model whose reply frame `bytes` is exactly; empty when none.
std::string LooksLike(const std::string& bytes);
// Whether `bytes` is exactly one reply frame of `model`.
bool IsFrame(const std::string& model, const std::string& bytes);
// Bytes as hex pairs and as printable characters between bars.
std::string Dump(const std::string& bytes);

}  // namespace zev::cli

// The serial line as the tool itself sees it, beside the add-in: each model's
// line settings and weighing command, listening to what a scale sends after
// a command, and which model a frame of bytes belongs to.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models.h"
#include "zev/platform/tcp.h"

namespace zev::cli {

// The row of the model called `name` in the driver's table, or null.
const scales::ModelRow* ModelNamed(const std::string& name);
// Whether `model`'s replies may be mistaken for `other`'s (ZEV-NT(N)'s
// reader takes a ZEV-AW frame).
bool RepliesLike(const std::string& model, const std::string& other);

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
  // A converter only: what it sent after the connection was made and before
  // the command, and whether (and when after the command, -1: before it) it
  // closed the connection. Nothing is sent once it closed before the command.
  bool converter = false;
  std::string before;
  bool closed = false;
  int64_t closedMs = -1;
  // With `quietFirst`: the line did not fall quiet, as a line of noise does
  // not; nothing was sent.
  bool noisy = false;
};

// Opens COM<port> with the model's settings (or connects to `converter`, the
// one COM<port> stands for, when given), sends its weighing command once
// and gathers what arrives for `ms` milliseconds. With `quietFirst` it first
// waits until the line has been quiet for 300 ms (up to a second), so that
// late replies to earlier commands are not taken for this one's; when it
// never is, or more bytes come than such replies make, the line sends noise
// and it gives up at once (Listening::noisy). With
// `untilFrame` it stops once the bytes make one of the model's frames.
Listening Listen(int port, const std::optional<platform::TcpAddress>& converter,
                 const scales::ModelRow& model, int ms, bool quietFirst, bool untilFrame,
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

// What a converter does on a connection of the tool's own before anything is
// sent to it. One that is busy with another connection says so in a line of
// text and closes the connection (ser2net: "Port already in use"); one in
// Telnet mode begins to negotiate; one in raw TCP mode stays quiet.
struct Greeting {
  platform::TcpStatus status = platform::TcpStatus::Ok;  // of the connection
  std::string systemError;                               // the system's words when it failed
  std::string bytes;                                     // what arrived before anything was sent
  bool closed = false;                                   // the converter closed the connection

  enum class Kind { Quiet, Text, Busy, Telnet, Closed };
  // Quiet: nothing; Text: bytes, the connection kept; Busy: text, then the
  // close; Telnet: negotiation first; Closed: closed without text.
  Kind What() const;
  // The bytes as one line of text, control characters left out.
  std::string Line() const;
};

// Connects to the converter, sends nothing, and gathers what arrives until it
// has been quiet a while (about half a second in all when nothing comes).
Greeting Greet(const platform::TcpAddress& address);

// Whether `bytes` begin with a Telnet negotiation: IAC (FF) and WILL, WONT,
// DO or DONT (FB to FE).
bool BeginsWithTelnet(const std::string& bytes);

// Telnet commands among the bytes a converter sends, told apart from the data
// ("WILL ECHO", "SB COM-PORT-OPTION 01 00 00 12 C0"); a command split between
// two pieces is completed by the next one.
class TelnetReader {
 public:
  struct Part {
    bool telnet = false;
    std::string text;  // the command's name, or the data bytes
  };
  std::vector<Part> Read(const std::string& bytes);
  // The bytes of a command still incomplete, as data.
  std::string Rest() const { return pending_; }
  bool Seen() const { return seen_; }

 private:
  std::string pending_;
  bool seen_ = false;
};

// The data bytes of `parts`.
std::string DataOf(const std::vector<TelnetReader::Part>& parts);
// "telnet: WILL ECHO, WILL SUPPRESS-GO-AHEAD  35 34 |54|": runs of commands
// labelled, data as Dump shows it.
std::string Shown(const std::vector<TelnetReader::Part>& parts);
// The commands of `parts` alone: "WILL ECHO", ...
std::vector<std::string> CommandsOf(const std::vector<TelnetReader::Part>& parts);

}  // namespace zev::cli

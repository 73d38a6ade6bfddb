// A simulated ZEV scale on the master side of a pseudo-terminal, or behind a
// simulated Ethernet-to-serial converter on a TCP port. It speaks all three
// models at the real line pace, records every byte it receives and can be
// told to misbehave.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zev::sim {

enum class Model { ZevU, ZevAW, ZevNT };

std::optional<Model> ModelFromName(std::string_view name);
const char* ModelName(Model model);

// What the scale does wrong, applied to every weigh command until changed.
struct Faults {
  bool silent = false;             // never answers
  int delayMs = 0;                 // waits this long before answering
  int pauseAfterBytes = -1;        // pauses after this many bytes of the reply...
  int pauseMs = 0;                 // ...for this long
  int extraBytes = 0;              // sends this many further bytes after the frame
  int missingBytes = 0;            // leaves out the last bytes of the frame
  std::optional<std::string> raw;  // sends these bytes instead of the frame
  bool noise = false;              // sends random bytes without end
  bool hangUpOnCommand = false;    // closes the line when the next command arrives
  int hangUpAfterBytes = -1;       // closes the line after this many bytes of the reply
  int faultyReplies = -1;          // the faults above spoil this many weigh replies from the start
                                   // (-1: every one); later ones are whole and in time
};

// How a simulated converter treats connections.
enum class TcpMode {
  Serve,     // serves one connection at a time (a newer one replaces the older)
  Refuse,    // the port is taken but nobody listens: every connection is refused
  NoAccept,  // listens with a full backlog and never accepts: a connection is never answered
  Busy,      // accepts, says "Port already in use" and closes, as when another client holds it
};

// A serial line's settings as RFC 2217 numbers them: parity 1 none, 2 odd,
// 3 even; stop size 1, 2, or 3 for 1.5.
struct LineState {
  uint32_t baud = 9600;
  uint8_t dataSize = 8;
  uint8_t parity = 1;
  uint8_t stopSize = 1;
  bool operator==(const LineState& o) const {
    return baud == o.baud && dataSize == o.dataSize && parity == o.parity && stopSize == o.stopSize;
  }
  // "9600 8N1".
  std::string Text() const;
};

// A converter's ways, for the modes that accept connections.
struct TcpOptions {
  TcpMode mode = TcpMode::Serve;
  // One serial line shared by every connection at once (Serve): each receives
  // every byte the scale sends, and the commands of any reach the scale, which
  // answers them in turn at the line pace.
  bool copyToAll = false;
  // Speaks Telnet: negotiates on each accept, doubles every data byte FF it
  // sends, takes FF FF from the client as one FF and keeps the client's
  // Telnet commands from the scale.
  bool telnet = false;
  // Sent with CR LF on each accept, after the Telnet negotiation and before
  // serving (empty: nothing; never in Busy).
  std::string banner;
  // Speaks Telnet with the serial-port control of RFC 2217 (implies telnet):
  // asks for COM-PORT-OPTION on accept, applies the line settings a client
  // sets and answers them, answers PURGE-DATA. Its line starts at 9600 8N1
  // and is kept across connections; the scale hears nothing of what is sent
  // while the line is not the model's.
  bool rfc2217 = false;
  // A setting the converter keeps whatever is asked ("baud", "datasize",
  // "parity", "stopsize"; empty: none), answering its own.
  std::string refuseSetting;
};

class Simulator {
 public:
  Simulator(Model model, double weightKg);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the pseudo-terminal and starts serving it. False with a message on failure.
  bool Start(std::string* error = nullptr);
  // Serves the scale on TCP port `port` of `host` (0: a free port) instead.
  // The line breaks (hang-up, close mid-reply) close the connection only; the
  // next connection is served again. Stop() and a new start on the same port
  // is a converter restarted. The options make it one that shares its line,
  // speaks Telnet or greets with a banner.
  bool StartTcp(const std::string& host, int port, TcpMode mode = TcpMode::Serve,
                std::string* error = nullptr);
  bool StartTcp(const std::string& host, int port, const TcpOptions& options,
                std::string* error = nullptr);
  void Stop();
  // The TCP port served (after StartTcp), and its address as a URL.
  int TcpPort() const { return tcpPort_; }
  std::string TcpUrl() const;

  // The device a port should be mapped to.
  const std::string& DevicePath() const { return devicePath_; }
  Model GetModel() const { return model_; }

  void SetWeight(double weightKg);
  void SetFaults(const Faults& faults);
  // Every byte received since the start or the last ClearReceived().
  std::string Received() const;
  void ClearReceived();
  // The Telnet commands received from clients (TcpOptions::telnet), as they
  // came (IAC WILL/WONT/DO/DONT x, IAC SB ... IAC SE, IAC x), since the start
  // or the last ClearReceived(). Their bytes are not in Received().
  std::string TelnetReceived() const;
  // Connections served at the moment.
  int Connections() const { return connections_; }
  // The negotiation the converter sends on accept in Telnet mode.
  static std::string TelnetGreeting();
  // The converter's line (TcpOptions::rfc2217), and the scale's.
  LineState ConverterLine() const;
  static LineState ScaleLine(Model model);
  // On the pseudo-terminal: the scale hears only what comes while the line,
  // as the program on the other end set it, is the scale's own. A Linux
  // pseudo-terminal keeps PARODD but clears PARENB, so an odd parity set
  // there shows as PARODD alone and is taken for odd.
  void SetLineCheck(bool on) { lineCheck_ = on; }
  // The pseudo-terminal's line as it is set now (baud 0 when unknown).
  LineState PtyLine() const;
  // Weigh commands answered (or ignored) so far.
  int WeighCommands() const { return weighCommands_; }
  int Commands() const { return commands_; }
  // Sends bytes now, whether or not a command is outstanding.
  void SendUnsolicited(std::string_view bytes);
  // Closes the line at once, as a scale that is unplugged.
  void HangUp();
  // Waits until everything asked of the scale so far is done: replies and
  // unsolicited bytes sent, a hang-up carried out, new faults in effect.
  // False when that takes longer than `ms`.
  bool WaitQuiet(int ms = 5000);
  bool HungUp() const { return hungUp_; }

  // The weigh reply frame of `model` for a weight in kilograms.
  static std::string Frame(Model model, double weightKg);
  // Seconds one byte takes on the line for `model` (4800 baud, 10 or 11 bits).
  static double ByteSeconds(Model model);

 private:
  // A client's connection; a closed one keeps fd -1 until the next round.
  struct Client {
    int fd = -1;
    int state = 0;        // where in a Telnet command the client's stream is
    std::string command;  // the client's Telnet command so far
  };

  void Serve();
  void HandleByte(unsigned char byte);
  void Answer();
  // Sends at the line pace; false when stopped meanwhile.
  bool SendPaced(std::string_view bytes);
  bool Put(char byte);
  void Accept();
  // Sends converter bytes (not paced) to one connection.
  void SendNow(int fd, std::string_view bytes);
  // Reads what a client sent and gives the scale its data bytes.
  void ReadConnection(size_t index);
  void CloseConnection(size_t index);
  // True when `byte` from `client` is data for the scale; a Telnet command's
  // byte is kept aside instead.
  bool TelnetData(Client& client, unsigned char byte);
  // Answers a whole Telnet command of a client (TcpOptions::rfc2217).
  void ServeComPort(int fd, const std::string& command);
  bool LineUp() const;
  // Sleeps unless stopped; false when stopped.
  bool Sleep(int ms);
  void CloseLine();

  Model model_;
  std::string devicePath_;
  int master_ = -1;
  int slaveKeeper_ = -1;  // keeps the line up while the driver has the port closed
  int wake_[2] = {-1, -1};
  bool tcp_ = false;
  TcpOptions tcpOptions_;
  int listener_ = -1;
  std::vector<Client> clients_;
  std::atomic<int> connections_{0};
  std::vector<int> fillers_;  // connections that fill the backlog (TcpMode::NoAccept)
  std::string tcpHost_;
  int tcpPort_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hungUp_{false};
  std::atomic<bool> hangUpNow_{false};
  std::atomic<int> weighCommands_{0};
  std::atomic<int> commands_{0};
  std::atomic<int> rounds_{0};  // rounds of the serving loop begun
  mutable std::mutex mutex_;
  double weightKg_;
  Faults faults_;
  std::string received_;
  std::string telnetReceived_;
  std::string pending_;  // bytes of a command frame still incomplete
  LineState line_;       // the converter's (rfc2217)
  std::atomic<bool> lineCheck_{false};
  std::string unsolicited_;
  uint32_t noiseState_ = 12345;
};

// A directory of COM<N> entries for the driver's port mapping (ZEVSCALE_PORTS).
class PortDirectory {
 public:
  PortDirectory();
  ~PortDirectory();
  PortDirectory(const PortDirectory&) = delete;
  PortDirectory& operator=(const PortDirectory&) = delete;

  const std::string& Path() const { return path_; }
  // Points COM<port> at `device` (replacing an earlier entry).
  bool Map(int port, const std::string& device);
  // Makes COM<port> stand for a converter: a file whose first line is `url`.
  bool MapTcp(int port, const std::string& url);
  void Unmap(int port);
  // Sets ZEVSCALE_PORTS for this process to the directory.
  void Export() const;

 private:
  std::string path_;
};

}  // namespace zev::sim

// ser2net (the 4.x of Debian, configured in YAML) as a child process in front
// of a serial device, such as a simulated scale's pseudo-terminal, on a free
// port of the loopback address: the converter that the tests put between the
// driver and the scale.
#pragma once

#include <sys/types.h>

#include <string>

namespace zev::test {

class Ser2net {
 public:
  // What ser2net speaks on its TCP port.
  enum class Accepter {
    Raw,            // tcp: the bytes as they are
    Telnet,         // telnet(rfc2217=false): Telnet without serial-port control
    TelnetRfc2217,  // telnet(rfc2217): Telnet with serial-port control (RFC 2217)
  };
  struct Options {
    Accepter accepter = Accepter::Raw;
    // Clients served at once, all sharing the line; one more is told
    // "Port already in use" and closed.
    int maxConnections = 1;
    // Sent with CR LF to each client on connecting (empty: none). One line;
    // ser2net's own escapes (\d, \p ...) are not taken: a backslash is a backslash.
    std::string banner;
    // The device's settings when ser2net opens it: speed, parity, data bits,
    // stop bits.
    std::string lineSettings = "4800n81";
  };

  Ser2net() = default;
  // Kills the child and removes its files.
  ~Ser2net();
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Starts ser2net in front of `device` and waits until its port listens.
  // False with a message (and ser2net's own words) on failure.
  bool Start(const std::string& device, const Options& options, std::string* error = nullptr);
  void Stop();
  // The TCP port on 127.0.0.1, and its address as a URL (tcp://127.0.0.1:PORT).
  int Port() const { return port_; }
  std::string Url() const;
  // What ser2net has written to its log so far.
  std::string Log() const;

  // Whether ser2net (4.x) is installed and runs here; `why` says why not.
  static bool Available(std::string* why = nullptr);

 private:
  bool Listening() const;
  bool Exited();

  std::string dir_;  // the temporary directory of the configuration and the log
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace zev::test

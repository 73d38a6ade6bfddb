// A TCP connection to an Ethernet-to-serial converter in raw TCP server mode:
// every byte sent goes out on the converter's serial line, every byte of the
// line comes back. It behaves as a serial port does: purge, write under the
// write time-outs, read attempts under the read time-outs, all on the
// monotonic clock. Each operating system has a backend of its own; no system
// type shows here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zev/platform/serial.h"

namespace zev::platform {

struct TcpAddress {
  std::string host;  // a name, an IPv4 address, or an IPv6 address without brackets
  uint16_t port = 0;
  // The converter takes its line settings from the driver over the
  // connection (Telnet with the serial-port control of RFC 2217), instead of
  // keeping the ones set in it (raw TCP).
  bool rfc2217 = false;

  // "tcp://HOST:PORT" or "rfc2217://HOST:PORT", with an IPv6 host between
  // brackets.
  std::string Url() const;
};

// Why `host` cannot name a converter, in a few English words; none when it
// can. Refused: an empty host, blanks and control characters, '/', '[' and
// ']', the addresses that mean this computer itself (0.0.0.0, ::), and a host
// that looks like an IPv4 address (its parts all numbers) without being
// exactly four decimal numbers 0 to 255 with no leading zeros ("127.0.0.256",
// "1.2.3", "0", "010.0.0.1": the system would read these as some other
// address, or send them to the name server). Names and IPv6 addresses are
// accepted.
std::optional<std::string> HostProblem(std::string_view host);

// Reads "HOST:PORT", "[IPv6]:PORT" or either after "tcp://" or "rfc2217://"
// (which sets rfc2217); the host passes HostProblem, the port is 1 to 65535.
// Nothing else is accepted.
std::optional<TcpAddress> ParseTcpAddress(std::string_view text);

// The converter that COM<port> stands for: an entry of the ports directory that
// is a regular file whose first line is "tcp://HOST:PORT" or
// "rfc2217://HOST:PORT". None on systems
// without a ports directory.
std::optional<TcpAddress> TcpEntry(uint8_t port);

// The words of a status, as the line trace and the tools write them.
const char* TcpStatusText(TcpStatus status);

// How long a connection attempt may take: the name's resolution and all of
// its addresses together.
constexpr int kConnectTimeoutMs = 1000;

// The keep-alive of every connection, so that a converter gone between two
// weighings (switched off, cable pulled) is noticed within seconds: the first
// probe after this many seconds without traffic, the next ones this far apart,
// the connection given up after this many unanswered. A system that refuses
// them keeps its own.
constexpr int kKeepAliveIdleS = 5;
constexpr int kKeepAliveIntervalS = 1;
constexpr int kKeepAliveProbes = 3;

class TcpConnection {
 public:
  TcpConnection() = default;
  ~TcpConnection();
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Connects to `address` within `timeoutMs`, the name's resolution included
  // (a connection held is closed first): no Nagle delay, keep-alive on, no
  // signal on a broken connection, not inherited by child processes. A signal
  // does not cut the wait short. A numeric address is never sent to a name
  // server; a name is resolved on a thread of its own that this call waits
  // for until the deadline at most, and that ends by itself later when the
  // name server is slower (ResolveTimedOut).
  TcpStatus Connect(const TcpAddress& address, int timeoutMs = kConnectTimeoutMs);
  void Close();
  bool IsOpen() const { return socket_ != kNoSocket; }

  // Discards whatever bytes wait on the connection. A connection that the
  // other side has closed or reset is closed here; Status() tells.
  void Purge();
  // Writes the bytes within the write time-outs; returns the count written.
  size_t Write(const void* data, size_t size, const SerialTimeouts& timeouts);
  // One read attempt with the meaning of the serial read time-outs. A closed
  // or reset connection fails the attempt (when it read nothing) and is closed.
  ReadResult ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts);

  // How the last connect ended, or Closed after the other side went away.
  TcpStatus Status() const { return status_; }
  // The system's words for the last failure, or empty.
  const std::string& SystemError() const { return systemError_; }
  // The system's socket while open, for checks of its options.
  intptr_t NativeSocket() const { return socket_; }

 private:
  void Lost(TcpStatus status, int error);

  static constexpr intptr_t kNoSocket = -1;
  intptr_t socket_ = kNoSocket;
  TcpStatus status_ = TcpStatus::Ok;
  std::string systemError_;
};

}  // namespace zev::platform

// The port under the serial link: a serial port of the system, or a TCP
// connection to an Ethernet-to-serial converter. The link, the model adapters
// and the parsers never know which one they have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zev/platform/serial.h"
#include "zev/platform/tcp.h"

namespace zev::scales {

// Where a scale is reached.
struct TEndpoint {
  enum class Kind : uint8_t { Com, Tcp };
  Kind kind = Kind::Com;
  uint8_t com = 0;           // COM<com>
  platform::TcpAddress tcp;  // the converter

  static TEndpoint Com(uint8_t port);
  static TEndpoint Tcp(platform::TcpAddress address);
  // "COM3" or "tcp://192.168.1.50:4001".
  std::string Name() const;
};

class TPort {
 public:
  virtual ~TPort() = default;
  // False when the system refused to close.
  virtual bool Close() = 0;
  // Discards what waits to be read (and, on a serial port, to be written).
  virtual void Purge() = 0;
  // A connection that went away since the last operation is made again here;
  // Ok when nothing had to be done.
  virtual platform::TcpStatus Restore() { return platform::TcpStatus::Ok; }
  virtual bool Restorable() const { return false; }
  virtual size_t Write(const void* data, size_t size) = 0;
  virtual platform::ReadResult ReadAttempt(void* buffer, size_t size) = 0;
  // One attempt that takes what arrives within `ms`, up to `size` bytes.
  virtual platform::ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) = 0;
  // Gives a connection up after a reply that did not come (it may be dead
  // without either side knowing): the next command connects again. False
  // where there is nothing to give up (a serial port).
  virtual bool Drop() { return false; }
  // How the connection last failed (Ok for a serial port).
  virtual platform::TcpStatus LinkStatus() const { return platform::TcpStatus::Ok; }
  // What the port saw or did beside the data since the last call (a
  // converter's negotiation or greeting), for the trace; empty for most.
  virtual std::string TakeNotes() { return std::string(); }
};

// Opens COM<port> at `baudRate` and `parity` with the read attempts'
// `timeouts`; null with `status`, `problem` and the system's words in
// `error` on failure.
std::unique_ptr<TPort> OpenSerialPort(uint8_t port, uint32_t baudRate, platform::Parity parity,
                                      const platform::SerialTimeouts& timeouts,
                                      platform::OpenStatus& status, platform::OpenProblem& problem,
                                      std::string& error);
// Connects to a converter (its line settings are set in the converter); read
// attempts keep `timeouts`; null with `status` on failure. What the converter
// says first decides how it is spoken to: Telnet negotiation makes it a
// Telnet connection, a text followed by the connection's end is a converter
// busy with another client (TcpStatus::Busy), any other greeting is dropped.
std::unique_ptr<TPort> OpenTcpPort(const platform::TcpAddress& address,
                                   const platform::SerialTimeouts& timeouts,
                                   platform::TcpStatus& status, std::string* notes = nullptr);

}  // namespace zev::scales

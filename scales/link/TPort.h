// Where a scale is reached, and the ports that reach it: a serial port of the
// system, or a TCP connection to an Ethernet-to-serial converter. The link and
// the parsers never know which one they have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "models.h"
#include "zev/platform/port.h"
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

// The port under the link: a serial port of the system, or the connection
// to a converter below.
using TPort = platform::Port;

// Opens COM<port> at `baudRate` and `parity` with the read attempts'
// `timeouts`; null with `status`, `problem` and the system's words in
// `error` on failure.
std::unique_ptr<TPort> OpenSerialPort(uint8_t port, uint32_t baudRate, platform::Parity parity,
                                      const platform::SerialTimeouts& timeouts,
                                      platform::OpenStatus& status, platform::OpenProblem& problem,
                                      std::string& error);
// How a connection to a converter was opened, beside the port.
struct TConverterOpen {
  platform::TcpStatus status = platform::TcpStatus::Ok;
  std::string notes;    // what the converter said or did at connecting, for the trace
  std::string refusal;  // LineRefused: why, in English ("the converter kept 9600 8N1: ...")
  std::string kept;     // LineRefused: the line the converter kept ("9600 8N1")
};

// Connects to a converter; read attempts keep `timeouts`; null with the
// report's status on failure. A raw TCP converter keeps the line settings set
// in it; what it says first decides how it is spoken to: Telnet negotiation
// makes it a Telnet connection, a text followed by the connection's end is a
// converter busy with another client (TcpStatus::Busy), any other greeting is
// dropped. An RFC 2217 address (address.rfc2217) is a Telnet connection from
// the start that sets the converter's line to `line` and reads back what the
// converter applied: NoLineControl when the converter does not take the
// serial-port control, LineRefused when it keeps other settings. The same
// happens again at each reconnection.
std::unique_ptr<TPort> OpenTcpPort(const platform::TcpAddress& address, const LineSettings& line,
                                   const platform::SerialTimeouts& timeouts,
                                   TConverterOpen& report);

}  // namespace zev::scales

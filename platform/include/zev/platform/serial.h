// A serial port: open with line settings and time-outs, purge, write, one read
// attempt, close. Each operating system has a backend of its own; no system
// type shows here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zev/platform/port.h"

namespace zev::platform {

enum class Parity : uint8_t { None = 0, Odd = 1 };

// Time-outs in milliseconds, with the meaning of the Windows COMMTIMEOUTS members.
struct SerialTimeouts {
  uint32_t readInterval = 200;
  uint32_t readTotalMultiplier = 2;
  uint32_t readTotalConstant = 200;
  uint32_t writeTotalMultiplier = 2;
  uint32_t writeTotalConstant = 200;
};

enum class OpenStatus {
  Opened = 0,
  OpenFailed = 1,          // missing, busy, no rights
  LineSettingsFailed = 2,  // the line settings could not be read or written
  TimeoutsFailed = 3,      // the time-outs could not be read or written
};

// Why an open failed, as far as the system tells.
enum class OpenProblem : uint8_t {
  None = 0,
  Missing,   // no such device
  NoAccess,  // the user may not open it
  Busy,      // another program holds it
  Other,     // any other refusal (not a serial port, line settings)
};

class SerialPort final : public Port {
 public:
  SerialPort();
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens COM<port> for exclusive use: 8 data bits, 1 stop bit, no flow
  // control, DTR and RTS off, received parity not checked. A port that is
  // already held is closed first. The device's own line settings are kept
  // and given back to it when the port is closed.
  OpenStatus Open(uint8_t port, uint32_t baudRate, Parity parity,
                  const SerialTimeouts& timeouts = SerialTimeouts());

  // False when no port is held or the system refused to close it; in the
  // latter case the port stays held.
  bool Close() override;

  bool IsOpen() const { return handle_ != kNoPort; }
  // Why the last Open failed (None after a successful one).
  OpenProblem LastOpenProblem() const { return problem_; }

  // The system's words for why the last Open() failed; empty after a success.
  const std::string& OpenError() const { return openError_; }

  // Discards whatever waits in the input buffer. The output is left alone:
  // what was written is on its way (a pseudo-terminal or a network bridge
  // passes it on later than a UART would).
  void Purge() override;

  // Lowers DTR and RTS again, then writes the bytes under the write time-outs;
  // returns the count written.
  size_t Write(const void* data, size_t size) override;

  // One read attempt of up to `size` bytes: it ends when `size` bytes have
  // arrived, when the interval time-out passes after a byte without the next
  // one, or when the total time-out for `size` bytes has passed.
  ReadResult ReadAttempt(void* buffer, size_t size) override;
  // The same under other time-outs for this attempt alone (a short wait for
  // one more byte); the port's own stay in force for the next.
  ReadResult ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts);
  // One attempt that waits up to `ms` in all (no interval time-out).
  ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) override;

  // The device a port number stands for on this system (for messages and tests).
  static std::string DeviceName(uint8_t port);

 private:
  struct SavedLine;  // the device's settings before the open, per system

  static constexpr intptr_t kNoPort = -1;
  intptr_t handle_ = kNoPort;
  std::unique_ptr<SavedLine> saved_;
  std::string openError_;
  bool modemLines_ = false;  // the device has DTR and RTS, lowered before each command
  SerialTimeouts timeouts_;
  OpenProblem problem_ = OpenProblem::None;
};

}  // namespace zev::platform

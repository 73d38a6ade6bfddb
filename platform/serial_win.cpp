// Serial ports on Windows: kernel32 with a DCB and COMMTIMEOUTS, no overlapped I/O.
#include <windows.h>

#include <memory>
#include <system_error>

#include "timeouts.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"
#include "zev/platform/text.h"

namespace zev::platform {
namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

struct SerialPort::SavedLine {
  DCB dcb;
  COMMTIMEOUTS timeouts;
};

std::string SerialPort::DeviceName(uint8_t port) {
  return "\\\\.\\COM" + std::to_string(port);
}

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
  Close();
}

OpenStatus SerialPort::Open(uint8_t port, uint32_t baudRate, Parity parity,
                            const SerialTimeouts& timeouts) {
  const std::string name = DeviceName(port);
  if (IsOpen()) {
    Close();
    handle_ = kNoPort;
  }
  HANDLE h = CreateFileW(Utf8ToWide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  problem_ = OpenProblem::Other;
  openError_.clear();
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    openError_ = std::error_code(static_cast<int>(e), std::system_category()).message();
    // A port that another program holds answers "access denied".
    problem_ = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND     ? OpenProblem::Missing
               : e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? OpenProblem::Busy
                                                                          : OpenProblem::Other;
    return OpenStatus::OpenFailed;
  }

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    CloseHandle(h);
    return OpenStatus::LineSettingsFailed;
  }
  auto saved = std::make_unique<SavedLine>();
  saved->dcb = dcb;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baudRate;
  // The whole flag word off: binary, parity check, CTS/DSR flow, DSR
  // sensitivity, XON/XOFF, error char, null stripping, abort on error;
  // DTR_CONTROL_DISABLE and RTS_CONTROL_DISABLE are zero.
  dcb.fBinary = 0;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 0;
  dcb.ByteSize = 8;
  dcb.Parity = parity == Parity::Odd ? ODDPARITY : NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(h, &dcb)) {
    CloseHandle(h);
    return OpenStatus::LineSettingsFailed;
  }

  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(h, &t)) {
    SetCommState(h, &saved->dcb);
    CloseHandle(h);
    return OpenStatus::TimeoutsFailed;
  }
  saved->timeouts = t;
  t.ReadIntervalTimeout = timeouts.readInterval;
  t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
  if (!SetCommTimeouts(h, &t)) {
    SetCommState(h, &saved->dcb);
    CloseHandle(h);
    return OpenStatus::TimeoutsFailed;
  }
  timeouts_ = timeouts;
  handle_ = reinterpret_cast<intptr_t>(h);
  saved_ = std::move(saved);
  problem_ = OpenProblem::None;
  return OpenStatus::Opened;
}

bool SerialPort::Close() {
  if (!IsOpen()) return false;
  // The device as it was found: a port opened by mistake is left working.
  if (saved_) {
    SetCommTimeouts(AsHandle(handle_), &saved_->timeouts);
    SetCommState(AsHandle(handle_), &saved_->dcb);
    saved_.reset();
  }
  if (!CloseHandle(AsHandle(handle_))) return false;
  handle_ = kNoPort;
  return true;
}

void SerialPort::Purge() {
  if (IsOpen()) PurgeComm(AsHandle(handle_), PURGE_RXCLEAR);
}

size_t SerialPort::Write(const void* data, size_t size) {
  if (!IsOpen() || size == 0) return 0;
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle_), data, static_cast<DWORD>(size), &written, nullptr)) {
    return written;
  }
  return written;
}

ReadResult SerialPort::ReadAttempt(void* buffer, size_t size) {
  return ReadAttempt(buffer, size, timeouts_);
}

ReadResult SerialPort::ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts) {
  ReadResult result;
  if (!IsOpen()) {
    result.failed = true;
    return result;
  }
  const HANDLE h = AsHandle(handle_);
  // Time-outs of this attempt alone: set for it and put back after it.
  const bool own = timeouts.readInterval != timeouts_.readInterval ||
                   timeouts.readTotalMultiplier != timeouts_.readTotalMultiplier ||
                   timeouts.readTotalConstant != timeouts_.readTotalConstant;
  COMMTIMEOUTS t{};
  const bool changed = own && GetCommTimeouts(h, &t);
  if (changed) {
    COMMTIMEOUTS once = t;
    once.ReadIntervalTimeout = timeouts.readInterval;
    once.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    once.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    SetCommTimeouts(h, &once);
  }
  DWORD read = 0;
  const MonoTime start = Now();
  if (!ReadFile(h, buffer, static_cast<DWORD>(size), &read, nullptr)) {
    result.failed = read == 0;
  }
  if (changed) SetCommTimeouts(h, &t);
  result.count = read;
  // The system does not tell which time-out ended a short read: one that ends
  // before the total time-out can have been only the interval one.
  result.byInterval = timeouts.readInterval != 0 && read > 0 && read < size &&
                      MillisBetween(start, Now()) < ReadTotalMillis(timeouts, size);
  return result;
}

}  // namespace zev::platform

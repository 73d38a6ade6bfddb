// Serial ports on POSIX systems: termios in raw mode, exclusive by flock and
// TIOCEXCL, the Windows time-out semantics reproduced with poll() on the
// monotonic clock.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "poll_posix.h"
#include "timeouts.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::platform {
namespace {

speed_t BaudConstant(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

// DTR and RTS off; false when the device has no modem lines.
bool ClearModemLines(int fd) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  return ::ioctl(fd, TIOCMBIC, &lines) == 0;
}

// Applies the settings. A line that cannot carry parity (a pseudo-terminal)
// drops the parity bits, which the C library reports as a failure; every other
// setting must have been taken.
bool ApplyLineSettings(int fd, const termios& wanted) {
  if (::tcsetattr(fd, TCSANOW, &wanted) == 0) return true;
  termios actual{};
  if (errno != EINVAL || ::tcgetattr(fd, &actual) != 0) return false;
  const tcflag_t parity = PARENB | PARODD;
  return actual.c_iflag == wanted.c_iflag && actual.c_oflag == wanted.c_oflag &&
         actual.c_lflag == wanted.c_lflag &&
         (actual.c_cflag & ~parity) == (wanted.c_cflag & ~parity) &&
         ::cfgetispeed(&actual) == ::cfgetispeed(&wanted) &&
         ::cfgetospeed(&actual) == ::cfgetospeed(&wanted);
}

std::string SystemText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace

struct SerialPort::SavedLine {
  termios settings;
};

std::string SerialPort::DeviceName(uint8_t port) {
  const char* dir = std::getenv("ZEVSCALE_PORTS");
  std::string entry = std::string(dir != nullptr && *dir != '\0' ? dir : "/etc/zevscale/ports") +
                      "/COM" + std::to_string(port);
  struct stat st {};
  if (::lstat(entry.c_str(), &st) == 0) return entry;
  if (port == 0) return std::string();
  return "/dev/ttyS" + std::to_string(port - 1);
}

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
  Close();
}

OpenStatus SerialPort::Open(uint8_t port, uint32_t baudRate, Parity parity,
                            const SerialTimeouts& timeouts) {
  if (IsOpen()) {
    Close();
    handle_ = kNoPort;
  }
  problem_ = OpenProblem::Other;
  openError_.clear();
  const std::string device = DeviceName(port);
  if (device.empty()) {
    problem_ = OpenProblem::Missing;
    openError_ = "no device for port 0";
    return OpenStatus::OpenFailed;
  }
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    openError_ = SystemText(e);
    problem_ = e == ENOENT || e == ENXIO || e == ENODEV || e == ENOTDIR ? OpenProblem::Missing
               : e == EACCES || e == EPERM                              ? OpenProblem::NoAccess
               : e == EBUSY                                             ? OpenProblem::Busy
                                                                        : OpenProblem::Other;
    return OpenStatus::OpenFailed;
  }
  // Never on a standard descriptor: what the process writes to descriptor 2
  // while it is closed would otherwise go down the line to the scale.
  if (fd <= STDERR_FILENO) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    fd = moved;
  }
  if (fd < 0) {
    openError_ = SystemText(errno);
    return OpenStatus::OpenFailed;
  }
  // Exclusive use: the advisory lock stops every other opener that asks for it
  // (root included); TIOCEXCL stops other openers of the terminal.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !::isatty(fd)) {
    if (errno == EWOULDBLOCK) problem_ = OpenProblem::Busy;
    openError_ = errno == EWOULDBLOCK ? "locked by another program" : "not a terminal";
    ::close(fd);
    return OpenStatus::OpenFailed;
  }
  ::ioctl(fd, TIOCEXCL);

  termios tio{};
  const speed_t speed = BaudConstant(baudRate);
  if (::tcgetattr(fd, &tio) != 0 || speed == B0) {
    openError_ = speed == B0 ? "unsupported baud rate" : SystemText(errno);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return OpenStatus::LineSettingsFailed;
  }
  auto saved = std::make_unique<SavedLine>(SavedLine{tio});
  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY | PARMRK | ISTRIP);
  tio.c_iflag |= IGNBRK;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  if (parity == Parity::Odd) tio.c_cflag |= PARENB | PARODD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
      !ApplyLineSettings(fd, tio)) {
    openError_ = SystemText(errno);
    ::tcsetattr(fd, TCSANOW, &saved->settings);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return OpenStatus::LineSettingsFailed;
  }
  // DTR and RTS off where the device has modem lines; a pseudo-terminal has none.
  modemLines_ = ClearModemLines(fd);

  timeouts_ = timeouts;
  handle_ = fd;
  saved_ = std::move(saved);
  problem_ = OpenProblem::None;
  return OpenStatus::Opened;
}

bool SerialPort::Close() {
  if (!IsOpen()) return false;
  const int fd = static_cast<int>(handle_);
  // The device as it was found: a port opened by mistake (the console, a
  // login line) is left working.
  if (saved_) ::tcsetattr(fd, TCSANOW, &saved_->settings);
  saved_.reset();
  // The exclusive mode belongs to the terminal, not to this descriptor: on a
  // pseudo-terminal it would outlive the close and keep every later opener
  // without root out.
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  if (::close(fd) != 0 && errno != EINTR) {
    // The descriptor is gone on Linux whatever close() says, but report it.
    handle_ = kNoPort;
    return false;
  }
  handle_ = kNoPort;
  return true;
}

void SerialPort::Purge() {
  if (IsOpen()) ::tcflush(static_cast<int>(handle_), TCIFLUSH);
}

size_t SerialPort::Write(const void* data, size_t size) {
  if (!IsOpen()) return 0;
  const int fd = static_cast<int>(handle_);
  // Every open() of the device by anyone raises DTR and RTS again: lower them
  // before each command.
  if (modemLines_) ClearModemLines(fd);
  const auto* bytes = static_cast<const unsigned char*>(data);
  const MonoTime deadline = WriteDeadline(timeouts_, size);
  size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, bytes + written, size - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int ready = posix::WaitFor(fd, POLLOUT, deadline);
    if (ready <= 0 || (ready & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  // Let the bytes leave a UART before the reply deadline starts. A
  // pseudo-terminal reports an empty queue at once.
  int queued = 0;
  while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && Now() < deadline) {
    ::usleep(1000);
  }
  return written;
}

ReadResult SerialPort::ReadAttempt(void* buffer, size_t size) {
  return ReadAttempt(buffer, size, timeouts_);
}

ReadResult SerialPort::ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts) {
  if (!IsOpen()) {
    ReadResult result;
    result.failed = true;
    return result;
  }
  int ended = -1;
  return posix::ReadAttempt(static_cast<int>(handle_), buffer, size, timeouts, ::read, true,
                            &ended);
}

}  // namespace zev::platform

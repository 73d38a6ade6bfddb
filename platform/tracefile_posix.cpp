// Appending lines and the time of day on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "zev/platform/tracefile.h"

namespace zev::platform {
namespace {

// A descriptor of 3 or above: the standard descriptors stay free for whatever
// the process opens on them later.
int AboveStandard(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(fd);
  return moved;
}

// Standard error as a descriptor of the trace's own that never waits. It is
// taken only while descriptor 2 is open: a closed one would later be whatever
// the process opens next. A regular file or a socket is shared as it is
// (send() is told not to wait); a pipe, FIFO or terminal is opened anew
// without blocking, so that the process's own descriptor keeps its flags.
int OpenStandardError(bool* socket) {
  struct stat st {};
  if (::fcntl(STDERR_FILENO, F_GETFD) == -1 || ::fstat(STDERR_FILENO, &st) != 0) return -1;
  if (S_ISREG(st.st_mode) || S_ISSOCK(st.st_mode)) {
    *socket = S_ISSOCK(st.st_mode);
    return ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  }
  return AboveStandard(
      ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

// While it lives, the signals a write can raise are held back from the
// calling thread; those that this write raised are taken before the thread's
// mask comes back, so that none reaches the process. SIGTTOU is held too: a
// held SIGTTOU lets a background process write to its terminal.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : kRaised) sigaddset(&held, s);
    sigaddset(&held, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &held, &old_);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (int i = 0; i < 2; ++i) pendingBefore_[i] = sigismember(&pending, kRaised[i]) == 1;
  }
  ~SignalsHeld() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (int i = 0; i < 2; ++i) {
      if (pendingBefore_[i] || sigismember(&pending, kRaised[i]) != 1) continue;
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, kRaised[i]);
      const timespec now{0, 0};
      while (sigtimedwait(&one, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  static constexpr int kRaised[2] = {SIGPIPE, SIGXFSZ};
  sigset_t old_;
  bool pendingBefore_[2] = {false, false};
};

}  // namespace

AppendFile::~AppendFile() {
  Release();
}

void AppendFile::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool AppendFile::Open(const std::string& target, std::string* error) {
  Release();
  socket_ = false;
  int fd = -1;
  if (target == "stderr") {
    fd = OpenStandardError(&socket_);
  } else {
    // Not through a link, and without waiting: a FIFO without a reader fails
    // at once, and whatever is not a regular file is refused below.
    fd = AboveStandard(::open(
        target.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd);
      if (error != nullptr) *error = "not a regular file";
      return false;
    }
  }
  if (fd < 0) {
    if (error != nullptr) *error = std::error_code(errno, std::generic_category()).message();
    return false;
  }
  handle_ = fd;
  return true;
}

bool AppendFile::Append(std::string_view text) {
  if (handle_ < 0) return false;
  const int fd = static_cast<int>(handle_);
  const SignalsHeld held;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n =
        socket_ ? ::send(fd, p, left, MSG_DONTWAIT | MSG_NOSIGNAL) : ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The file reached its size limit, or nobody reads the pipe any more:
      // nothing written here again could arrive.
      if (n < 0 && (errno == EFBIG || errno == EPIPE)) Release();
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

std::string LocalTime(bool withDate) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  tm local{};
  const time_t seconds = tv.tv_sec;
  ::localtime_r(&seconds, &local);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return withDate ? text : text + 11;
}

}  // namespace

std::string LocalTimeOfDay() {
  return LocalTime(false);
}

std::string LocalDateTime() {
  return LocalTime(true);
}

unsigned long ProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::string ResolvedPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    // A link to a device that is gone: what it points at.
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : path;
  }
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

}  // namespace zev::platform

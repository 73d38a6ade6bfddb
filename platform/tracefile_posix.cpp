// Appending lines and the time of day on POSIX systems.
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "zev/platform/tracefile.h"

namespace zev::platform {

AppendFile::~AppendFile() {
  if (owned_ && handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool AppendFile::Open(const std::string& target) {
  if (target == "stderr") {
    handle_ = STDERR_FILENO;
    owned_ = false;
    return true;
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  handle_ = fd;
  owned_ = true;
  return true;
}

void AppendFile::Append(std::string_view text) {
  if (handle_ < 0) return;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

std::string LocalTimeOfDay() {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  tm local{};
  const time_t seconds = tv.tv_sec;
  ::localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return text;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

}  // namespace zev::platform

// Appending lines and the time of day on POSIX systems.
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "zev/platform/tracefile.h"

namespace zev::platform {

AppendFile::~AppendFile() {
  if (owned_ && handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool AppendFile::Open(const std::string& target, std::string* error) {
  if (target == "stderr") {
    handle_ = STDERR_FILENO;
    owned_ = false;
    return true;
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error != nullptr) *error = std::error_code(errno, std::generic_category()).message();
    return false;
  }
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

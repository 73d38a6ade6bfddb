// Appending lines and the time of day on Windows.
#include <windows.h>

#include <cstdio>
#include <system_error>

#include "zev/platform/tracefile.h"

namespace zev::platform {

AppendFile::~AppendFile() {
  if (owned_ && handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool AppendFile::Open(const std::string& target, std::string* error) {
  if (target == "stderr") {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    owned_ = false;
    return true;
  }
  // FILE_APPEND_DATA alone: every write lands at the end of the file, whole.
  HANDLE h = CreateFileA(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error != nullptr) {
      *error = std::error_code(static_cast<int>(GetLastError()), std::system_category()).message();
    }
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  owned_ = true;
  return true;
}

void AppendFile::Append(std::string_view text) {
  if (handle_ == -1 || text.empty()) return;
  DWORD written = 0;
  WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

std::string LocalTimeOfDay() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds);
  return text;
}

std::string LocalDateTime() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

unsigned long ProcessId() {
  return GetCurrentProcessId();
}

std::string ResolvedPath(const std::string& path) {
  return path;
}

std::string EnvironmentVariable(const char* name) {
  char buffer[1024];
  const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
}

}  // namespace zev::platform

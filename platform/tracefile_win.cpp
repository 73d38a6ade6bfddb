// Appending lines and the time of day on Windows.
#include <windows.h>

#include <cstdio>

#include "system_win.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::platform {

AppendFile::~AppendFile() {
  Release();
}

void AppendFile::Release() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

bool AppendFile::Open(const std::string& target, std::string* error) {
  Release();
  socket_ = false;
  HANDLE h = INVALID_HANDLE_VALUE;
  if (target == "stderr") {
    // A disk file or a console only: a pipe's writer waits for its reader.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(err);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) return false;
    if (!DuplicateHandle(GetCurrentProcess(), err, GetCurrentProcess(), &h, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return false;
    }
  } else {
    // FILE_APPEND_DATA alone: every write lands at the end of the file,
    // whole. A link is opened as itself and then refused, as is whatever is
    // not a disk file (a named pipe would make every write wait).
    h = CreateFileW(Utf8ToWide(target).c_str(), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (error != nullptr) *error = SystemMessage(GetLastError());
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
      CloseHandle(h);
      if (error != nullptr) *error = "not a regular file";
      return false;
    }
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool AppendFile::Append(std::string_view text) {
  if (handle_ == -1) return false;
  if (text.empty()) return true;
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()),
                   &written, nullptr) &&
         written == text.size();
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
  const std::wstring wideName = Utf8ToWide(name);
  std::wstring value(256, L'\0');
  for (;;) {
    // The size needed, terminator included, when the buffer is too small.
    const DWORD n =
        GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return std::string();
    if (n < value.size()) {
      value.resize(n);
      return WideToUtf8(value);
    }
    value.assign(n, L'\0');
  }
}

}  // namespace zev::platform

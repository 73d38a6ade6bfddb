// The system on Windows: temporary files go where GetTempPath says, the
// user's own files to %LOCALAPPDATA%\ZEVScale; the system's words for an
// error. The ports present are in ports_win.cpp.
#include "system_win.h"

#include <windows.h>

#include <string_view>

#include "zev/platform/system.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::platform {
namespace {

// "C:\..." or "\\server\...".
bool IsAbsolute(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
         (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
}

}  // namespace

std::string SystemMessage(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", n);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(error) : WideToUtf8(message);
}

std::string TemporaryFolder() {
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  std::string dir =
      n > 0 && n <= MAX_PATH + 1 ? WideToUtf8(path) : std::string("C:\\Windows\\Temp");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

std::string StateFolder() {
  std::string local = EnvironmentVariable("LOCALAPPDATA");
  while (local.size() > 3 && (local.back() == '\\' || local.back() == '/')) local.pop_back();
  if (!IsAbsolute(local)) return TemporaryFolder();
  if (local.back() != '\\' && local.back() != '/') local += '\\';
  return local + "ZEVScale";
}

bool EnsureFolder(const std::string& folder, std::string* error) {
  const std::wstring wide = Utf8ToWide(folder);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  DWORD e = GetLastError();
  if (e == ERROR_PATH_NOT_FOUND) {
    // The folder above first (never above a drive's root), then this one again.
    const size_t separator = folder.find_last_of("\\/");
    const bool above = separator != std::string::npos && separator > 0 &&
                       folder[separator - 1] != ':' && folder[separator - 1] != '\\';
    if (above && !EnsureFolder(folder.substr(0, separator), error)) return false;
    if (above) {
      if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
      e = GetLastError();
    }
  }
  if (e == ERROR_ALREADY_EXISTS) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return true;
    }
  }
  if (error != nullptr) *error = SystemMessage(e);
  return false;
}

}  // namespace zev::platform

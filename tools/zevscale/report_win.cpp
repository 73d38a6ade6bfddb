// The system as a report for support shows it, on Windows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "report.h"
#include "zev/platform/text.h"

namespace zev::cli::os {
namespace {

// The system's words for an error code, in the user's language.
std::string SystemError(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
    words.pop_back();
  return platform::WideToUtf8(words) + " (" + std::to_string(code) + ")";
}

}  // namespace

std::string SystemName() {
  // GetVersionEx answers as the program's manifest allows; ntdll tells the truth.
  struct Version {
    ULONG size, major, minor, build, platform;
    WCHAR servicePack[128];
  } v{};
  v.size = sizeof v;
  using RtlGetVersion = LONG(WINAPI*)(Version*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto get = ntdll != nullptr ? reinterpret_cast<RtlGetVersion>(reinterpret_cast<void*>(
                                          GetProcAddress(ntdll, "RtlGetVersion")))
                                    : nullptr;
  std::string name = "Windows";
  if (get != nullptr && get(&v) == 0) {
    name += " " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
            std::to_string(v.build);
    if (v.servicePack[0] != L'\0') name += " " + platform::WideToUtf8(v.servicePack);
  }
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  name += info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? ", x64"
          : info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? ", x86"
                                                                        : ", other processor";
  name += sizeof(void*) == 8 ? ", 64-bit program" : ", 32-bit program";
  if (GetModuleHandleW(L"ntdll.dll") != nullptr &&
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
    name += " (Wine)";
  }
  return name;
}

std::string CLibrary() {
#if defined(_UCRT)
  return "Universal C Runtime (ucrtbase.dll)";
#else
  return "Microsoft C Runtime (msvcrt.dll)";
#endif
}

std::string UserAndGroups() {
  wchar_t name[256] = {};
  DWORD size = 256;
  return GetUserNameW(name, &size) ? platform::WideToUtf8(name) : std::string("?");
}

std::vector<std::pair<std::string, std::string>> PortsDirectoryEntries(const std::string&) {
  return {};  // the system names the ports; no directory maps them
}

bool ReadFileTail(const std::string& path, size_t maxBytes, std::string& tail, bool& cut,
                  std::string& error) {
  HANDLE h =
      CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = SystemError(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER size{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      !GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    error = "not a regular file";
    return false;
  }
  const long long limit = static_cast<long long>(maxBytes);
  const long long from = size.QuadPart > limit ? size.QuadPart - limit : 0;
  cut = from > 0;
  tail.assign(static_cast<size_t>(size.QuadPart - from), '\0');
  size_t got = 0;
  while (got < tail.size()) {
    OVERLAPPED at{};
    const unsigned long long offset = static_cast<unsigned long long>(from) + got;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!ReadFile(h, &tail[got], static_cast<DWORD>(tail.size() - got), &n, &at) || n == 0) break;
    got += n;
  }
  tail.resize(got);
  CloseHandle(h);
  return true;
}

ReportFile::~ReportFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ReportFile::Create(const std::string& path, bool fresh, std::string& error, bool& exists) {
  exists = false;
  const std::wstring wide = platform::Utf8ToWide(path);
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         fresh ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    error = SystemError(code);
    return false;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    error = "not a regular file";
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  wchar_t full[4096] = {};
  const DWORD n = GetFullPathNameW(wide.c_str(), 4096, full, nullptr);
  full_ = n > 0 && n < 4096 ? platform::WideToUtf8(std::wstring_view(full, n)) : path;
  return true;
}

bool ReportFile::Write(const std::string& text, std::string& error) {
  size_t done = 0;
  while (handle_ != -1 && done < text.size()) {
    DWORD n = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), text.data() + done,
                   static_cast<DWORD>(text.size() - done), &n, nullptr) ||
        n == 0) {
      error = SystemError(GetLastError());
      return false;
    }
    done += n;
  }
  return handle_ != -1;
}

}  // namespace zev::cli::os

// The console and the process on Windows.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "console.h"
#include "zev/platform/text.h"

namespace zev::cli::os {
namespace {

std::atomic<bool>* g_interrupted = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  if (g_interrupted != nullptr) *g_interrupted = true;
  return TRUE;
}

// Bytes at the end of `text` that begin a UTF-8 sequence not yet complete.
size_t IncompleteTail(const std::string& text) {
  for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const size_t need = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

// Collects UTF-8 and writes it at each line end or flush: as UTF-16 to a
// console, as the bytes themselves to a file or a pipe.
class ConsoleText::Buffer : public std::streambuf {
 public:
  explicit Buffer(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(handle_, &mode) != 0;
  }
  ~Buffer() override { Flush(); }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    pending_ += static_cast<char>(c);
    if (c == '\n') Flush();
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize n) override {
    pending_.append(data, static_cast<size_t>(n));
    if (pending_.find('\n') != std::string::npos) Flush();
    return n;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  void Flush() {
    const std::string out = pending_.substr(0, pending_.size() - IncompleteTail(pending_));
    pending_.erase(0, out.size());
    if (out.empty() || handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    if (!console_) {
      WriteFile(handle_, out.data(), static_cast<DWORD>(out.size()), &done, nullptr);
      return;
    }
    const std::wstring wide = platform::Utf8ToWide(out);
    WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
  }

  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

ConsoleText::ConsoleText()
    : out_(new Buffer(STD_OUTPUT_HANDLE)), err_(new Buffer(STD_ERROR_HANDLE)) {
  std::cout.flush();
  std::cerr.flush();
  oldOut_ = std::cout.rdbuf(out_.get());
  oldErr_ = std::cerr.rdbuf(err_.get());
}

ConsoleText::~ConsoleText() {
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(oldOut_);
  std::cerr.rdbuf(oldErr_);
}

std::vector<std::string> Arguments(int argc, char** argv) {
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < n; ++i) args.push_back(platform::WideToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

std::string ProgramDirectory() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring dir(path, n < MAX_PATH * 4 ? n : 0);
  return platform::WideToUtf8(dir.substr(0, dir.find_last_of(L"\\/") + 1));
}

std::string AddinFileName() {
  // The name the add-in has in the package, or the name the build gives it.
  const std::string packaged = sizeof(void*) == 8 ? "ZEVScale_x64.dll" : "ZEVScale_x86.dll";
  const DWORD attributes =
      GetFileAttributesW(platform::Utf8ToWide(ProgramDirectory() + packaged).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES ? packaged : "ZEVScale.dll";
}

bool OutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

// The system's own messages are in the system's language already.
SystemErrorName NameSystemError(const std::string&) {
  return {};
}

Lang UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN ? Lang::Ru : Lang::En;
}

void SetInterruptFlag(std::atomic<bool>* flag) {
  g_interrupted = flag;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SetEnvironment(const char* name, const std::string& value) {
  const std::wstring wide = platform::Utf8ToWide(value);
  SetEnvironmentVariableW(platform::Utf8ToWide(name).c_str(),
                          value.empty() ? nullptr : wide.c_str());
}

std::string NewTemporaryFile() {
  wchar_t dir[MAX_PATH + 1] = {};
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) return std::string();
  if (GetTempFileNameW(dir, L"zev", 0, path) == 0) return std::string();
  return platform::WideToUtf8(path);
}

intptr_t OpenTraceFile(const std::string& path) {
  HANDLE h =
      CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(h);
    return -1;
  }
  return reinterpret_cast<intptr_t>(h);
}

long long TraceFileSize(intptr_t file) {
  LARGE_INTEGER size{};
  if (file == -1 || !GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return -1;
  return size.QuadPart;
}

std::string ReadTraceFile(intptr_t file, long long offset, size_t count) {
  std::string bytes(count, '\0');
  size_t got = 0;
  while (file != -1 && got < count) {
    OVERLAPPED at{};
    const unsigned long long from = static_cast<unsigned long long>(offset) + got;
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), &bytes[got], static_cast<DWORD>(count - got), &n,
                  &at) ||
        n == 0) {
      break;
    }
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

void CloseTraceFile(intptr_t file) {
  if (file != -1) CloseHandle(reinterpret_cast<HANDLE>(file));
}

bool CanSimulate() {
  return false;
}

AddinFile CheckAddin(const std::string& path) {
  AddinFile file;
  std::FILE* f = _wfopen(platform::Utf8ToWide(path).c_str(), L"rb");
  if (f == nullptr) return file;
  file.exists = true;
  unsigned char dos[64] = {};
  unsigned char pe[6] = {};
  if (std::fread(dos, 1, sizeof dos, f) == sizeof dos && dos[0] == 'M' && dos[1] == 'Z') {
    const long at = static_cast<long>(dos[60] | dos[61] << 8 | dos[62] << 16 | dos[63] << 24);
    if (std::fseek(f, at, SEEK_SET) == 0 && std::fread(pe, 1, sizeof pe, f) == sizeof pe &&
        pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0) {
      const unsigned machine = pe[4] | pe[5] << 8;
      file.bits = machine == 0x8664 ? 64 : machine == 0x14c ? 32 : 0;
    }
  }
  std::fclose(f);
  return file;
}

}  // namespace zev::cli::os

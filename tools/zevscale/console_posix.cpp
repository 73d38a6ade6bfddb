#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "console.h"

namespace zev::cli::os {
namespace {

std::atomic<bool>* g_interrupted = nullptr;

void OnSignal(int) {
  if (g_interrupted != nullptr) *g_interrupted = true;
}

}  // namespace

// Output needs no conversion here: the terminal takes UTF-8.
class ConsoleText::Buffer : public std::streambuf {};
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

std::string ProgramDirectory() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.find_last_of('/') + 1);
}

std::string AddinFileName() {
  // The name the add-in has in the package, or the name the build gives it.
  const std::string packaged = sizeof(void*) == 8 ? "libZEVScale_x64.so" : "libZEVScale_x86.so";
  return access((ProgramDirectory() + packaged).c_str(), F_OK) == 0 ? packaged : "libZEVScale.so";
}

bool OutputIsTerminal() {
  return isatty(STDOUT_FILENO) != 0;
}

Lang UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return LanguageOf(value);
  }
  return Lang::English;
}

void SetInterruptFlag(std::atomic<bool>* flag) {
  g_interrupted = flag;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void SetEnvironment(const char* name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name);
  } else {
    setenv(name, value.c_str(), 1);
  }
}

std::string NewTemporaryFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr && *dir ? dir : "/tmp") + "/zevscale-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return std::string();
  close(fd);
  return pattern;
}

bool CanSimulate() {
  return true;
}

AddinFile CheckAddin(const std::string& path) {
  AddinFile file;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return file;
  file.exists = true;
  unsigned char elf[20] = {};
  if (std::fread(elf, 1, sizeof elf, f) == sizeof elf && elf[0] == 0x7f && elf[1] == 'E' &&
      elf[2] == 'L' && elf[3] == 'F') {
    const unsigned machine = elf[18] | elf[19] << 8;  // little-endian: x86 only
    file.bits = machine == 62 ? 64 : machine == 3 ? 32 : 0;
  }
  std::fclose(f);
  return file;
}

}  // namespace zev::cli::os

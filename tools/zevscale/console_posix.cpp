#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "console.h"

namespace zev::cli::os {
namespace {

std::atomic<bool>* g_interrupted = nullptr;

void OnSignal(int) {
  if (g_interrupted != nullptr) *g_interrupted = true;
}

}  // namespace

std::string ProgramDirectory() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.find_last_of('/') + 1);
}

std::string AddinFileName() {
  return "libZEVScale.so";
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

}  // namespace zev::cli::os

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"

namespace zev::cli::os {
namespace {

std::atomic<bool>* g_interrupted = nullptr;

void OnSignal(int) {
  if (g_interrupted != nullptr) *g_interrupted = true;
}

// Removes the trace files of runs that no longer run: "trace-<pid>-…".
void RemoveLeftovers(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return;
  while (const dirent* e = readdir(d)) {
    int pid = 0;
    if (std::sscanf(e->d_name, "trace-%d-", &pid) != 1 || pid <= 0) continue;
    if (kill(pid, 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

}  // namespace

// Output needs no conversion here: the terminal takes UTF-8.
class ConsoleText::Buffer : public std::streambuf {};
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

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

int TerminalColumns() {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

SystemErrorName NameSystemError(const std::string& words) {
  // The errors a port, a file or a connection meets, with the words a
  // Russian system would use.
  static const struct {
    int code;
    const char* name;
    const char* russian;
  } kKnown[] = {
      {EPERM, "EPERM", "Операция не позволена"},
      {ENOENT, "ENOENT", "Нет такого файла или каталога"},
      {EIO, "EIO", "Ошибка ввода/вывода"},
      {ENXIO, "ENXIO", "Нет такого устройства или адреса"},
      {EACCES, "EACCES", "Отказано в доступе"},
      {EBUSY, "EBUSY", "Устройство или ресурс занято"},
      {ENODEV, "ENODEV", "Нет такого устройства"},
      {ENOTDIR, "ENOTDIR", "Это не каталог"},
      {EISDIR, "EISDIR", "Это каталог"},
      {ENOTTY, "ENOTTY", "Неподходящий ioctl для устройства"},
      {ENOSPC, "ENOSPC", "На устройстве не осталось свободного места"},
      {EROFS, "EROFS", "Файловая система доступна только для чтения"},
      {ELOOP, "ELOOP", "Слишком много уровней символьных ссылок"},
      {EAGAIN, "EAGAIN", "Ресурс временно недоступен"},
      {ECONNREFUSED, "ECONNREFUSED", "В соединении отказано"},
      {ECONNRESET, "ECONNRESET", "Соединение сброшено другой стороной"},
      {ETIMEDOUT, "ETIMEDOUT", "Время ожидания соединения истекло"},
      {EHOSTUNREACH, "EHOSTUNREACH", "Нет маршрута до узла"},
      {ENETUNREACH, "ENETUNREACH", "Сеть недоступна"},
  };
  for (const auto& known : kKnown) {
    if (words == std::strerror(known.code)) return {known.name, known.russian};
  }
  return {};
}

Lang UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return LanguageOf(value);
  }
  return Lang::En;
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
  const std::string base = dir != nullptr && *dir ? dir : "/tmp";
  // The user's own folder, if it is one: a directory (not a link) of this
  // user's that nobody else may enter.
  const std::string own = base + "/zevscale-" + std::to_string(getuid());
  mkdir(own.c_str(), 0700);
  struct stat st {};
  std::string folder = base;
  if (lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
      (st.st_mode & 077) == 0) {
    folder = own;
    RemoveLeftovers(own);
  }
  std::string pattern = folder + "/trace-" + std::to_string(getpid()) + "-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return std::string();
  close(fd);
  return pattern;
}

intptr_t OpenTraceFile(const std::string& path) {
  const int fd =
      open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  struct stat st {};
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    return -1;
  }
  return fd;
}

long long TraceFileSize(intptr_t file) {
  struct stat st {};
  return file >= 0 && fstat(static_cast<int>(file), &st) == 0 ? st.st_size : -1;
}

std::string ReadTraceFile(intptr_t file, long long offset, size_t count) {
  std::string bytes(count, '\0');
  size_t got = 0;
  while (file >= 0 && got < count) {
    const ssize_t n = pread(static_cast<int>(file), &bytes[got], count - got,
                            static_cast<off_t>(offset + static_cast<long long>(got)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

void CloseTraceFile(intptr_t file) {
  if (file >= 0) close(static_cast<int>(file));
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

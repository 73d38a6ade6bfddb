// The system as a report for support shows it, on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "report.h"

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif

namespace zev::cli::os {
namespace {

std::string SystemError(int code) {
  return std::strerror(code);
}

// The value of KEY="..." in /etc/os-release.
std::string OsRelease(const std::string& key) {
  std::ifstream in("/etc/os-release");
  std::string line;
  for (int n = 0; n < 200 && std::getline(in, line); ++n) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
      value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, 200);
  }
  return std::string();
}

}  // namespace

std::string SystemName() {
  struct utsname u {};
  if (uname(&u) != 0) return "uname: " + SystemError(errno);
  std::string name =
      std::string(u.sysname) + " " + u.release + " " + u.machine + " (" + u.version + ")";
  const std::string pretty = OsRelease("PRETTY_NAME");
  if (!pretty.empty()) name += ", " + pretty;
  return name;
}

std::string CLibrary() {
#if defined(__GLIBC__)
  return std::string("glibc ") + gnu_get_libc_version();
#else
  return "not glibc";
#endif
}

std::string UserAndGroups() {
  const uid_t uid = getuid();
  const passwd* pw = getpwuid(uid);
  std::string text = (pw != nullptr ? std::string(pw->pw_name) : std::string("?")) + " (uid " +
                     std::to_string(uid) + ")";
  gid_t groups[256];
  const int n = getgroups(256, groups);
  std::string names;
  for (int i = 0; i < n; ++i) {
    const group* g = getgrgid(groups[i]);
    names += (names.empty() ? "" : ", ") +
             (g != nullptr ? std::string(g->gr_name) : std::to_string(groups[i]));
  }
  if (n >= 0) text += ", groups: " + (names.empty() ? std::string("-") : names);
  return text;
}

std::vector<std::pair<std::string, std::string>> PortsDirectoryEntries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> entries;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return entries;
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.' && names.size() < 300) names.push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const std::string entryPath = path + "/" + name;
    std::string what;
    char target[PATH_MAX] = {};
    struct stat entry {};
    const ssize_t n = readlink(entryPath.c_str(), target, sizeof target - 1);
    if (n > 0) {
      what = "-> " + std::string(target, static_cast<size_t>(n));
      if (stat(entryPath.c_str(), &entry) != 0) what += " (" + SystemError(errno) + ")";
    } else if (lstat(entryPath.c_str(), &entry) == 0 && S_ISREG(entry.st_mode)) {
      // A converter's address, on the first line of a small file.
      std::ifstream in(entryPath);
      std::string line;
      std::getline(in, line);
      what = line.substr(0, 200);
    } else {
      what = "?";
    }
    entries.push_back({name, what});
  }
  return entries;
}

bool ReadFileTail(const std::string& path, size_t maxBytes, std::string& tail, bool& cut,
                  std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno == ELOOP ? "a link, not a regular file" : SystemError(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
    close(fd);
    return false;
  }
  const off_t size = st.st_size;
  const off_t from = size > static_cast<off_t>(maxBytes) ? size - static_cast<off_t>(maxBytes) : 0;
  cut = from > 0;
  tail.assign(static_cast<size_t>(size - from), '\0');
  size_t got = 0;
  while (got < tail.size()) {
    const ssize_t n = pread(fd, &tail[got], tail.size() - got, from + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  tail.resize(got);
  close(fd);
  return true;
}

ReportFile::~ReportFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool ReportFile::Create(const std::string& path, bool fresh, std::string& error, bool& exists) {
  exists = false;
  const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (fresh ? O_EXCL : 0);
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    exists = errno == EEXIST;
    error = SystemError(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
    close(fd);
    return false;
  }
  if (ftruncate(fd, 0) != 0) {
    error = SystemError(errno);
    close(fd);
    return false;
  }
  handle_ = fd;
  char resolved[PATH_MAX];
  full_ = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  return true;
}

bool ReportFile::Write(const std::string& text, std::string& error) {
  size_t done = 0;
  while (handle_ >= 0 && done < text.size()) {
    const ssize_t n = write(static_cast<int>(handle_), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = SystemError(n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return handle_ >= 0;
}

}  // namespace zev::cli::os

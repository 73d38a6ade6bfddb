// The system on POSIX: temporary files go to TMPDIR or /tmp, the user's own
// files to the XDG state folder. The ports present and their holders are in
// ports_posix.cpp.
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "zev/platform/system.h"

namespace zev::platform {
namespace {

std::string WithoutTrailingSlashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The variable's value when it is an absolute path, else empty.
std::string AbsolutePath(const char* name) {
  const char* value = ::getenv(name);
  return value != nullptr && *value == '/' ? WithoutTrailingSlashes(value) : std::string();
}

}  // namespace

std::string TemporaryFolder() {
  const std::string tmp = AbsolutePath("TMPDIR");
  return tmp.empty() ? "/tmp" : tmp;
}

std::string StateFolder() {
  const std::string state = AbsolutePath("XDG_STATE_HOME");
  if (!state.empty()) return (state == "/" ? "" : state) + "/zevscale";
  const std::string home = AbsolutePath("HOME");
  if (!home.empty()) return (home == "/" ? "" : home) + "/.local/state/zevscale";
  return TemporaryFolder();
}

bool EnsureFolder(const std::string& folder, std::string* error) {
  int e = 0;
  if (::mkdir(folder.c_str(), 0700) == 0) return true;
  e = errno;
  if (e == ENOENT) {
    // The folder above first, then this one again.
    const size_t slash = WithoutTrailingSlashes(folder).find_last_of('/');
    if (slash != std::string::npos && slash > 0 && EnsureFolder(folder.substr(0, slash), error)) {
      if (::mkdir(folder.c_str(), 0700) == 0) return true;
      e = errno;
    } else if (slash != std::string::npos && slash > 0) {
      return false;
    }
  }
  struct stat st {};
  if (e == EEXIST && ::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    e = ENOTDIR;
  }
  if (error != nullptr) *error = std::error_code(e, std::generic_category()).message();
  return false;
}

}  // namespace zev::platform

// What a line trace needs from the system: a file that lines are appended to,
// the local time of day and the environment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zev::platform {

// A file opened for appending, or standard error. Every line goes out in one
// system write on a descriptor opened for appending, so lines written by
// different threads or processes never interleave.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // `target` is a file path or "stderr". False when it cannot be opened,
  // with the system's words in `error` when given.
  bool Open(const std::string& target, std::string* error = nullptr);
  // Writes the bytes; a failure is ignored.
  void Append(std::string_view text);

 private:
  intptr_t handle_ = -1;
  bool owned_ = false;
};

// The local time of day as HH:MM:SS.mmm.
std::string LocalTimeOfDay();
// The local date and time as YYYY-MM-DD HH:MM:SS.mmm.
std::string LocalDateTime();
// This process's id.
unsigned long ProcessId();
// The file a path finally stands for, links followed; the path itself when
// the system cannot tell.
std::string ResolvedPath(const std::string& path);

// The value of an environment variable; empty when it is unset.
std::string EnvironmentVariable(const char* name);

}  // namespace zev::platform

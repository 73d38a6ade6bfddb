// What a line trace needs from the system: a file that lines are appended to,
// the local time of day and the environment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zev::platform {

// A file opened for appending, or standard error. Every line goes out in one
// system write on a descriptor opened for appending, so lines written by
// different threads or processes never interleave. Nothing here ever waits
// or raises a signal in the process: only a regular file that is not a link,
// or a standard error that is open, is taken; a write that would block is
// dropped, and a file that has reached its size limit (or a pipe whose reader
// has gone) is given up.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // `target` is a file path or "stderr". False when it cannot be opened or is
  // not a target that can be written without waiting, with the system's words
  // in `error` when given. A new file is made readable and writable by its
  // owner only.
  bool Open(const std::string& target, std::string* error = nullptr);
  // Writes the bytes whole; false when they were dropped (the write would
  // have waited, failed or the file was given up).
  bool Append(std::string_view text);

 private:
  void Release();

  intptr_t handle_ = -1;
  bool socket_ = false;  // written with send(), which can be told not to signal
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

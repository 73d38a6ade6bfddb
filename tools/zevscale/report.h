// What a report for support needs from the system, per operating system
// (report_posix.cpp; a Windows build adds report_win.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zev::cli::os {

// The operating system as it names itself: name, release, version, machine.
std::string SystemName();
// The C library the program runs with, and its version.
std::string CLibrary();
// The user the program runs as, and the user's groups.
std::string UserAndGroups();

// Each entry of the ports directory at `path` and what it stands for: a
// link's target, a converter's address, or what kind of thing it is.
std::vector<std::pair<std::string, std::string>> PortsDirectoryEntries(const std::string& path);

// The last `maxBytes` of a regular file at `path` (never through a link,
// never waiting on a device or a pipe). False with `error` in the system's
// words, or "not a regular file".
bool ReadFileTail(const std::string& path, size_t maxBytes, std::string& tail, bool& cut,
                  std::string& error);

// A file the report is written to: made anew (`fresh`: only when no file has
// that name) or replaced; a regular file only.
class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool Create(const std::string& path, bool fresh, std::string& error, bool& exists);
  bool Write(const std::string& text, std::string& error);
  // Where it is, as an absolute path.
  std::string FullPath() const { return full_; }

 private:
  intptr_t handle_ = -1;
  std::string full_;
};

}  // namespace zev::cli::os

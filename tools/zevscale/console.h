// What the tool needs from the console and the process, per operating system
// (console_posix.cpp; a Windows build adds console_win.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "messages.h"

namespace zev::cli::os {

// While it lives, std::cout and std::cerr carry UTF-8 to the user as the
// system wants it: on a Windows console as UTF-16 (WriteConsoleW), so that
// Russian reads right whatever the console's code page; redirected, and on
// POSIX systems, as the UTF-8 bytes themselves.
class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  class Buffer;
  std::unique_ptr<Buffer> out_, err_;
  std::streambuf* oldOut_ = nullptr;
  std::streambuf* oldErr_ = nullptr;
};

// The program's arguments after its name, as UTF-8: on Windows as the system
// holds them (UTF-16), whatever the code page; elsewhere as they are.
std::vector<std::string> Arguments(int argc, char** argv);
// The directory of this program, with a trailing separator.
std::string ProgramDirectory();
// The file name of the add-in beside this program.
std::string AddinFileName();
// Whether standard output is a terminal.
bool OutputIsTerminal();
// The width of the terminal standard output goes to, in columns; 0 when it is
// no terminal or the system cannot tell.
int TerminalColumns();
// The name of the system error (errno) whose text is `words`, such as
// "EACCES", and its Russian text; empty when none is known.
struct SystemErrorName {
  std::string name;
  std::string russian;
};
SystemErrorName NameSystemError(const std::string& words);
// The user's language: LC_ALL, LC_MESSAGES, LANG on POSIX systems.
Lang UserLanguage();
// Ctrl-C and termination requests set `flag` (which must outlive the program).
void SetInterruptFlag(std::atomic<bool>* flag);
// Sets an environment variable of this process; an empty value unsets it.
void SetEnvironment(const char* name, const std::string& value);
// A new empty file for the process's own use; empty when none can be made.
// It lies in a folder of the user's own, where each run first removes what
// runs that were killed left behind.
std::string NewTemporaryFile();

// A trace file opened to read back what is appended to it: a regular file
// only, not through a link, opened without waiting, made when missing. -1
// when `path` is no such file.
intptr_t OpenTraceFile(const std::string& path);
// Its size now; -1 when the system cannot tell.
long long TraceFileSize(intptr_t file);
// Up to `count` bytes from `offset`; fewer at its end.
std::string ReadTraceFile(intptr_t file, long long offset, size_t count);
void CloseTraceFile(intptr_t file);
// Whether simulated scales can run here (they need pseudo-terminals).
bool CanSimulate();

// What the file at `path` is, read from its header before it is loaded.
struct AddinFile {
  bool exists = false;
  int bits = 0;  // 32 or 64 for a library of an x86 processor, else 0
};
AddinFile CheckAddin(const std::string& path);

}  // namespace zev::cli::os

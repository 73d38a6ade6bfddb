// What the tool needs from the console and the process, per operating system
// (console_posix.cpp; a Windows build adds console_win.cpp).
#pragma once

#include <atomic>
#include <string>

#include "messages.h"

namespace zev::cli::os {

// The directory of this program, with a trailing separator.
std::string ProgramDirectory();
// The file name of the add-in beside this program.
std::string AddinFileName();
// Whether standard output is a terminal.
bool OutputIsTerminal();
// The user's language: LC_ALL, LC_MESSAGES, LANG on POSIX systems.
Lang UserLanguage();
// Ctrl-C and termination requests set `flag` (which must outlive the program).
void SetInterruptFlag(std::atomic<bool>* flag);
// Sets an environment variable of this process; an empty value unsets it.
void SetEnvironment(const char* name, const std::string& value);
// A new empty file for the process's own use; empty when none can be made.
std::string NewTemporaryFile();

}  // namespace zev::cli::os

// What the system tells about this computer: the serial ports present
// (ports.h), the folder for temporary files and the user's own folder.
#pragma once

#include <string>

#include "zev/platform/ports.h"

namespace zev::platform {

// The folder for temporary files, UTF-8, with no separator at its end.
std::string TemporaryFolder();

// The folder where ZEVScale keeps what it writes for this user between runs
// (the line trace), UTF-8, with no separator at its end: on Windows
// %LOCALAPPDATA%\ZEVScale; elsewhere $XDG_STATE_HOME/zevscale, or
// $HOME/.local/state/zevscale when XDG_STATE_HOME is not an absolute path;
// the temporary folder when neither can be told. It is not made here.
std::string StateFolder();

// Makes `folder` with the folders above it that are missing (readable and
// writable by the owner only, on POSIX systems). True when it is a folder
// afterwards; false with the system's words in `error` when given.
bool EnsureFolder(const std::string& folder, std::string* error = nullptr);

// The separator of a path's parts: '\\' on Windows, '/' elsewhere.
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace zev::platform

// What the system tells about this computer: the serial ports present
// (ports.h) and the folder for temporary files.
#pragma once

#include <string>

#include "zev/platform/ports.h"

namespace zev::platform {

// The folder for temporary files, UTF-8, with no separator at its end.
std::string TemporaryFolder();

}  // namespace zev::platform

// What the Windows backends share: the system's words for an error code.
#pragma once

#include <string>

namespace zev::platform {

// The system's text for a Windows error code, in the user's language, UTF-8,
// without the line end and the final full stop.
std::string SystemMessage(unsigned long error);

}  // namespace zev::platform

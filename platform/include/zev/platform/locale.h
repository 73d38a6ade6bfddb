// The user's regional settings and the calling thread's last-error code.
#pragma once

#include <cstdint>

namespace zev::platform {

// The decimal separator of the user's regional settings: on Windows the user
// locale's, elsewhere the decimal point of the calling thread's locale (the
// process locale unless the thread chose its own). Safe on any thread. A
// separator that is not a single ASCII character reads as '.'.
char DecimalSeparator();

// The operating system's last-error code of the calling thread.
int32_t LastSystemError();

}  // namespace zev::platform

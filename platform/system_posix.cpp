// The system on POSIX: temporary files go to TMPDIR or /tmp. The ports
// present and their holders are in ports_posix.cpp.
#include <stdlib.h>

#include "zev/platform/system.h"

namespace zev::platform {

std::string TemporaryFolder() {
  const char* tmp = ::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp == '/' ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

}  // namespace zev::platform

// What the process holds: open descriptors and resident memory.
#include <dirent.h>
#include <unistd.h>

#include <fstream>

#include "driver_fixture.h"

namespace zev::e2e {

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace zev::e2e

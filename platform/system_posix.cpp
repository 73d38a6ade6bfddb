// The system on POSIX: the ports present are the COM<N> entries of the port
// directory (ZEVSCALE_PORTS or /etc/zevscale/ports), named after the device
// they stand for; temporary files go to TMPDIR or /tmp.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>

#include "zev/platform/system.h"

namespace zev::platform {

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  const char* env = ::getenv("ZEVSCALE_PORTS");
  const std::string dir = env != nullptr && *env != '\0' ? env : "/etc/zevscale/ports";
  const std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return ports;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name.size() > 6) continue;
    if (name.find_first_not_of("0123456789", 3) != std::string::npos) continue;
    const int n = std::stoi(name.substr(3));
    if (n < 1 || n > 255) continue;
    PresentPort p;
    p.number = static_cast<uint8_t>(n);
    char target[PATH_MAX];
    if (::realpath((dir + "/" + name).c_str(), target) != nullptr) p.name = target;
    ports.push_back(p);
  }
  std::sort(ports.begin(), ports.end(),
            [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

std::string TemporaryFolder() {
  const char* tmp = ::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp == '/' ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

}  // namespace zev::platform

// The system on POSIX: the ports present are the COM<N> entries of the port
// directory (ZEVSCALE_PORTS or /etc/zevscale/ports), named after the device
// they stand for, and the /dev/ttyS<N-1> with a UART behind them; a port's holders come from /proc;
// temporary files go to TMPDIR or /tmp.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "zev/platform/system.h"

namespace zev::platform {

namespace {

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return names;
  while (const dirent* e = ::readdir(d.get())) names.emplace_back(e->d_name);
  return names;
}

std::string ProgramName(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  const char* env = ::getenv("ZEVSCALE_PORTS");
  const std::string dir = env != nullptr && *env != '\0' ? env : "/etc/zevscale/ports";
  for (const std::string& name : Entries(dir)) {
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
  // COM<k+1> without an entry is /dev/ttyS<k>: present when a UART is behind it
  // (the kernel reports a port type other than 0).
  for (int k = 0; k < 32; ++k) {
    const auto number = static_cast<uint8_t>(k + 1);
    if (std::any_of(ports.begin(), ports.end(),
                    [number](const PresentPort& p) { return p.number == number; })) {
      continue;
    }
    std::ifstream type("/sys/class/tty/ttyS" + std::to_string(k) + "/type");
    int t = 0;
    if (type >> t && t != 0) ports.push_back({number, "/dev/ttyS" + std::to_string(k)});
  }
  std::sort(ports.begin(), ports.end(),
            [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

std::vector<PortHolder> PortHolders(const std::string& device) {
  std::vector<PortHolder> holders;
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return holders;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream in(line);
    std::string number, kind, mode, access, id;
    int pid = 0;
    if (!(in >> number >> kind >> mode >> access >> pid >> id)) continue;
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(id.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 && pid > 0 &&
        inode == st.st_ino && makedev(major, minor) == st.st_dev) {
      holders.push_back({pid, ProgramName(pid)});
    }
  }
  if (!holders.empty() || !S_ISCHR(st.st_mode)) return holders;
  const int self = ::getpid();
  for (const std::string& entry : Entries("/proc")) {
    const int pid = std::atoi(entry.c_str());
    if (pid <= 0 || pid == self) continue;
    const std::string fds = "/proc/" + entry + "/fd";
    for (const std::string& fd : Entries(fds)) {
      struct stat other {};
      if (::stat((fds + "/" + fd).c_str(), &other) == 0 && S_ISCHR(other.st_mode) &&
          other.st_rdev == st.st_rdev) {
        holders.push_back({pid, ProgramName(pid)});
        break;
      }
    }
  }
  return holders;
}

std::string TemporaryFolder() {
  const char* tmp = ::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp == '/' ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

}  // namespace zev::platform

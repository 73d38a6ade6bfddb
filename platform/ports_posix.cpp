// Serial ports on POSIX: the COM<N> entries of the ports directory
// (ZEVSCALE_PORTS or /etc/zevscale/ports), the ttyS/ttyUSB/ttyACM devices from
// sysfs (COM<N> without an entry is /dev/ttyS<N-1>), stable names from
// /dev/serial/by-id, and holders from /proc/locks and /proc/<pid>/fd.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "zev/platform/ports.h"
#include "zev/platform/serial.h"

namespace zev::platform {
namespace {

std::string PortsPath() {
  const char* dir = std::getenv("ZEVSCALE_PORTS");
  return dir != nullptr && *dir != '\0' ? dir : "/etc/zevscale/ports";
}

std::vector<std::string> DirectoryNames(const std::string& path) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(path.c_str()), &closedir);
  if (d) {
    while (const dirent* e = readdir(d.get())) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : std::string();
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The first line of an entry that is a regular file (where a converter's
// address is written), at most 200 bytes of it; empty for anything else.
std::string EntryFirstLine(const std::string& entry) {
  struct stat st {};
  if (stat(entry.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
  return ReadFirstLine(entry).substr(0, 200);
}

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX] = {};
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// Whether process `pid` holds the master side of pseudo-terminal `index`
// (/dev/pts/<index>): it is the other end of the line (a simulated scale, a
// network serial bridge), not a second reader of it.
bool HoldsMaster(const std::string& pid, int index) {
  const std::string fdDir = "/proc/" + pid + "/fd";
  for (const std::string& fd : DirectoryNames(fdDir)) {
    const std::string target = LinkTarget(fdDir + "/" + fd);
    if (target != "/dev/ptmx" && target != "/dev/pts/ptmx") continue;
    std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
    for (std::string line; std::getline(info, line);) {
      if (line.rfind("tty-index:", 0) == 0 && std::atoi(line.c_str() + 10) == index) return true;
    }
  }
  return false;
}

// Whether descriptor `fd` of process `pid` carries a lock: a program that
// inherited a locked descriptor (flock's child, say) shares that lock.
bool CarriesLock(const std::string& pid, const std::string& fd) {
  std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("lock:", 0) == 0) return true;
  }
  return false;
}

// The processes that have the device `rdev` open through a descriptor that
// carries no lock, less the one at the other end of a pseudo-terminal.
std::vector<PortHolder> OpenedBy(dev_t rdev) {
  std::vector<PortHolder> holders;
  const int self = getpid();
  // Pseudo-terminal slaves have the majors 136 to 143.
  const unsigned devMajor = major(rdev);
  const int ptsIndex = devMajor >= 136 && devMajor <= 143
                           ? static_cast<int>((devMajor - 136) * 256 + minor(rdev))
                           : -1;
  for (const std::string& entry : DirectoryNames("/proc")) {
    const int pid = std::atoi(entry.c_str());
    if (pid <= 0 || pid == self) continue;
    const std::string fdDir = "/proc/" + entry + "/fd";
    for (const std::string& fd : DirectoryNames(fdDir)) {
      struct stat other {};
      if (stat((fdDir + "/" + fd).c_str(), &other) == 0 && S_ISCHR(other.st_mode) &&
          other.st_rdev == rdev && !CarriesLock(entry, fd)) {
        if (ptsIndex < 0 || !HoldsMaster(entry, ptsIndex))
          holders.push_back({pid, ReadFirstLine("/proc/" + entry + "/comm"), false});
        break;
      }
    }
  }
  return holders;
}

// The holders of an advisory lock on the file `st` (how the driver holds a port).
std::vector<PortHolder> LockHolders(const struct stat& st) {
  std::vector<PortHolder> holders;
  auto name = [](int pid) { return ReadFirstLine("/proc/" + std::to_string(pid) + "/comm"); };
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream in(line);
    std::string number, kind, mode, access, id;
    int pid = 0;
    if (!(in >> number >> kind >> mode >> access >> pid >> id)) continue;
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(id.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) continue;
    if (inode == st.st_ino && makedev(major, minor) == st.st_dev && pid > 0) {
      holders.push_back({pid, name(pid), true});
    }
  }
  return holders;
}

// The program that holds the device: the holder of an advisory lock on it,
// else any other process with it open.
std::vector<PortHolder> Holders(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return {};
  std::vector<PortHolder> holders = LockHolders(st);
  return holders.empty() && S_ISCHR(st.st_mode) ? OpenedBy(st.st_rdev) : holders;
}

// The other processes that have the device open and hold no lock on it.
std::vector<PortHolder> WithoutLock(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
  const std::vector<PortHolder> locking = LockHolders(st);
  std::vector<PortHolder> holders;
  for (const PortHolder& h : OpenedBy(st.st_rdev)) {
    const bool locks = std::any_of(locking.begin(), locking.end(),
                                   [&h](const PortHolder& l) { return l.pid == h.pid; });
    if (!locks) holders.push_back(h);
  }
  return holders;
}

bool InGroupList(gid_t gid, const std::vector<gid_t>& groups) {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Who owns the device, its mode, and what would let this user open it.
PortAccess AccessOf(const std::string& device) {
  PortAccess a;
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return a;
  a.known = true;
  const passwd* owner = getpwuid(st.st_uid);
  a.owner = owner != nullptr ? owner->pw_name : std::to_string(st.st_uid);
  const group* g = getgrgid(st.st_gid);
  a.group = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
  a.mode = st.st_mode & 07777;
  // Nobody should join root's group; a group without read and write gives nothing.
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0) {
    a.remedy = PortAccess::UdevRule;
    return a;
  }
  std::vector<gid_t> session(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  session.resize(static_cast<size_t>(
      std::max(getgroups(static_cast<int>(session.size()), session.data()), 0)));
  session.push_back(getegid());
  if (InGroupList(st.st_gid, session)) return a;  // something else refuses it
  // The groups the user database gives the user now.
  std::vector<gid_t> now;
  if (const passwd* user = getpwuid(getuid())) {
    int n = 64;
    for (int tries = 0; tries < 4; ++tries) {
      now.resize(static_cast<size_t>(n));
      if (getgrouplist(user->pw_name, user->pw_gid, now.data(), &n) >= 0) {
        now.resize(static_cast<size_t>(n));
        break;
      }
      now.clear();
    }
  }
  a.remedy = InGroupList(st.st_gid, now) ? PortAccess::LogInAgain : PortAccess::AddToGroup;
  return a;
}

// Opens the device as the driver does, without touching its line settings,
// and closes it again at once.
PortState Probe(const std::string& device, int* error) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) {
    *error = errno;
    return PortState::Missing;
  }
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    if (errno == EACCES || errno == EPERM) return PortState::NoAccess;
    if (errno == EBUSY) return PortState::Busy;
    return PortState::Missing;
  }
  if (!isatty(fd)) {
    *error = ENOTTY;
    close(fd);
    return PortState::NotSerial;
  }
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  *error = locked ? EWOULDBLOCK : 0;
  close(fd);
  return locked ? PortState::Busy : PortState::Free;
}

// Probes `path`, the entry or the device that stands for the port.
void Fill(PortEntry& p, const std::string& path) {
  int error = 0;
  p.state = Probe(path, &error);
  p.access = AccessOf(path);
  if (p.state == PortState::Busy) p.holders = Holders(path);
  if (p.state == PortState::Free) {
    p.holders = WithoutLock(path);
    if (!p.holders.empty()) p.state = PortState::Shared;
  }
}

// ttyS<N> with a UART behind it: the kernel reports a port type other than 0.
bool HasUart(const std::string& name) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int t = 0;
  return type >> t && t != 0;
}

std::string UsbId(const std::string& name) {
  std::string dir = RealPath("/sys/class/tty/" + name + "/device");
  for (int up = 0; up < 4 && !dir.empty(); ++up) {
    const std::string vendor = ReadFirstLine(dir + "/idVendor");
    if (!vendor.empty()) return vendor + ":" + ReadFirstLine(dir + "/idProduct");
    dir = dir.substr(0, dir.find_last_of('/'));
  }
  return std::string();
}

}  // namespace

std::vector<int> MappedComNumbers() {
  std::vector<int> numbers;
  for (const std::string& name : DirectoryNames(PortsPath())) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) continue;
    char* end = nullptr;
    const long n = std::strtol(name.c_str() + 3, &end, 10);
    if (*end == '\0' && n >= 0 && n <= 255 && std::to_string(n) == name.substr(3)) {
      numbers.push_back(static_cast<int>(n));
    }
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  const std::string dir = PortsPath();
  for (int n : MappedComNumbers()) {
    if (n < 1 || n > 255) continue;
    ports.push_back({static_cast<uint8_t>(n), RealPath(dir + "/COM" + std::to_string(n))});
  }
  // COM<k+1> without an entry is /dev/ttyS<k>: present when a UART is behind it.
  for (int k = 0; k < 32; ++k) {
    const auto number = static_cast<uint8_t>(k + 1);
    if (std::any_of(ports.begin(), ports.end(),
                    [number](const PresentPort& p) { return p.number == number; })) {
      continue;
    }
    if (HasUart("ttyS" + std::to_string(k))) {
      ports.push_back({number, "/dev/ttyS" + std::to_string(k)});
    }
  }
  std::sort(ports.begin(), ports.end(),
            [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

std::vector<PortHolder> PortHolders(const std::string& device) {
  return Holders(device);
}

std::vector<PortEntry> ListPorts() {
  std::map<std::string, std::string> byId;  // real device -> stable name
  for (const std::string& name : DirectoryNames("/dev/serial/by-id")) {
    byId[RealPath("/dev/serial/by-id/" + name)] = "/dev/serial/by-id/" + name;
  }
  std::vector<PortEntry> ports;
  std::vector<std::pair<std::string, int>> mapped;  // real devices behind COM entries
  const std::string dir = PortsPath();
  for (int n : MappedComNumbers()) {
    PortEntry p;
    p.com = n;
    p.name = "COM" + std::to_string(n);
    const std::string entry = dir + "/" + p.name;
    p.firstLine = EntryFirstLine(entry);
    const std::string target = LinkTarget(entry);
    p.device = target.empty() ? entry : target;
    const std::string real = RealPath(entry);
    const auto earlier = std::find_if(mapped.begin(), mapped.end(),
                                      [&real](const auto& m) { return m.first == real; });
    if (!real.empty()) {
      if (byId.count(real)) p.byId = byId[real];
      const std::string base = real.substr(real.find_last_of('/') + 1);
      p.usbId = UsbId(base);
    }
    if (!real.empty() && earlier != mapped.end()) {
      // Opening it opens the device of an earlier entry.
      p.state = PortState::SameDevice;
      p.sameAs = earlier->second;
      p.sameDevice = real;
      p.access = AccessOf(entry);
    } else {
      if (!real.empty()) mapped.emplace_back(real, n);
      Fill(p, entry);
    }
    ports.push_back(p);
  }
  std::vector<std::string> devices;
  for (const std::string& name : DirectoryNames("/sys/class/tty")) {
    const bool uart = name.rfind("ttyS", 0) == 0 && HasUart(name);
    if (uart || name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0) {
      devices.push_back(name);
    }
  }
  std::stable_sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
    auto key = [](const std::string& s) {
      const size_t digits = s.find_first_of("0123456789");
      return std::make_pair(s.substr(0, digits), std::atoi(s.c_str() + std::min(digits, s.size())));
    };
    return key(a) < key(b);
  });
  const std::vector<int> numbers = MappedComNumbers();
  for (const std::string& name : devices) {
    const std::string device = "/dev/" + name;
    const std::string real = RealPath(device);
    if (std::any_of(mapped.begin(), mapped.end(),
                    [&real](const auto& m) { return m.first == real; }))
      continue;
    PortEntry p;
    p.device = device;
    p.name = name;
    // Without an entry, COM<N> opens /dev/ttyS<N-1>.
    if (name.rfind("ttyS", 0) == 0) {
      const int n = std::atoi(name.c_str() + 4) + 1;
      if (n <= 255 && std::find(numbers.begin(), numbers.end(), n) == numbers.end()) {
        p.com = n;
        p.name = "COM" + std::to_string(n);
      }
    }
    if (byId.count(device)) p.byId = byId[device];
    p.usbId = UsbId(name);
    Fill(p, device);
    ports.push_back(p);
  }
  return ports;
}

SystemLine SystemLineOf(int port) {
  SystemLine line;
  const std::string entry = SerialPort::DeviceName(static_cast<uint8_t>(port));
  struct stat st {};
  if (entry.empty() || stat(entry.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return line;
  line.device = RealPath(entry);
  // The consoles the kernel writes to, and those its command line names
  // (console=ttyS0,115200n8). ZEVSCALE_PROC stands in for /proc here.
  const char* procVariable = std::getenv("ZEVSCALE_PROC");
  const std::string proc = procVariable != nullptr && *procVariable ? procVariable : "/proc";
  std::vector<std::string> consoles;
  std::ifstream list(proc + "/consoles");
  for (std::string text; std::getline(list, text);) {
    std::istringstream in(text);
    std::string name;
    if (in >> name) consoles.push_back(name);
  }
  std::istringstream words(ReadFirstLine(proc + "/cmdline"));
  for (std::string word; words >> word;) {
    if (word.rfind("console=", 0) == 0) consoles.push_back(word.substr(8, word.find(',') - 8));
  }
  for (const std::string& name : consoles) {
    struct stat console {};
    if (stat(("/dev/" + name).c_str(), &console) == 0 && S_ISCHR(console.st_mode) &&
        console.st_rdev == st.st_rdev) {
      line.kind = SystemLine::Console;
      return line;
    }
  }
  for (const PortHolder& h : OpenedBy(st.st_rdev)) {
    if (h.name.find("getty") != std::string::npos || h.name == "login") {
      line.kind = SystemLine::Login;
      line.program = h.name;
      return line;
    }
  }
  return line;
}

OpenDiagnosis DiagnoseOpen(int port) {
  OpenDiagnosis d;
  d.device = SerialPort::DeviceName(static_cast<uint8_t>(port));
  if (d.device.empty()) return d;
  if (d.device.rfind(PortsPath(), 0) == 0) {
    d.entry = d.device;
    d.firstLine = EntryFirstLine(d.entry);
    const std::string target = LinkTarget(d.entry);
    if (!target.empty()) d.device = target;
  }
  int error = 0;
  const std::string opened = d.entry.empty() ? d.device : d.entry;
  switch (Probe(opened, &error)) {
    case PortState::Missing:
      d.exists = error != ENOENT && error != ENOTDIR;
      if (d.exists) d.systemError = std::strerror(error);
      break;
    case PortState::NoAccess:
      d.exists = true;
      d.noPermission = true;
      d.access = AccessOf(opened);
      break;
    case PortState::NotSerial:
      d.exists = true;
      d.notSerial = true;
      break;
    case PortState::Busy:
      d.exists = true;
      d.busy = true;
      d.holders = Holders(opened);
      break;
    case PortState::Free:
    case PortState::Shared:
    case PortState::SameDevice:
      // It opens now (it was released meanwhile); others may have it open.
      d.exists = true;
      d.holders = WithoutLock(opened);
      break;
  }
  return d;
}

std::vector<PortHolder> OpenWithoutLock(int port) {
  const std::string device = SerialPort::DeviceName(static_cast<uint8_t>(port));
  return device.empty() ? std::vector<PortHolder>() : WithoutLock(device);
}

PortsDirectory PortsDirectoryState() {
  PortsDirectory d;
  const char* variable = std::getenv("ZEVSCALE_PORTS");
  d.fromVariable = variable != nullptr && *variable != '\0';
  d.path = PortsPath();
  struct stat st {};
  if (stat(d.path.c_str(), &st) != 0) {
    d.state =
        errno == ENOENT || errno == ENOTDIR ? PortsDirectory::Missing : PortsDirectory::Unreadable;
    d.error = std::strerror(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    d.state = PortsDirectory::NotDirectory;
  } else if (access(d.path.c_str(), R_OK | X_OK) != 0) {
    d.state = PortsDirectory::Unreadable;
    d.error = std::strerror(errno);
  } else if (MappedComNumbers().empty()) {
    d.state = PortsDirectory::Empty;
  }
  return d;
}

}  // namespace zev::platform

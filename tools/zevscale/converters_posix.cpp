#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "console.h"
#include "converters.h"
#include "zev/platform/tcp.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

class Entries : public ConverterEntries {
 public:
  ~Entries() override {
    os::SetEnvironment("ZEVSCALE_PORTS", previous);
    for (const auto& name : made) unlink((path + "/" + name).c_str());
    if (!path.empty()) rmdir(path.c_str());
  }
  std::string path, previous;
  std::vector<std::string> made;
};

}  // namespace

bool CanMapConverters() {
  return true;
}

std::unique_ptr<ConverterEntries> MapConverters(const std::vector<std::string>& addresses,
                                                std::map<int, std::string>& names,
                                                std::string& error) {
  auto e = std::make_unique<Entries>();
  e->previous = platform::EnvironmentVariable("ZEVSCALE_PORTS");
  const std::string user = e->previous.empty() ? "/etc/zevscale/ports" : e->previous;
  char pattern[] = "/tmp/zevscale-tcp-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error = std::string("mkdtemp: ") + std::strerror(errno);
    return nullptr;
  }
  e->path = pattern;
  // The user's entries stay reachable by their names.
  std::set<std::string> taken;
  if (DIR* d = opendir(user.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name.rfind("COM", 0) != 0) continue;
      if (symlink((user + "/" + name).c_str(), (e->path + "/" + name).c_str()) == 0) {
        e->made.push_back(name);
        taken.insert(name);
      }
    }
    closedir(d);
  }
  // The highest free numbers, in the order of the addresses (scan goes by number).
  std::vector<int> numbers;
  for (int n = 255; n >= 0 && numbers.size() < addresses.size(); --n) {
    if (!taken.count("COM" + std::to_string(n))) numbers.insert(numbers.begin(), n);
  }
  if (numbers.size() < addresses.size()) {
    error = "no COM numbers left for the converters";
    return nullptr;
  }
  for (size_t i = 0; i < addresses.size(); ++i) {
    const auto a = platform::ParseTcpAddress(addresses[i]);
    if (!a) {
      error = "not HOST:PORT: " + addresses[i];
      return nullptr;
    }
    const std::string name = "COM" + std::to_string(numbers[i]);
    std::ofstream out(e->path + "/" + name);
    out << a->Url() << "\n";
    if (!out) {
      error = "cannot write " + e->path + "/" + name;
      return nullptr;
    }
    e->made.push_back(name);
    names[numbers[i]] = a->Url();
  }
  os::SetEnvironment("ZEVSCALE_PORTS", e->path);
  return e;
}

}  // namespace zev::cli

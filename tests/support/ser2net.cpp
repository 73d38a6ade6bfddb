#include "ser2net.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace zev::test {
namespace {

// ser2net lives in sbin, which a user's PATH may leave out.
std::string Executable() {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path != nullptr ? path : "") + ":/usr/sbin:/sbin";
  std::istringstream in(dirs);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/ser2net";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

// Runs `program` with `args` (the first its name) its output (and errors) on `out`; the child dies
// with the thread that started it, so a test that ends early leaves no ser2net behind.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int out) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only calls that are safe after fork in a process with threads.
    if (nothing >= 0) dup2(nothing, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (nothing >= 0) close(nothing);
  return pid;
}

// A port of 127.0.0.1 that nothing uses at the moment.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
    port = ntohs(at.sin_port);
  }
  close(fd);
  return port;
}

// A banner as a single-quoted YAML scalar that ser2net's string handling
// leaves as it is, followed by CR LF.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    if (c == '\\') out += '\\';
    out += c;
  }
  return out + "\\r\\n'";
}

std::string Config(const std::string& device, const Ser2net::Options& options, int port) {
  const char* stack = options.accepter == Ser2net::Accepter::Telnet ? "telnet(rfc2217=false),"
                      : options.accepter == Ser2net::Accepter::TelnetRfc2217 ? "telnet(rfc2217),"
                                                                             : "";
  std::ostringstream out;
  out << "%YAML 1.1\n---\n"
      << "# No mDNS: nothing to announce, and no complaint about it in the log.\n"
      << "default:\n  name: mdns\n  value: false\n  class: ser2net\n\n"
      << "connection: &zev\n"
      << "  accepter: " << stack << "tcp,127.0.0.1," << port
      << "\n"
      // local: a pseudo-terminal has no modem lines to wait for.
      << "  connector: serialdev," << device << "," << options.lineSettings << ",local\n"
      << "  options:\n"
      << "    max-connections: " << options.maxConnections << "\n";
  if (!options.banner.empty()) out << "    banner: " << Quoted(options.banner) << "\n";
  return out.str();
}

// The inode of the socket listening on 127.0.0.1:port, 0 when none.
unsigned long ListenerInode(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream in(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    in >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
        inode;
    const size_t colon = local.find(':');
    if (!in || colon == std::string::npos || state != "0A") continue;
    // The address as the kernel holds it (network order), the port as a number.
    const uint32_t address =
        static_cast<uint32_t>(std::strtoul(local.substr(0, colon).c_str(), nullptr, 16));
    const long number = std::strtol(local.substr(colon + 1).c_str(), nullptr, 16);
    if (address == htonl(INADDR_LOOPBACK) && number == port) return inode;
  }
  return 0;
}

bool HoldsSocket(pid_t pid, unsigned long inode) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = opendir(dir.c_str());
  if (fds == nullptr) return false;
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  bool held = false;
  while (const dirent* entry = readdir(fds)) {
    char target[64] = {};
    const std::string link = dir + "/" + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && wanted == std::string(target, static_cast<size_t>(n))) held = true;
  }
  closedir(fds);
  return held;
}

}  // namespace

Ser2net::~Ser2net() {
  Stop();
}

bool Ser2net::Start(const std::string& device, const Options& options, std::string* error) {
  Stop();
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    Stop();
    return false;
  };
  const std::string program = Executable();
  if (program.empty()) return fail("ser2net is not installed");
  char pattern[] = "/tmp/zev-ser2net-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return fail(std::string("mkdtemp: ") + std::strerror(errno));
  dir_ = pattern;
  const std::string config = dir_ + "/ser2net.yaml";
  const std::string log = dir_ + "/ser2net.log";
  // The free port may be taken before ser2net has it: then another one.
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreePort();
    if (port_ <= 0) return fail(std::string("no free port: ") + std::strerror(errno));
    {
      std::ofstream file(config, std::ios::trunc);
      file << Config(device, options, port_);
      if (!file.flush()) return fail("cannot write " + config);
    }
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return fail("cannot create " + log + ": " + std::strerror(errno));
    // -d: in the foreground, its log on standard output; -u: no UUCP lock files.
    pid_ = Spawn(program, {"ser2net", "-d", "-u", "-c", config}, out);
    close(out);
    if (pid_ < 0) return fail(std::string("fork: ") + std::strerror(errno));
    bool taken = false;
    for (int i = 0; i < 1000 && !taken; ++i) {  // a bound of 10 s, for a hang
      if (Listening()) return true;
      if (Exited()) return fail("ser2net ended before it listened:\n" + Log());
      taken = Log().find("Unable to startup network port") != std::string::npos;
      if (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!taken) break;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  return fail("ser2net does not listen on 127.0.0.1:" + std::to_string(port_) + ":\n" + Log());
}

void Ser2net::Stop() {
  // Killed outright: on SIGTERM ser2net may linger while it shuts down.
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  if (!dir_.empty()) {
    unlink((dir_ + "/ser2net.yaml").c_str());
    unlink((dir_ + "/ser2net.log").c_str());
    rmdir(dir_.c_str());
  }
  dir_.clear();
}

std::string Ser2net::Url() const {
  return "tcp://127.0.0.1:" + std::to_string(port_);
}

std::string Ser2net::Log() const {
  if (dir_.empty()) return std::string();
  std::ifstream file(dir_ + "/ser2net.log");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Ser2net::Listening() const {
  const unsigned long inode = ListenerInode(port_);
  return inode != 0 && HoldsSocket(pid_, inode);
}

bool Ser2net::Exited() {
  if (pid_ <= 0) return true;
  if (waitpid(pid_, nullptr, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

bool Ser2net::Available(std::string* why) {
  auto no = [&](const std::string& reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  const std::string program = Executable();
  if (program.empty()) return no("ser2net is not installed (apt-get install ser2net)");
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return no(std::string("pipe: ") + std::strerror(errno));
  const pid_t pid = Spawn(program, {"ser2net", "-v"}, out[1]);
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return no(std::string("fork: ") + std::strerror(errno));
  }
  // What it says until it closes its output, then its end; 10 s tell a hang.
  std::string said;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  bool ended = false;
  bool open = true;
  while (!ended && std::chrono::steady_clock::now() < until) {
    pollfd p{out[0], POLLIN, 0};
    if (open && poll(&p, 1, 100) > 0) {
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n > 0) said.append(buffer, static_cast<size_t>(n));
      open = n != 0;
    } else if (!open) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ended = !open && waitpid(pid, &status, WNOHANG) == pid;
  }
  close(out[0]);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return no("ser2net -v does not end");
  }
  const std::string prefix = "ser2net version ";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || said.rfind(prefix, 0) != 0) {
    return no("ser2net -v does not run as it should: " + said);
  }
  if (std::atoi(said.c_str() + prefix.size()) < 4) {
    return no("ser2net " + said.substr(prefix.size()) + " is older than 4 (no YAML configuration)");
  }
  return true;
}

}  // namespace zev::test

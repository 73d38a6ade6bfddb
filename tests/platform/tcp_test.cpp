// The TCP backend's own rules: which hosts may name a converter, a name's
// resolution held to the connection's deadline, the keep-alive of every
// connection, and the add-in staying loaded for a resolution that outlives
// its attempt. The name server cases run in network and mount namespaces of
// their own (root only), where a UDP socket of the test is the name server.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "zev/platform/tcp.h"

namespace {

using zev::platform::HostProblem;
using zev::platform::ParseTcpAddress;
using zev::platform::TcpAddress;
using zev::platform::TcpConnection;
using zev::platform::TcpStatus;

TEST(TcpHost, OnlyNamesAndWholeAddressesOfAnotherComputerPass) {
  const struct {
    const char* host;
    bool accepted;
  } cases[] = {
      {"127.0.0.1", true},
      {"192.168.1.254", true},
      {"10.0.0.0", true},
      {"255.255.255.255", true},
      {"converter", true},
      {"scale-3.plant.example", true},
      {"1e100.example.", true},
      {"::1", true},
      {"fe80::1%eth0", true},
      {"2001:db8::10", true},
      {"", false},
      {" 10.0.0.1", false},
      {"conv erter", false},
      {"converter\t", false},
      {"host\x7f", false},
      {"a/b", false},
      {"[::1]", false},
      {"127.0.0.256", false},
      {"300.1.1.1", false},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1..2.3", false},
      {"1.2.3.4.", false},
      {"0", false},
      {"4001", false},
      {"127.1", false},
      {"010.0.0.1", false},
      {"0x7f.0.0.1", false},
      {"0x7f000001", false},
      {"0.0.0.0", false},
      {"::", false},
      {"0:0::0", false},
  };
  for (const auto& c : cases) {
    const auto problem = HostProblem(c.host);
    EXPECT_EQ(!problem, c.accepted) << '"' << c.host << "\": " << problem.value_or("");
    EXPECT_FALSE(problem && problem->empty()) << c.host;
    // An address with that host is read only when the host passes.
    const bool bracketed = std::string(c.host).find(':') != std::string::npos;
    const std::string text =
        bracketed ? "[" + std::string(c.host) + "]:4001" : std::string(c.host) + ":4001";
    EXPECT_EQ(ParseTcpAddress(text).has_value(), c.accepted) << text;
  }
}

TEST(TcpHost, ARefusedHostNeverReachesTheSystem) {
  for (const char* host : {"0", "0.0.0.0", "127.0.0.256"}) {
    TcpConnection connection;
    EXPECT_EQ(connection.Connect(TcpAddress{host, 4001}), TcpStatus::ResolveFailed) << host;
    EXPECT_EQ(connection.SystemError(), *HostProblem(host));
    EXPECT_FALSE(connection.IsOpen());
  }
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::listen(fd_, 4) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
      port_ = ntohs(a.sin_port);
    }
  }
  ~Listener() {
    if (fd_ >= 0) ::close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

TEST(TcpKeepAlive, EveryConnectionProbesAnIdleLink) {
  Listener listener;
  ASSERT_NE(listener.Port(), 0);
  TcpConnection connection;
  ASSERT_EQ(connection.Connect(TcpAddress{"127.0.0.1", listener.Port()}), TcpStatus::Ok)
      << connection.SystemError();
  const int fd = static_cast<int>(connection.NativeSocket());
  const struct {
    int level, option;
    const char* name;
    int expected;
  } options[] = {
      {SOL_SOCKET, SO_KEEPALIVE, "SO_KEEPALIVE", 1},
      {IPPROTO_TCP, TCP_KEEPIDLE, "TCP_KEEPIDLE", zev::platform::kKeepAliveIdleS},
      {IPPROTO_TCP, TCP_KEEPINTVL, "TCP_KEEPINTVL", zev::platform::kKeepAliveIntervalS},
      {IPPROTO_TCP, TCP_KEEPCNT, "TCP_KEEPCNT", zev::platform::kKeepAliveProbes},
  };
  for (const auto& o : options) {
    int value = -1;
    socklen_t length = sizeof value;
    ASSERT_EQ(::getsockopt(fd, o.level, o.option, &value, &length), 0) << o.name;
    EXPECT_EQ(value, o.expected) << o.name;
  }
}

// What a connection attempt in the namespaces came to.
struct Outcome {
  char skip[160];  // why the namespaces could not be made, or empty
  int status;
  double ms;
  char error[160];
  int laterStatus;  // of a numeric connection made after the name's attempt
};

enum class NameServer { Silent, SaysUnknown };

// Answers every query on `fd` with "no such name".
void AnswerUnknown(int fd) {
  unsigned char q[512];
  for (;;) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd, q, sizeof q, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 12) continue;
    size_t end = 12;  // the question: its name's labels, then type and class
    while (end < static_cast<size_t>(n) && q[end] != 0) end += q[end] + 1u;
    end += 5;
    if (end > static_cast<size_t>(n)) continue;
    q[2] = static_cast<unsigned char>(0x80 | (q[2] & 0x01));  // a reply, recursion as asked
    q[3] = 0x80 | 3;                                          // NXDOMAIN
    std::memset(q + 6, 0, 6);                                 // no records
    ::sendto(fd, q, end, 0, reinterpret_cast<sockaddr*>(&from), length);
  }
}

// Makes the namespaces with `server` as the name server, or says why not.
std::string MakeNamespaces(NameServer server) {
  if (::geteuid() != 0) return "namespaces need root";
  if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
    return std::string("unshare: ") + std::strerror(errno);
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("private mounts: ") + std::strerror(errno);
  const int control = ::socket(AF_INET, SOCK_DGRAM, 0);
  ifreq lo{};
  std::strcpy(lo.ifr_name, "lo");
  const bool up = ::ioctl(control, SIOCGIFFLAGS, &lo) == 0 &&
                  (lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP),
                   ::ioctl(control, SIOCSIFFLAGS, &lo) == 0);
  ::close(control);
  if (!up) return std::string("loopback up: ") + std::strerror(errno);
  // glibc gives up after 2 s of silence here: the thread of an abandoned
  // resolution ends while the test still runs.
  char path[] = "/tmp/zev_resolv_XXXXXX";
  const int file = ::mkstemp(path);
  const std::string conf = "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n";
  const bool written =
      file >= 0 && ::write(file, conf.data(), conf.size()) == static_cast<ssize_t>(conf.size());
  if (file >= 0) ::close(file);
  const bool bound = written && ::mount(path, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
  const int error = errno;
  ::unlink(path);
  if (!bound) return std::string("resolv.conf: ") + std::strerror(error);
  const int dns = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(53);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(dns, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    return std::string("name server socket: ") + std::strerror(errno);
  if (server == NameServer::SaysUnknown) std::thread(AnswerUnknown, dns).detach();
  return std::string();  // a silent server keeps its socket open and never reads it
}

// Connects to a name in a child process with namespaces of its own.
Outcome ConnectInNamespaces(NameServer server, const char* name) {
  Outcome outcome{};
  int pipe[2];
  if (::pipe(pipe) != 0) {
    std::strcpy(outcome.skip, "no pipe");
    return outcome;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    Outcome o{};
    const std::string skip = MakeNamespaces(server);
    std::snprintf(o.skip, sizeof o.skip, "%s", skip.c_str());
    if (skip.empty()) {
      {
        TcpConnection connection;
        const auto start = std::chrono::steady_clock::now();
        o.status = static_cast<int>(connection.Connect(TcpAddress{name, 4001}));
        o.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count();
        std::snprintf(o.error, sizeof o.error, "%s", connection.SystemError().c_str());
      }
      // The connection is gone; an abandoned resolution ends meanwhile.
      if (server == NameServer::Silent)
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      Listener listener;
      TcpConnection later;
      o.laterStatus = static_cast<int>(later.Connect(TcpAddress{"127.0.0.1", listener.Port()}));
    }
    const bool sent = ::write(pipe[1], &o, sizeof o) == static_cast<ssize_t>(sizeof o);
    ::_exit(sent ? 0 : 1);
  }
  ::close(pipe[1]);
  const bool read = child > 0 && ::read(pipe[0], &outcome, sizeof outcome) ==
                                     static_cast<ssize_t>(sizeof outcome);
  ::close(pipe[0]);
  int wstatus = 0;
  if (child > 0) ::waitpid(child, &wstatus, 0);
  if (!read || !WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
    ADD_FAILURE() << "the child ended without an outcome (wait status " << wstatus << ")";
    outcome.status = -1;
  }
  return outcome;
}

TEST(TcpResolve, ANameServerThatIsSilentOrSaysUnknownEndsTheAttemptInTime) {
  const struct {
    NameServer server;
    TcpStatus status;
  } cases[] = {
      {NameServer::Silent, TcpStatus::ResolveTimedOut},
      {NameServer::SaysUnknown, TcpStatus::ResolveFailed},
  };
  for (const auto& c : cases) {
    const Outcome o = ConnectInNamespaces(c.server, "converter.zev.test");
    if (o.skip[0] != '\0') GTEST_SKIP() << "no namespaces of the test's own: " << o.skip;
    EXPECT_EQ(o.status, static_cast<int>(c.status)) << o.error;
    EXPECT_LT(o.ms, 3000) << "the attempt waited for the name server past its deadline";
    EXPECT_NE(o.error[0], '\0');
    EXPECT_EQ(o.laterStatus, static_cast<int>(TcpStatus::Ok));
    std::printf("name server %s: %s (%s) after %.0f ms\n",
                c.server == NameServer::Silent ? "silent" : "says unknown",
                zev::platform::TcpStatusText(static_cast<TcpStatus>(o.status)), o.error, o.ms);
  }
}

// A resolution thread may end after the add-in was unloaded: the add-in
// stays mapped.
TEST(TcpResolve, TheAddInStaysLoadedWhenUnloaded) {
  void* addin = ::dlopen(ZEV_ADDIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(addin, nullptr) << ::dlerror();
  link_map* map = nullptr;
  ASSERT_EQ(::dlinfo(addin, RTLD_DI_LINKMAP, &map), 0) << ::dlerror();
  ElfW(Xword) flags = 0;
  for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
    if (d->d_tag == DT_FLAGS_1) flags = d->d_un.d_val;
  }
  EXPECT_NE(flags & DF_1_NODELETE, 0u) << "no NODELETE in the add-in's dynamic section";
  ASSERT_EQ(::dlclose(addin), 0);
  void* again = ::dlopen(ZEV_ADDIN_PATH, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(again, nullptr) << "the add-in was unmapped by dlclose";
  if (again != nullptr) ::dlclose(again);
}

}  // namespace

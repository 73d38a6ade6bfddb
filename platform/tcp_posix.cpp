// TCP connections on POSIX systems: a non-blocking socket, every wait a poll()
// on the monotonic clock that a signal only shortens, never ends.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>

#include "poll_posix.h"
#include "tcp_backend.h"
#include "timeouts.h"
#include "zev/platform/clock.h"
#include "zev/platform/tcp.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // SO_NOSIGPIPE is set on the socket instead
#endif

namespace zev::platform {
namespace {

// The system's words for `error`, safe on any thread (either strerror_r).
[[maybe_unused]] std::string Words(int, const char* text) {
  return text;
}
[[maybe_unused]] std::string Words(const char* text, const char*) {
  return text;
}

}  // namespace

std::string TcpErrorText(int error) {
  char buffer[128] = {};
  return Words(::strerror_r(error, buffer, sizeof buffer), buffer);
}

namespace {

// The status a system error number stands for.
constexpr CodeStatus kErrorStatuses[] = {
    {ECONNREFUSED, TcpStatus::Refused},    {ETIMEDOUT, TcpStatus::TimedOut},
    {ENETUNREACH, TcpStatus::Unreachable}, {EHOSTUNREACH, TcpStatus::Unreachable},
    {ENETDOWN, TcpStatus::Unreachable},    {EHOSTDOWN, TcpStatus::Unreachable},
    {ECONNRESET, TcpStatus::Closed},       {EPIPE, TcpStatus::Closed},
    {ECONNABORTED, TcpStatus::Closed}};

TcpStatus StatusOfError(int error) {
  return StatusOfCode(error, kErrorStatuses, TcpStatus::Failed);
}

// Keep-alive with the times of tcp.h: a system without one of the settings
// keeps its own.
void KeepAlive(int fd) {
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
#ifdef TCP_KEEPIDLE
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleS, sizeof kKeepAliveIdleS);
#elif defined(TCP_KEEPALIVE)
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPALIVE, &kKeepAliveIdleS, sizeof kKeepAliveIdleS);
#endif
#ifdef TCP_KEEPINTVL
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalS, sizeof kKeepAliveIntervalS);
#endif
#ifdef TCP_KEEPCNT
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
#endif
}

// A socket of `family` that is non-blocking, closed on exec and kept off the
// standard descriptors 0 to 2 (a stray write to standard error must never
// reach the scale).
int NewSocket(int family) {
#ifdef SOCK_CLOEXEC
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
#else
  int fd = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (fd >= 0) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
#endif
  if (fd >= 0 && fd <= 2) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = high;
  }
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#ifdef SO_NOSIGPIPE
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  KeepAlive(fd);
  return fd;
}

// The addresses that getaddrinfo() found, freed with their last owner.
AddressList Owned(addrinfo* list) {
  return AddressList(list, [](void* l) { ::freeaddrinfo(static_cast<addrinfo*>(l)); });
}

// getaddrinfo() for TCP with `flags`; errno kept for EAI_SYSTEM.
ResolverAnswer Lookup(const std::string& host, const std::string& service, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  addrinfo* list = nullptr;
  ResolverAnswer a;
  a.code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  a.error = errno;
  if (a.code == 0) a.found = Owned(list);
  return a;
}

// The resolution of a name, its thread's end told by a byte in a pipe. A
// library that started such a thread stays loaded (the add-in is linked with
// -z nodelete), so its code is still there when the thread ends.
struct PipeResolution : Resolution {
  int ready[2] = {-1, -1};

  ~PipeResolution() override {
    for (const int fd : ready) {
      if (fd >= 0) ::close(fd);
    }
  }

  void Run() {
    ResolverAnswer a = Lookup(host, service, AI_NUMERICSERV | AI_ADDRCONFIG);
    if (a.code == EAI_NONAME || a.code == EAI_FAIL) {
      // AI_ADDRCONFIG hides loopback addresses on a host with no other network.
      a = Lookup(host, service, AI_NUMERICSERV);
    }
    answer = std::move(a);
    done.store(true, std::memory_order_release);
    const char byte = 1;
    while (::write(ready[1], &byte, 1) < 0 && errno == EINTR) {
    }
  }
};

void* ResolveThread(void* arg) {
  const std::unique_ptr<std::shared_ptr<PipeResolution>> held(
      static_cast<std::shared_ptr<PipeResolution>*>(arg));
  (*held)->Run();
  return nullptr;
}

// Starts `r` on a detached thread that blocks every signal (the host's signal
// handlers never run on it). False when no thread could be had.
bool StartThread(const std::shared_ptr<PipeResolution>& r) {
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  sigset_t all, before;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &before);
  auto* arg = new (std::nothrow) std::shared_ptr<PipeResolution>(r);
  pthread_t thread;
  const bool started =
      arg != nullptr && ::pthread_create(&thread, &attributes, ResolveThread, arg) == 0;
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  ::pthread_attr_destroy(&attributes);
  if (!started) delete arg;
  return started;
}

ResolverAnswer Numeric(const std::string& host, const std::string& service) {
  return Lookup(host, service, AI_NUMERICHOST | AI_NUMERICSERV);
}

std::shared_ptr<Resolution> Start(const std::string& host, const std::string& service,
                                  std::string& error) {
  auto r = std::make_shared<PipeResolution>();
  r->host = host;
  r->service = service;
  if (::pipe(r->ready) != 0) {
    error = TcpErrorText(errno);
    return nullptr;
  }
  for (const int fd : r->ready) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  if (!StartThread(r)) {
    error = "no thread for the name's resolution";
    return nullptr;
  }
  return r;
}

void Wait(Resolution& resolution, MonoTime deadline) {
  auto& r = static_cast<PipeResolution&>(resolution);
  while (!r.done.load(std::memory_order_acquire)) {
    if (posix::WaitFor(r.ready[0], POLLIN, deadline) <= 0) break;
    char sink[8];
    while (::read(r.ready[0], sink, sizeof sink) > 0) {
    }
  }
}

constexpr CodeStatus kResolverStatuses[] = {
    {0, TcpStatus::Ok},
    {EAI_AGAIN, TcpStatus::ResolveTimedOut},  // no name server answered
    {EAI_MEMORY, TcpStatus::Failed},
    {EAI_SYSTEM, TcpStatus::Failed}};

std::string ResolverWords(const ResolverAnswer& a) {
  return a.code == EAI_SYSTEM ? TcpErrorText(a.error) : ::gai_strerror(a.code);
}

constexpr ResolverHooks kResolver{Numeric,      EAI_NONAME,        Start,
                                  Wait,         kResolverStatuses, std::size(kResolverStatuses),
                                  ResolverWords};

// recv(2) that never waits: the attempt's poll() did.
ssize_t ReceiveNow(int fd, void* buffer, size_t size) {
  return ::recv(fd, buffer, size, MSG_DONTWAIT);
}

}  // namespace

std::optional<TcpAddress> TcpEntry(uint8_t port) {
  const std::string entry = SerialPort::DeviceName(port);
  struct stat st {};
  if (entry.empty() || ::stat(entry.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(entry);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (line.rfind("tcp://", 0) != 0 && line.rfind("rfc2217://", 0) != 0) return std::nullopt;
  return ParseTcpAddress(line);
}

void TcpConnection::Close() {
  if (!IsOpen()) return;
  ::close(static_cast<int>(socket_));
  socket_ = kNoSocket;
}

TcpStatus TcpConnection::Connect(const TcpAddress& address, int timeoutMs) {
  Close();
  status_ = TcpStatus::Failed;
  systemError_.clear();
  const MonoTime deadline = Now() + Millis(timeoutMs);
  if (const auto problem = HostProblem(address.host)) {
    status_ = TcpStatus::ResolveFailed;
    systemError_ = *problem;
    return status_;
  }
  const AddressList found =
      ResolveByDeadline(address, deadline, timeoutMs, kResolver, status_, systemError_);
  if (!found) return status_;
  // Each address in turn, all within the one deadline.
  for (const addrinfo* ai = static_cast<const addrinfo*>(found.get()); ai != nullptr;
       ai = ai->ai_next) {
    const int fd = NewSocket(ai->ai_family);
    if (fd < 0) {
      status_ = TcpStatus::Failed;
      systemError_ = TcpErrorText(errno);
      continue;
    }
    int error = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS || error == EINTR) {
        const int ready = posix::WaitFor(fd, POLLOUT, deadline);
        socklen_t length = sizeof error;
        if (ready == 0) {
          error = ETIMEDOUT;
        } else if (ready < 0) {
          error = errno;
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
          error = errno;
        }
      }
    }
    if (error == 0) {
      socket_ = fd;
      status_ = TcpStatus::Ok;
      systemError_.clear();
      break;
    }
    ::close(fd);
    status_ = StatusOfError(error);
    systemError_ = TcpErrorText(error);
    if (Now() >= deadline) break;
  }
  return status_;
}

void TcpConnection::Purge() {
  if (!IsOpen()) return;
  char sink[256];
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(socket_), sink, sizeof sink, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    Lost(n == 0 ? TcpStatus::Closed : StatusOfError(errno), n == 0 ? 0 : errno);
    return;
  }
}

size_t TcpConnection::Write(const void* data, size_t size, const SerialTimeouts& timeouts) {
  if (!IsOpen()) return 0;
  const int fd = static_cast<int>(socket_);
  const auto* bytes = static_cast<const char*>(data);
  const MonoTime deadline = WriteDeadline(timeouts, size);
  size_t written = 0;
  while (written < size) {
    const ssize_t n = ::send(fd, bytes + written, size - written, MSG_NOSIGNAL);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      Lost(StatusOfError(errno), errno);
      break;
    }
    const int ready = posix::WaitFor(fd, POLLOUT, deadline);
    if (ready <= 0 || (ready & (POLLERR | POLLNVAL)) != 0) break;
  }
  return written;
}

ReadResult TcpConnection::ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts) {
  if (!IsOpen()) {
    ReadResult result;
    result.failed = true;
    return result;
  }
  int ended = -1;
  const ReadResult result = posix::ReadAttempt(static_cast<int>(socket_), buffer, size, timeouts,
                                               ReceiveNow, false, &ended);
  // The converter closed or reset the connection: the line is gone.
  if (ended >= 0) Lost(ended == 0 ? TcpStatus::Closed : StatusOfError(ended), ended);
  return result;
}

}  // namespace zev::platform

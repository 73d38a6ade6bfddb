// TCP connections on Windows: Winsock, a non-blocking socket, every wait a
// select() on the monotonic clock. Each socket holds its own Winsock start-up.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <new>

#include "tcp_backend.h"
#include "timeouts.h"
#include "zev/platform/clock.h"
#include "zev/platform/tcp.h"

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16  // Windows 10 1703 on; refused before
#endif

namespace zev::platform {
namespace {

SOCKET AsSocket(intptr_t s) {
  return static_cast<SOCKET>(s);
}

// Waits until the socket is readable (`write` false) or writable or failed
// (`write` true), or the deadline passes. 1 ready, 0 time-out, -1 error.
int WaitFor(SOCKET s, bool write, MonoTime deadline) {
  const int64_t left = MillisUntil(deadline);
  if (left <= 0) return 0;
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval tv{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
  const int rc = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv);
  return rc > 0 ? 1 : rc == 0 ? 0 : -1;
}

// The status a Winsock error stands for.
constexpr CodeStatus kErrorStatuses[] = {
    {WSAECONNREFUSED, TcpStatus::Refused},    {WSAETIMEDOUT, TcpStatus::TimedOut},
    {WSAENETUNREACH, TcpStatus::Unreachable}, {WSAEHOSTUNREACH, TcpStatus::Unreachable},
    {WSAENETDOWN, TcpStatus::Unreachable},    {WSAEHOSTDOWN, TcpStatus::Unreachable},
    {WSAECONNRESET, TcpStatus::Closed},       {WSAECONNABORTED, TcpStatus::Closed},
    {WSAESHUTDOWN, TcpStatus::Closed}};

TcpStatus StatusOfError(int error) {
  return StatusOfCode(error, kErrorStatuses, TcpStatus::Failed);
}

}  // namespace

std::string TcpErrorText(int error) {
  return "Winsock error " + std::to_string(error);
}

namespace {

bool WouldBlock(int error) {
  return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR;
}

// Keep-alive with the times of tcp.h; the count of probes only where the
// system lets it be set (Windows 10 1703 on: ten otherwise). Failures leave
// the system's own.
void KeepAlive(SOCKET s) {
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = kKeepAliveIdleS * 1000;
  values.keepaliveinterval = kKeepAliveIntervalS * 1000;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
  const DWORD probes = kKeepAliveProbes;
  ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes), sizeof probes);
}

// The addresses that getaddrinfo() found, freed with their last owner.
AddressList Owned(addrinfo* list) {
  return AddressList(list, [](void* l) { ::freeaddrinfo(static_cast<addrinfo*>(l)); });
}

// getaddrinfo() for TCP with `flags`.
ResolverAnswer Lookup(const std::string& host, const std::string& service, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  addrinfo* list = nullptr;
  ResolverAnswer a;
  a.code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (a.code == 0) a.found = Owned(list);
  return a;
}

// The resolution of a name on a thread that the caller waits for. The thread
// holds a reference to the module its code is in and gives it back as it
// ends (FreeLibraryAndExitThread), so an unload of the add-in meanwhile
// leaves that code in place.
struct ThreadResolution : Resolution {
  HMODULE module = nullptr;
  HANDLE thread = nullptr;  // the caller's alone

  void Run() {
    answer = Lookup(host, service, AI_NUMERICSERV);
    done.store(true, std::memory_order_release);
  }
};

DWORD WINAPI ResolveThread(void* arg) {
  HMODULE module = nullptr;
  WSADATA data;
  const bool winsock = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  {
    const std::unique_ptr<std::shared_ptr<ThreadResolution>> held(
        static_cast<std::shared_ptr<ThreadResolution>*>(arg));
    module = (*held)->module;
    if (winsock) {
      (*held)->Run();
    } else {
      (*held)->answer.code = WSANOTINITIALISED;
      (*held)->done.store(true, std::memory_order_release);
    }
  }
  if (winsock) ::WSACleanup();
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

ResolverAnswer Numeric(const std::string& host, const std::string& service) {
  return Lookup(host, service, AI_NUMERICHOST | AI_NUMERICSERV);
}

std::shared_ptr<Resolution> Start(const std::string& host, const std::string& service,
                                  std::string& error) {
  auto r = std::make_shared<ThreadResolution>();
  r->host = host;
  r->service = service;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ResolveThread), &r->module)) {
    error = "the module of the resolution not found: error " + std::to_string(::GetLastError());
    return nullptr;
  }
  auto* arg = new (std::nothrow) std::shared_ptr<ThreadResolution>(r);
  r->thread = arg != nullptr ? ::CreateThread(nullptr, 0, ResolveThread, arg, 0, nullptr) : nullptr;
  if (r->thread == nullptr) {
    ::FreeLibrary(r->module);
    delete arg;
    error = "no thread for the name's resolution";
    return nullptr;
  }
  return r;
}

void Wait(Resolution& resolution, MonoTime deadline) {
  auto& r = static_cast<ThreadResolution&>(resolution);
  ::WaitForSingleObject(r.thread, static_cast<DWORD>(MillisUntil(deadline)));
  ::CloseHandle(r.thread);
  r.thread = nullptr;
}

constexpr CodeStatus kResolverStatuses[] = {
    {0, TcpStatus::Ok},
    {WSATRY_AGAIN, TcpStatus::ResolveTimedOut},  // no name server answered
    {WSA_NOT_ENOUGH_MEMORY, TcpStatus::Failed},
    {WSANOTINITIALISED, TcpStatus::Failed}};

std::string ResolverWords(const ResolverAnswer& a) {
  return TcpErrorText(a.code);
}

constexpr ResolverHooks kResolver{Numeric,      WSAHOST_NOT_FOUND, Start,
                                  Wait,         kResolverStatuses, std::size(kResolverStatuses),
                                  ResolverWords};

}  // namespace

std::optional<TcpAddress> TcpEntry(uint8_t) {
  return std::nullopt;  // COM ports only: no ports directory here
}

void TcpConnection::Close() {
  if (!IsOpen()) return;
  ::closesocket(AsSocket(socket_));
  socket_ = kNoSocket;
  ::WSACleanup();
}

TcpStatus TcpConnection::Connect(const TcpAddress& address, int timeoutMs) {
  Close();
  status_ = TcpStatus::Failed;
  systemError_.clear();
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    systemError_ = "Winsock did not start";
    return status_;
  }
  const MonoTime deadline = Now() + Millis(timeoutMs);
  if (const auto problem = HostProblem(address.host)) {
    ::WSACleanup();
    status_ = TcpStatus::ResolveFailed;
    systemError_ = *problem;
    return status_;
  }
  AddressList found =
      ResolveByDeadline(address, deadline, timeoutMs, kResolver, status_, systemError_);
  if (!found) {
    ::WSACleanup();
    return status_;
  }
  for (const addrinfo* ai = static_cast<const addrinfo*>(found.get()); ai != nullptr;
       ai = ai->ai_next) {
    const SOCKET s = ::WSASocketW(ai->ai_family, ai->ai_socktype, ai->ai_protocol, nullptr, 0,
                                  WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      systemError_ = TcpErrorText(::WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    KeepAlive(s);
    int error = 0;
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
      error = ::WSAGetLastError();
      if (WouldBlock(error)) {
        const int ready = WaitFor(s, true, deadline);
        int length = sizeof error;
        error = 0;
        if (ready == 0) {
          error = WSAETIMEDOUT;
        } else if (ready < 0) {
          error = ::WSAGetLastError();
        } else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                &length) != 0) {
          error = ::WSAGetLastError();
        }
      }
    }
    if (error == 0) {
      socket_ = static_cast<intptr_t>(s);
      status_ = TcpStatus::Ok;
      systemError_.clear();
      break;
    }
    ::closesocket(s);
    status_ = StatusOfError(error);
    systemError_ = TcpErrorText(error);
    if (Now() >= deadline) break;
  }
  found.reset();  // while Winsock is still started
  if (!IsOpen()) ::WSACleanup();
  return status_;
}

void TcpConnection::Purge() {
  if (!IsOpen()) return;
  char sink[256];
  for (;;) {
    const int n = ::recv(AsSocket(socket_), sink, sizeof sink, 0);
    if (n > 0) continue;
    const int error = n == 0 ? 0 : ::WSAGetLastError();
    if (n < 0 && WouldBlock(error)) return;
    Lost(n == 0 ? TcpStatus::Closed : StatusOfError(error), error);
    return;
  }
}

size_t TcpConnection::Write(const void* data, size_t size, const SerialTimeouts& timeouts) {
  if (!IsOpen()) return 0;
  const SOCKET s = AsSocket(socket_);
  const auto* bytes = static_cast<const char*>(data);
  const MonoTime deadline = WriteDeadline(timeouts, size);
  size_t written = 0;
  while (written < size) {
    const int n = ::send(s, bytes + written, static_cast<int>(size - written), 0);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    const int error = ::WSAGetLastError();
    if (!WouldBlock(error)) {
      Lost(StatusOfError(error), error);
      break;
    }
    if (WaitFor(s, true, deadline) <= 0) break;
  }
  return written;
}

ReadResult TcpConnection::ReadAttempt(void* buffer, size_t size, const SerialTimeouts& timeouts) {
  ReadResult result;
  if (!IsOpen()) {
    result.failed = true;
    return result;
  }
  const SOCKET s = AsSocket(socket_);
  auto* bytes = static_cast<char*>(buffer);
  ReadDeadlines deadlines(timeouts, size);
  while (result.count < size) {
    bool interval = false;
    const MonoTime deadline = deadlines.Next(result.count, interval);
    const int ready = WaitFor(s, false, deadline);
    if (ready == 0) {
      result.byInterval = interval;
      break;
    }
    if (ready < 0) {
      result.failed = result.count == 0;
      break;
    }
    const int n = ::recv(s, bytes + result.count, static_cast<int>(size - result.count), 0);
    if (n > 0) {
      result.count += static_cast<size_t>(n);
      deadlines.Arrived();
      continue;
    }
    const int error = n == 0 ? 0 : ::WSAGetLastError();
    if (n < 0 && WouldBlock(error)) continue;
    Lost(n == 0 ? TcpStatus::Closed : StatusOfError(error), error);
    result.failed = result.count == 0;
    break;
  }
  return result;
}

}  // namespace zev::platform

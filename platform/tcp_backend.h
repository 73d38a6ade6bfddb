// What the TCP backends share beyond tcp.h (in tcp.cpp): the status of a
// system's code, and a host's resolution held to a deadline: a numeric
// address at once, else the name on a thread of its own that the caller waits
// for until its deadline at most. The system's calls and codes come from
// tcp_posix.cpp and tcp_win.cpp: TcpErrorText and the resolver's hooks.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "zev/platform/clock.h"
#include "zev/platform/tcp.h"

namespace zev::platform {

// The system's words for its error number `error` (per system).
std::string TcpErrorText(int error);

// A system's code and the status it stands for.
struct CodeStatus {
  int code;
  TcpStatus status;
};

// The status of `code` in the table, `otherwise` where the table has none.
TcpStatus StatusOfCode(int code, const CodeStatus* table, size_t size, TcpStatus otherwise);
template <size_t N>
TcpStatus StatusOfCode(int code, const CodeStatus (&table)[N], TcpStatus otherwise) {
  return StatusOfCode(code, table, N, otherwise);
}

// The system's list of addresses (getaddrinfo's), freed with its last owner.
using AddressList = std::shared_ptr<void>;

// What the system's resolver answered.
struct ResolverAnswer {
  int code = -1;  // 0: found; else the resolver's code
  int error = 0;  // the system's error number, for a code that points there
  AddressList found;
};

// One name's resolution, shared by the caller and the thread that resolves
// it: whichever lets go of it last frees it. The caller may give up at its
// deadline; the thread then finishes alone and touches nothing else.
struct Resolution {
  virtual ~Resolution() = default;
  std::string host, service;
  ResolverAnswer answer;
  std::atomic<bool> done{false};
};

struct ResolverHooks {
  // The addresses of a numeric host, without asking a name server.
  ResolverAnswer (*numeric)(const std::string& host, const std::string& service);
  int notNumeric;  // the code of `numeric` for a host that is a name
  // A resolution of the name started on a thread of its own; null, with the
  // words in `error`, when none could be started.
  std::shared_ptr<Resolution> (*start)(const std::string& host, const std::string& service,
                                       std::string& error);
  // Waits until the resolution is done or the deadline passed.
  void (*wait)(Resolution& resolution, MonoTime deadline);
  // The statuses of the resolver's codes (0 among them); ResolveFailed for others.
  const CodeStatus* statuses;
  size_t statusCount;
  std::string (*words)(const ResolverAnswer& answer);  // the system's words for a failure
};

// The addresses of `address` by the deadline; null on failure, with `status`
// and `error` saying why.
AddressList ResolveByDeadline(const TcpAddress& address, MonoTime deadline, int timeoutMs,
                              const ResolverHooks& hooks, TcpStatus& status, std::string& error);

}  // namespace zev::platform

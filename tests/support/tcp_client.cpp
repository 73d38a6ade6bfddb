#include "tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace zev::test {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `until`, at least 0.
int Left(Clock::time_point until) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return ms > 0 ? static_cast<int>(ms) : 0;
}

}  // namespace

TcpClient::~TcpClient() {
  Close();
}

bool TcpClient::Connect(int port) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<uint16_t>(port));
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    Close();
    return false;
  }
  const int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return true;
}

bool TcpClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string TcpClient::Read(size_t count, int boundMs) {
  std::string bytes;
  const auto until = Clock::now() + std::chrono::milliseconds(boundMs);
  while (fd_ >= 0 && bytes.size() < count) {
    pollfd p{fd_, POLLIN, 0};
    const int rc = poll(&p, 1, Left(until));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) break;
    char buffer[256];
    const size_t want = count - bytes.size() < sizeof buffer ? count - bytes.size() : sizeof buffer;
    const ssize_t n = recv(fd_, buffer, want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

std::string TcpClient::ReadToEnd(bool* closed, int boundMs) {
  std::string bytes;
  *closed = false;
  const auto until = Clock::now() + std::chrono::milliseconds(boundMs);
  while (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    const int rc = poll(&p, 1, Left(until));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) break;
    char buffer[256];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *closed = true;  // an orderly end or a reset: either way the peer is gone
      break;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

void TcpClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace zev::test

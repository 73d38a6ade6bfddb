// A plain TCP client on the loopback address, for tests that talk to a
// simulated converter or to ser2net byte by byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zev::test {

class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Connects to 127.0.0.1:port. False when the connection fails.
  bool Connect(int port);
  bool Send(std::string_view bytes);
  // What arrives until `count` bytes have come, the peer has closed or
  // `boundMs` has passed (a bound that tells a hang, not a timing).
  std::string Read(size_t count, int boundMs = 5000);
  // What arrives until the peer closes; `closed` tells whether it did within
  // `boundMs`.
  std::string ReadToEnd(bool* closed, int boundMs = 5000);
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace zev::test

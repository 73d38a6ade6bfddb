#include "TPort.h"

namespace zev::scales {
namespace {

class TSerialPort : public TPort {
 public:
  platform::OpenStatus Open(uint8_t port, uint32_t baudRate, platform::Parity parity,
                            const platform::SerialTimeouts& timeouts) {
    return port_.Open(port, baudRate, parity, timeouts);
  }
  platform::OpenProblem Problem() const { return port_.LastOpenProblem(); }
  const std::string& Error() const { return port_.OpenError(); }
  bool Close() override { return port_.Close(); }
  void Purge() override { port_.Purge(); }
  size_t Write(const void* data, size_t size) override { return port_.Write(data, size); }
  platform::ReadResult ReadAttempt(void* buffer, size_t size) override {
    return port_.ReadAttempt(buffer, size);
  }

 private:
  platform::SerialPort port_;
};

// The connection stands for the port while the port is open: when the
// converter closes it, the operation under way fails as on a line that went
// away, and the next one connects again.
class TTcpPort : public TPort {
 public:
  TTcpPort(const platform::TcpAddress& address, const platform::SerialTimeouts& timeouts)
      : address_(address), timeouts_(timeouts) {}
  platform::TcpStatus Open() { return connection_.Connect(address_); }
  bool Close() override {
    connection_.Close();
    return true;
  }
  void Purge() override { connection_.Purge(); }
  bool Restorable() const override { return !connection_.IsOpen(); }
  platform::TcpStatus Restore() override {
    return connection_.IsOpen() ? platform::TcpStatus::Ok : connection_.Connect(address_);
  }
  size_t Write(const void* data, size_t size) override {
    return connection_.Write(data, size, timeouts_);
  }
  platform::ReadResult ReadAttempt(void* buffer, size_t size) override {
    return connection_.ReadAttempt(buffer, size, timeouts_);
  }
  platform::TcpStatus LinkStatus() const override { return connection_.Status(); }

 private:
  platform::TcpAddress address_;
  platform::TcpConnection connection_;
  platform::SerialTimeouts timeouts_;
};

}  // namespace

TEndpoint TEndpoint::Com(uint8_t port) {
  TEndpoint e;
  e.com = port;
  return e;
}

TEndpoint TEndpoint::Tcp(platform::TcpAddress address) {
  TEndpoint e;
  e.kind = Kind::Tcp;
  e.tcp = std::move(address);
  return e;
}

std::string TEndpoint::Name() const {
  return kind == Kind::Tcp ? tcp.Url() : "COM" + std::to_string(com);
}

std::unique_ptr<TPort> OpenSerialPort(uint8_t port, uint32_t baudRate, platform::Parity parity,
                                      const platform::SerialTimeouts& timeouts,
                                      platform::OpenStatus& status, platform::OpenProblem& problem,
                                      std::string& error) {
  auto p = std::make_unique<TSerialPort>();
  status = p->Open(port, baudRate, parity, timeouts);
  problem = p->Problem();
  error = p->Error();
  if (status != platform::OpenStatus::Opened) return nullptr;
  return p;
}

std::unique_ptr<TPort> OpenTcpPort(const platform::TcpAddress& address,
                                   const platform::SerialTimeouts& timeouts,
                                   platform::TcpStatus& status) {
  auto p = std::make_unique<TTcpPort>(address, timeouts);
  status = p->Open();
  if (status != platform::TcpStatus::Ok) return nullptr;
  return p;
}

}  // namespace zev::scales

#include "simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace zev::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Telnet's bytes (RFC 854, 856, 857, 858).
constexpr unsigned char kIac = 0xFF;
constexpr unsigned char kDont = 0xFE;
constexpr unsigned char kWill = 0xFB;
constexpr unsigned char kSb = 0xFA;
constexpr unsigned char kSe = 0xF0;

// Where in a Telnet command a client's stream is.
enum TelnetState { kData, kAfterIac, kOption, kSubnegotiation, kSubnegotiationIac };

// Data bytes as they go out: in Telnet every FF is doubled.
std::string Escaped(std::string_view data, bool telnet) {
  std::string out;
  for (char c : data) {
    out += c;
    if (telnet && static_cast<unsigned char>(c) == kIac) out += c;
  }
  return out;
}

void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
}

}  // namespace

std::optional<Model> ModelFromName(std::string_view name) {
  if (name == "ZEV-U") return Model::ZevU;
  if (name == "ZEV-AW") return Model::ZevAW;
  if (name == "ZEV-NT(N)" || name == "ZEV-NT") return Model::ZevNT;
  return std::nullopt;
}

const char* ModelName(Model model) {
  switch (model) {
    case Model::ZevU:
      return "ZEV-U";
    case Model::ZevAW:
      return "ZEV-AW";
    case Model::ZevNT:
      return "ZEV-NT(N)";
  }
  return "?";
}

double Simulator::ByteSeconds(Model model) {
  // Start bit, 8 data bits, parity bit for the odd-parity models, stop bit.
  return (model == Model::ZevU ? 10.0 : 11.0) / 4800.0;
}

std::string Simulator::Frame(Model model, double weightKg) {
  const long long grams = std::llround(weightKg * 1000.0);
  switch (model) {
    case Model::ZevU: {
      // The weight right-aligned in 7 characters with the scale's own full
      // stop, whatever the locale of this process.
      const long long magnitude = grams < 0 ? -grams : grams;
      char text[32];
      std::snprintf(text, sizeof text, "%s%lld.%03lld", grams < 0 ? "-" : "", magnitude / 1000,
                    magnitude % 1000);
      std::string frame(text);
      if (frame.size() < 7) frame.insert(0, 7 - frame.size(), ' ');
      frame += " kg  ";
      frame.resize(12, ' ');
      return frame + "\r\n";
    }
    case Model::ZevAW: {
      // Shown on the scale as "<sign><12 digits>", sent last character first.
      std::string digits = std::to_string(grams < 0 ? -grams : grams);
      if (digits.size() < 12) digits.insert(0, 12 - digits.size(), '0');
      std::string shown = std::string(grams < 0 ? "-" : " ") + digits;
      std::string frame(shown.rbegin(), shown.rend());
      frame.resize(16, ' ');
      return frame + "\r\n";
    }
    case Model::ZevNT: {
      const long long clamped = grams < 0 ? 0 : grams > 999999 ? 999999 : grams;
      std::string digits = std::to_string(clamped);
      digits.insert(0, 6 - digits.size(), '0');
      std::string frame(digits.rbegin(), digits.rend());
      return frame + "   kg     \r\n";
    }
  }
  return std::string();
}

Simulator::Simulator(Model model, double weightKg) : model_(model), weightKg_(weightKg) {}

Simulator::~Simulator() {
  Stop();
}

bool Simulator::Start(std::string* error) {
  auto fail = [&](const char* what) {
    if (error != nullptr) *error = std::string(what) + ": " + std::strerror(errno);
    CloseLine();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt");
  char name[128] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  devicePath_ = name;
  slaveKeeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeeper_ < 0) return fail("open slave");
  MakeRaw(slaveKeeper_);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  thread_ = std::thread(&Simulator::Serve, this);
  return true;
}

bool Simulator::StartTcp(const std::string& host, int port, TcpMode mode, std::string* error) {
  TcpOptions options;
  options.mode = mode;
  return StartTcp(host, port, options, error);
}

bool Simulator::StartTcp(const std::string& host, int port, const TcpOptions& options,
                         std::string* error) {
  const TcpMode mode = options.mode;
  auto fail = [&](const char* what) {
    if (error != nullptr) *error = std::string(what) + ": " + std::strerror(errno);
    CloseLine();
    return false;
  };
  stop_ = false;
  tcp_ = true;
  tcpOptions_ = options;
  tcpOptions_.telnet = options.telnet || options.rfc2217;
  line_ = LineState();
  tcpHost_ = host;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    errno = EINVAL;
    return fail(("address " + host).c_str());
  }
  listener_ = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int one = 1;
  if (listener_ >= 0) setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const bool bound = listener_ >= 0 && bind(listener_, found->ai_addr, found->ai_addrlen) == 0;
  freeaddrinfo(found);
  if (!bound) return fail("bind");
  sockaddr_storage at{};
  socklen_t length = sizeof at;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
  tcpPort_ = ntohs(at.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&at)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&at)->sin_port);
  if (mode != TcpMode::Refuse && listen(listener_, mode == TcpMode::NoAccept ? 0 : 4) != 0)
    return fail("listen");
  if (mode == TcpMode::NoAccept) {
    // Connections of its own fill the backlog; the system answers no more.
    for (int i = 0; i < 2; ++i) {
      const int fd = socket(at.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (fd < 0) return fail("socket");
      connect(fd, reinterpret_cast<sockaddr*>(&at), length);
      fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
  }
  if (mode == TcpMode::Refuse) return true;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
  thread_ = std::thread(&Simulator::Serve, this);
  return true;
}

std::string Simulator::TcpUrl() const {
  const bool v6 = tcpHost_.find(':') != std::string::npos;
  return (tcpOptions_.rfc2217 ? "rfc2217://" : "tcp://") + (v6 ? "[" + tcpHost_ + "]" : tcpHost_) +
         ":" + std::to_string(tcpPort_);
}

std::string Simulator::TelnetGreeting() {
  // WILL SUPPRESS-GO-AHEAD, DO SUPPRESS-GO-AHEAD, WILL ECHO, DONT ECHO,
  // DO BINARY, WILL BINARY: what ser2net's Telnet accepter sends.
  return std::string("\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00",
                     18);
}

void Simulator::Accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const bool telnet = tcpOptions_.telnet;
  std::string greeting = telnet ? TelnetGreeting() : std::string();
  // DO COM-PORT-OPTION, as ser2net's telnet(rfc2217) accepter asks.
  if (tcpOptions_.rfc2217) greeting += std::string{'\xFF', '\xFD', '\x2C'};
  if (tcpOptions_.mode == TcpMode::Busy) {
    SendNow(fd, greeting + Escaped("Port already in use\r\n", telnet));
    shutdown(fd, SHUT_WR);
    close(fd);
    return;
  }
  if (!tcpOptions_.banner.empty()) greeting += Escaped(tcpOptions_.banner + "\r\n", telnet);
  if (!tcpOptions_.copyToAll) {
    // A converter for one client: the newer connection replaces the older.
    for (size_t i = 0; i < clients_.size(); ++i) CloseConnection(i);
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
  }
  Client client;
  client.fd = fd;
  clients_.push_back(client);
  ++connections_;
  SendNow(fd, greeting);
}

void Simulator::SendNow(int fd, std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size() && !stop_) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
    } else {
      return;
    }
  }
}

bool Simulator::Put(char byte) {
  if (!tcp_) return write(master_, &byte, 1) == 1;
  // The line's byte goes to every client; one that is gone is let go.
  const std::string bytes = Escaped(std::string_view(&byte, 1), tcpOptions_.telnet);
  for (size_t i = 0; i < clients_.size(); ++i) {
    if (clients_[i].fd < 0) continue;
    const ssize_t n = send(clients_[i].fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EINTR) CloseConnection(i);
  }
  return LineUp();
}

bool Simulator::LineUp() const {
  return tcp_ ? connections_ > 0 : master_ >= 0;
}

void Simulator::CloseConnection(size_t index) {
  Client& client = clients_[index];
  if (client.fd < 0) return;
  close(client.fd);
  client.fd = -1;
  client.state = kData;
  client.command.clear();
  --connections_;
}

void Simulator::ReadConnection(size_t index) {
  unsigned char buffer[64];
  const ssize_t n = read(clients_[index].fd, buffer, sizeof buffer);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    CloseConnection(index);  // the client closed the connection
    return;
  }
  for (ssize_t i = 0; i < n && LineUp(); ++i) {
    if (tcpOptions_.telnet && !TelnetData(clients_[index], buffer[i])) continue;
    // On a line at other settings than the scale's, the scale hears nothing
    // it can read.
    if (tcpOptions_.rfc2217 && !(ConverterLine() == ScaleLine(model_))) continue;
    HandleByte(buffer[i]);
  }
}

std::string LineState::Text() const {
  std::string text = std::to_string(baud) + " " + std::to_string(dataSize);
  text += parity < 6 ? "?NOEMS"[parity] : '?';
  text += stopSize == 3 ? std::string("1.5") : std::to_string(stopSize);
  return text;
}

LineState Simulator::ConverterLine() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_;
}

LineState Simulator::ScaleLine(Model model) {
  LineState line;
  line.baud = 4800;
  line.parity = model == Model::ZevU ? 1 : 2;
  return line;
}

LineState Simulator::PtyLine() const {
  LineState line;
  line.baud = 0;
  termios tio{};
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return line;
  static const struct {
    speed_t code;
    uint32_t baud;
  } kSpeeds[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  for (const auto& s : kSpeeds) {
    if (cfgetospeed(&tio) == s.code) line.baud = s.baud;
  }
  const tcflag_t size = tio.c_cflag & CSIZE;
  line.dataSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  const bool odd = (tio.c_cflag & PARODD) != 0;
  line.parity = (tio.c_cflag & PARENB) != 0 ? (odd ? 2 : 3) : (odd ? 2 : 1);
  line.stopSize = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
  return line;
}

void Simulator::ServeComPort(int fd, const std::string& command) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(command[i]); };
  if (command.size() < 6 || byte(1) != kSb || byte(2) != 44) return;
  // The parameters between IAC SB 44 <code> and IAC SE, FF FF taken as FF.
  const unsigned char code = byte(3);
  std::string value;
  for (size_t i = 4; i + 2 < command.size(); ++i) {
    value += command[i];
    if (byte(i) == kIac) ++i;
  }
  const std::string refused = tcpOptions_.refuseSetting;
  std::string answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto v = value.empty() ? 0u : static_cast<unsigned char>(value[0]);
    if (code == 1 && value.size() == 4) {
      uint32_t baud = 0;
      for (char c : value) baud = (baud << 8) | static_cast<unsigned char>(c);
      if (baud != 0 && refused != "baud") line_.baud = baud;
      for (int shift = 24; shift >= 0; shift -= 8) answer += static_cast<char>(line_.baud >> shift);
    } else if (code == 2 && v != 0 && refused != "datasize") {
      line_.dataSize = static_cast<uint8_t>(v);
    } else if (code == 3 && v != 0 && refused != "parity") {
      line_.parity = static_cast<uint8_t>(v);
    } else if (code == 4 && v != 0 && refused != "stopsize") {
      line_.stopSize = static_cast<uint8_t>(v);
    }
    if (code == 2) answer = std::string(1, static_cast<char>(line_.dataSize));
    if (code == 3) answer = std::string(1, static_cast<char>(line_.parity));
    if (code == 4) answer = std::string(1, static_cast<char>(line_.stopSize));
  }
  if (code == 5 || code == 12) answer = value.substr(0, 1);
  if (code < 1 || (code > 5 && code != 12) || answer.empty()) return;
  // Each answer is IAC SB 44 <code + 100> <value, FF doubled> IAC SE.
  SendNow(fd, std::string{'\xFF', '\xFA', '\x2C', static_cast<char>(code + 100)} +
                  Escaped(answer, true) + std::string{'\xFF', '\xF0'});
}

bool Simulator::TelnetData(Client& client, unsigned char byte) {
  if (client.state == kData && byte != kIac) return true;
  client.command += static_cast<char>(byte);
  bool done = false;
  switch (client.state) {
    case kData:
      client.state = kAfterIac;
      break;
    case kAfterIac:
      if (byte == kIac) {  // IAC IAC: one data byte FF
        client.state = kData;
        client.command.clear();
        return true;
      }
      if (byte == kSb) {
        client.state = kSubnegotiation;
      } else if (byte >= kWill && byte <= kDont) {
        client.state = kOption;
      } else {
        done = true;  // NOP, BRK, AYT and the like
      }
      break;
    case kOption:
      done = true;
      break;
    case kSubnegotiation:
      if (byte == kIac) client.state = kSubnegotiationIac;
      break;
    case kSubnegotiationIac:
      // IAC IAC inside is a byte FF of the subnegotiation; IAC SE ends it.
      if (byte == kSe) {
        done = true;
      } else {
        client.state = kSubnegotiation;
      }
      break;
  }
  if (done) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      telnetReceived_ += client.command;
    }
    if (tcpOptions_.rfc2217) ServeComPort(client.fd, client.command);
    client.command.clear();
    client.state = kData;
  }
  return false;
}

void Simulator::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char c = 's';
    (void)!write(wake_[1], &c, 1);
    thread_.join();
  }
  CloseLine();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
  clients_.clear();
  for (int fd : fillers_) close(fd);
  fillers_.clear();
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void Simulator::CloseLine() {
  if (tcp_) {
    // The converter stays: the next connection is served.
    for (size_t i = 0; i < clients_.size(); ++i) CloseConnection(i);
    return;
  }
  if (master_ >= 0) close(master_);
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  master_ = slaveKeeper_ = -1;
}

void Simulator::SetWeight(double weightKg) {
  std::lock_guard<std::mutex> lock(mutex_);
  weightKg_ = weightKg;
}

void Simulator::SetFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
}

std::string Simulator::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void Simulator::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
  telnetReceived_.clear();
}

std::string Simulator::TelnetReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return telnetReceived_;
}

void Simulator::SendUnsolicited(std::string_view bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unsolicited_ += bytes;
  }
  const char c = 'u';
  (void)!write(wake_[1], &c, 1);
}

void Simulator::HangUp() {
  hungUp_ = true;
  hangUpNow_ = true;
  const char c = 'h';
  (void)!write(wake_[1], &c, 1);
}

bool Simulator::Sleep(int ms) {
  if (ms <= 0) return !stop_;
  pollfd p{wake_[0], POLLIN, 0};
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!stop_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) break;
    poll(&p, 1, static_cast<int>(left));
    char drain[16];
    while (read(wake_[0], drain, sizeof drain) > 0) {
    }
    if (hangUpNow_) break;
  }
  return !stop_;
}

bool Simulator::SendPaced(std::string_view bytes) {
  const auto byteTime = std::chrono::duration<double>(ByteSeconds(model_));
  const auto start = Clock::now();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (stop_ || !LineUp()) return false;
    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<Clock::duration>(byteTime * i));
    if (!Put(bytes[i])) return false;
  }
  return true;
}

bool Simulator::WaitQuiet(int ms) {
  // A round that has begun after the call's round ended has seen every
  // request made before the call; the one after it has finished them.
  const int from = rounds_;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (rounds_ < from + 2) {
    if (Clock::now() >= until || !thread_.joinable()) return false;
    const char c = 'q';
    (void)!write(wake_[1], &c, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Simulator::Serve() {
  while (!stop_) {
    ++rounds_;
    if (hangUpNow_.exchange(false)) CloseLine();
    clients_.erase(
        std::remove_if(clients_.begin(), clients_.end(), [](const Client& c) { return c.fd < 0; }),
        clients_.end());
    if (master_ < 0 && !tcp_) {
      // Without a line only a wake-up (or a second) ends the wait.
      pollfd p{wake_[0], POLLIN, 0};
      poll(&p, 1, 1000);
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
      continue;
    }
    bool noise;
    std::string unsolicited;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      noise = faults_.noise;
      unsolicited.swap(unsolicited_);
    }
    if (!unsolicited.empty()) SendPaced(unsolicited);

    // The wake-up, then the line (the pseudo-terminal, or the listener and
    // every client).
    std::vector<pollfd> p = {{wake_[0], POLLIN, 0}, {tcp_ ? listener_ : master_, POLLIN, 0}};
    for (const Client& client : clients_) p.push_back({client.fd, POLLIN, 0});
    // Noise goes out at about the line pace: one byte per loop.
    const int timeout = noise && LineUp() ? 2 : 1000;
    const int rc = poll(p.data(), p.size(), timeout);
    if (rc < 0 && errno != EINTR) break;
    if (p[0].revents & POLLIN) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    if (!tcp_ && (p[1].revents & POLLIN)) {
      unsigned char buffer[64];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      const bool heard = !lineCheck_ || PtyLine() == ScaleLine(model_);
      for (ssize_t i = 0; i < n && master_ >= 0 && heard; ++i) HandleByte(buffer[i]);
    }
    for (size_t i = 2; i < p.size(); ++i) {
      const size_t index = i - 2;
      if (clients_[index].fd < 0) continue;
      if (p[i].revents & POLLIN) {
        ReadConnection(index);
      } else if (p[i].revents & (POLLHUP | POLLERR)) {
        CloseConnection(index);
      }
    }
    if (tcp_ && (p[1].revents & POLLIN)) Accept();
    if (noise && LineUp()) {
      noiseState_ = noiseState_ * 1103515245u + 12345u;
      const char byte = static_cast<char>(noiseState_ >> 16);
      SendPaced(std::string_view(&byte, 1));
    }
  }
}

void Simulator::HandleByte(unsigned char byte) {
  bool hangUp;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ += static_cast<char>(byte);
    hangUp = faults_.hangUpOnCommand;
  }
  bool weigh = false;
  bool command = false;
  if (model_ == Model::ZevU) {
    command = byte == 'T' || byte == 'C' || byte == 'Z' || byte == 'P';
    weigh = byte == 'P';
  } else {
    pending_ += static_cast<char>(byte);
    if (pending_.size() > 3) pending_.erase(0, pending_.size() - 3);
    if (pending_.size() == 3 && pending_[0] == '\0' && pending_[1] == '\0' &&
        (pending_[2] == '\x01' || pending_[2] == '\x03')) {
      command = true;
      weigh = pending_[2] == '\x03';
      pending_.clear();
    }
  }
  if (!command) return;
  ++commands_;
  if (hangUp) {
    hungUp_ = true;
    CloseLine();
    return;
  }
  if (weigh) {
    ++weighCommands_;
    Answer();
  }
}

void Simulator::Answer() {
  Faults faults;
  double weight;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults = faults_;
    weight = weightKg_;
  }
  if (faults.faultyReplies >= 0 && weighCommands_ > faults.faultyReplies) faults = Faults();
  if (faults.silent || faults.noise) return;
  std::string reply = faults.raw ? *faults.raw : Frame(model_, weight);
  if (faults.missingBytes > 0) {
    reply.resize(reply.size() > static_cast<size_t>(faults.missingBytes)
                     ? reply.size() - static_cast<size_t>(faults.missingBytes)
                     : 0);
  }
  reply.append(static_cast<size_t>(std::max(0, faults.extraBytes)), '#');
  if (!Sleep(faults.delayMs)) return;
  if (faults.hangUpAfterBytes >= 0) {
    const size_t cut = std::min(reply.size(), static_cast<size_t>(faults.hangUpAfterBytes));
    SendPaced(std::string_view(reply).substr(0, cut));
    hungUp_ = true;
    CloseLine();
    return;
  }
  if (faults.pauseAfterBytes >= 0 && static_cast<size_t>(faults.pauseAfterBytes) < reply.size()) {
    const size_t cut = static_cast<size_t>(faults.pauseAfterBytes);
    if (!SendPaced(std::string_view(reply).substr(0, cut))) return;
    if (!Sleep(faults.pauseMs)) return;
    SendPaced(std::string_view(reply).substr(cut));
  } else {
    SendPaced(reply);
  }
}

PortDirectory::PortDirectory() {
  char pattern[] = "/tmp/zevscale-ports-XXXXXX";
  const char* dir = mkdtemp(pattern);
  path_ = dir != nullptr ? dir : "";
}

PortDirectory::~PortDirectory() {
  if (path_.empty()) return;
  for (int port = 0; port < 256; ++port) Unmap(port);
  rmdir(path_.c_str());
}

bool PortDirectory::Map(int port, const std::string& device) {
  Unmap(port);
  const std::string entry = path_ + "/COM" + std::to_string(port);
  return symlink(device.c_str(), entry.c_str()) == 0;
}

bool PortDirectory::MapTcp(int port, const std::string& url) {
  Unmap(port);
  std::ofstream entry(path_ + "/COM" + std::to_string(port));
  entry << url << "\n";
  return static_cast<bool>(entry);
}

void PortDirectory::Unmap(int port) {
  const std::string entry = path_ + "/COM" + std::to_string(port);
  unlink(entry.c_str());
}

void PortDirectory::Export() const {
  setenv("ZEVSCALE_PORTS", path_.c_str(), 1);
}

}  // namespace zev::sim

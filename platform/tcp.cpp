// What every TCP backend shares: the address text and the words of a status.
#include <cstdlib>

#include "zev/platform/tcp.h"

namespace zev::platform {

std::string TcpAddress::Url() const {
  const bool v6 = host.find(':') != std::string::npos;
  return "tcp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<TcpAddress> ParseTcpAddress(std::string_view text) {
  constexpr std::string_view kScheme = "tcp://";
  if (text.substr(0, kScheme.size()) == kScheme) text.remove_prefix(kScheme.size());
  TcpAddress a;
  size_t colon;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
      return std::nullopt;
    a.host = std::string(text.substr(1, close - 1));
    colon = close + 1;
  } else {
    colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    a.host = std::string(text.substr(0, colon));
    if (a.host.find(':') != std::string::npos) return std::nullopt;  // IPv6 needs brackets
  }
  const std::string_view digits = text.substr(colon + 1);
  if (a.host.empty() || digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos ||
      a.host.find_first_of("/[]") != std::string::npos) {
    return std::nullopt;
  }
  for (const char c : a.host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
      return std::nullopt;  // blanks, controls
  }
  const long port = std::strtol(std::string(digits).c_str(), nullptr, 10);
  if (port < 1 || port > 65535) return std::nullopt;
  a.port = static_cast<uint16_t>(port);
  return a;
}

const char* TcpStatusText(TcpStatus status) {
  switch (status) {
    case TcpStatus::Ok:
      return "ok";
    case TcpStatus::ResolveFailed:
      return "name not resolved";
    case TcpStatus::Refused:
      return "connection refused";
    case TcpStatus::TimedOut:
      return "no answer to the connection within 1 s";
    case TcpStatus::Unreachable:
      return "no route to the host";
    case TcpStatus::Closed:
      return "connection closed by the converter";
    case TcpStatus::Busy:
      return "the converter is busy with another connection";
    case TcpStatus::Failed:
      return "connection failed";
  }
  return "?";
}

}  // namespace zev::platform

// What every TCP backend shares: the address text, the check of a host, the
// words of a status, and a host's resolution held to a deadline.
#include <cstdlib>
#include <vector>

#include "tcp_backend.h"
#include "zev/platform/tcp.h"

namespace zev::platform {

std::string TcpAddress::Url() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (rfc2217 ? "rfc2217://" : "tcp://") + (v6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A part of a dotted host that the system's address parsers take for a
// number: decimal, octal (a leading 0) or hexadecimal ("0x").
bool IsNumber(std::string_view part) {
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    for (const char c : part.substr(2)) {
      if (!IsHexDigit(c)) return false;
    }
    return true;
  }
  if (part.empty()) return false;
  for (const char c : part) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace

std::optional<std::string> HostProblem(std::string_view host) {
  if (host.empty()) return std::string("the host is empty");
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
      return std::string("the host holds a blank or a control character");
    if (c == '/' || c == '[' || c == ']') return std::string("the host holds '/', '[' or ']'");
  }
  if (host.find(':') != std::string_view::npos) {
    // IPv6: all of its digits zero is the unspecified address, this computer.
    if (host.find_first_not_of("0:") == std::string_view::npos)
      return std::string("'") + std::string(host) + "' means this computer, not a converter";
    return std::nullopt;
  }
  // Numbers between the dots, or between none: an IPv4 address is meant.
  const std::vector<std::string_view> parts = Split(host, '.');
  bool numeric = true;
  for (const std::string_view part : parts) numeric = numeric && (part.empty() || IsNumber(part));
  if (!numeric || (parts.size() == 1 && parts[0].empty())) return std::nullopt;
  bool quad = parts.size() == 4;
  bool zero = true;
  for (const std::string_view part : parts) {
    quad = quad && !part.empty() && part.size() <= 3 && (part.size() == 1 || part[0] != '0');
    quad = quad && part.find_first_not_of("0123456789") == std::string_view::npos;
    quad = quad && std::strtol(std::string(part).c_str(), nullptr, 10) <= 255;
    zero = zero && part == "0";
  }
  if (!quad)
    return "'" + std::string(host) +
           "' is not an IPv4 address: four numbers 0 to 255 without leading zeros, separated by "
           "dots";
  if (zero) return std::string("0.0.0.0 means this computer, not a converter");
  return std::nullopt;
}

std::optional<TcpAddress> ParseTcpAddress(std::string_view text) {
  constexpr std::string_view kScheme = "tcp://", kRfc2217 = "rfc2217://";
  TcpAddress a;
  if (text.substr(0, kScheme.size()) == kScheme) {
    text.remove_prefix(kScheme.size());
  } else if (text.substr(0, kRfc2217.size()) == kRfc2217) {
    text.remove_prefix(kRfc2217.size());
    a.rfc2217 = true;
  }
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
  if (HostProblem(a.host) || digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
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
    case TcpStatus::ResolveTimedOut:
      return "the name server did not answer within 1 s";
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
    case TcpStatus::NoLineControl:
      return "the converter does not take line settings (no RFC 2217)";
    case TcpStatus::LineRefused:
      return "the converter refused the scale's line settings";
    case TcpStatus::Failed:
      return "connection failed";
  }
  return "?";
}

TcpConnection::~TcpConnection() {
  Close();
}

void TcpConnection::Lost(TcpStatus status, int error) {
  Close();
  status_ = status;
  systemError_ = error != 0 ? TcpErrorText(error) : std::string();
}

TcpStatus StatusOfCode(int code, const CodeStatus* table, size_t size, TcpStatus otherwise) {
  for (size_t i = 0; i < size; ++i) {
    if (table[i].code == code) return table[i].status;
  }
  return otherwise;
}

AddressList ResolveByDeadline(const TcpAddress& address, MonoTime deadline, int timeoutMs,
                              const ResolverHooks& hooks, TcpStatus& status, std::string& error) {
  const std::string service = std::to_string(address.port);
  ResolverAnswer numeric = hooks.numeric(address.host, service);
  if (numeric.code == 0) return std::move(numeric.found);
  if (numeric.code != hooks.notNumeric) {
    status =
        StatusOfCode(numeric.code, hooks.statuses, hooks.statusCount, TcpStatus::ResolveFailed);
    error = hooks.words(numeric);
    return nullptr;
  }
  status = TcpStatus::Failed;
  const std::shared_ptr<Resolution> r = hooks.start(address.host, service, error);
  if (!r) return nullptr;
  hooks.wait(*r, deadline);
  if (!r->done.load(std::memory_order_acquire)) {
    status = TcpStatus::ResolveTimedOut;
    error = "no answer from the name server within " + std::to_string(timeoutMs) + " ms";
    return nullptr;
  }
  status =
      StatusOfCode(r->answer.code, hooks.statuses, hooks.statusCount, TcpStatus::ResolveFailed);
  if (r->answer.code != 0) {
    error = hooks.words(r->answer);
    return nullptr;
  }
  if (!r->answer.found) status = TcpStatus::ResolveFailed;
  return std::move(r->answer.found);
}

}  // namespace zev::platform

// The three reply checks on arbitrary bytes: never a crash; the result is
// empty or a well-formed weight text; a ZEV-AW or ZEV-NT(N) weight is the gram
// count the frame carried, divided by 1000; a frame the 4001 class takes as
// whole is one the reply check reads (ZEV-AW: but for a count beyond 32 bits).
// Telnet on the same bytes: what it keeps is no more than it was given, its
// answers are only refusals, and escaped data comes back unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "zev_aw.h"
#include "zev_nt.h"
#include "zev_u.h"
#include "TTelnet.h"
#include "zev/platform/text.h"

namespace {

bool Blank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// The gram count of a ZEV-AW frame, decoded independently of the driver.
std::optional<long long> AwGrams(std::string_view reply) {
  if (reply.size() != 18) return std::nullopt;
  std::string t(reply.rbegin(), reply.rend());
  while (!t.empty() && Blank(t.front())) t.erase(0, 1);
  while (!t.empty() && Blank(t.back())) t.pop_back();
  size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] < '0' || t[k] > '9') return std::nullopt;
  }
  const long long v = std::strtoll(t.c_str(), nullptr, 10);
  if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return v;
}

// The gram count of a ZEV-NT(N) frame, decoded independently of the driver.
std::optional<long long> NtGrams(std::string_view reply) {
  if (reply.size() != 18) return std::nullopt;
  bool allBlank = true;
  for (char c : reply) allBlank = allBlank && Blank(c);
  if (allBlank) return std::nullopt;
  size_t start = 0;
  while (start < 6 && Blank(reply[start])) ++start;
  long long v = 0;
  for (size_t k = 6; k-- > start;) {
    if (reply[k] < '0' || reply[k] > '9') return std::nullopt;
    v = v * 10 + (reply[k] - '0');
  }
  return v;
}

// -?digits, the separator, three digits.
bool WellFormed(const std::string& text, char separator) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  const size_t sep = text.find(separator);
  if (sep == std::string::npos || sep == i || text.size() != sep + 4) return false;
  for (size_t k = i; k < text.size(); ++k) {
    if (k != sep && (text[k] < '0' || text[k] > '9')) return false;
  }
  return true;
}

void CheckWeight(const std::string& text, char separator, std::optional<long long> grams) {
  if (text.empty()) {
    if (grams) std::abort();  // a valid frame was rejected
    return;
  }
  if (!grams || !WellFormed(text, separator)) std::abort();
  const auto back = zev::platform::ParseDecimal(text, separator);
  if (!back || std::llround(*back * 1000.0) != *grams) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  for (char separator : {'.', ','}) {
    const std::string u = zev::zev_u::ParseReply(reply, separator);
    if (!u.empty() && (u.size() != 12 || reply.substr(0, 12) != u)) std::abort();
    CheckWeight(zev::zev_aw::ParseReply(reply, separator), separator, AwGrams(reply));
    CheckWeight(zev::zev_nt::ParseReply(reply, separator), separator, NtGrams(reply));
  }
  if (zev::zev_u::WholeFrame(reply) && zev::zev_u::ParseReply(reply, '.').empty()) std::abort();
  if (zev::zev_nt::WholeFrame(reply) && !NtGrams(reply)) std::abort();
  if (zev::zev_aw::WholeFrame(reply) && reply.find_first_not_of("0123456789") <= 9 &&
      !AwGrams(reply))
    std::abort();

  zev::scales::TTelnet telnet;
  std::string bytes(reply), answers, seen;
  const size_t kept = telnet.Filter(bytes.data(), bytes.size(), answers, seen);
  if (kept > size || answers.size() % 3 != 0) std::abort();
  for (size_t i = 0; i < answers.size(); i += 3) {
    if (static_cast<uint8_t>(answers[i]) != 0xFF || (static_cast<uint8_t>(answers[i + 1]) != 0xFC &&
                                                     static_cast<uint8_t>(answers[i + 1]) != 0xFE))
      std::abort();
  }
  std::string escaped = zev::scales::TTelnet::Escape(reply);
  zev::scales::TTelnet fresh;
  const size_t back = fresh.Filter(escaped.data(), escaped.size(), answers, seen);
  if (std::string_view(escaped.data(), back) != reply) std::abort();
  return 0;
}

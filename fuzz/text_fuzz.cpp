// The text services on arbitrary input: Windows-1251 both ways, UTF-8, the
// integer and decimal syntaxes of the value readers, each against a reference,
// and a converter's address as a ports entry holds it.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zev/platform/tcp.h"
#include "zev/platform/text.h"

using namespace zev::platform;

namespace {

// Reference of the integer syntax.
std::optional<int32_t> ReferenceInteger(const std::string& s) {
  size_t i = s.find_first_not_of(" \t");
  if (i == std::string::npos) return std::nullopt;
  std::string t = s.substr(i);
  size_t hex = t[0] == '$' || t[0] == 'x' || t[0] == 'X'                       ? 1
               : (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) ? 2
                                                                               : 0;
  if (hex) {
    std::string d = t.substr(hex);
    if (d.empty() || d.size() > 8 ||
        d.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return std::nullopt;
    return static_cast<int32_t>(std::strtoul(d.c_str(), nullptr, 16));
  }
  size_t j = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (j == t.size() || t.find_first_not_of("0123456789", j) != std::string::npos)
    return std::nullopt;
  errno = 0;
  const long long v = std::strtoll(t.c_str(), nullptr, 10);
  if (errno == ERANGE || v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Windows-1251 -> UTF-16 -> Windows-1251 keeps every byte but the unused 0x98.
  const std::u16string wide = Cp1251ToUtf16(bytes);
  if (wide.size() != bytes.size()) std::abort();
  const std::string narrow = Utf16ToCp1251(wide);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char expected = bytes[i] == '\x98' ? '?' : bytes[i];
    if (narrow[i] != expected) std::abort();
  }

  // UTF-16 code units from the input: what the code page has comes back, the rest is '?'.
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2)
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const std::u16string back = Cp1251ToUtf16(Utf16ToCp1251(units));
  if (back.size() > units.size()) std::abort();

  // UTF-8 round trip of whatever the repair made of the input.
  const std::u16string repaired = Utf8ToUtf16(bytes);
  if (Utf8ToUtf16(Utf16ToUtf8(repaired)) != repaired) std::abort();

  // The integer syntax against its reference.
  if (ParseInteger(bytes) != ReferenceInteger(bytes) && bytes.find('\0') == std::string::npos) {
    std::abort();
  }

  // The decimal syntax: whatever it accepts reads back the same through strtod.
  for (char separator : {'.', ','}) {
    const auto value = ParseDecimal(bytes, separator);
    if (value) {
      std::string plain = bytes;
      for (char& c : plain) {
        if (c == separator) c = '.';
      }
      char* end = nullptr;
      const double reference = std::strtod(plain.c_str(), &end);
      if (reference != *value) std::abort();
    }
  }
  // A converter's address: what it accepts reads back the same from its URL.
  if (const auto address = ParseTcpAddress(bytes)) {
    if (address->host.empty() || address->port == 0) std::abort();
    const auto again = ParseTcpAddress(address->Url());
    if (!again || again->host != address->host || again->port != address->port) std::abort();
  }
  return 0;
}

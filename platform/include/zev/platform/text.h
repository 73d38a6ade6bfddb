// Text services: the Windows-1251 code page, UTF-8 for people, the member-name
// comparison and the number syntaxes of the platform's value readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zev::platform {

// Windows-1251 bytes to UTF-16 and back. Characters the code page lacks become '?'.
std::u16string Cp1251ToUtf16(std::string_view text);
std::string Utf16ToCp1251(std::u16string_view text);

// UTF-8 for consoles, tests and tools. Malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::string Cp1251ToUtf8(std::string_view text);
std::string Utf8ToCp1251(std::string_view text);

#if defined(_WIN32)
// UTF-8 to the wide characters of the system's "W" functions (UTF-16 on
// Windows) and back: every name given to or taken from the system goes so.
inline std::wstring Utf8ToWide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}
inline std::string WideToUtf8(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}
#endif

// Two member names are the same when they are equal with case ignored, the way
// the operating system's locale-aware comparison of the user's locale sees it.
bool SameName(std::u16string_view a, std::u16string_view b);

// Case-sensitive comparison of two narrow texts under the user's locale.
bool SameModelName(std::string_view a, std::string_view b);

// Integer syntax: leading blanks, then an optional sign and decimal digits that
// fit in 32 signed bits, or 1 to 8 hexadecimal digits after $, x, X, 0x or 0X.
// Nothing may follow.
std::optional<int32_t> ParseInteger(std::string_view text);

// Decimal syntax: blanks around, optional sign, digits with at most one
// `separator`, optional exponent. The value must be finite.
std::optional<double> ParseDecimal(std::string_view text, char separator);

}  // namespace zev::platform

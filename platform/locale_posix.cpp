// Regional settings and name comparison on POSIX systems.
#include <langinfo.h>
#include <locale.h>

#include <cerrno>

#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::platform {
namespace {

// Simple case folding of the scripts that member names use: Latin (ASCII,
// Latin-1, Latin Extended-A), Greek and Cyrillic, Ё/ё included.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0100 && c <= 0x017F) {
    // Pairs: upper even, lower odd, except the stretch 0x0139..0x0148 and 0x0179..0x017E.
    const bool oddUpper = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
    if (c == 0x0130 || c == 0x0131 || c == 0x0138 || c == 0x0149 || c == 0x017F) return c;
    if (oddUpper) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    return (c & 1) ? c : static_cast<char16_t>(c + 1);
  }
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
  if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) ||
      (c >= 0x04D0 && c <= 0x052F)) {
    return (c & 1) ? c : static_cast<char16_t>(c + 1);
  }
  if (c == 0x04C0) return 0x04CF;
  if (c >= 0x04C1 && c <= 0x04CE) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
  return c;
}

}  // namespace

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool SameModelName(std::string_view a, std::string_view b) {
  return a == b;
}

// The calling thread's locale (its own after uselocale(), else the process
// locale), read without localeconv(): that fills one buffer shared by every
// thread.
char DecimalSeparator() {
  const locale_t current = ::uselocale(static_cast<locale_t>(nullptr));
  const char* point = current == LC_GLOBAL_LOCALE || current == static_cast<locale_t>(nullptr)
                          ? ::nl_langinfo(RADIXCHAR)
                          : ::nl_langinfo_l(RADIXCHAR, current);
  if (point == nullptr) return '.';
  if (point[0] == '\0' || point[1] != '\0' || static_cast<unsigned char>(point[0]) >= 0x80) {
    return '.';
  }
  return point[0];
}

int32_t LastSystemError() {
  return errno;
}

}  // namespace zev::platform

// Regional settings and name comparison on Windows.
#include <windows.h>

#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::platform {

bool SameName(std::u16string_view a, std::u16string_view b) {
  std::wstring wa(a.begin(), a.end());
  std::wstring wb(b.begin(), b.end());
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(),
                        static_cast<int>(wa.size()), wb.data(),
                        static_cast<int>(wb.size())) == CSTR_EQUAL;
}

bool SameModelName(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

char DecimalSeparator() {
  char buffer[8] = {};
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
  if (n != 2 || static_cast<unsigned char>(buffer[0]) >= 0x80) return '.';
  return buffer[0];
}

int32_t LastSystemError() {
  return static_cast<int32_t>(GetLastError());
}

}  // namespace zev::platform

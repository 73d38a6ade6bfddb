#include <windows.h>

#include "process_locale.h"

namespace zev::cli::os {

void UsePlatformLocale() {
  // The add-in reads the user's regional settings (GetLocaleInfo), which
  // every process of the user has: nothing to set.
}

std::string NumericLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return "?";
  std::string ascii;  // locale names are ASCII ("ru-RU")
  for (const wchar_t* p = name; *p != L'\0'; ++p) ascii += *p < 0x80 ? static_cast<char>(*p) : '?';
  return ascii;
}

}  // namespace zev::cli::os

// The numeric locale of the process, as the 1C platform's own process has
// it, so that the add-in reads a weight's decimal separator here as it would
// there (process_locale_posix.cpp, process_locale_win.cpp).
#pragma once

#include <string>

namespace zev::cli::os {

// Takes the numeric locale the platform's process would have. On POSIX
// systems the client sets its locale from the environment (LC_ALL,
// LC_NUMERIC, LANG) at its start, where a program that does nothing stays in
// "C"; on Windows the add-in reads the user's regional settings in any
// process, and nothing needs doing. Call once, before any other thread runs
// and after the command line is read (its numbers are written with a full
// stop whatever the locale).
void UsePlatformLocale();

// The name of the numeric locale the add-in reads under: "ru_RU.UTF-8",
// "C"; on Windows the user's locale, such as "ru-RU".
std::string NumericLocaleName();

}  // namespace zev::cli::os

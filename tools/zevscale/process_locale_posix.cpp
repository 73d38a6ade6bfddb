#include <clocale>

#include "process_locale.h"

namespace zev::cli::os {

void UsePlatformLocale() {
  // Only the numbers: the tool words its messages itself, and the add-in's
  // weight is the one thing of the platform's locale that shows here. A
  // locale the system does not have leaves "C", as it does for the client.
  std::setlocale(LC_NUMERIC, "");
}

std::string NumericLocaleName() {
  const char* name = std::setlocale(LC_NUMERIC, nullptr);
  return name != nullptr ? name : "C";
}

}  // namespace zev::cli::os

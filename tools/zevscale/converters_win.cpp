#include "converters.h"

namespace zev::cli {

bool CanMapConverters() {
  return false;
}

std::unique_ptr<ConverterEntries> MapConverters(const std::vector<std::string>&,
                                                std::map<int, std::string>&, std::string& error) {
  error.clear();  // the caller says why
  return nullptr;
}

}  // namespace zev::cli

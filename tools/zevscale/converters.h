// The converters of --tcp: each address stands behind a COM<N> entry of a
// ports directory of the tool's own (the add-in's way to reach a converter),
// which also links every entry of the user's directory. Per operating system
// (converters_posix.cpp; Windows has no ports directory: converters_win.cpp).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zev::cli {

class ConverterEntries {
 public:
  virtual ~ConverterEntries() = default;
};

// Whether MapConverters can work here (a ports directory is there to be made).
bool CanMapConverters();

// Maps the addresses (HOST:PORT), in their order, to the highest free COM
// numbers, into `names` (number -> tcp://HOST:PORT). Null with `error` when it cannot.
std::unique_ptr<ConverterEntries> MapConverters(const std::vector<std::string>& addresses,
                                                std::map<int, std::string>& names,
                                                std::string& error);

}  // namespace zev::cli

// What the system tells about this computer: the serial ports present and the
// folder for temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zev::platform {

struct PresentPort {
  uint8_t number = 0;  // COM<number>
  std::string name;    // UTF-8; empty when the system knows none
};

// Sorted by number; never throws for a system that refuses to tell.
std::vector<PresentPort> PresentSerialPorts();

struct PortHolder {
  int pid = 0;
  std::string name;  // the program's name, where the system tells it
};

// The processes that hold `device` open: the holders of an advisory lock on
// it, else any process with it open. Empty where the system does not tell.
std::vector<PortHolder> PortHolders(const std::string& device);

// The folder for temporary files, UTF-8, with no separator at its end.
std::string TemporaryFolder();

}  // namespace zev::platform

// The machine's serial ports and why one cannot be opened, per operating
// system (serial_ports_posix.cpp; a Windows build adds serial_ports_win.cpp).
#pragma once

#include <string>
#include <vector>

namespace zev::cli::os {

struct Holder {
  int pid = 0;
  std::string name;  // the program's name, empty when the system does not tell
};

enum class PortState { Free, Busy, Missing, NoAccess };

struct PortEntry {
  std::string name;         // "COM3", or the device's own name when no COM number applies
  std::string device;       // what opening the port opens
  int com = -1;             // the COM number, -1 when none applies
  std::string byId;         // a stable name of the device (/dev/serial/by-id), if any
  std::string usbId;        // USB vendor:product, if known
  std::string description;  // the system's friendly name of the device, if any
  PortState state = PortState::Free;
  std::vector<Holder> holders;  // who holds it, where the system tells
};

// The mapped COM<N> entries (in number order), then the devices no entry maps.
std::vector<PortEntry> ListPorts();

// The COM numbers that have an entry in the ports directory.
std::vector<int> MappedComNumbers();

// Something of the system's own on COM<port>: the console the kernel writes
// to, or a login line (a getty or login holds it). Such a port is tried only
// when asked for by number.
struct SystemLine {
  enum Kind { None, Console, Login } kind = None;
  std::string device;   // the device behind the port
  std::string program;  // the login program on a login line
};
SystemLine SystemLineOf(int port);

// Why opening COM<port> fails, as far as the system tells.
struct OpenDiagnosis {
  std::string device;  // what the port resolves to; empty: no device at all
  std::string entry;   // the COM<N> entry it came from, empty when none
  bool exists = false;
  bool noPermission = false;
  std::string group;  // the device's group, for a permission problem
  bool busy = false;
  std::vector<Holder> holders;
  std::string systemError;  // the system's own words when none of the above
};
OpenDiagnosis DiagnoseOpen(int port);

}  // namespace zev::cli::os

// The machine's serial ports: which are present, who holds one, and why one
// cannot be opened, as far as the system tells (ports_posix.cpp,
// ports_win.cpp).
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
  std::string name;  // the program's name, empty when the system does not tell
  bool lock = true;  // it holds the port's lock (as the driver does); false: only has it open
};

// The processes that hold `device` open: the holders of an advisory lock on
// it, else the other processes with the character device open (not the one at
// the other end of a pseudo-terminal). Empty where the system does not tell.
std::vector<PortHolder> PortHolders(const std::string& device);

// Free: the driver can open it; Shared: it can, but another program has it
// open without a lock and would read the scale's replies too.
enum class PortState { Free, Busy, Missing, NoAccess, NotSerial, SameDevice, Shared };

// Who owns a device and who may use it, and the remedy for a user who may not.
struct PortAccess {
  bool known = false;
  std::string owner, group;
  unsigned mode = 0;  // the permission bits
  // AddToGroup: the group may read and write, the user is not in it;
  // LogInAgain: the user was added to the group after this session began;
  // UdevRule: no group a user should join gives read and write access.
  enum Remedy { None, AddToGroup, LogInAgain, UdevRule } remedy = None;
};

struct PortEntry {
  std::string name;         // "COM3", or the device's own name when no COM number applies
  std::string device;       // what opening the port opens
  int com = -1;             // the COM number, -1 when none applies
  std::string byId;         // a stable name of the device (/dev/serial/by-id), if any
  std::string usbId;        // USB vendor:product, if known
  std::string description;  // the system's friendly name of the device, if any
  PortState state = PortState::Free;
  std::vector<PortHolder> holders;  // who holds it, where the system tells
  int sameAs = -1;                  // SameDevice: the COM number of the entry listed first...
  std::string sameDevice;           // ...and the device both stand for
  PortAccess access;
  std::string firstLine;  // an entry that is a regular file: its first line (a converter's address)
};

// The directory of COM<N> entries and whether it can map anything.
struct PortsDirectory {
  std::string path;           // empty where ports need no directory
  bool fromVariable = false;  // ZEVSCALE_PORTS names it
  enum State { Usable, Missing, Empty, NotDirectory, Unreadable } state = Usable;
  std::string error;  // the system's words when it cannot be read
};
PortsDirectory PortsDirectoryState();

// The mapped COM<N> entries (in number order), then the devices no entry maps.
std::vector<PortEntry> ListPorts();

// The COM numbers that have an entry in the ports directory (on Windows: in
// the system's list of serial ports), in order.
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
  PortAccess access;  // for a permission problem
  bool busy = false;
  bool notSerial = false;           // it opens, but it is no serial line
  std::vector<PortHolder> holders;  // with a lock or exclusive when busy; else open without a lock
  std::string systemError;          // the system's own words when none of the above
  std::string firstLine;            // an entry that is a regular file: its first line
};
OpenDiagnosis DiagnoseOpen(int port);

// The other programs that have COM<port>'s device open without its lock: the
// driver opens beside them and both read the scale's replies.
std::vector<PortHolder> OpenWithoutLock(int port);

}  // namespace zev::platform

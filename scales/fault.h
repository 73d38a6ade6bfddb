// What went wrong in an operation on a scale, as a value: made where it
// happens (the port, the link, the device core, a driver class), carried up
// unchanged, and turned into words only by whoever shows it (each driver
// class through its own table, the tool through its own).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zev/platform/system.h"
#include "zev/platform/tcp.h"

namespace zev::scales {

enum class Fault : uint8_t {
  None,
  NoModel,               // no model chosen, or a name that is not in the table
  PortMissing,           // the port does not exist
  PortNoAccess,          // the user may not open it
  PortBusy,              // another program holds it (holders, where the system tells)
  PortRefused,           // any other refusal to open (the system's words)
  LineSettings,          // the line settings were refused
  Timeouts,              // the time-outs were refused
  NotOpen,               // no port held
  CloseFailed,           // the system refused to close the port
  CommandFailed,         // the command could not be written
  NothingArrived,        // no reply before the deadline
  NotAReply,             // bytes arrived that are not this model's reply (bytes)
  LineGone,              // the line went away while waiting
  NotAWeight,            // a reply of the right form whose weight text is no number
  Unsupported,           // the model has no such command: nothing was sent
  NoAnswerAfterCommand,  // a command without a reply, and no reply to the weighing after it
  LinkFailed,            // a converter could not be reached or closed the connection (link)
  BadValue,              // a value given to the driver is not one it takes
  UnknownDevice,         // a device identifier the driver did not hand out
};

struct Failure {
  Fault fault = Fault::None;
  int32_t systemError = 0;  // the system's error code, where there is one
  std::string systemText;   // and its words
  std::string bytes;        // what arrived (NotAReply, NotAWeight)
  std::string weightText;   // the text that was read as a number (NotAWeight)
  platform::TcpStatus link = platform::TcpStatus::Ok;  // why (LinkFailed)
  // The line settings a converter kept ("9600 8N1", LinkFailed with
  // LineRefused); the refusal in English words is in systemText.
  std::string kept;
  std::vector<platform::PortHolder> holders;  // who holds the port (PortBusy)

  Failure() = default;
  explicit Failure(Fault f) : fault(f) {}
  explicit operator bool() const { return fault != Fault::None; }
};

}  // namespace zev::scales

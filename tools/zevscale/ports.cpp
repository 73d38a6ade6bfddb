// zevscale ports: every serial port of the machine, free or busy.
#include "common.h"
#include "serial_ports.h"

namespace zev::cli {

int RunPorts(Context& c) {
  const std::vector<os::PortEntry> ports = os::ListPorts();
  if (c.o.json) {
    Json list = Json::array();
    for (const auto& p : ports) {
      Json j;
      j["name"] = p.name;
      j["device"] = p.device;
      j["com"] = p.com >= 0 ? Json(p.com) : Json(nullptr);
      j["busy"] = p.state == os::PortState::Busy;
      j["state"] = p.state == os::PortState::Free      ? "free"
                   : p.state == os::PortState::Busy    ? "busy"
                   : p.state == os::PortState::Missing ? "missing"
                                                       : "no access";
      Json holders = Json::array();
      for (const auto& h : p.holders) holders.push_back({{"pid", h.pid}, {"name", h.name}});
      j["holders"] = holders;
      j["byId"] = p.byId.empty() ? Json(nullptr) : Json(p.byId);
      j["usb"] = p.usbId.empty() ? Json(nullptr) : Json(p.usbId);
      j["description"] = p.description.empty() ? Json(nullptr) : Json(p.description);
      list.push_back(j);
    }
    c.out << list.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    return 0;
  }
  if (ports.empty()) {
    c.out << c.T(M::PortsNone) << "\n";
    return 0;
  }
  size_t nameWidth = 0, deviceWidth = 0;
  for (const auto& p : ports) {
    nameWidth = std::max(nameWidth, CharCount(Printable(p.name)));
    deviceWidth = std::max(deviceWidth, CharCount(Printable(p.device)));
  }
  for (const auto& p : ports) {
    std::string state;
    switch (p.state) {
      case os::PortState::Free:
        state = c.T(M::PortFree);
        break;
      case os::PortState::Busy: {
        std::string who;
        for (const auto& h : p.holders) {
          if (!who.empty()) who += ", ";
          who += "PID " + std::to_string(h.pid) + (h.name.empty() ? "" : " " + Printable(h.name));
        }
        state = who.empty() ? c.T(M::PortBusy) : c.T(M::PortBusyBy, {who});
        break;
      }
      case os::PortState::Missing:
        state = c.T(M::PortMissing);
        break;
      case os::PortState::NoAccess:
        state = c.T(M::PortNoAccess);
        break;
    }
    std::string line = PadRight(Printable(p.name), nameWidth + 2) +
                       PadRight(Printable(p.device), deviceWidth + 2) + state;
    if (!p.usbId.empty()) line += "  USB " + Printable(p.usbId);
    if (!p.byId.empty()) line += "  " + Printable(p.byId);
    if (!p.description.empty()) line += "  " + Printable(p.description);
    c.out << line << "\n";
  }
  return 0;
}

}  // namespace zev::cli

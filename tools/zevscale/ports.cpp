// zevscale ports: every serial port of the machine, free or busy, and the
// entries that stand for converters, with whether they accept a connection.
#include <cstdio>
#include <future>

#include "common.h"
#include "line.h"
#include "zev/platform/ports.h"
#include "zev/platform/tcp.h"

namespace zev::cli {
namespace {

struct Converter {
  std::string url;
  Greeting greeting;
};

// The entries that hold a converter's address, each converter tried at once
// (within the connect time-out together) but only once: entries with the same
// address share the one connection, which a second one at the same time
// would find busy.
std::map<int, Converter> Converters(const std::vector<platform::PortEntry>& ports) {
  std::map<std::string, std::shared_future<Greeting>> tries;
  std::map<int, std::string> urls;
  for (const auto& p : ports) {
    if (p.com < 0) continue;
    const auto address = platform::TcpEntry(static_cast<uint8_t>(p.com));
    if (!address) continue;
    urls[p.com] = address->Url();
    if (!tries.count(address->Url()))
      tries[address->Url()] = std::async(std::launch::async, [a = *address] { return Greet(a); });
  }
  std::map<int, Converter> found;
  for (const auto& [com, url] : urls) found[com] = Converter{url, tries.at(url).get()};
  return found;
}

// The state of a converter that connects: reachable, busy, closing or in Telnet mode.
const char* ConverterState(const Greeting& g) {
  if (g.status != platform::TcpStatus::Ok) return "unreachable";
  switch (g.What()) {
    case Greeting::Kind::Busy:
      return "busy";
    case Greeting::Kind::Closed:
      return "closes";
    case Greeting::Kind::Telnet:
      return "telnet";
    case Greeting::Kind::Quiet:
    case Greeting::Kind::Text:
      break;
  }
  return "reachable";
}

const char* StateName(platform::PortState state) {
  switch (state) {
    case platform::PortState::Free:
      return "free";
    case platform::PortState::Busy:
      return "busy";
    case platform::PortState::Missing:
      return "missing";
    case platform::PortState::NoAccess:
      return "no access";
    case platform::PortState::NotSerial:
      return "not a serial port";
    case platform::PortState::SameDevice:
      return "same device";
    case platform::PortState::Shared:
      break;
  }
  return "shared";  // opens, but another program has it open without a lock
}

// One entry for ports --json.
Json EntryJson(const Context& c, const platform::PortEntry& p,
               const std::map<int, Converter>& converters) {
  Json j;
  j["name"] = p.name;
  j["device"] = p.device;
  j["com"] = p.com >= 0 ? Json(p.com) : Json(nullptr);
  j["busy"] = p.state == platform::PortState::Busy;
  j["state"] = StateName(p.state);
  j["sameAs"] = p.sameAs >= 0 ? Json("COM" + std::to_string(p.sameAs)) : Json(nullptr);
  if (p.state == platform::PortState::NotSerial) {
    const std::string near = NearAddress(c.o.lang, p.firstLine);
    if (!near.empty()) j["reason"] = near;
  }
  if (converters.count(p.com)) {
    const Greeting& g = converters.at(p.com).greeting;
    const std::string trouble = GreetingTrouble(c, g);
    j["busy"] = g.What() == Greeting::Kind::Busy;
    j["tcp"] = converters.at(p.com).url;
    j["state"] = ConverterState(g);
    j["reason"] = g.status != platform::TcpStatus::Ok ? Json(platform::TcpStatusText(g.status))
                  : trouble.empty()                   ? Json(nullptr)
                                                      : Json(trouble);
    if (!g.bytes.empty()) j["greeting"] = Dump(g.bytes);
  }
  Json holders = Json::array();
  for (const auto& h : p.holders)
    holders.push_back({{"pid", h.pid}, {"name", h.name}, {"lock", h.lock}});
  j["holders"] = holders;
  const bool local = p.access.known && !converters.count(p.com);
  j["owner"] = local ? Json(p.access.owner) : Json(nullptr);
  j["group"] = local ? Json(p.access.group) : Json(nullptr);
  char mode[16];
  std::snprintf(mode, sizeof mode, "%04o", p.access.mode);
  j["mode"] = local ? Json(mode) : Json(nullptr);
  j["byId"] = p.byId.empty() ? Json(nullptr) : Json(p.byId);
  j["usb"] = p.usbId.empty() ? Json(nullptr) : Json(p.usbId);
  j["description"] = p.description.empty() ? Json(nullptr) : Json(p.description);
  return j;
}

// A port's state in words.
std::string StateText(const Context& c, const platform::PortEntry& p) {
  switch (p.state) {
    case platform::PortState::Free:
      return c.T(M::PortFree);
    case platform::PortState::Busy: {
      std::string who;
      for (const auto& h : p.holders) {
        if (!who.empty()) who += ", ";
        who += "PID " + std::to_string(h.pid) + (h.name.empty() ? "" : " " + Printable(h.name));
      }
      return who.empty() ? c.T(M::PortBusy) : c.T(M::PortBusyBy, {who});
    }
    case platform::PortState::Missing:
      return c.T(M::PortMissing);
    case platform::PortState::NoAccess: {
      std::string state = c.T(M::PortNoAccess);
      if (p.access.known) state += " (" + AccessText(p.access) + ")";
      return state;
    }
    case platform::PortState::NotSerial: {
      std::string state = c.T(M::PortNotSerial);
      const std::string near = NearAddress(c.o.lang, p.firstLine);
      if (!near.empty()) state += "; " + near;
      return state;
    }
    case platform::PortState::SameDevice:
      return c.T(M::ScanOutSameDevice, {std::to_string(p.sameAs), Printable(p.sameDevice)});
    case platform::PortState::Shared:
      return c.T(M::PortShared, {HolderList(p.holders)});
  }
  return std::string();
}

// A converter's state in words: what its greeting tells.
std::string ConverterText(const Context& c, const Greeting& g) {
  const std::string trouble = GreetingTrouble(c, g);
  if (g.status != platform::TcpStatus::Ok)
    return c.T(M::PortConverterFails, {TcpReason(c.o.lang, g.status)});
  if (!trouble.empty()) return trouble;
  if (g.What() == Greeting::Kind::Text) {
    // A scale that sends without being asked may fill a line: its start.
    constexpr size_t kShown = 24;
    return c.T(M::PortConverterGreets,
               {Dump(g.bytes.substr(0, kShown)) + (g.bytes.size() > kShown ? "…" : "")});
  }
  return c.T(M::PortConverterOk);
}

// The entries in columns, each with its state in words.
void ShowPorts(Context& c, const std::vector<platform::PortEntry>& ports,
               const std::map<int, Converter>& converters) {
  size_t nameWidth = 0, deviceWidth = 0;
  for (const auto& p : ports) {
    nameWidth = std::max(nameWidth, CharCount(Printable(p.name)));
    deviceWidth = std::max(deviceWidth, CharCount(Printable(p.device)));
  }
  for (const auto& p : ports) {
    const auto converter = converters.find(p.com);
    const std::string state = converter != converters.end()
                                  ? ConverterText(c, converter->second.greeting)
                                  : StateText(c, p);
    std::string line = PadRight(Printable(p.name), nameWidth + 2) +
                       PadRight(Printable(p.device), deviceWidth + 2) + state;
    if (!p.usbId.empty()) line += "  USB " + Printable(p.usbId);
    if (!p.byId.empty()) line += "  " + Printable(p.byId);
    if (!p.description.empty()) line += "  " + Printable(p.description);
    c.out << line << "\n";
  }
}

}  // namespace

int RunPorts(Context& c) {
  std::vector<platform::PortEntry> ports = platform::ListPorts();
  const std::map<int, Converter> converters = Converters(ports);
  for (auto& p : ports) {
    if (converters.count(p.com)) p.device = converters.at(p.com).url;
  }
  if (c.o.json) {
    Json list = Json::array();
    for (const auto& p : ports) list.push_back(EntryJson(c, p, converters));
    c.out << list.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    // Standard output stays one JSON array.
    for (const auto& note : PortsDirectoryNotes(c)) c.err << "zevscale: " << note << "\n";
    return 0;
  }
  if (ports.empty()) {
    c.out << c.T(M::PortsNone) << "\n";
    for (const auto& note : PortsDirectoryNotes(c)) c.out << note << "\n";
    return 0;
  }
  ShowPorts(c, ports, converters);
  for (const auto& note : PortsDirectoryNotes(c)) c.out << note << "\n";
  return 0;
}

}  // namespace zev::cli

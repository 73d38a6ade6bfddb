// zevscale's Run: the simulated scales, the add-in, the trace, the command.
#include "cli.h"

#include <memory>
#include <ostream>

#include "common.h"
#include "console.h"
#include "converters.h"
#include "simulation.h"
#include "zev/platform/tcp.h"

namespace zev::cli {

std::string AddinPath(const Options& o) {
  return o.library.empty() ? os::ProgramDirectory() + os::AddinFileName() : o.library;
}

std::unique_ptr<host::Library> LoadAddin(const Options& o, std::string& error) {
  const std::string path = AddinPath(o);
  // A library of the other architecture would only fail to load; say why.
  const os::AddinFile file = os::CheckAddin(path);
  const int bits = static_cast<int>(sizeof(void*) * 8);
  if (file.bits != 0 && file.bits != bits) {
    error =
        Text(o.lang, M::AddinOtherBits, {path, std::to_string(file.bits), std::to_string(bits)});
    return nullptr;
  }
  auto library = std::make_unique<host::Library>(path);
  if (library->Loaded() && !library->MissingExports().empty()) {
    std::string names;
    for (const auto& name : library->MissingExports()) names += (names.empty() ? "" : ", ") + name;
    error = Text(o.lang, M::AddinLacksExports, {path, names});
    return nullptr;
  }
  if (!library->Loaded() || !library->Error().empty()) {
    error = Text(o.lang, M::CannotLoad, {path, SystemWords(o.lang, library->Error())});
    return nullptr;
  }
  return library;
}

int Run(const Options& o, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* interrupted) {
  if (o.help) {
    out << Usage(o.command, o.lang);
    return 0;
  }
  if (o.version) {
    out << VersionText();
    return 0;
  }
  std::unique_ptr<Simulation> simulation;
  if (o.simulate) {
    std::string error;
    simulation = StartSimulation(o, error);
    if (simulation == nullptr) {
      err << "zevscale: " << Text(o.lang, M::CannotSimulate, {error}) << "\n";
      return 1;
    }
  }

  // The report runs the other commands, each with what it needs.
  if (o.command == "report") return RunReport(o, out, err);

  Options options = o;
  std::unique_ptr<ConverterEntries> converters;
  // check, and the other commands with the equipment library's class, set the
  // converter's address in the class's settings; the first class reaches it
  // through a ports entry of the tool's own.
  // listen and scan without a ports directory take the addresses as they are.
  if (!o.tcp.empty() && o.command != "check" &&
      (o.driverClass == DriverClass::Equipment || o.tcpDirect)) {
    for (size_t i = 0; i < o.tcp.size(); ++i) {
      const int port = kConverterPort + static_cast<int>(i);
      const auto address = platform::ParseTcpAddress(o.tcp[i]);
      options.tcpNames[port] = address ? address->Url() : o.tcp[i];
      if (o.command == "scan") options.scanPorts.push_back(port);
    }
    options.port = kConverterPort;
  } else if (!o.tcp.empty() && o.command != "check") {
    std::string error;
    converters = MapConverters(o.tcp, options.tcpNames, error);
    if (converters == nullptr) {
      err << "zevscale: " << (error.empty() ? Text(o.lang, M::TcpNotHere) : error) << "\n";
      return 1;
    }
    if (o.command == "scan") {
      for (const auto& [port, url] : options.tcpNames) options.scanPorts.push_back(port);
    } else {
      options.port = options.tcpNames.begin()->first;
    }
  }
  TraceTap tap(o.trace, err, o.lang);
  std::unique_ptr<host::Library> library;
  if (o.command != "ports" && o.command != "listen") {
    std::string error;
    library = LoadAddin(o, error);
    if (library == nullptr) {
      err << "zevscale: " << error << "\n";
      return 1;
    }
  }
  tap.Rename(options.tcpNames);
  Context c{options, out, err, interrupted, library.get(), tap};
  const std::string& command = o.command;
  if (command == "info") return RunInfo(c);
  if (command == "settings") return RunSettings(c);
  if (command == "test") return RunTest(c);
  if (command == "weigh") return RunWeigh(c);
  if (command == "watch") return RunWatch(c);
  if (command == "tare") return RunTare(c);
  if (command == "zero") return RunZero(c);
  if (command == "ports") return RunPorts(c);
  if (command == "scan") return RunScan(c);
  if (command == "check") return RunCheck(c);
  if (command == "listen") return RunListen(c);
  err << Usage(std::string(), o.lang);
  return 2;
}

}  // namespace zev::cli

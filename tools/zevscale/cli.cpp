// zevscale's Run: the simulated scales, the add-in, the trace, the command.
#include "cli.h"

#include <memory>
#include <ostream>

#include "common.h"
#include "console.h"

namespace zev::cli {

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
  // Simulated scales: one on the chosen port, or for scan one per model on COM3 to COM5.
  std::unique_ptr<sim::PortDirectory> ports;
  std::vector<std::unique_ptr<sim::Simulator>> scales;
  if (o.simulate) {
    ports = std::make_unique<sim::PortDirectory>();
    std::vector<std::pair<int, sim::Model>> wanted;
    if (o.command == "scan") {
      wanted = {{3, sim::Model::ZevU}, {4, sim::Model::ZevAW}, {5, sim::Model::ZevNT}};
    } else {
      wanted = {{o.port, *sim::ModelFromName(o.model)}};
    }
    for (const auto& [port, model] : wanted) {
      scales.push_back(std::make_unique<sim::Simulator>(model, o.simWeight));
      scales.back()->SetFaults(o.simFaults);
      std::string error;
      if (ports->Path().empty() || !scales.back()->Start(&error) ||
          !ports->Map(port, scales.back()->DevicePath())) {
        err << "zevscale: " << Text(o.lang, M::CannotSimulate, {error}) << "\n";
        return 1;
      }
    }
    ports->Export();
  }

  Options options = o;
  TraceTap tap(o.trace, err);
  std::unique_ptr<host::Library> library;
  if (o.command != "ports") {
    const std::string path =
        o.library.empty() ? os::ProgramDirectory() + os::AddinFileName() : o.library;
    library = std::make_unique<host::Library>(path);
    if (!library->Loaded() || !library->Error().empty()) {
      err << "zevscale: " << Text(o.lang, M::CannotLoad, {path, library->Error()}) << "\n";
      return 1;
    }
  }
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
  err << Usage(std::string(), o.lang);
  return 2;
}

}  // namespace zev::cli

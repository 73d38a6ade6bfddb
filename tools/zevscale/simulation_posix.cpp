#include <utility>
#include <vector>

#include "simulation.h"

namespace zev::cli {
namespace {

class Scales : public Simulation {
 public:
  sim::PortDirectory ports;
  std::vector<std::unique_ptr<sim::Simulator>> scales;
};

}  // namespace

std::unique_ptr<Simulation> StartSimulation(const Options& o, std::string& error) {
  auto s = std::make_unique<Scales>();
  std::vector<std::pair<int, sim::Model>> wanted;
  if (o.command == "scan" || (o.command == "report" && o.model.empty())) {
    wanted = {{3, sim::Model::ZevU}, {4, sim::Model::ZevAW}, {5, sim::Model::ZevNT}};
  } else {
    const auto first = sim::ModelFromName(o.model);
    const auto second = sim::ModelFromName(SecondModel(o));
    // A model of the driver's table that the simulator cannot play.
    if (!first || (o.command == "check" && !second)) {
      error = "the simulator has no " + (first ? SecondModel(o) : o.model) + " scale";
      return nullptr;
    }
    wanted = {{o.port, *first}};
    if (o.command == "check") wanted.push_back({SecondPort(o), *second});
  }
  for (const auto& [port, model] : wanted) {
    s->scales.push_back(std::make_unique<sim::Simulator>(model, o.simWeight));
    s->scales.back()->SetFaults(o.simFaults);
    if (s->ports.Path().empty() || !s->scales.back()->Start(&error) ||
        !s->ports.Map(port, s->scales.back()->DevicePath())) {
      return nullptr;
    }
  }
  s->ports.Export();
  return s;
}

}  // namespace zev::cli

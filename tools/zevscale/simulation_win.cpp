#include "simulation.h"

namespace zev::cli {

std::unique_ptr<Simulation> StartSimulation(const Options& o, std::string& error) {
  error = Text(o.lang, M::NoSimulation);
  return nullptr;
}

}  // namespace zev::cli

// The simulated scales of --simulate: zevsim's simulators on pseudo-terminals,
// reached through COM<N> entries of a ports directory of their own. Windows
// has no pseudo-terminals; there --simulate is refused (os::CanSimulate).
#pragma once

#include <memory>
#include <string>

#include "cli.h"
#include "models.h"

namespace zev::cli {

class Simulation {
 public:
  virtual ~Simulation() = default;
};

// check's second simulated scale, on the same object as the first: another
// model on the next port.
inline std::string SecondModel(const Options& o) {
  const scales::ModelList models = scales::Models();
  const std::string first = models[0].name;
  return o.model == first ? models[models.size() - 1].name : first;
}
inline int SecondPort(const Options& o) {
  return o.port < 255 ? o.port + 1 : o.port - 1;
}

// Starts the scales that `o` asks for: one on the chosen port (check: and
// a second one), or for scan one per model on COM3 to COM5 (so also for a report that weighs no
// model). Null with `error` set when they cannot start.
std::unique_ptr<Simulation> StartSimulation(const Options& o, std::string& error);

}  // namespace zev::cli

// zevscale zero: "Zeroing", or the equipment library's class's additional
// action of that name (ZEV-U only; nothing is sent to the others).
#include "common.h"

namespace zev::cli {

int RunZero(Context& c) {
  return RunCommand(
      c, [&c](const std::string& sent) { return c.T(M::ZeroSent, {sent}); },
      [](Session& s) { return s.Zero(); });
}

}  // namespace zev::cli

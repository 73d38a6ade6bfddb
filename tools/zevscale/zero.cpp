// zevscale zero: "Zeroing" (ZEV-U only; the driver sends nothing to the others).
#include "common.h"

namespace zev::cli {

int RunZero(Context& c) {
  return RunCommand(
      c, [&c](const std::string& sent) { return c.T(M::ZeroSent, {sent}); },
      [](Session& s) { return s.Run(u"Zeroing")->Succeeded(); });
}

}  // namespace zev::cli

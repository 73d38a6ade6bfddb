// zevscale tare: "Calibrate". Every model's tare command tares the load on
// the scale and carries no weight; on ZEV-U the driver takes a tare of 0 as
// the command that cancels the tare (--cancel).
#include <cstdio>

#include "common.h"

namespace zev::cli {

int RunTare(Context& c) {
  return RunCommand(
      c,
      [&c](const std::string& sent) {
        if (c.o.tareCancel) return c.T(M::TareCancelSent, {sent});
        char given[64];
        std::snprintf(given, sizeof given, "%g", c.o.tareWeight);
        return c.T(M::TareSent, {sent, c.Decimal(given) + " " + c.T(M::Kg)});
      },
      [&c](Session& s) { return s.Tare(c.o.tareWeight, c.o.tareCancel); });
}

}  // namespace zev::cli

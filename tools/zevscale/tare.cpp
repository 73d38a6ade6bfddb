// zevscale tare: "Calibrate" with a tare weight (ZEV-U: 0 cancels the tare).
#include "common.h"

namespace zev::cli {

int RunTare(Context& c) {
  // A ZEV-U takes a tare of 0 as the command that cancels its tare.
  const bool cancels = c.o.tareWeight == 0.0 && c.o.model == "ZEV-U";
  return RunCommand(c, cancels ? M::TareCancelled : M::Tared, [&c](Session& s) {
    return s.Run(u"Calibrate", {s.Wide("NoDeviceID"), host::Double(c.o.tareWeight)})->Succeeded();
  });
}

}  // namespace zev::cli

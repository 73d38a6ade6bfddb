// zevscale tare: "Calibrate" with a tare weight (ZEV-U: 0 cancels the tare).
#include "common.h"

namespace zev::cli {

int RunTare(Context& c) {
  return RunCommand(c, M::Tared, [&c](Session& s) {
    return s.Run(u"Calibrate", {s.Wide("NoDeviceID"), host::Double(c.o.tareWeight)})->Succeeded();
  });
}

}  // namespace zev::cli

// zevscale tare: "Calibrate" with a tare weight (ZEV-U: 0 cancels the tare).
#include "common.h"

namespace zev::cli {

int RunTare(Context& c) {
  Session s(*c.library);
  if (!s.Valid()) {
    c.err << "zevscale: " << c.T(M::NoObject) << "\n";
    return 1;
  }
  Begin(c);
  Failure failure;
  if (!OpenScale(c, s, failure)) return Finish(c, {}, Json::object(), &failure);
  const bool ok =
      s.Run(u"Calibrate", {s.Wide("NoDeviceID"), host::Double(c.o.tareWeight)})->Succeeded();
  if (!ok) failure = Explain(c, s, Operation::Command, c.o.port, c.o.model);
  if (!s.Close() && ok) {
    failure = Explain(c, s, Operation::Close, c.o.port, c.o.model);
    return Finish(c, {}, Json::object(), &failure);
  }
  if (!ok) return Finish(c, {}, Json::object(), &failure);
  return Finish(c, {c.T(M::Tared)}, Json::object(), nullptr);
}

}  // namespace zev::cli

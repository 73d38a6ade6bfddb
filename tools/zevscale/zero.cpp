// zevscale zero: "Zeroing".
#include "common.h"

namespace zev::cli {

int RunZero(Context& c) {
  Session s(*c.library);
  if (!s.Valid()) {
    c.err << "zevscale: " << c.T(M::NoObject) << "\n";
    return 1;
  }
  Begin(c);
  Failure failure;
  if (!OpenScale(c, s, failure)) return Finish(c, {}, Json::object(), &failure);
  const bool ok = s.Run(u"Zeroing")->Succeeded();
  if (!ok) failure = Explain(c, s, Operation::Command, c.o.port, c.o.model);
  if (!s.Close() && ok) {
    failure = Explain(c, s, Operation::Close, c.o.port, c.o.model);
    return Finish(c, {}, Json::object(), &failure);
  }
  if (!ok) return Finish(c, {}, Json::object(), &failure);
  return Finish(c, {c.T(M::Zeroed)}, Json::object(), nullptr);
}

}  // namespace zev::cli

// zevscale test: the driver's device test (open, weigh, close).
#include "common.h"

namespace zev::cli {

int RunTest(Context& c) {
  Session s(*c.library, c.o.driverClass);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Failure failure;
  if (!SetScale(c, s)) {
    failure = Explain(c, s, Operation::Open, c.o.port, c.o.model);
    return Finish(c, {}, Json::object(), &failure);
  }
  std::string text;
  const bool ok = s.Test(text);
  Json fields;
  fields["description"] = text;
  if (ok) return Finish(c, {text}, fields, nullptr);
  failure = Explain(c, s, Operation::Test, c.o.port, c.o.model);
  return Finish(c, {}, fields, &failure);
}

}  // namespace zev::cli

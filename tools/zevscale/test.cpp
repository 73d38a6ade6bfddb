// zevscale test: the driver's device test (open, weigh, close).
#include "common.h"

namespace zev::cli {

int RunTest(Context& c) {
  Session s(*c.library);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Failure failure;
  if (!s.Configure(c.o.model, c.o.port)) {
    failure = Explain(c, s, Operation::Open, c.o.port, c.o.model);
    return Finish(c, {}, Json::object(), &failure);
  }
  auto t = s.Run(u"DeviceTest", {host::Empty(), host::Empty()});
  Json fields;
  fields["description"] = t->Text(0);
  if (t->Succeeded()) return Finish(c, {t->Text(0)}, fields, nullptr);
  failure = Explain(c, s, Operation::Test, c.o.port, c.o.model);
  return Finish(c, {}, fields, &failure);
}

}  // namespace zev::cli

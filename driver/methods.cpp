// The registration of a driver class from its table of methods.
#include "methods.h"

#include "identity.h"

namespace zev::driver {

void RegisterClass(v8napi::TClassRegList& registry, v8napi::TClassRef create,
                   const char16_t* className, const MethodRow* methods, size_t count) {
  v8napi::TClassReg& cls = registry.AddClass(create, kComponentName, className);
  for (size_t i = 0; i < count; ++i) {
    const MethodRow& m = methods[i];
    v8napi::TMethReg& reg = cls.AddFunction(m.english, m.russian, m.params, m.handler);
    if (m.otherName != nullptr) reg.OtherNames = {m.otherName};
  }
}

}  // namespace zev::driver

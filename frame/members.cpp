// Member registry: methods and properties of a class, found by name or number.
#include "v8napi/v8napi.h"
#include "zev/platform/text.h"

namespace v8napi {

TMethReg& TClassReg::AddMethod(std::u16string_view engName, std::u16string_view rusName,
                               int32_t paramCount, TFuncHandler func, TProcHandler proc,
                               bool hasResult) {
  Meths.push_back(std::make_unique<TMethReg>());
  MethCount = static_cast<int32_t>(Meths.size());
  TMethReg& entry = *Meths.back();
  entry.EngName = engName;
  entry.RusName = rusName;
  entry.HasResult = hasResult;
  entry.ParamCount = paramCount;
  entry.Handler = func;
  entry.ProcHandler = proc;
  return entry;
}

TMethReg& TClassReg::AddFunction(std::u16string_view engName, std::u16string_view rusName,
                                 int32_t paramCount, TFuncHandler handler) {
  return AddMethod(engName, rusName, paramCount, handler, nullptr, true);
}

TMethReg& TClassReg::AddProcedure(std::u16string_view engName, std::u16string_view rusName,
                                  int32_t paramCount, TProcHandler handler) {
  return AddMethod(engName, rusName, paramCount, nullptr, handler, false);
}

namespace {

template <class Entries>
int32_t FindByName(const Entries& entries, std::u16string_view name) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (zev::platform::SameName(name, entries[i]->RusName) ||
        zev::platform::SameName(name, entries[i]->EngName)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

}  // namespace

int32_t TClassReg::FindMethod(std::u16string_view name) const {
  const int32_t found = FindByName(Meths, name);
  if (found >= 0) return found;
  for (size_t i = 0; i < Meths.size(); ++i) {
    for (const std::u16string& other : Meths[i]->OtherNames) {
      if (zev::platform::SameName(name, other)) return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int32_t TClassReg::FindProp(std::u16string_view name) const {
  return FindByName(Props, name);
}

const TMethReg* TClassReg::Method(long index) const {
  if (index < 0 || static_cast<unsigned long>(index) >= Meths.size()) return nullptr;
  return Meths[static_cast<size_t>(index)].get();
}

const TPropReg* TClassReg::Prop(long index) const {
  if (index < 0 || static_cast<unsigned long>(index) >= Props.size()) return nullptr;
  return Props[static_cast<size_t>(index)].get();
}

}  // namespace v8napi

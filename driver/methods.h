// What every driver class does alike with its methods: registers them from
// one table, and (a class of the equipment library) runs each handler
// guarded. A class gives its table of rows and its handlers, nothing more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "v8napi/v8napi.h"
#include "zev/platform/text.h"

namespace zev::driver {

// A method as the platform finds it: by its English or its Russian name,
// with its parameter count and its handler (v8napi::FuncHandler of a member).
struct MethodRow {
  const char16_t* english;
  const char16_t* russian;
  int32_t params;
  v8napi::TFuncHandler handler;
  // A further name that finds the method too (as another edition of a
  // caller names it); null for none.
  const char16_t* otherName = nullptr;
};

// Adds class `className` of the component, made by `create`, with `methods`
// in the order given, to `registry`.
void RegisterClass(v8napi::TClassRegList& registry, v8napi::TClassRef create,
                   const char16_t* className, const MethodRow* methods, size_t count);

template <size_t N>
void RegisterClass(v8napi::TClassRegList& registry, v8napi::TClassRef create,
                   const char16_t* className, const MethodRow (&methods)[N]) {
  RegisterClass(registry, create, className, methods, N);
}

// Runs a handler's body as the equipment library's classes do: the last
// error cleared, the parameter count checked, every exception recorded as a
// failure, the outcome written as a boolean into `ret`. The call is carried
// out whatever the outcome, so that the caller can read the error.
// `object` (a TV8UserObject) gives:
//   void ClearLastError();
//   bool Fail(std::u16string text);   // records a failure, gives false
//   std::u16string WrongCountText(method, count given, count expected);
template <class Object, class Body>
bool RunMethod(Object& object, const char16_t* method, int32_t count, int32_t expected,
               v8napi::tVariant* ret, Body&& body) {
  bool ok = false;
  try {
    object.ClearLastError();
    if (count != expected) {
      const std::string got = std::to_string(count), want = std::to_string(expected);
      ok = object.Fail(object.WrongCountText(method, std::u16string(got.begin(), got.end()),
                                             std::u16string(want.begin(), want.end())));
    } else {
      ok = body();
    }
  } catch (const std::exception& e) {
    ok = object.Fail(platform::Cp1251ToUtf16(e.what()));
  } catch (...) {
    ok = object.Fail(u"?");
  }
  v8napi::SetVariantBool(object, ret, ok);
  return true;
}

}  // namespace zev::driver

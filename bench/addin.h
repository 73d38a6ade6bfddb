// The built add-in loaded in the test host, one object of a class of it, as
// the benchmarks drive it.
#pragma once

#include <string_view>
#include <vector>

#include "host.h"

namespace zev::bench {

using zev::host::tVariant;

struct Addin {
  explicit Addin(std::u16string_view className = u"TZEV_SCALE_Class")
      : component(library, mm, &connection, className) {}
  zev::host::Library library{ZEV_ADDIN_PATH};
  zev::host::MemoryManager mm;
  zev::host::Connection connection;
  zev::host::Component component;

  bool Call(std::u16string_view method, std::vector<tVariant>& params, tVariant& ret) {
    return component.Call(method, params, ret);
  }
  void Clear(std::vector<tVariant>& params, tVariant& ret) {
    zev::host::Clear(mm, ret);
    for (auto& p : params) zev::host::Clear(mm, p);
  }
  // SetParameter; false when the add-in refused the value.
  bool Set(const char16_t* name, tVariant value) {
    std::vector<tVariant> params = {zev::host::WStr(mm, name), value};
    tVariant ret = zev::host::Empty();
    Call(u"SetParameter", params, ret);
    const bool set = ret.vt == v8abi::VTYPE_BOOL && ret.bVal;
    Clear(params, ret);
    return set;
  }
};

}  // namespace zev::bench

// Wide texts to and from platform values.
#include <cstring>

#include "v8napi/v8napi.h"
#include "zev/platform/text.h"

namespace v8napi {

bool SetVariantWStr(TV8UserObject& object, tVariant* value, std::u16string_view text) {
  if (value == nullptr || object.MemManager == nullptr) return false;
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_PWSTR;
  WCHAR_T* copy = AllocWideCopy(object, text);
  value->wstr.pwstrVal = copy;
  if (copy == nullptr) return false;
  value->wstr.wstrLen = static_cast<uint32_t>(text.size());
  return true;
}

std::u16string GetVariantText(const tVariant* value) {
  if (value == nullptr) return std::u16string();
  switch (v8abi::TagOf(*value)) {
    case v8abi::VTYPE_PWSTR:
      return FromWide(value->wstr.pwstrVal, value->wstr.pwstrVal ? value->wstr.wstrLen : 0);
    case v8abi::VTYPE_PSTR: {
      const char* p = value->str.pstrVal;
      if (p == nullptr) return std::u16string();
      size_t n = 0;
      while (n < value->str.strLen && p[n] != '\0') ++n;
      return zev::platform::Cp1251ToUtf16(std::string_view(p, n));
    }
    default:
      return std::u16string();
  }
}

}  // namespace v8napi

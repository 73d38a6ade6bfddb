// The parameters' shared part: type names, attributes and value conversions.
#include "parameters.h"

#include <cmath>
#include <cstdio>

#include "zev/platform/text.h"

namespace zev::driver {
namespace {

char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= u'А' && c <= u'Я') return static_cast<char16_t>(c + 32);
  if (c == u'Ё') return u'ё';
  return c;
}

}  // namespace

const char16_t* TypeName(ParamType type) {
  switch (type) {
    case ParamType::String:
      return u"String";
    case ParamType::Number:
      return u"Number";
    case ParamType::Boolean:
      return u"Boolean";
  }
  return u"String";
}

std::u16string XmlAttribute(const char16_t* name, std::u16string_view value) {
  return u" " + std::u16string(name) + u"=\"" + XmlEscaped(value) + u"\"";
}

std::u16string Decimal(long long value) {
  return platform::Utf8ToUtf16(std::to_string(value));
}

const char16_t* BoolText(bool value) {
  return value ? u"true" : u"false";
}

std::u16string Trimmed(std::u16string text) {
  while (!text.empty() && text.back() <= u' ') text.pop_back();
  size_t start = 0;
  while (start < text.size() && text[start] <= u' ') ++start;
  return text.substr(start);
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsText(const v8napi::tVariant& value) {
  const auto tag = v8abi::TagOf(value);
  return tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR;
}

std::optional<double> NumberOf(const v8napi::tVariant& value) {
  switch (v8abi::TagOf(value)) {
    case v8abi::VTYPE_I2:
    case v8abi::VTYPE_I4:
    case v8abi::VTYPE_R4:
    case v8abi::VTYPE_R8:
    case v8abi::VTYPE_UI1:
      return v8napi::GetVariantDouble(&value);
    case v8abi::VTYPE_PSTR:
    case v8abi::VTYPE_PWSTR: {
      const std::string text = platform::Utf16ToCp1251(Trimmed(v8napi::GetVariantText(&value)));
      if (auto v = platform::ParseDecimal(text, '.')) return v;
      return platform::ParseDecimal(text, ',');
    }
    default:
      return std::nullopt;
  }
}

std::optional<int> WholeNumberOf(const v8napi::tVariant& value, int min, int max) {
  const std::optional<double> n = NumberOf(value);
  if (!n || *n != std::floor(*n) || *n < min || *n > max) return std::nullopt;
  return static_cast<int>(*n);
}

std::optional<bool> BooleanOf(const v8napi::tVariant& value) {
  if (v8abi::TagOf(value) == v8abi::VTYPE_BOOL) return value.bVal;
  if (IsText(value)) {
    const std::u16string text = Trimmed(v8napi::GetVariantText(&value));
    for (const char16_t* yes : {u"true", u"истина", u"1"}) {
      if (SameIgnoringCase(text, yes)) return true;
    }
    for (const char16_t* no : {u"false", u"ложь", u"0"}) {
      if (SameIgnoringCase(text, no)) return false;
    }
    return std::nullopt;
  }
  if (auto n = NumberOf(value)) {
    if (*n == 0) return false;
    if (*n == 1) return true;
  }
  return std::nullopt;
}

std::u16string Shown(const v8napi::tVariant& value) {
  switch (v8abi::TagOf(value)) {
    case v8abi::VTYPE_PSTR:
    case v8abi::VTYPE_PWSTR:
      return v8napi::GetVariantText(&value);
    case v8abi::VTYPE_BOOL:
      return value.bVal ? u"true" : u"false";
    case v8abi::VTYPE_EMPTY:
      return std::u16string();
    default:
      if (auto n = NumberOf(value)) {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", *n);
        return platform::Utf8ToUtf16(text);
      }
      return u"?";
  }
}

}  // namespace zev::driver

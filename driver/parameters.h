// A driver class's settings as a table: one row per parameter with its name,
// captions, type, current value, choices and how a value is taken; the
// settings page made from the rows; and the conversions of the values the
// platform sends (numbers and truth values also as texts, in either
// language). A new setting is a new row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "v8napi/v8napi.h"
#include "xml.h"

namespace zev::driver {

enum class ParamType : uint8_t { String, Number, Boolean };
// "String", "Number", "Boolean", as a page's TypeValue says.
const char16_t* TypeName(ParamType type);

// (value, shown text) pairs of a choice list.
using Choices = std::vector<std::pair<std::u16string, std::u16string>>;

// One parameter of `Object`'s settings; `Id` names its texts.
template <class Object, class Id>
struct ParameterRow {
  const char16_t* name;
  Id caption;
  Id description;
  ParamType type;
  std::u16string (*current)(const Object& object);
  // Null: a free field.
  Choices (*choices)(const Object& object);
  // False with the object's last error set when the value is refused.
  bool (*set)(Object& object, const v8napi::tVariant& value);
};

// The row called `name`, or null.
template <class Object, class Id>
const ParameterRow<Object, Id>* FindParameter(const std::vector<ParameterRow<Object, Id>>& rows,
                                              std::u16string_view name) {
  for (const auto& row : rows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

// ` name="value"`, the value escaped.
std::u16string XmlAttribute(const char16_t* name, std::u16string_view value);

// The settings page of `rows` for `object`: one page, one group; `text`
// words an Id.
template <class Object, class Id, class TextOf>
std::u16string SettingsPageXml(const Object& object, std::u16string_view pageCaption,
                               std::u16string_view groupCaption,
                               const std::vector<ParameterRow<Object, Id>>& rows, TextOf&& text) {
  std::u16string xml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Settings><Page" +
                       XmlAttribute(u"Caption", pageCaption) + u"><Group" +
                       XmlAttribute(u"Caption", groupCaption) + u">";
  for (const auto& p : rows) {
    xml += u"<Parameter" + XmlAttribute(u"Name", p.name) +
           XmlAttribute(u"Caption", text(p.caption)) +
           XmlAttribute(u"Description", text(p.description)) +
           XmlAttribute(u"TypeValue", TypeName(p.type)) +
           XmlAttribute(u"DefaultValue", p.current(object)) + XmlAttribute(u"ReadOnly", u"false");
    if (p.choices == nullptr) {
      xml += u"/>";
      continue;
    }
    xml += u"><ChoiceList>";
    for (const auto& [value, shown] : p.choices(object)) {
      xml += u"<Item" + XmlAttribute(u"Value", value) + u">" + XmlEscaped(shown) + u"</Item>";
    }
    xml += u"</ChoiceList></Parameter>";
  }
  return xml + u"</Group></Page></Settings>";
}

// The values.

std::u16string Decimal(long long value);
const char16_t* BoolText(bool value);
// Without the blanks and control characters around it.
std::u16string Trimmed(std::u16string text);
// Equal but for the case of Latin and Russian letters.
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b);
bool IsText(const v8napi::tVariant& value);
// A number given as a number, or as a text with "." or "," as separator.
std::optional<double> NumberOf(const v8napi::tVariant& value);
// A whole number from `min` to `max`, given as a number or a text.
std::optional<int> WholeNumberOf(const v8napi::tVariant& value, int min, int max);
// A truth value given as one, as 0 or 1, or as a text in either language.
std::optional<bool> BooleanOf(const v8napi::tVariant& value);
// What the caller gave, for a message.
std::u16string Shown(const v8napi::tVariant& value);

}  // namespace zev::driver

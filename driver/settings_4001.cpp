// The revision 4001 class's description, settings page and parameters. The
// page is made from the table of parameters: a new setting is one row.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "TZEV_SCALE_4001_Class.h"
#include "TZEV_SCALE_Class.h"
#include "product_version.h"
#include "zev/platform/system.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

using platform::Utf8ToUtf16;
using Choices = std::vector<std::pair<std::u16string, std::u16string>>;

std::u16string Number(long long value) {
  return Utf8ToUtf16(std::to_string(value));
}

char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= u'А' && c <= u'Я') return static_cast<char16_t>(c + 32);
  if (c == u'Ё') return u'ё';
  return c;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::u16string Trimmed(std::u16string text) {
  while (!text.empty() && text.back() <= u' ') text.pop_back();
  size_t start = 0;
  while (start < text.size() && text[start] <= u' ') ++start;
  return text.substr(start);
}

// A number given as a number, or as a text with "." or "," as separator.
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

// What the user gave, for a message.
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
        return Utf8ToUtf16(text);
      }
      return u"?";
  }
}

bool IsText(const v8napi::tVariant& value) {
  const auto tag = v8abi::TagOf(value);
  return tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR;
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

const char16_t* BoolText(bool value) {
  return value ? u"true" : u"false";
}

// The rows.

bool SetModel(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  if (!IsText(value)) {
    o.Model.clear();
    return o.Fail(o.T(Msg::BadText, {u"Model"}));
  }
  // For the next connection or test; the devices connected keep theirs.
  o.Model = Trimmed(v8napi::GetVariantText(&value));
  return true;
}

Choices ModelChoices(const TZEV_SCALE_4001_Class&) {
  Choices c;
  for (const ModelRow& m : scales::Models()) c.emplace_back(NameOf(m), CaptionOf(m));
  return c;
}

bool SetPort(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  const std::optional<double> n = NumberOf(value);
  if (!n || *n != std::floor(*n) || *n < 1 || *n > 255) {
    o.Port = 0;
    return o.Fail(o.T(Msg::BadPort, {Shown(value)}));
  }
  o.Port = static_cast<int>(*n);
  return true;
}

Choices PortChoices(const TZEV_SCALE_4001_Class&) {
  Choices c;
  std::vector<platform::PresentPort> present = platform::PresentSerialPorts();
  for (int n = 1; n <= 255; ++n) {
    std::u16string name;
    bool there = n <= 8;
    for (const auto& p : present) {
      if (p.number == n) {
        there = true;
        name = Utf8ToUtf16(p.name);
      }
    }
    if (!there) continue;
    std::u16string shown = u"COM" + Number(n);
    if (!name.empty()) shown += u" (" + name + u")";
    c.emplace_back(Number(n), shown);
  }
  return c;
}

bool SetConnection(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  const std::u16string text = IsText(value) ? Trimmed(v8napi::GetVariantText(&value)) : u"";
  if (SameIgnoringCase(text, u"COM") || SameIgnoringCase(text, u"TCP")) {
    o.Tcp = SameIgnoringCase(text, u"TCP");
    return true;
  }
  return o.Fail(o.T(Msg::BadConnection, {Shown(value)}));
}

Choices ConnectionChoices(const TZEV_SCALE_4001_Class& o) {
  return {{u"COM", o.T(Msg::ConnectionCom)}, {u"TCP", o.T(Msg::ConnectionTcp)}};
}

// An IP address (IPv6 also between brackets) or a name, without a port.
bool SetHost(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  o.Host.clear();
  if (!IsText(value)) return o.Fail(o.T(Msg::BadText, {u"Host"}));
  std::u16string host = Trimmed(v8napi::GetVariantText(&value));
  if (host.size() > 2 && host.front() == u'[' && host.back() == u']')
    host = host.substr(1, host.size() - 2);
  const std::string utf8 = platform::Utf16ToUtf8(host);
  // One colon is a port after a name or an IPv4 address, not an IPv6 address.
  const size_t colons = std::count(utf8.begin(), utf8.end(), ':');
  const bool v6 = colons >= 2;
  if (!host.empty() && (colons == 1 || host.size() > 255 ||
                        !platform::ParseTcpAddress((v6 ? "[" + utf8 + "]" : utf8) + ":1"))) {
    return o.Fail(o.T(Msg::BadHost, {Shown(value)}));
  }
  o.Host = host;
  return true;
}

bool SetTcpPort(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  const std::optional<double> n = NumberOf(value);
  if (!n || *n != std::floor(*n) || *n < 1 || *n > 65535) {
    o.TcpPort = 0;
    return o.Fail(o.T(Msg::BadTcpPort, {Shown(value)}));
  }
  o.TcpPort = static_cast<int>(*n);
  return true;
}

bool SetTrace(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  const std::optional<bool> b = BooleanOf(value);
  if (!b) return o.Fail(o.T(Msg::BadBoolean, {u"Trace", Shown(value)}));
  o.Trace = *b;
  return true;
}

bool SetTraceFile(TZEV_SCALE_4001_Class& o, const v8napi::tVariant& value) {
  if (!IsText(value)) return o.Fail(o.T(Msg::BadText, {u"TraceFile"}));
  o.TraceFile = Trimmed(v8napi::GetVariantText(&value));
  return true;
}

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

std::u16string Attribute(const char16_t* name, std::u16string_view value) {
  return u" " + std::u16string(name) + u"=\"" + XmlEscaped(value) + u"\"";
}

}  // namespace

const std::vector<ParameterRow>& Parameters() {
  static const std::vector<ParameterRow> rows = {
      {u"Model", Msg::ModelCaption, Msg::ModelDescription, ParamType::String,
       [](const TZEV_SCALE_4001_Class& o) { return o.Model; }, &ModelChoices, &SetModel},
      {u"Connection", Msg::ConnectionCaption, Msg::ConnectionDescription, ParamType::String,
       [](const TZEV_SCALE_4001_Class& o) { return std::u16string(o.Tcp ? u"TCP" : u"COM"); },
       &ConnectionChoices, &SetConnection},
      {u"Port", Msg::PortCaption, Msg::PortDescription, ParamType::Number,
       [](const TZEV_SCALE_4001_Class& o) { return o.Port > 0 ? Number(o.Port) : u""; },
       &PortChoices, &SetPort},
      {u"Host", Msg::HostCaption, Msg::HostDescription, ParamType::String,
       [](const TZEV_SCALE_4001_Class& o) { return o.Host; }, nullptr, &SetHost},
      {u"TCPPort", Msg::TcpPortCaption, Msg::TcpPortDescription, ParamType::Number,
       [](const TZEV_SCALE_4001_Class& o) { return o.TcpPort > 0 ? Number(o.TcpPort) : u""; },
       nullptr, &SetTcpPort},
      {u"Trace", Msg::TraceCaption, Msg::TraceDescription, ParamType::Boolean,
       [](const TZEV_SCALE_4001_Class& o) { return std::u16string(BoolText(o.Trace)); }, nullptr,
       &SetTrace},
      {u"TraceFile", Msg::TraceFileCaption, Msg::TraceFileDescription, ParamType::String,
       [](const TZEV_SCALE_4001_Class& o) { return o.TraceFile; }, nullptr, &SetTraceFile},
  };
  return rows;
}

std::u16string TZEV_SCALE_4001_Class::SettingsXml() const {
  std::u16string xml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Settings><Page" +
                       Attribute(u"Caption", T(Msg::PageCaption)) + u"><Group" +
                       Attribute(u"Caption", T(Msg::GroupCaption)) + u">";
  for (const ParameterRow& p : Parameters()) {
    xml += u"<Parameter" + Attribute(u"Name", p.name) + Attribute(u"Caption", T(p.caption)) +
           Attribute(u"Description", T(p.description)) + Attribute(u"TypeValue", TypeName(p.type)) +
           Attribute(u"DefaultValue", p.current(*this)) + Attribute(u"ReadOnly", u"false");
    if (p.choices == nullptr) {
      xml += u"/>";
      continue;
    }
    xml += u"><ChoiceList>";
    for (const auto& [value, shown] : p.choices(*this)) {
      xml += u"<Item" + Attribute(u"Value", value) + u">" + XmlEscaped(shown) + u"</Item>";
    }
    xml += u"</ChoiceList></Parameter>";
  }
  return xml + u"</Group></Page></Settings>";
}

std::u16string TZEV_SCALE_4001_Class::DescriptionXml() const {
  const std::u16string log = TraceTarget();
  // The trace's file; a trace to the standard error stream has none.
  const bool stderrTrace = SameIgnoringCase(log, u"stderr");
  return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><DriverDescription" +
         Attribute(u"Name", kDriverName) + Attribute(u"Description", kDriverDescription) +
         Attribute(u"EquipmentType", kEquipmentType) +
         Attribute(u"IntegrationComponent", u"false") + Attribute(u"MainDriverInstalled", u"true") +
         Attribute(u"DriverVersion", ZEV_VERSION_U) +
         Attribute(u"IntegrationComponentVersion", ZEV_VERSION_U) +
         // No page the driver can be downloaded from yet: the library then offers none.
         Attribute(u"DownloadURL", u"") +
         Attribute(u"LogIsEnabled", log.empty() ? u"false" : u"true") +
         Attribute(u"LogPath", stderrTrace ? std::u16string() : log) +
         Attribute(u"LocalizationSupported", u"true") + Attribute(u"IsEmulator", u"false") + u"/>";
}

bool TZEV_SCALE_4001_Class::GetDescription(v8napi::tVariant* ret, v8napi::tVariant* params,
                                           int32_t count) {
  return Run(u"GetDescription", count, 1, ret, [&] {
    std::lock_guard<std::recursive_mutex> lock(state);
    return SetText(&params[0], DescriptionXml());
  });
}

bool TZEV_SCALE_4001_Class::GetParameters(v8napi::tVariant* ret, v8napi::tVariant* params,
                                          int32_t count) {
  return Run(u"GetParameters", count, 1, ret, [&] {
    std::lock_guard<std::recursive_mutex> lock(state);
    return SetText(&params[0], SettingsXml());
  });
}

bool TZEV_SCALE_4001_Class::SetParameter(v8napi::tVariant* ret, v8napi::tVariant* params,
                                         int32_t count) {
  return Run(u"SetParameter", count, 2, ret, [&] {
    const std::u16string name = Trimmed(v8napi::GetVariantText(&params[0]));
    if (name == u"EquipmentType") {
      // The enumeration's name in a Russian or an English configuration.
      const std::u16string type = Trimmed(v8napi::GetVariantText(&params[1]));
      for (const char16_t* known : {kEquipmentType, u"ElectronicScales", u"WeighingScales"}) {
        if (SameIgnoringCase(type, known)) return true;
      }
      return Fail(T(Msg::WrongEquipmentType, {Shown(params[1])}));
    }
    std::lock_guard<std::recursive_mutex> lock(state);
    for (const ParameterRow& p : Parameters()) {
      if (name != p.name) continue;
      const bool taken = p.set(*this, params[1]);
      if (taken) {
        Refused.erase(p.name);
      } else {
        Refused[p.name] = lastErrorText_;
      }
      return taken;
    }
    return true;  // a parameter of another driver or edition: accepted
  });
}

}  // namespace zev::driver

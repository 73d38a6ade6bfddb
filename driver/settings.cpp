// The settings page ("GetParameters") and the parameters "Model" and "Port".
#include "TZEV_SCALE_Class.h"
#include "xml.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

std::u16string Decimal(unsigned value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The fixed pieces of the page around the model and the port, in Windows-1251.
struct PagePieces {
  std::string head, middle, tail;
  PagePieces() {
    std::u16string items;
    for (unsigned n = 1; n <= 8; ++n) {
      items += u"<Item Value=\"" + Decimal(n) + u"\">COM" + Decimal(n) + u"</Item>";
    }
    head = platform::Utf16ToCp1251(
        u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"Параметры\">"
        u"<Group Caption=\"Параметры подключения\"><Parameter Name=\"Model\" Caption=\"Модель\" "
        u"TypeValue=\"String\" DefaultValue=\"");
    std::u16string models;
    for (const ModelRow& m : scales::Models()) {
      models += u"<Item Value=\"" + NameOf(m) + u"\">" + CaptionOf(m) + u"</Item>";
    }
    middle = platform::Utf16ToCp1251(
        u"\"><ChoiceList>" + models +
        u"</ChoiceList></Parameter>"
        u"<Parameter Name=\"Port\" Caption=\"Порт\" TypeValue=\"Number\" DefaultValue=\"");
    tail = platform::Utf16ToCp1251(u"\"><ChoiceList>" + items +
                                   u"</ChoiceList></Parameter></Group></Page></Settings>");
  }
};

}  // namespace

// Characters XML 1.0 allows: tab, line feed, carriage return, U+0020 to
// U+D7FF, U+E000 to U+FFFD, and U+10000 on as a well-formed surrogate pair.
// Every other one (a NUL included) becomes '?', as a character that
// Windows-1251 lacks does.
static bool XmlAllowed(char16_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD);
}

std::u16string XmlEscaped(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      out += c;
      out += text[++i];
      continue;
    }
    if (!XmlAllowed(c)) {
      out += u'?';
      continue;
    }
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string TZEV_SCALE_Class::SettingsPage() const {
  static const PagePieces pieces;
  const std::string model = platform::Utf16ToCp1251(XmlEscaped(Params.Model));
  const std::string port = std::to_string(Params.Port);
  std::string page;
  page.reserve(pieces.head.size() + model.size() + pieces.middle.size() + port.size() +
               pieces.tail.size());
  page += pieces.head;
  page += model;
  page += pieces.middle;
  page += port;
  page += pieces.tail;
  return page;
}

bool TZEV_SCALE_Class::GetParameters(tVariant* ret, tVariant* params, int32_t count) {
  std::string page;
  try {
    page = SettingsPage();
  } catch (...) {
    return false;
  }
  if (count >= 1) v8napi::SetVariantStr(*this, &params[0], page);
  v8napi::SetVariantBool(*this, ret, true);
  return true;
}

bool TZEV_SCALE_Class::SetParameter(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  bool carriedOut = false;
  if (count == 2) {
    try {
      const std::u16string name = platform::Cp1251ToUtf16(v8napi::GetVariantStr(&params[0]));
      if (name == u"Model") {
        Params.Model = platform::Cp1251ToUtf16(v8napi::GetVariantStr(&params[1]));
        Params.Port = 1;
        // A fresh adapter for the model; the one before is released, and a
        // port it held is closed (its lock given back) with it.
        Device.SetModel(Params.Model);
      } else if (name == u"Port") {
        Params.Port = static_cast<uint8_t>(v8napi::GetVariantInt(&params[1]) & 0xFF);
      }
      carriedOut = true;
    } catch (const std::exception& e) {
      ReportException(u"1C: fiscal printer driver", e.what(), platform::LastSystemError());
    } catch (...) {
      ReportException(u"1C: fiscal printer driver", "Unknown error", platform::LastSystemError());
    }
  }
  v8napi::SetVariantBool(*this, ret, carriedOut);
  return carriedOut;
}

}  // namespace zev::driver

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

// The source of an exception in SetParameter, as the platform shows it with
// the error. It names a fiscal printer because the first drivers of this
// family reported that text there; callers may look for it, so it stands.
constexpr const char16_t* kSetParameterSource = u"1C: fiscal printer driver";

}  // namespace

std::string TZEV_SCALE_Class::SettingsPage() const {
  static const PagePieces pieces;
  const std::string model = platform::Utf16ToCp1251(XmlEscaped(params_.Model));
  const std::string port = std::to_string(params_.Port);
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
        ChooseModel(platform::Cp1251ToUtf16(v8napi::GetVariantStr(&params[1])));
      } else if (name == u"Port") {
        params_.Port = static_cast<uint8_t>(v8napi::GetVariantInt(&params[1]) & 0xFF);
      }
      carriedOut = true;
    } catch (const std::exception& e) {
      ReportException(kSetParameterSource, e.what(), platform::LastSystemError());
    } catch (...) {
      ReportException(kSetParameterSource, "Unknown error", platform::LastSystemError());
    }
  }
  v8napi::SetVariantBool(*this, ret, carriedOut);
  return carriedOut;
}

}  // namespace zev::driver

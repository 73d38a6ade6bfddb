// The revision 4001 class's equipment operations: revision, version, last
// error, connect, test, weigh, tare, the additional action, localisation.
#include "TZEV_SCALE_4001_Class.h"
#include "TZEV_SCALE_Class.h"
#include "product_version.h"
#include "xml.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

constexpr const char16_t* kZeroing = u"Zeroing";

}  // namespace

bool TZEV_SCALE_4001_Class::KnownDevice(const v8napi::tVariant& id) {
  const std::u16string given = v8napi::GetVariantText(&id);
  if (!DeviceID.empty() && given == DeviceID) return true;
  Fail(T(Msg::UnknownDevice, {given}), kErrDeviceID);
  return false;
}

bool TZEV_SCALE_4001_Class::GetInterfaceRevision(v8napi::tVariant* ret, v8napi::tVariant*,
                                                 int32_t) {
  v8napi::SetVariantInt(*this, ret, kInterfaceRevision);
  return true;
}

bool TZEV_SCALE_4001_Class::GetVersion(v8napi::tVariant* ret, v8napi::tVariant*, int32_t) {
  SetText(ret, ZEV_VERSION_U);
  return true;
}

bool TZEV_SCALE_4001_Class::GetLastError(v8napi::tVariant* ret, v8napi::tVariant* params,
                                         int32_t count) {
  if (count >= 1) SetText(&params[0], LastErrorText);
  v8napi::SetVariantInt(*this, ret, LastErrorCode);
  return true;
}

bool TZEV_SCALE_4001_Class::Open(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count) {
  return Run(u"Open", count, 1, ret, [&] {
    if (!DeviceID.empty()) return Fail(T(Msg::AlreadyConnected, {DeviceID}));
    if (!OpenDevice()) return false;
    const std::string n = std::to_string(++Connections);
    DeviceID = std::u16string(Device.Model()->name) + u"@" + LinkName() + u"#" +
               std::u16string(n.begin(), n.end());
    return SetText(&params[0], DeviceID);
  });
}

bool TZEV_SCALE_4001_Class::Close(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count) {
  return Run(u"Close", count, 1, ret, [&] {
    if (!KnownDevice(params[0])) return false;
    DeviceID.clear();
    return Device.Close() || Fail(DeviceErrorText());
  });
}

bool TZEV_SCALE_4001_Class::DeviceTest(v8napi::tVariant* ret, v8napi::tVariant* params,
                                       int32_t count) {
  return Run(u"DeviceTest", count, 2, ret, [&] {
    SetText(&params[1], u"");
    // Through the open connection when there is one, else the port is opened
    // for the test and closed after it.
    const bool held = !DeviceID.empty() && Device.IsOpen();
    bool ok = false;
    double kg = 0;
    if (held || OpenDevice()) {
      ok = Device.Weigh(kg);
      const std::u16string why = ok ? std::u16string() : DeviceErrorText();
      if (!held) Device.Close();
      if (!ok) Fail(why);
    }
    if (ok) {
      const std::u16string link = platform::Utf8ToUtf16(Device.Endpoint().Name());
      SetText(&params[0], T(Msg::TestAnswered, {Device.Model()->name, link, Kilograms(kg)}));
      return true;
    }
    SetText(&params[0], T(Msg::TestFailed, {LastErrorText}));
    return false;
  });
}

bool TZEV_SCALE_4001_Class::GetAdditionalActions(v8napi::tVariant* ret, v8napi::tVariant* params,
                                                 int32_t count) {
  return Run(u"GetAdditionalActions", count, 1, ret, [&] {
    return SetText(&params[0], u"<Actions><Action Name=\"" + std::u16string(kZeroing) +
                                   u"\" Caption=\"" + XmlEscaped(T(Msg::ZeroingCaption)) +
                                   u"\"/></Actions>");
  });
}

bool TZEV_SCALE_4001_Class::DoAdditionalAction(v8napi::tVariant* ret, v8napi::tVariant* params,
                                               int32_t count) {
  return Run(u"DoAdditionalAction", count, 1, ret, [&] {
    const std::u16string name = v8napi::GetVariantText(&params[0]);
    if (name != kZeroing) return Fail(T(Msg::UnknownAction, {name}));
    const ModelRow* row = Device.Model();
    if (row == nullptr) return Fail(T(Msg::NoModel, {Model}));
    if (!row->zeroing) return Fail(T(Msg::ZeroUnsupported, {row->name}));
    // Offered in the settings form, where nothing is connected: the port is
    // then opened for the command.
    const bool held = !DeviceID.empty() && Device.IsOpen();
    if (!held && !OpenDevice()) return false;
    const bool ok = Device.Zero();
    const std::u16string why = ok ? std::u16string() : DeviceErrorText();
    if (!held) Device.Close();
    return ok || Fail(why);
  });
}

bool TZEV_SCALE_4001_Class::GetWeight(v8napi::tVariant* ret, v8napi::tVariant* params,
                                      int32_t count) {
  return Run(u"GetWeight", count, 2, ret, [&] {
    if (!KnownDevice(params[0])) return false;
    double kg = 0;
    if (!Device.Weigh(kg)) return Fail(DeviceErrorText());
    return v8napi::SetVariantDouble(*this, &params[1], kg);
  });
}

bool TZEV_SCALE_4001_Class::Calibrate(v8napi::tVariant* ret, v8napi::tVariant* params,
                                      int32_t count) {
  return Run(u"Calibrate", count, 2, ret, [&] {
    if (!KnownDevice(params[0])) return false;
    const auto tag = v8abi::TagOf(params[1]);
    double tare = 0;
    if (tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR) {
      std::string text = platform::Utf16ToCp1251(v8napi::GetVariantText(&params[1]));
      for (char& c : text) {
        if (c == ',') c = '.';
      }
      const auto value = platform::ParseDecimal(text, '.');
      if (!value) return Fail(T(Msg::BadTare, {v8napi::GetVariantText(&params[1])}));
      tare = *value;
    } else if (tag == v8abi::VTYPE_I2 || tag == v8abi::VTYPE_I4 || tag == v8abi::VTYPE_R4 ||
               tag == v8abi::VTYPE_R8 || tag == v8abi::VTYPE_UI1) {
      tare = v8napi::GetVariantDouble(&params[1]);
    } else {
      return Fail(T(Msg::BadTare, {u"?"}));
    }
    return Device.Tare(tare) || Fail(DeviceErrorText());
  });
}

bool TZEV_SCALE_4001_Class::SetLocalization(v8napi::tVariant* ret, v8napi::tVariant* params,
                                            int32_t count) {
  return Run(u"SetLocalization", count, 2, ret, [&] {
    const std::u16string code = v8napi::GetVariantText(&params[0]);
    const bool english = code.size() >= 2 && (code[0] == u'e' || code[0] == u'E') &&
                         (code[1] == u'n' || code[1] == u'N') &&
                         (code.size() == 2 || code[2] == u'_' || code[2] == u'-');
    Language = english ? Lang::En : Lang::Ru;
    return true;
  });
}

}  // namespace zev::driver

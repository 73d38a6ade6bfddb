// The driver object: construction, the device table and the last error.
#include "TZEV_SCALE_Class.h"

#include "zev/platform/text.h"

namespace zev::driver {

using platform::Cp1251ToUtf16;
using platform::Utf16ToCp1251;

TZEV_SCALE_Class::TZEV_SCALE_Class()
    : DriverName(Utf16ToCp1251(kDriverName)),
      DriverDescription(Utf16ToCp1251(kDriverDescription)),
      WebAddress(Utf16ToCp1251(kWebAddress)) {}

std::unique_ptr<v8napi::TV8UserObject> TZEV_SCALE_Class::Create() {
  return std::make_unique<TZEV_SCALE_Class>();
}

void TZEV_SCALE_Class::OnDone() {
  if (Device.IsOpen()) Device.Close();
  DeviceIDs = {};
}

void TZEV_SCALE_Class::ClearLastError() {
  LastErrorText.clear();
  LastErrorCode = kErrNone;
}

int TZEV_SCALE_Class::ModelIndex() const {
  const ModelRow* row = scales::FindModel(Params.Model);
  return row != nullptr ? static_cast<int>(scales::IndexOf(*row)) : -1;
}

void TZEV_SCALE_Class::AddDeviceID(const std::string& id) {
  for (std::string& slot : DeviceIDs) {
    if (slot.empty() || slot == id) {
      slot = id;
      return;
    }
  }
}

bool TZEV_SCALE_Class::FindDeviceID(const std::u16string& id) const {
  // Free slots hold no device: an empty identifier is never found.
  for (const std::string& slot : DeviceIDs) {
    if (!slot.empty() && Cp1251ToUtf16(slot) == id) return true;
  }
  return false;
}

void TZEV_SCALE_Class::RemoveDeviceID(const std::string& id) {
  for (std::string& slot : DeviceIDs) {
    if (slot == id) slot.clear();
  }
}

bool TZEV_SCALE_Class::CheckDeviceID(const tVariant& param) {
  if (FindDeviceID(Cp1251ToUtf16(v8napi::GetVariantStr(&param)))) return true;
  LastErrorCode = kErrDeviceID;
  LastErrorText = u"Ошибка в параметре \"DeviceID\"";
  return false;
}

std::u16string TZEV_SCALE_Class::FailureText(TScaleDevice::Step step, Fault fault) {
  using Step = TScaleDevice::Step;
  // A weight text that is no number came from an exchange that succeeded:
  // the exception told the platform, the text is empty.
  if (fault == Fault::None || fault == Fault::NotAWeight) return std::u16string();
  switch (step) {
    case Step::Open:
      if (fault == Fault::LineSettings) return u"Ошибка DCB-структуры";
      if (fault == Fault::Timeouts) return u"Ошибка таймаутов";
      return u"Порт недоступен";
    case Step::Close:
      return u"Ошибка дескриптора COM порта";
    case Step::Tare:
      return kTareFailed;
    case Step::CancelTare:
      return u"Произошла ошибка отмены функции тарирования.";
    case Step::Zero:
      return fault == Fault::Unsupported ? u"Функция установки нуля <0> не поддерживается."
                                         : u"Произошла ошибка установки нулевой массы.";
    case Step::Weigh:
      return u"Произошла ошибка взвешивания.";
    case Step::None:
      break;
  }
  return std::u16string();
}

void TZEV_SCALE_Class::TakeDeviceError() {
  LastErrorCode = kErrOperation;
  if (ModelIndex() >= 0 && Device.Model() != nullptr) {
    LastErrorText = FailureText(Device.LastStep(), Device.Error().fault);
  }
}

void TZEV_SCALE_Class::ReportException(const char16_t* source, const char* message,
                                       int32_t systemError) {
  try {
    LastErrorText = Cp1251ToUtf16(message != nullptr ? message : "");
  } catch (...) {
    LastErrorText.clear();
  }
  // A recorded exception never reads as "no error".
  LastErrorCode = systemError != 0 ? systemError : kErrOperation;
  if (Connection == nullptr || Connection->vtbl == nullptr ||
      Connection->vtbl->AddError == nullptr) {
    return;
  }
  try {
    const std::u16string src(source);
    std::vector<v8napi::WCHAR_T> wsource(src.begin(), src.end());
    wsource.push_back(0);
    std::vector<v8napi::WCHAR_T> wdescr(LastErrorText.begin(), LastErrorText.end());
    wdescr.push_back(0);
    Connection->vtbl->AddError(Connection, static_cast<unsigned short>(LastErrorCode & 0xFFFF),
                               wsource.data(), wdescr.data(), v8abi::kE_FAIL);
  } catch (...) {
    // Out of memory while telling the platform: the error stays recorded.
  }
}

bool TZEV_SCALE_Class::Finish(tVariant* ret, const Outcome& outcome) {
  if (!outcome.success) TakeDeviceError();
  v8napi::SetVariantBool(*this, ret, outcome.success);
  return outcome.carriedOut;
}

bool TZEV_SCALE_Class::SetText(tVariant* value, std::u16string_view text) {
  return v8napi::SetVariantStr(*this, value, Utf16ToCp1251(text));
}

void RegisterDriver(v8napi::TClassRegList& registry) {
  using T = TZEV_SCALE_Class;
  using v8napi::FuncHandler;
  v8napi::TClassReg& cls = registry.AddClass(&T::Create, kComponentName, kClassName);
  cls.AddFunction(u"GetVersion", u"ПолучитьНомерВерсии", 0, FuncHandler<T, &T::GetVersion>);
  cls.AddFunction(u"GetDescription", u"ПолучитьОписание", 7, FuncHandler<T, &T::GetDescription>);
  cls.AddFunction(u"GetLastError", u"ПолучитьОшибку", 1, FuncHandler<T, &T::GetLastError>);
  cls.AddFunction(u"GetParameters", u"ПолучитьПараметры", 1, FuncHandler<T, &T::GetParameters>);
  cls.AddFunction(u"SetParameter", u"УстановитьПараметр", 2, FuncHandler<T, &T::SetParameter>);
  cls.AddFunction(u"Open", u"Подключить", 1, FuncHandler<T, &T::Open>);
  cls.AddFunction(u"Close", u"Отключить", 1, FuncHandler<T, &T::Close>);
  cls.AddFunction(u"DeviceTest", u"ТестУстройства", 2, FuncHandler<T, &T::DeviceTest>);
  cls.AddFunction(u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1,
                  FuncHandler<T, &T::GetAdditionalActions>);
  cls.AddFunction(u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1,
                  FuncHandler<T, &T::DoAdditionalAction>);
  cls.AddFunction(u"Calibrate", u"УстановитьВесТары", 2, FuncHandler<T, &T::Calibrate>);
  cls.AddFunction(u"GetWeight", u"ПолучитьВес", 2, FuncHandler<T, &T::GetWeight>);
  cls.AddFunction(u"Zeroing", u"УстановитьНулевойВес", 0, FuncHandler<T, &T::Zeroing>);
}

}  // namespace zev::driver

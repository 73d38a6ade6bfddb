// The driver object: construction, the device table and the last error.
#include "TZEV_SCALE_Class.h"

#include "methods.h"
#include "zev/platform/text.h"

namespace zev::driver {

using platform::Cp1251ToUtf16;
using platform::Utf16ToCp1251;

std::unique_ptr<v8napi::TV8UserObject> TZEV_SCALE_Class::Create() {
  return std::make_unique<TZEV_SCALE_Class>();
}

void TZEV_SCALE_Class::OnDone() {
  if (device_.IsOpen()) device_.Close();
  deviceIds_ = {};
}

void TZEV_SCALE_Class::ClearLastError() {
  lastErrorText_.clear();
  lastErrorCode_ = kErrNone;
}

void TZEV_SCALE_Class::ChooseModel(std::u16string model) {
  params_.Model = std::move(model);
  params_.Port = 1;
  device_.SetModel(params_.Model);
}

int TZEV_SCALE_Class::ModelIndex() const {
  const ModelRow* row = device_.Model();
  return row != nullptr ? static_cast<int>(scales::IndexOf(*row)) : -1;
}

void TZEV_SCALE_Class::AddDeviceID(const std::string& id) {
  for (std::string& slot : deviceIds_) {
    if (slot.empty() || slot == id) {
      slot = id;
      return;
    }
  }
}

bool TZEV_SCALE_Class::FindDeviceID(const std::u16string& id) const {
  // Free slots hold no device: an empty identifier is never found.
  for (const std::string& slot : deviceIds_) {
    if (!slot.empty() && Cp1251ToUtf16(slot) == id) return true;
  }
  return false;
}

void TZEV_SCALE_Class::RemoveDeviceID(const std::string& id) {
  for (std::string& slot : deviceIds_) {
    if (slot == id) slot.clear();
  }
}

bool TZEV_SCALE_Class::CheckDeviceID(const tVariant& param) {
  if (FindDeviceID(Cp1251ToUtf16(v8napi::GetVariantStr(&param)))) return true;
  lastErrorCode_ = kErrDeviceID;
  lastErrorText_ = u"Ошибка в параметре \"DeviceID\"";
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
  lastErrorCode_ = kErrOperation;
  if (device_.Model() != nullptr) {
    lastErrorText_ = FailureText(device_.LastStep(), device_.Error().fault);
  }
}

void TZEV_SCALE_Class::ReportException(const char16_t* source, const char* message,
                                       int32_t systemError) {
  try {
    lastErrorText_ = Cp1251ToUtf16(message != nullptr ? message : "");
  } catch (...) {
    lastErrorText_.clear();
  }
  // A recorded exception never reads as "no error".
  lastErrorCode_ = systemError != 0 ? systemError : kErrOperation;
  if (Connection == nullptr || Connection->vtbl == nullptr ||
      Connection->vtbl->AddError == nullptr) {
    return;
  }
  try {
    const std::u16string src(source);
    std::vector<v8napi::WCHAR_T> wsource(src.begin(), src.end());
    wsource.push_back(0);
    std::vector<v8napi::WCHAR_T> wdescr(lastErrorText_.begin(), lastErrorText_.end());
    wdescr.push_back(0);
    Connection->vtbl->AddError(Connection, static_cast<unsigned short>(lastErrorCode_ & 0xFFFF),
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
  static const MethodRow methods[] = {
      {u"GetVersion", u"ПолучитьНомерВерсии", 0, FuncHandler<T, &T::GetVersion>},
      {u"GetDescription", u"ПолучитьОписание", 7, FuncHandler<T, &T::GetDescription>},
      {u"GetLastError", u"ПолучитьОшибку", 1, FuncHandler<T, &T::GetLastError>},
      {u"GetParameters", u"ПолучитьПараметры", 1, FuncHandler<T, &T::GetParameters>},
      {u"SetParameter", u"УстановитьПараметр", 2, FuncHandler<T, &T::SetParameter>},
      {u"Open", u"Подключить", 1, FuncHandler<T, &T::Open>},
      {u"Close", u"Отключить", 1, FuncHandler<T, &T::Close>},
      {u"DeviceTest", u"ТестУстройства", 2, FuncHandler<T, &T::DeviceTest>},
      {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1,
       FuncHandler<T, &T::GetAdditionalActions>},
      {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1,
       FuncHandler<T, &T::DoAdditionalAction>},
      {u"Calibrate", u"УстановитьВесТары", 2, FuncHandler<T, &T::Calibrate>},
      {u"GetWeight", u"ПолучитьВес", 2, FuncHandler<T, &T::GetWeight>},
      {u"Zeroing", u"УстановитьНулевойВес", 0, FuncHandler<T, &T::Zeroing>},
  };
  RegisterClass(registry, &T::Create, kClassName, methods);
}

}  // namespace zev::driver

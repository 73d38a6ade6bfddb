// The scale driver component: settings, one adapter per model, the device
// table, the last error, and the thirteen method handlers.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "TScaleDevice.h"
#include "identity.h"
#include "v8napi/v8napi.h"
#include "zev/platform/locale.h"

namespace zev::driver {

using v8napi::tVariant;

inline const char16_t* const kClassName = u"TZEV_SCALE_Class";
inline const char* const kDeviceID = "NoDeviceID";

inline const char16_t* const kTareFailed = u"Произошла ошибка функции тарирования.";

class TZEV_SCALE_Class : public v8napi::TV8UserObject {
 public:
  static std::unique_ptr<v8napi::TV8UserObject> Create();

  // The host is done with the object: the port is closed and the device
  // identifiers forgotten now, not when the object goes, which a host may
  // do late or (with a leak of its own) never.
  void OnDone() override;

  // Method handlers, in registration order.
  bool GetVersion(tVariant* ret, tVariant* params, int32_t count);
  bool GetDescription(tVariant* ret, tVariant* params, int32_t count);
  bool GetLastError(tVariant* ret, tVariant* params, int32_t count);
  bool GetParameters(tVariant* ret, tVariant* params, int32_t count);
  bool SetParameter(tVariant* ret, tVariant* params, int32_t count);
  bool Open(tVariant* ret, tVariant* params, int32_t count);
  bool Close(tVariant* ret, tVariant* params, int32_t count);
  bool DeviceTest(tVariant* ret, tVariant* params, int32_t count);
  bool GetAdditionalActions(tVariant* ret, tVariant* params, int32_t count);
  bool DoAdditionalAction(tVariant* ret, tVariant* params, int32_t count);
  bool Calibrate(tVariant* ret, tVariant* params, int32_t count);
  bool GetWeight(tVariant* ret, tVariant* params, int32_t count);
  bool Zeroing(tVariant* ret, tVariant* params, int32_t count);

  // The settings page for the current settings, in Windows-1251.
  std::string SettingsPage() const;

  // What the object holds, to read.
  const std::array<std::string, 10>& DeviceIDs() const { return deviceIds_; }
  const std::u16string& LastErrorText() const { return lastErrorText_; }
  int32_t LastErrorCode() const { return lastErrorCode_; }

  // The rules every handler shares.
  void ClearLastError();
  // "Model" set: the text as the settings page shows it, the port back to 1,
  // and a fresh adapter for the model (the one before released, a port it
  // held closed with it); no adapter for a text that is not exactly a
  // model's name.
  void ChooseModel(std::u16string model);
  // The place of the chosen model in the table; -1 for a model text that is none.
  int ModelIndex() const;
  void AddDeviceID(const std::string& id);
  bool FindDeviceID(const std::u16string& id) const;
  void RemoveDeviceID(const std::string& id);
  bool CheckDeviceID(const tVariant& param);
  // The text of a failed device operation, as the adapters of the first
  // drivers worded it: by the step and, for an open, by the fault.
  static std::u16string FailureText(TScaleDevice::Step step, Fault fault);
  void TakeDeviceError();
  // Records an exception of a handler and tells the platform through AddError.
  void ReportException(const char16_t* source, const char* message, int32_t systemError);

 private:
  // Outcome of the guarded step of a device operation.
  struct Outcome {
    bool success = false;     // the return value
    bool carriedOut = false;  // the call result
  };

  // Calls `step` with the device inside the guard when the current model has
  // its adapter; `step` returns the operation's success.
  template <class Step>
  Outcome Guarded(Step&& step);
  // Common end of a device operation: the adapter's error on failure, the
  // success flag as return value, the call result handed back.
  bool Finish(tVariant* ret, const Outcome& outcome);

  bool SetText(tVariant* value, std::u16string_view text);

  // The settings as the page shows them: the model's text as it was set,
  // and the port.
  struct ScaleParams {
    std::u16string Model;
    uint8_t Port = 0;
  };

  // The scale: the adapter of the model set last, and its port.
  TScaleDevice device_;
  ScaleParams params_;
  std::array<std::string, 10> deviceIds_;
  std::u16string lastErrorText_;
  int32_t lastErrorCode_ = kErrNone;
};

template <class Step>
TZEV_SCALE_Class::Outcome TZEV_SCALE_Class::Guarded(Step&& step) {
  Outcome outcome;
  // The model's row, found once when "Model" was set.
  const ModelRow* const row = device_.Model();
  const auto source = [row] {
    return row != nullptr ? SourceOf(*row) : std::u16string(kComponentName);
  };
  try {
    if (row != nullptr) {
      outcome.success = step(device_);
      outcome.carriedOut = true;
      // A weight that does not read as a number was an exception to the
      // platform; it is told so, with this driver's code of a failed operation.
      if (!outcome.success && device_.Error().fault == Fault::NotAWeight) {
        ReportException(source().c_str(),
                        UnreadableWeightMessage(device_.Error().weightText).c_str(), kErrOperation);
        outcome = Outcome();
      }
    }
  } catch (const std::exception& e) {
    const int32_t code = platform::LastSystemError();
    ReportException(source().c_str(), e.what(), code);
    outcome = Outcome();
  } catch (...) {
    const int32_t code = platform::LastSystemError();
    ReportException(source().c_str(), "Unknown error", code);
    outcome = Outcome();
  }
  return outcome;
}

// Adds the driver class and its thirteen methods to `registry`.
void RegisterDriver(v8napi::TClassRegList& registry);

}  // namespace zev::driver

// The equipment operations: identity, last error, connect, test, tare, weigh,
// zero, disconnect.
#include "TZEV_SCALE_Class.h"
#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

using platform::Cp1251ToUtf16;

}  // namespace

bool TZEV_SCALE_Class::GetVersion(tVariant* ret, tVariant*, int32_t) {
  SetText(ret, kVersion);
  return true;
}

bool TZEV_SCALE_Class::GetDescription(tVariant* ret, tVariant* params, int32_t count) {
  const bool complete = count == 7;
  if (complete) {
    SetText(&params[0], kDriverName);
    SetText(&params[1], DriverDescription());
    SetText(&params[2], kEquipmentType);
    v8napi::SetVariantInt(*this, &params[3], 1005);
    v8napi::SetVariantBool(*this, &params[4], false);
    v8napi::SetVariantBool(*this, &params[5], true);
    SetText(&params[6], kWebAddress);
  }
  v8napi::SetVariantBool(*this, ret, complete);
  return true;
}

bool TZEV_SCALE_Class::GetLastError(tVariant* ret, tVariant* params, int32_t count) {
  if (count >= 1) SetText(&params[0], lastErrorText_);
  v8napi::SetVariantInt(*this, ret, lastErrorCode_);
  return true;
}

bool TZEV_SCALE_Class::Open(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 1) {
    outcome = Guarded([&](TScaleDevice& device) {
      const bool opened = device.Open(params_.Port);
      v8napi::SetVariantStr(*this, &params[0], kDeviceID);
      return opened;
    });
    if (outcome.success) AddDeviceID(kDeviceID);
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::Close(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 1) {
    const std::string id = v8napi::GetVariantStr(&params[0]);
    outcome = Guarded([&](TScaleDevice& device) { return device.Close(); });
    if (outcome.success) RemoveDeviceID(id);
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::DeviceTest(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 2) {
    outcome = Guarded([&](TScaleDevice& device) {
      bool ok = false;
      std::u16string description;
      // A device the platform has open keeps its port: the test weighs
      // through it and leaves it open.
      const bool held = device.IsOpen();
      if (held || device.Open(params_.Port)) {
        std::u16string weightText;
        std::string text;
        if (device.WeighText(text)) weightText = Cp1251ToUtf16(text);
        if (!weightText.empty()) {
          description = u"Масса - " + weightText;
          ok = true;
        }
        if (!held) device.Close();
      }
      SetText(&params[0], description);
      SetText(&params[1], u"");
      return ok;
    });
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::GetAdditionalActions(tVariant* ret, tVariant* params, int32_t count) {
  if (count >= 1) SetText(&params[0], u"");
  v8napi::SetVariantBool(*this, ret, true);
  return true;
}

bool TZEV_SCALE_Class::DoAdditionalAction(tVariant* ret, tVariant*, int32_t count) {
  ClearLastError();
  const bool ok = count == 1;
  v8napi::SetVariantBool(*this, ret, ok);
  return ok;
}

bool TZEV_SCALE_Class::Calibrate(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 2) {
    const double tare = v8napi::GetVariantDouble(&params[1]);
    if (!CheckDeviceID(params[0])) return false;
    if (v8napi::IsTextButNoNumber(&params[1])) {
      // A tare weight that reads as no number is not taken as 0: nothing goes
      // to the scale.
      lastErrorCode_ = kErrOperation;
      lastErrorText_ = kTareFailed;
      v8napi::SetVariantBool(*this, ret, false);
      return true;
    }
    outcome = Guarded([&](TScaleDevice& device) { return device.Tare(tare); });
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::GetWeight(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 2) {
    if (!CheckDeviceID(params[0])) return false;
    outcome = Guarded([&](TScaleDevice& device) {
      double kg = 0;
      if (!device.Weigh(kg)) return false;
      v8napi::SetVariantDouble(*this, &params[1], kg);
      return true;
    });
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::Zeroing(tVariant* ret, tVariant*, int32_t count) {
  // Zeroing keeps the last error of an earlier call when it succeeds.
  Outcome outcome;
  if (count == 0) {
    outcome = Guarded([&](TScaleDevice& device) { return device.Zero(); });
  }
  return Finish(ret, outcome);
}

}  // namespace zev::driver

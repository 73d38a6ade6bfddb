// The equipment operations: identity, last error, connect, test, tare, weigh,
// zero, disconnect.
#include <stdexcept>

#include "TZEV_SCALE_Class.h"
#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

using platform::Cp1251ToUtf16;
using platform::Utf16ToCp1251;

template <class Adapter>
constexpr bool kIsZevU = std::is_same_v<std::decay_t<Adapter>, TZEV_U>;

// The weight of a weight text, in kilograms. A text that is no number raises,
// with the message the platform is told.
double ReadWeight(std::string text) {
  const char separator = platform::DecimalSeparator();
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  const auto value = platform::ParseDecimal(text, separator);
  if (!value) throw std::runtime_error("'" + text + "' is not a valid floating point value");
  return *value;
}

// ZEV-U: what stands before the first "kg", without the blanks around it.
std::string BeforeKg(const std::string& text) {
  const size_t kg = text.find("kg");
  std::string out = kg == std::string::npos ? std::string() : text.substr(0, kg);
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!out.empty() && blank(out.back())) out.pop_back();
  size_t start = 0;
  while (start < out.size() && blank(out[start])) ++start;
  return out.substr(start);
}

}  // namespace

bool TZEV_SCALE_Class::GetVersion(tVariant* ret, tVariant*, int32_t) {
  SetText(ret, kVersion);
  return true;
}

bool TZEV_SCALE_Class::GetDescription(tVariant* ret, tVariant* params, int32_t count) {
  const bool complete = count == 7;
  if (complete) {
    v8napi::SetVariantStr(*this, &params[0], DriverName);
    v8napi::SetVariantStr(*this, &params[1], DriverDescription);
    SetText(&params[2], kEquipmentType);
    v8napi::SetVariantInt(*this, &params[3], 1005);
    v8napi::SetVariantBool(*this, &params[4], false);
    v8napi::SetVariantBool(*this, &params[5], true);
    v8napi::SetVariantStr(*this, &params[6], WebAddress);
  }
  v8napi::SetVariantBool(*this, ret, complete);
  return true;
}

bool TZEV_SCALE_Class::GetLastError(tVariant* ret, tVariant* params, int32_t count) {
  if (count >= 1) SetText(&params[0], LastErrorText);
  v8napi::SetVariantInt(*this, ret, LastErrorCode);
  return true;
}

bool TZEV_SCALE_Class::Open(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 1) {
    outcome = Guarded([&](auto& adapter) {
      const bool opened = adapter.OpenPort(Params.Port) != 0;
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
    outcome = Guarded([&](auto& adapter) { return adapter.ClosePort() != 0; });
    if (outcome.success) RemoveDeviceID(id);
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::DeviceTest(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 2) {
    outcome = Guarded([&](auto& adapter) {
      bool ok = false;
      std::u16string description;
      // A device the platform has open keeps its port: the test weighs
      // through it and leaves it open.
      const bool held = adapter.Scale.IsOpen();
      if (held || adapter.OpenPort(Params.Port) != 0) {
        std::u16string weightText;
        if (adapter.Weigh() != 0) {
          std::string text;
          adapter.GetWeightText(text);
          weightText = Cp1251ToUtf16(text);
        }
        if (!weightText.empty()) {
          description = u"Масса - " + weightText;
          ok = true;
        }
        if (!held) adapter.ClosePort();
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
      LastErrorCode = kErrOperation;
      LastErrorText = scales::kMsgTare;
      v8napi::SetVariantBool(*this, ret, false);
      return true;
    }
    outcome = Guarded([&](auto& adapter) {
      if constexpr (kIsZevU<decltype(adapter)>) {
        return (tare == 0.0 ? adapter.CancelTare() : adapter.Tare()) != 0;
      } else {
        return adapter.Tare() != 0;
      }
    });
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::GetWeight(tVariant* ret, tVariant* params, int32_t count) {
  ClearLastError();
  Outcome outcome;
  if (count == 2) {
    if (!CheckDeviceID(params[0])) return false;
    outcome = Guarded([&](auto& adapter) {
      if (adapter.Weigh() == 0) return false;
      std::string text;
      adapter.GetWeightText(text);
      if constexpr (kIsZevU<decltype(adapter)>) text = BeforeKg(text);
      v8napi::SetVariantDouble(*this, &params[1], ReadWeight(text));
      return true;
    });
  }
  return Finish(ret, outcome);
}

bool TZEV_SCALE_Class::Zeroing(tVariant* ret, tVariant*, int32_t count) {
  // Zeroing keeps the last error of an earlier call when it succeeds.
  Outcome outcome;
  if (count == 0) {
    outcome = Guarded([&](auto& adapter) { return adapter.SetZero() != 0; });
  }
  return Finish(ret, outcome);
}

}  // namespace zev::driver

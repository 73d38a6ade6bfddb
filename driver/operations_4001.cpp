// The revision 4001 class's equipment operations: revision, version, last
// error, connect, test, weigh, tare, the additional action, localisation.
#include <optional>

#include "TZEV_SCALE_4001_Class.h"
#include "xml.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

constexpr const char16_t* kZeroing = u"Zeroing";

}  // namespace

auto TZEV_SCALE_4001_Class::LineOf(const v8napi::tVariant& id) -> std::shared_ptr<TLine> {
  const std::u16string given = v8napi::GetVariantText(&id);
  {
    std::lock_guard<std::recursive_mutex> lock(state_);
    const auto found = devices_.find(given);
    if (found != devices_.end()) return found->second;
  }
  Fail(T(Msg::UnknownDevice, {given}), kErrDeviceID);
  return nullptr;
}

template <class Op>
bool TZEV_SCALE_4001_Class::OnCurrentLine(Op&& op, bool& held, std::u16string& heldId) {
  std::shared_ptr<TLine> line;
  std::u16string why;
  {
    std::lock_guard<std::recursive_mutex> lock(state_);
    line = HeldLine(&heldId);
    held = line != nullptr;
    if (!held) {
      std::unique_ptr<TLine> opened = OpenLine(why);
      if (opened) line = std::move(opened);
    }
  }
  if (!line) return Fail(why);
  std::lock_guard<std::mutex> lock(line->exchange);
  const bool ok = op(line->device);
  const std::u16string failure = ok ? std::u16string() : DeviceErrorText(line->device);
  if (!held) line->device.Close();
  return ok || Fail(failure);
}

bool TZEV_SCALE_4001_Class::GetInterfaceRevision(v8napi::tVariant* ret, v8napi::tVariant*,
                                                 int32_t) {
  v8napi::SetVariantInt(*this, ret, kInterfaceRevision);
  return true;
}

bool TZEV_SCALE_4001_Class::GetVersion(v8napi::tVariant* ret, v8napi::tVariant*, int32_t) {
  SetText(ret, kVersion);
  return true;
}

bool TZEV_SCALE_4001_Class::GetLastError(v8napi::tVariant* ret, v8napi::tVariant* params,
                                         int32_t count) {
  int32_t code;
  std::u16string text;
  {
    std::lock_guard<std::recursive_mutex> lock(state_);
    code = lastErrorCode_;
    text = lastErrorText_;
  }
  if (count >= 1) SetText(&params[0], text);
  v8napi::SetVariantInt(*this, ret, code);
  return true;
}

bool TZEV_SCALE_4001_Class::Open(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count) {
  return RunMethod(*this, u"Open", count, 1, ret, [&] {
    std::u16string id, why;
    {
      std::lock_guard<std::recursive_mutex> lock(state_);
      // A second connection to a line this object holds goes through it.
      std::shared_ptr<TLine> line = HeldLine(&id);
      if (line != nullptr && line->device.Model() != nullptr &&
          line->device.Model() != scales::FindModel(model_)) {
        why = T(Msg::LineTakenByModel, {line->link, NameOf(*line->device.Model()), id});
      } else if (line == nullptr) {
        std::unique_ptr<TLine> opened = OpenLine(why);
        if (opened) line = std::move(opened);
      }
      if (line != nullptr && why.empty()) {
        ++line->users;
        const std::string n = std::to_string(++connections_);
        id = NameOf(*line->device.Model()) + u"@" + line->link + u"#" +
             std::u16string(n.begin(), n.end());
        devices_[id] = line;
      }
    }
    if (!why.empty()) return Fail(why);
    return SetText(&params[0], id);
  });
}

bool TZEV_SCALE_4001_Class::Close(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count) {
  return RunMethod(*this, u"Close", count, 1, ret, [&] {
    const std::shared_ptr<TLine> line = LineOf(params[0]);
    if (!line) return false;
    bool last = false;
    {
      std::lock_guard<std::recursive_mutex> lock(state_);
      devices_.erase(v8napi::GetVariantText(&params[0]));
      last = --line->users == 0;
    }
    if (!last) return true;  // the line stays for the other identifiers on it
    std::lock_guard<std::mutex> lock(line->exchange);
    return line->device.Close() || Fail(DeviceErrorText(line->device));
  });
}

bool TZEV_SCALE_4001_Class::DeviceTest(v8napi::tVariant* ret, v8napi::tVariant* params,
                                       int32_t count) {
  return RunMethod(*this, u"DeviceTest", count, 2, ret, [&] {
    SetText(&params[1], u"");
    // With the settings as they are now: through the connection the object
    // holds on that line, else on the port opened for the test.
    bool held = false;
    std::u16string heldId, model, link;
    double kg = 0;
    const bool ok = OnCurrentLine(
        [&](TScaleDevice& device) {
          model = NameOf(*device.Model());
          link = platform::Utf8ToUtf16(device.Endpoint().Name());
          return device.Weigh(kg);
        },
        held, heldId);
    if (ok) {
      SetText(&params[0],
              T(Msg::TestAnswered, {model, link, Kilograms(kg)}) + u" " +
                  (held ? T(Msg::TestThroughConnection, {heldId}) : T(Msg::TestOpenedForIt)) +
                  TraceNote());
      return true;
    }
    std::u16string why;
    {
      std::lock_guard<std::recursive_mutex> lock(state_);
      why = lastErrorText_;
    }
    SetText(&params[0], T(Msg::TestFailed, {why}) + TraceNote());
    return false;
  });
}

bool TZEV_SCALE_4001_Class::GetAdditionalActions(v8napi::tVariant* ret, v8napi::tVariant* params,
                                                 int32_t count) {
  return RunMethod(*this, u"GetAdditionalActions", count, 1, ret, [&] {
    const ModelRow* model;
    {
      std::lock_guard<std::recursive_mutex> lock(state_);
      model = scales::FindModel(model_);
    }
    // Offered for a model that has the command, or while no model is known.
    const bool zeroing = model == nullptr || model->Has(scales::Command::Zero);
    if (!zeroing) return SetText(&params[0], u"<Actions/>");
    return SetText(&params[0], u"<Actions><Action Name=\"" + std::u16string(kZeroing) +
                                   u"\" Caption=\"" + XmlEscaped(T(Msg::ZeroingCaption)) +
                                   u"\"/></Actions>");
  });
}

bool TZEV_SCALE_4001_Class::DoAdditionalAction(v8napi::tVariant* ret, v8napi::tVariant* params,
                                               int32_t count) {
  return RunMethod(*this, u"DoAdditionalAction", count, 1, ret, [&] {
    const std::u16string name = v8napi::GetVariantText(&params[0]);
    if (name != kZeroing) return Fail(T(Msg::UnknownAction, {name}));
    std::u16string model;
    {
      std::lock_guard<std::recursive_mutex> lock(state_);
      model = model_;
    }
    const ModelRow* row = scales::FindModel(model);
    if (row == nullptr) return Fail(NoModelText(language_, model));
    if (!row->Has(scales::Command::Zero)) return Fail(T(Msg::ZeroUnsupported, {NameOf(*row)}));
    // Offered in the settings form too, where nothing may be connected: the
    // port is then opened for the command. The scale's answer to a weighing
    // after it tells that the command reached it.
    bool held = false;
    std::u16string heldId;
    return OnCurrentLine([](TScaleDevice& device) { return device.Zero() && device.Heard(); }, held,
                         heldId);
  });
}

bool TZEV_SCALE_4001_Class::GetWeight(v8napi::tVariant* ret, v8napi::tVariant* params,
                                      int32_t count) {
  return RunMethod(*this, u"GetWeight", count, 2, ret, [&] {
    const std::shared_ptr<TLine> line = LineOf(params[0]);
    if (!line) return false;
    double kg = 0;
    std::u16string why;
    {
      std::lock_guard<std::mutex> lock(line->exchange);
      if (!line->device.Weigh(kg)) why = DeviceErrorText(line->device);
    }
    if (!why.empty()) return Fail(why);
    return v8napi::SetVariantDouble(*this, &params[1], kg);
  });
}

bool TZEV_SCALE_4001_Class::Calibrate(v8napi::tVariant* ret, v8napi::tVariant* params,
                                      int32_t count) {
  return RunMethod(*this, u"Calibrate", count, 2, ret, [&] {
    const std::shared_ptr<TLine> line = LineOf(params[0]);
    if (!line) return false;
    // No value, or a weight: the tare of what lies on the pan (the scales
    // take no preset tare); 0: the tare removed, where the model can.
    const auto tag = v8abi::TagOf(params[1]);
    std::optional<double> tare;
    if (tag == v8abi::VTYPE_EMPTY || tag == v8abi::VTYPE_NULL) {
      tare = 1.0;
    } else if (tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR) {
      std::string text = platform::Utf16ToCp1251(v8napi::GetVariantText(&params[1]));
      for (char& c : text) {
        if (c == ',') c = '.';
      }
      tare = platform::ParseDecimal(text, '.');
      if (!tare) return Fail(T(Msg::BadTare, {v8napi::GetVariantText(&params[1])}));
    } else if (tag == v8abi::VTYPE_I2 || tag == v8abi::VTYPE_I4 || tag == v8abi::VTYPE_R4 ||
               tag == v8abi::VTYPE_R8 || tag == v8abi::VTYPE_UI1) {
      tare = v8napi::GetVariantDouble(&params[1]);
    } else {
      return Fail(T(Msg::BadTare, {u"?"}));
    }
    if (!(*tare >= 0)) return Fail(T(Msg::TareNegative, {Kilograms(*tare)}));
    std::u16string why;
    {
      std::lock_guard<std::mutex> lock(line->exchange);
      TScaleDevice& device = line->device;
      const bool cancel = *tare == 0;
      if (cancel && !device.Model()->Has(scales::Command::CancelTare)) {
        why = T(Msg::NoTareCancel, {NameOf(*device.Model())});
      } else if (!(cancel ? device.CancelTare() : device.TareLoad()) || !device.Heard()) {
        why = DeviceErrorText(device);
      }
    }
    return why.empty() || Fail(why);
  });
}

bool TZEV_SCALE_4001_Class::SetLocalization(v8napi::tVariant* ret, v8napi::tVariant* params,
                                            int32_t count) {
  return RunMethod(*this, u"SetLocalization", count, 2, ret, [&] {
    const std::u16string code = v8napi::GetVariantText(&params[0]);
    const bool english = code.size() >= 2 && (code[0] == u'e' || code[0] == u'E') &&
                         (code[1] == u'n' || code[1] == u'N') &&
                         (code.size() == 2 || code[2] == u'_' || code[2] == u'-');
    language_ = english ? Lang::En : Lang::Ru;
    return true;
  });
}

}  // namespace zev::driver

#include "TScaleDevice.h"

#include "Implement_zev_aw.h"
#include "Implement_zev_u.h"
#include "implement_zev_nt.h"
#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

template <class Adapter>
class TAdapterOf final : public IScaleAdapter {
 public:
  int16_t OpenPort(uint8_t port) override { return adapter_.OpenPort(port); }
  int16_t OpenPort(const scales::TEndpoint& endpoint) override {
    return adapter_.OpenPort(endpoint);
  }
  int16_t ClosePort() override { return adapter_.ClosePort(); }
  int16_t Tare(double kg) override {
    if constexpr (std::is_same_v<Adapter, TZEV_U>) {
      return kg == 0.0 ? adapter_.CancelTare() : adapter_.Tare();
    } else {
      return adapter_.Tare();
    }
  }
  int16_t TareLoad() override { return adapter_.Tare(); }
  int16_t CancelTare() override {
    if constexpr (std::is_same_v<Adapter, TZEV_U>) {
      return adapter_.CancelTare();
    } else {
      return 0;  // the device never asks: the row says the model has none
    }
  }
  int16_t SetZero() override { return adapter_.SetZero(); }
  int16_t Weigh() override { return adapter_.Weigh(); }
  std::string WeightText() const override {
    std::string text;
    adapter_.GetWeightText(text);
    return text;
  }
  std::u16string ErrorText() const override {
    std::u16string text;
    adapter_.GetErrorText(text);
    return text;
  }
  scales::TCommunication& Link() override { return adapter_.Scale; }

 private:
  Adapter adapter_;
};

template <class Adapter>
std::unique_ptr<IScaleAdapter> Make() {
  return std::make_unique<TAdapterOf<Adapter>>();
}

// What stands before the first "kg", without the blanks around it.
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

const std::array<ModelRow, kModelCount>& Models() {
  // name, caption, source, zeroing, kgSuffix, cancelTare, frame, adapter
  static const std::array<ModelRow, kModelCount> rows = {{
      // clang-format off
      {u"ZEV-U", u"Весы: ZEV-У", u"Весы ZEV-У", true, true, true,
       {14, &zev_u::WholeFrame, 2}, &Make<TZEV_U>},
      {u"ZEV-AW", u"Весы: ZEV-AW", u"Весы ZEV-AW", false, false, false,
       {18, &zev_aw::WholeFrame, 3}, &Make<TZEV_AW>},
      {u"ZEV-NT(N)", u"Весы: ZEV-NT(N)", u"Весы ZEV-NT(N)", false, false, false,
       {18, &zev_nt::WholeFrame, 3}, &Make<TZEV_NT>},
      // clang-format on
  }};
  return rows;
}

int FindModel(std::u16string_view name) {
  const std::string model = platform::Utf16ToCp1251(name);
  for (size_t i = 0; i < kModelCount; ++i) {
    if (platform::SameModelName(model, platform::Utf16ToCp1251(Models()[i].name))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string UnreadableWeightMessage(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}

bool TScaleDevice::SetModel(std::u16string_view name) {
  adapter_.reset();
  model_ = FindModel(name);
  if (model_ >= 0) adapter_ = Models()[static_cast<size_t>(model_)].make();
  error_ = DeviceError();
  return model_ >= 0;
}

const ModelRow* TScaleDevice::Model() const {
  return model_ >= 0 ? &Models()[static_cast<size_t>(model_)] : nullptr;
}

bool TScaleDevice::Done(int16_t result, Fault fault) {
  if (result != 0) {
    error_ = DeviceError();
    return true;
  }
  Fail(fault);
  LinkFault();
  return false;
}

void TScaleDevice::Fail(Fault fault) {
  error_ = DeviceError();
  error_.fault = fault;
}

void TScaleDevice::LinkFault() {
  if (!adapter_ || error_.fault == Fault::NotOpen || error_.fault == Fault::Unsupported) return;
  const platform::TcpStatus status = adapter_->Link().LinkStatus();
  if (status == platform::TcpStatus::Ok) return;
  Fail(Fault::LinkFailed);
  error_.link = status;
}

bool TScaleDevice::Open(uint8_t port) {
  return Open(scales::TEndpoint::Com(port));
}

bool TScaleDevice::Open(const scales::TEndpoint& endpoint) {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  const bool com = endpoint.kind == scales::TEndpoint::Kind::Com;
  port_ = com ? endpoint.com : 0;
  endpoint_ = endpoint;
  scales::TCommunication& link = adapter_->Link();
  link.SetFrameRule(fast_ ? Model()->frame : scales::FrameRule());
  link.TraceTarget = traceTarget_;
  const int16_t opened = com ? adapter_->OpenPort(endpoint.com) : adapter_->OpenPort(endpoint);
  if (opened != 0) return Done(-1, Fault::None);
  if (link.LinkStatus() != platform::TcpStatus::Ok) {
    Fail(Fault::LinkFailed);
    error_.link = link.LinkStatus();
    return false;
  }
  Fault fault = Fault::PortRefused;
  const std::u16string text = adapter_->ErrorText();
  if (text == scales::kMsgDcb) {
    fault = Fault::LineSettings;
  } else if (text == scales::kMsgTimeouts) {
    fault = Fault::Timeouts;
  } else {
    switch (link.LastOpenProblem()) {
      case platform::OpenProblem::Missing:
        fault = Fault::PortMissing;
        break;
      case platform::OpenProblem::NoAccess:
        fault = Fault::PortNoAccess;
        break;
      case platform::OpenProblem::Busy:
        fault = Fault::PortBusy;
        break;
      default:
        break;
    }
  }
  Fail(fault);
  return false;
}

bool TScaleDevice::Close() {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  return Done(adapter_->ClosePort(), Fault::NotOpen);
}

bool TScaleDevice::IsOpen() const {
  return adapter_ && adapter_->Link().IsOpen();
}

bool TScaleDevice::Tare(double kg) {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  return Done(adapter_->Tare(kg), IsOpen() ? Fault::CommandFailed : Fault::NotOpen);
}

bool TScaleDevice::Zero() {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  if (!Model()->zeroing) {
    adapter_->SetZero();  // refuses with its own message, sending nothing
    Fail(Fault::Unsupported);
    return false;
  }
  return Done(adapter_->SetZero(), IsOpen() ? Fault::CommandFailed : Fault::NotOpen);
}

bool TScaleDevice::TareLoad() {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  return Done(adapter_->TareLoad(), IsOpen() ? Fault::CommandFailed : Fault::NotOpen);
}

bool TScaleDevice::CancelTare() {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  if (!Model()->cancelTare) {
    Fail(Fault::Unsupported);
    return false;
  }
  return Done(adapter_->CancelTare(), IsOpen() ? Fault::CommandFailed : Fault::NotOpen);
}

bool TScaleDevice::Heard() {
  std::string text;
  if (WeighText(text)) return true;
  // Bytes of any kind are an answer; silence, or a line that went, is none.
  switch (error_.fault) {
    case Fault::NotAReply:
    case Fault::NotAWeight:
      error_ = DeviceError();
      return true;
    case Fault::NothingArrived:
    case Fault::LineGone:
    case Fault::LinkFailed:
      Fail(Fault::NoAnswerAfterCommand);
      return false;
    default:
      return false;
  }
}

Fault TScaleDevice::WeighingFault() const {
  const scales::TCommunication& link = adapter_->Link();
  if (!link.IsOpen()) return Fault::NotOpen;
  switch (link.LastRead) {
    case scales::TCommunication::ReadOutcome::Nothing:
      return Fault::NothingArrived;
    case scales::TCommunication::ReadOutcome::Gone:
      return Fault::LineGone;
    case scales::TCommunication::ReadOutcome::Bytes:
      return Fault::NotAReply;
    case scales::TCommunication::ReadOutcome::None:
      break;
  }
  return Fault::CommandFailed;
}

bool TScaleDevice::WeighText(std::string& text) {
  if (!adapter_) {
    Fail(Fault::NoModel);
    return false;
  }
  if (adapter_->Weigh() != 0) {
    error_ = DeviceError();
    text = adapter_->WeightText();
    return true;
  }
  Fail(WeighingFault());
  if (error_.fault == Fault::NotAReply) error_.bytes = adapter_->Link().RawReply;
  LinkFault();
  return false;
}

bool TScaleDevice::Weigh(double& kg) {
  std::string text;
  if (!WeighText(text)) return false;
  // ZEV-U hands over its 12 characters; the others write the number alone,
  // with the regional separator already.
  if (Model()->kgSuffix) text = BeforeKg(text);
  const char separator = platform::DecimalSeparator();
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  const auto value = platform::ParseDecimal(text, separator);
  if (!value) {
    Fail(Fault::NotAWeight);
    error_.bytes = adapter_->Link().RawReply;
    error_.weightText = text;
    return false;
  }
  kg = *value;
  return true;
}

std::u16string TScaleDevice::AdapterText() const {
  return adapter_ ? adapter_->ErrorText() : std::u16string();
}

}  // namespace zev::driver

#include "TScaleDevice.h"

#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace zev::driver {
namespace {

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

std::u16string NameOf(const ModelRow& row) {
  return platform::Utf8ToUtf16(row.name);
}

std::u16string CaptionOf(const ModelRow& row) {
  return std::u16string(u"Весы: ") + row.written;
}

std::u16string SourceOf(const ModelRow& row) {
  return std::u16string(u"Весы ") + row.written;
}

std::string UnreadableWeightMessage(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}

bool TScaleDevice::SetModel(std::u16string_view name) {
  link_.reset();
  model_ = scales::FindModel(name);
  if (model_ != nullptr) link_ = std::make_unique<scales::TCommunication>(*model_);
  error_ = Failure();
  step_ = Step::None;
  return model_ != nullptr;
}

bool TScaleDevice::NoModel() {
  error_ = Failure(Fault::NoModel);
  return false;
}

bool TScaleDevice::Did(Step step, bool ok) {
  step_ = step;
  error_ = ok ? Failure() : link_->Error();
  return ok;
}

bool TScaleDevice::Command(Step step, scales::Command command) {
  if (!link_) return NoModel();
  return Did(step, link_->Run(command));
}

bool TScaleDevice::Open(uint8_t port) {
  return Open(scales::TEndpoint::Com(port));
}

bool TScaleDevice::Open(const scales::TEndpoint& endpoint) {
  if (!link_) return NoModel();
  endpoint_ = endpoint;
  link_->SetFastReplies(fast_);
  link_->SetTraceTarget(traceTarget_);
  return Did(Step::Open, link_->Open(endpoint));
}

bool TScaleDevice::Attach(std::unique_ptr<scales::TPort> port, const std::string& name) {
  if (!link_) return NoModel();
  if (!port) {
    step_ = Step::Open;
    error_ = Failure(Fault::NotOpen);
    return false;
  }
  endpoint_ = scales::TEndpoint();
  link_->SetFastReplies(fast_);
  link_->SetTraceTarget(traceTarget_);
  link_->Attach(std::move(port), name);
  return Did(Step::Open, true);
}

const platform::TcpAddress* TScaleDevice::ConverterBehind() const {
  if (!link_ || endpoint_.kind != scales::TEndpoint::Kind::Com) return nullptr;
  const scales::TEndpoint& reached = link_->Reached();
  return reached.kind == scales::TEndpoint::Kind::Tcp ? &reached.tcp : nullptr;
}

bool TScaleDevice::Close() {
  if (!link_) return NoModel();
  return Did(Step::Close, link_->Close());
}

bool TScaleDevice::Tare(double kg) {
  if (model_ != nullptr && kg == 0.0 && model_->Has(scales::Command::CancelTare)) {
    return Command(Step::CancelTare, scales::Command::CancelTare);
  }
  return Command(Step::Tare, scales::Command::Tare);
}

bool TScaleDevice::Zero() {
  return Command(Step::Zero, scales::Command::Zero);
}

bool TScaleDevice::TareLoad() {
  return Command(Step::Tare, scales::Command::Tare);
}

bool TScaleDevice::CancelTare() {
  return Command(Step::CancelTare, scales::Command::CancelTare);
}

bool TScaleDevice::Heard() {
  std::string text;
  if (WeighText(text)) return true;
  // Bytes of any kind are an answer; silence, or a line that went, is none.
  switch (error_.fault) {
    case Fault::NotAReply:
    case Fault::NotAWeight:
      error_ = Failure();
      return true;
    case Fault::NothingArrived:
    case Fault::LineGone:
    case Fault::LinkFailed: {
      // Why the converter's line is down stays told.
      const platform::TcpStatus link = error_.link;
      error_ = Failure(Fault::NoAnswerAfterCommand);
      error_.link = link;
      return false;
    }
    default:
      return false;
  }
}

bool TScaleDevice::WeighText(std::string& text) {
  if (!Command(Step::Weigh, scales::Command::Weigh)) return false;
  text = link_->WeightText();
  return true;
}

bool TScaleDevice::Weigh(double& kg) {
  std::string text;
  if (!WeighText(text)) return false;
  // A text that ends in "kg" (ZEV-U's 12 characters) is read before it; the
  // others are the number alone, with the regional separator already.
  if (model_->kgSuffix) text = BeforeKg(text);
  const char separator = platform::DecimalSeparator();
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  const auto value = platform::ParseDecimal(text, separator);
  if (!value) {
    error_ = Failure(Fault::NotAWeight);
    error_.bytes = link_->RawReply();
    error_.weightText = text;
    return false;
  }
  kg = *value;
  return true;
}

}  // namespace zev::driver

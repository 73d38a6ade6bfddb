// The device core that both driver classes stand on: the chosen model's row,
// the link to its port, and what went wrong as a value. Each class only adds
// its own conventions (parameters, identifiers, texts) on top.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "TCommunication.h"
#include "fault.h"
#include "models.h"

namespace zev::driver {

using scales::Failure;
using scales::Fault;
using scales::ModelRow;

// The model's name as "Model" is set; as a settings page's choice list
// shows it ("Весы: ZEV-У"); as error reports to the platform name the scale
// ("Весы ZEV-У").
std::u16string NameOf(const ModelRow& row);
std::u16string CaptionOf(const ModelRow& row);
std::u16string SourceOf(const ModelRow& row);

// The message of a weight text that does not read as a number.
std::string UnreadableWeightMessage(const std::string& text);

class TScaleDevice {
 public:
  // What the device did last that reached the model's link.
  enum class Step : uint8_t { None, Open, Close, Tare, CancelTare, Zero, Weigh };

  // Chooses the model; the link of an earlier model is released and a port it
  // held closed. False (and no model) for a name that is not in the table.
  bool SetModel(std::u16string_view name);
  // The row of the chosen model, or null.
  const ModelRow* Model() const { return model_; }

  // Replies read as soon as they are complete instead of when the line falls
  // quiet; taken at the next Open.
  void SetFastReplies(bool fast) { fast_ = fast; }
  // Where the line trace goes from the next Open; empty follows ZEVSCALE_TRACE.
  void SetTraceTarget(std::string target) { traceTarget_ = std::move(target); }

  // COM<port> (an entry of the ports directory may stand for a converter).
  bool Open(uint8_t port);
  // A COM port or a converter's TCP address.
  bool Open(const scales::TEndpoint& endpoint);
  // A port opened elsewhere (one in memory, in tests), taken as an Open of
  // the chosen model's link would have opened it; `name` names it in the trace.
  bool Attach(std::unique_ptr<scales::TPort> port, const std::string& name);
  bool Close();
  bool IsOpen() const { return link_ && link_->IsOpen(); }
  // The port of the last Open (0 for a converter's address).
  uint8_t Port() const {
    return endpoint_.kind == scales::TEndpoint::Kind::Com ? endpoint_.com : 0;
  }
  // Where the last Open went: "COM3" or "tcp://HOST:PORT".
  const scales::TEndpoint& Endpoint() const { return endpoint_; }
  // The converter a COM<N> of the last Open stands for, or null.
  const platform::TcpAddress* ConverterBehind() const;

  // A tare of `kg`; a model that can remove the tare does so for 0.
  bool Tare(double kg);
  bool Zero();
  // The tare of the load on the pan; the tare removed (Unsupported, nothing
  // sent, where the model has no such command).
  bool TareLoad();
  bool CancelTare();
  // Whether the scale answers after a command that has no reply of its own:
  // one weighing; false (NoAnswerAfterCommand) when nothing came back.
  bool Heard();
  // A weighing with the weight text as the model's unit gave it.
  bool WeighText(std::string& text);
  // A weighing read as kilograms.
  bool Weigh(double& kg);

  const Failure& Error() const { return error_; }
  Step LastStep() const { return step_; }

 private:
  bool Did(Step step, bool ok);
  bool Command(Step step, scales::Command command);
  bool NoModel();

  const ModelRow* model_ = nullptr;
  std::unique_ptr<scales::TCommunication> link_;
  scales::TEndpoint endpoint_;
  bool fast_ = false;
  std::string traceTarget_;
  Failure error_;
  Step step_ = Step::None;
};

}  // namespace zev::driver

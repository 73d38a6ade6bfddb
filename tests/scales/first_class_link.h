// A model's link driven with the first driver class's conventions: results
// as 16-bit truth values (-1 success, 0 failure) and the text of the last
// failure as that class words it.
#pragma once

#include <cstdint>
#include <string>

#include "TCommunication.h"
#include "TZEV_SCALE_Class.h"
#include "models.h"

template <size_t Row>
class FirstClassLink {
 public:
  using TEndpoint = zev::scales::TEndpoint;
  using Command = zev::scales::Command;
  using Step = zev::driver::TScaleDevice::Step;

  int16_t OpenPort(uint8_t port) { return Did(Step::Open, Scale.Open(TEndpoint::Com(port))); }
  int16_t OpenPort(const TEndpoint& endpoint) { return Did(Step::Open, Scale.Open(endpoint)); }
  int16_t ClosePort() { return Did(Step::Close, Scale.Close()); }
  int16_t Tare() { return Did(Step::Tare, Scale.Run(Command::Tare)); }
  int16_t CancelTare() { return Did(Step::CancelTare, Scale.Run(Command::CancelTare)); }
  int16_t SetZero() { return Did(Step::Zero, Scale.Run(Command::Zero)); }
  int16_t Weigh() { return Did(Step::Weigh, Scale.Run(Command::Weigh)); }
  void GetWeightText(std::string& out) const { out = Scale.WeightText(); }
  void GetErrorText(std::u16string& out) const {
    out = zev::driver::TZEV_SCALE_Class::FailureText(step_, Scale.Error().fault);
  }

  zev::scales::TCommunication Scale{zev::scales::Models()[Row]};

 private:
  int16_t Did(Step step, bool ok) {
    step_ = step;
    return ok ? -1 : 0;
  }
  Step step_ = Step::None;
};

using TZEV_U = FirstClassLink<0>;
using TZEV_AW = FirstClassLink<1>;
using TZEV_NT = FirstClassLink<2>;

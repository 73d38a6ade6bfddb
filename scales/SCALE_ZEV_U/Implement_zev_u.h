// The ZEV-U model adapter: no parity; tare, cancel tare, zero and weigh.
#pragma once

#include "SCALE_ZEV_U.h"
#include "TAdapter.h"

namespace zev::zev_u {

class TZEV_U : public scales::TAdapter<TScale, 0> {
 public:
  int16_t Tare() {
    ErrorText.clear();
    return Run(Scale.CmdTare(), scales::kMsgTare);
  }
  int16_t CancelTare() {
    ErrorText.clear();
    return Run(Scale.CmdCancelTare(), scales::kMsgCancelTare);
  }
  int16_t SetZero() {
    ErrorText.clear();
    return Run(Scale.CmdZero(), scales::kMsgZero);
  }
};

}  // namespace zev::zev_u

using zev::zev_u::TZEV_U;

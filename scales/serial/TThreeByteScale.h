// Scales driven by three-byte frames that begin with two zero bytes
// (ZEV-AW and ZEV-NT(N)): tare and weigh; zeroing is not offered.
#pragma once

#include <string_view>

#include "TAdapter.h"
#include "TCommunication.h"

namespace zev::scales {

inline constexpr std::string_view kFrameTare{"\x00\x00\x01", 3};
inline constexpr std::string_view kFrameWeigh{"\x00\x00\x03", 3};

class TThreeByteScale : public TCommunication {
 public:
  using TCommunication::TCommunication;
  bool CmdTare() { return Exchange(kFrameTare, false); }
  bool CmdWeigh() { return Exchange(kFrameWeigh, true); }
};

template <class ScaleT>
class TThreeByteAdapter : public TAdapter<ScaleT, 1> {
 public:
  int16_t Tare() {
    this->ErrorText.clear();
    return this->Run(this->Scale.CmdTare(), kMsgTare);
  }
  // The scale has no zeroing command: nothing is sent.
  int16_t SetZero() { return this->Fail(kMsgZeroUnsupported); }
};

}  // namespace zev::scales

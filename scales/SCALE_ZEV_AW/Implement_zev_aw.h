// The ZEV-AW model adapter: odd parity; tare and weigh, zeroing refused.
#pragma once

#include "SCALE_ZEV_AW.h"

namespace zev::zev_aw {

class TZEV_AW : public scales::TThreeByteAdapter<TScale> {};

}  // namespace zev::zev_aw

using zev::zev_aw::TZEV_AW;

// The ZEV-NT(N) model adapter: as ZEV-AW, with this model's reply check.
#pragma once

#include "SCALES_ZEV_NT.h"

namespace zev::zev_nt {

class TZEV_NT : public scales::TThreeByteAdapter<TScale> {};

}  // namespace zev::zev_nt

using zev::zev_nt::TZEV_NT;

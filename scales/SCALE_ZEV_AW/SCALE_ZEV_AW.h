// ZEV-AW: three-byte frames; the weight comes back as 18 bytes holding a
// signed gram count in ASCII digits, least significant first.
#pragma once

#include <string>
#include <string_view>

#include "TThreeByteScale.h"

namespace zev::zev_aw {

// The weight text of an 18-byte reply read backwards, or empty.
std::string ParseReply(std::string_view reply, char decimalSeparator);

class TScale : public scales::TThreeByteScale {
 public:
  TScale() : TThreeByteScale(&zev_aw::ParseReply, "ZEV-AW") {}
};

}  // namespace zev::zev_aw

// ZEV-NT(N): the ZEV-AW frames, but only the first six bytes of the 18-byte
// reply carry the weight: unsigned ASCII digits, units first.
#pragma once

#include <string>
#include <string_view>

namespace zev::zev_nt {

// The weight text of the six weight bytes of an 18-byte reply, or empty.
std::string ParseReply(std::string_view reply, char decimalSeparator);
// True for exactly one reply: six digits (units first), then twelve bytes
// that carry no weight.
bool WholeFrame(std::string_view reply);

}  // namespace zev::zev_nt

// ZEV-AW: three-byte frames; the weight comes back as 18 bytes holding a
// signed gram count in ASCII digits, least significant first.
#pragma once

#include <string>
#include <string_view>

namespace zev::zev_aw {

// The weight text of an 18-byte reply read backwards, or empty.
std::string ParseReply(std::string_view reply, char decimalSeparator);
// True for exactly one reply: digits from the first byte (units first), an
// optional sign after them, and only blanks, NULs and line ends after that.
bool WholeFrame(std::string_view reply);

}  // namespace zev::zev_aw

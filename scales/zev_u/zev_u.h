// ZEV-U: one-letter commands; the weight comes back as a 14-byte frame of a
// 12-character text and CR LF.
#pragma once

#include <string>
#include <string_view>

namespace zev::zev_u {

// The 12 characters of weight text of a 14-byte frame whose first CR LF stands
// at bytes 13 and 14; empty for anything else.
std::string ParseReply(std::string_view reply, char decimalSeparator);
// True for exactly one reply: 12 printable characters that end in "kg" and
// blanks ("  1.250 kg  "), then CR LF.
bool WholeFrame(std::string_view reply);

}  // namespace zev::zev_u

#include "SCALE_ZEV_U.h"

namespace zev::zev_u {

std::string ParseReply(std::string_view reply, char /*decimalSeparator*/) {
  if (reply.size() != 14 || reply.find("\r\n") != 12) return std::string();
  return std::string(reply.substr(0, 12));
}

}  // namespace zev::zev_u

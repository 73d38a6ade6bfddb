#include "zev_u.h"

namespace zev::zev_u {

std::string ParseReply(std::string_view reply, char /*decimalSeparator*/) {
  if (reply.size() != 14 || reply.find("\r\n") != 12) return std::string();
  return std::string(reply.substr(0, 12));
}

bool WholeFrame(std::string_view reply) {
  if (reply.size() != 14 || reply.substr(12) != "\r\n") return false;
  const std::string_view text = reply.substr(0, 12);
  for (const char c : text) {
    if (c < ' ' || c > '~') return false;
  }
  // "kg" and blanks close the text; what stands before is read as a number
  // later, so that a text that is none is named as such.
  const size_t kg = text.rfind("kg");
  return kg != std::string_view::npos && kg > 0 &&
         text.find_first_not_of(' ', kg + 2) == std::string_view::npos;
}

}  // namespace zev::zev_u

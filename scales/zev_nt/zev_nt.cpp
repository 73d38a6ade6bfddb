#include "zev_nt.h"

#include "models.h"

#include <algorithm>

namespace zev::zev_nt {
using scales::IsBlank;

std::string ParseReply(std::string_view reply, char decimalSeparator) {
  if (reply.size() != 18) return std::string();
  if (std::all_of(reply.begin(), reply.end(), IsBlank)) return std::string();
  // Twelve zeros, then bytes 6 down to 1; blank bytes at the start of the reply
  // (the end of this text) only shift the digits.
  std::string digits(12, '0');
  digits.append(reply.substr(0, 6).rbegin(), reply.substr(0, 6).rend());
  while (IsBlank(digits.back())) digits.pop_back();
  int64_t grams = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::string();
    grams = grams * 10 + (c - '0');
  }
  return scales::FormatGrams(grams, decimalSeparator);
}

bool WholeFrame(std::string_view reply) {
  return reply.size() == 18 &&
         std::all_of(reply.begin(), reply.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace zev::zev_nt

#include "zev_aw.h"

#include "models.h"

#include <algorithm>

namespace zev::zev_aw {
using scales::IsBlank;

std::string ParseReply(std::string_view reply, char decimalSeparator) {
  if (reply.size() != 18) return std::string();
  std::string text(reply.rbegin(), reply.rend());
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
  if (first == text.end()) return std::string();
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
  const std::string_view number(&*first, static_cast<size_t>(last - first));

  // An optional sign and decimal digits only: a NUL or any other byte among
  // them is a corrupted frame, not the end of the number.
  size_t i = 0;
  bool negative = false;
  if (number[0] == '+' || number[0] == '-') {
    negative = number[0] == '-';
    i = 1;
  }
  if (i == number.size()) return std::string();
  int64_t grams = 0;
  for (; i < number.size(); ++i) {
    const char c = number[i];
    if (c < '0' || c > '9') return std::string();
    grams = grams * 10 + (c - '0');
    if (grams > (int64_t{1} << 31)) return std::string();
  }
  if (negative) grams = -grams;
  if (grams > INT32_MAX || grams < INT32_MIN) return std::string();
  return scales::FormatGrams(grams, decimalSeparator);
}

bool WholeFrame(std::string_view reply) {
  if (reply.size() != 18) return false;
  size_t i = 0;
  while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9') ++i;
  if (i == 0) return false;
  if (i < reply.size() && (reply[i] == '-' || reply[i] == '+')) ++i;
  for (; i < reply.size(); ++i) {
    if (!IsBlank(reply[i])) return false;
  }
  return true;
}

}  // namespace zev::zev_aw

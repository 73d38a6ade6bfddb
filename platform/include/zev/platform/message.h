// Message catalogues shared by the add-in and the tools: a row per message
// with its Russian and English wording, in the order of the message's
// identifier, and %1 to %9 in a wording standing for the arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zev::platform {

enum class Lang : uint8_t { Ru, En };

template <class Id, class Char>
struct MessageRow {
  Id id;
  const Char* ru;
  const Char* en;
};

// `pattern` with %N replaced by the N-th argument (nothing where there is no
// such argument); a % before anything else than 1-9 stays as it is.
template <class Char>
std::basic_string<Char> Substitute(std::basic_string_view<Char> pattern,
                                   std::initializer_list<std::basic_string_view<Char>> args) {
  std::basic_string<Char> out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const Char c = pattern[i];
    if (c == Char('%') && i + 1 < pattern.size() && pattern[i + 1] >= Char('1') &&
        pattern[i + 1] <= Char('9')) {
      const auto n = static_cast<size_t>(pattern[++i] - Char('1'));
      if (n < args.size()) out += *(args.begin() + n);
      continue;
    }
    out += c;
  }
  return out;
}

// True when row i of `rows` holds the message whose identifier is i, and the
// last is `last`: a catalogue that can be indexed by the identifier.
template <class Id, class Char, size_t N>
constexpr bool InIdOrder(const MessageRow<Id, Char> (&rows)[N], Id last) {
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(rows[i].id) != i) return false;
  }
  return N == static_cast<size_t>(last) + 1;
}

// The wording of `id` in `lang`, from a catalogue in identifier order.
template <class Id, class Char, size_t N>
std::basic_string_view<Char> Wording(const MessageRow<Id, Char> (&rows)[N], Lang lang, Id id) {
  const auto& row = rows[static_cast<size_t>(id)];
  return lang == Lang::En ? row.en : row.ru;
}

}  // namespace zev::platform

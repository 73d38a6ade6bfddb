#include "models.h"

#include <iterator>

#include "zev/platform/text.h"
#include "zev_aw.h"
#include "zev_nt.h"
#include "zev_u.h"

namespace zev::scales {
namespace {

using platform::Parity;

constexpr std::string_view kThreeByteTare{"\x00\x00\x01", 3};
constexpr std::string_view kThreeByteWeigh{"\x00\x00\x03", 3};

// clang-format off
const ModelRow kRows[] = {
    // name, written, line, weigh, tare, cancel tare, zero, reply, frame, kg, replies like
    {"ZEV-U", u"ZEV-У", {4800, Parity::None, 8, 1}, "P", "T", "C", "Z",
     &zev_u::ParseReply, {14, &zev_u::WholeFrame, 2}, true, nullptr},
    {"ZEV-AW", u"ZEV-AW", {4800, Parity::Odd, 8, 1}, kThreeByteWeigh, kThreeByteTare, {}, {},
     &zev_aw::ParseReply, {18, &zev_aw::WholeFrame, 3}, false, nullptr},
    {"ZEV-NT(N)", u"ZEV-NT(N)", {4800, Parity::Odd, 8, 1}, kThreeByteWeigh, kThreeByteTare, {}, {},
     &zev_nt::ParseReply, {18, &zev_nt::WholeFrame, 3}, false, "ZEV-AW"},
};
// clang-format on

template <class Char, class Name>
std::basic_string<Char> Join(std::basic_string_view<Char> last, Name name) {
  std::basic_string<Char> out;
  const size_t n = std::size(kRows);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) {
      if (i + 1 == n) {
        out += last;
      } else {
        out += Char(',');
        out += Char(' ');
      }
    }
    out += name(kRows[i]);
  }
  return out;
}

}  // namespace

std::string LineText(const LineSettings& line) {
  std::string text = std::to_string(line.baudRate) + " " + std::to_string(line.dataBits);
  text += line.parity == Parity::Odd ? 'O' : 'N';
  text += std::to_string(line.stopBits);
  return text;
}

std::string_view ModelRow::Bytes(Command command) const {
  switch (command) {
    case Command::Weigh:
      return weigh;
    case Command::Tare:
      return tare;
    case Command::CancelTare:
      return cancelTare;
    case Command::Zero:
      return zero;
  }
  return {};
}

ModelList Models() {
  return ModelList{kRows, std::size(kRows)};
}

const ModelRow* FindModel(std::u16string_view name) {
  const std::string model = platform::Utf16ToCp1251(name);
  for (const ModelRow& row : kRows) {
    if (platform::SameModelName(model, row.name)) return &row;
  }
  return nullptr;
}

const ModelRow* FindModel(std::string_view name) {
  return FindModel(platform::Utf8ToUtf16(name));
}

size_t IndexOf(const ModelRow& row) {
  return static_cast<size_t>(&row - kRows);
}

std::string ModelNames(std::string_view last) {
  return Join<char>(last, [](const ModelRow& row) { return row.name; });
}

std::u16string WrittenNames(std::u16string_view last) {
  return Join<char16_t>(last, [](const ModelRow& row) { return row.written; });
}

std::string FormatGrams(int64_t grams, char separator) {
  const bool negative = grams < 0;
  const uint64_t magnitude =
      negative ? static_cast<uint64_t>(-grams) : static_cast<uint64_t>(grams);
  std::string fraction = std::to_string(magnitude % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 1000);
  text += separator;
  text += fraction;
  return text;
}

}  // namespace zev::scales

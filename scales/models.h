// The scale models: a row each, with everything in which they differ. The
// link, the device core, both driver classes and the tools read this table
// and nothing else about a model; a model is added by adding its row and its
// reply check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zev/platform/serial.h"

namespace zev::scales {

// A model's reply check: the reply bytes in, the weight text out (empty when
// the reply is rejected). `decimalSeparator` is the regional one.
using ReplyParser = std::string (*)(std::string_view reply, char decimalSeparator);

// What makes a model's reply whole, for a read that ends as soon as the reply
// has arrived instead of when the line falls quiet.
struct FrameRule {
  size_t length = 0;  // bytes of a reply; 0: no such read
  // True when the bytes are exactly one reply of the model, each byte where
  // the model's layout allows it. A whole reply is taken only when the line
  // stays quiet for a few bytes' time after it: a byte then shows that the
  // bytes read began before the reply (and would shift it), or that the
  // scale sends more after it (which must not be left for the next command).
  bool (*whole)(std::string_view bytes) = nullptr;
  // Characters' time the line must stay quiet after a whole reply: three
  // where bytes in front could shift a reply into a whole-looking one, two
  // where none can (a reply closed by its only CR LF) and only bytes after
  // it are looked for.
  uint32_t quietChars = 3;
};

struct LineSettings {
  uint32_t baudRate = 4800;
  platform::Parity parity = platform::Parity::None;
  uint8_t dataBits = 8;
  uint8_t stopBits = 1;
};
// "4800 8N1".
std::string LineText(const LineSettings& line);

enum class Command : uint8_t { Weigh, Tare, CancelTare, Zero };

struct ModelRow {
  const char* name;         // as "Model" is set: "ZEV-U"
  const char16_t* written;  // as the Russian texts write it: u"ZEV-У"
  LineSettings line;
  // The commands' bytes; empty where the model has no such command.
  std::string_view weigh, tare, cancelTare, zero;
  ReplyParser parse;  // the weight text of a reply
  FrameRule frame;    // a whole reply, for reads that end with it
  bool kgSuffix;      // the weight text ends in "kg" with blanks around
  // The model whose replies this one's may be mistaken for by a listener
  // (ZEV-NT(N) answers in ZEV-AW's frames); null for none.
  const char* repliesLike;

  std::string_view Bytes(Command command) const;
  bool Has(Command command) const { return !Bytes(command).empty(); }
};

// The rows, in the order the models are offered.
struct ModelList {
  const ModelRow* first;
  size_t count;
  const ModelRow* begin() const { return first; }
  const ModelRow* end() const { return first + count; }
  size_t size() const { return count; }
  const ModelRow& operator[](size_t i) const { return first[i]; }
};
ModelList Models();

// The row of the model called `name` (the user locale's case-sensitive
// comparison of the Windows-1251 texts), or null.
const ModelRow* FindModel(std::u16string_view name);
// The same for a UTF-8 name.
const ModelRow* FindModel(std::string_view name);
// The row's place in the table.
size_t IndexOf(const ModelRow& row);
// The names of every model joined as a list: "ZEV-U, ZEV-AW or ZEV-NT(N)"
// with `last` " or ", or with ", " all through.
std::string ModelNames(std::string_view last = ", ");
// As the Russian texts write them.
std::u16string WrittenNames(std::u16string_view last = u", ");

// A byte a reply pads its weight with: a blank, a NUL, a line end.
inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// Weight text of a gram count: kilograms with three decimals and `separator`.
std::string FormatGrams(int64_t grams, char separator);

}  // namespace zev::scales

// Text for XML attribute values and element content.
#pragma once

#include <string>
#include <string_view>

namespace zev::driver {

// `text` with & < > " ' escaped; characters that XML does not allow (a NUL
// included) become '?'.
std::u16string XmlEscaped(std::u16string_view text);

}  // namespace zev::driver

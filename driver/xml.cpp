// Text for XML attribute values and element content.
#include "xml.h"

namespace zev::driver {

// Characters XML 1.0 allows: tab, line feed, carriage return, U+0020 to
// U+D7FF, U+E000 to U+FFFD, and U+10000 on as a well-formed surrogate pair.
// Every other one (a NUL included) becomes '?', as a character that
// Windows-1251 lacks does.
static bool XmlAllowed(char16_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD);
}

std::u16string XmlEscaped(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      out += c;
      out += text[++i];
      continue;
    }
    if (!XmlAllowed(c)) {
      out += u'?';
      continue;
    }
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace zev::driver

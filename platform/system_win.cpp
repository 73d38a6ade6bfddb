// The system on Windows: temporary files go where GetTempPath says. The ports
// present are in ports_win.cpp.
#include <windows.h>

#include <string_view>

#include "zev/platform/system.h"
#include "zev/platform/text.h"

namespace zev::platform {

std::string TemporaryFolder() {
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  // wchar_t is UTF-16 on Windows.
  std::string dir = n > 0 && n <= MAX_PATH + 1
                        ? Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(path)))
                        : std::string("C:\\Windows\\Temp");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

}  // namespace zev::platform

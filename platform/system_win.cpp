// The system on Windows: the ports present are the system's list of serial
// ports (HARDWARE\DEVICEMAP\SERIALCOMM), named by the device manager's friendly
// name where it has one; temporary files go where GetTempPath says.
#include <windows.h>

#include <initguid.h>  // first: devguid.h then defines the class GUIDs

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

#include "zev/platform/system.h"

namespace zev::platform {
namespace {

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// A registry key, closed when it goes.
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) RegCloseKey(h);
  }
};

// A device information set, destroyed when it goes.
struct DeviceSet {
  HDEVINFO h;
  ~DeviceSet() {
    if (h != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(h);
  }
};

int ComNumber(const wchar_t* name) {
  if (_wcsnicmp(name, L"COM", 3) != 0 || name[3] == 0) return -1;
  int n = 0;
  for (const wchar_t* p = name + 3; *p != 0; ++p) {
    if (*p < L'0' || *p > L'9' || n > 1000) return -1;
    n = n * 10 + (*p - L'0');
  }
  return n;
}

// The friendly name of COM<number> without its " (COM<number>)" tail.
std::string FriendlyName(int number) {
  std::string found;
  const DeviceSet set{SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT)};
  if (set.h == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; found.empty() && SetupDiEnumDeviceInfo(set.h, i, &info); ++i) {
    const Key key{SetupDiOpenDevRegKey(set.h, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ)};
    if (key.h == INVALID_HANDLE_VALUE) continue;
    wchar_t port[64] = {};
    DWORD bytes = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const bool named = RegQueryValueExW(key.h, L"PortName", nullptr, &type,
                                        reinterpret_cast<BYTE*>(port), &bytes) == ERROR_SUCCESS &&
                       type == REG_SZ;
    if (!named || ComNumber(port) != number) continue;
    wchar_t friendly[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set.h, &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr)) {
      found = Utf8(friendly);
      const std::string tail = " (COM" + std::to_string(number) + ")";
      if (found.size() > tail.size() &&
          found.compare(found.size() - tail.size(), tail.size(), tail) == 0) {
        found.resize(found.size() - tail.size());
      }
    }
  }
  return found;
}

}  // namespace

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  {
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                      &key.h) != ERROR_SUCCESS) {
      return ports;
    }
    for (DWORD i = 0;; ++i) {
      wchar_t device[256] = {};
      wchar_t com[64] = {};
      DWORD deviceLength = 255;
      DWORD comBytes = sizeof com - sizeof(wchar_t);
      DWORD type = 0;
      const LONG r = RegEnumValueW(key.h, i, device, &deviceLength, nullptr, &type,
                                   reinterpret_cast<BYTE*>(com), &comBytes);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS || type != REG_SZ) continue;
      const int n = ComNumber(com);
      if (n < 1 || n > 255) continue;
      PresentPort p;
      p.number = static_cast<uint8_t>(n);
      ports.push_back(p);
    }
  }
  for (PresentPort& p : ports) p.name = FriendlyName(p.number);
  std::sort(ports.begin(), ports.end(),
            [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

// Windows does not say which program holds a port.
std::vector<PortHolder> PortHolders(const std::string&) {
  return {};
}

std::string TemporaryFolder() {
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  std::string dir = n > 0 && n <= MAX_PATH + 1 ? Utf8(path) : std::string("C:\\Windows\\Temp");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

}  // namespace zev::platform

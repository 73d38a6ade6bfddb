// The serial ports of a Windows machine. HARDWARE\DEVICEMAP\SERIALCOMM lists
// them (the kernel's device name and the COM name); the device manager's Ports
// class gives the friendly names where it has them; an open that the system
// refuses with "access denied" is a port another program holds (Windows does
// not say which).
#include <windows.h>

#include <initguid.h>  // first: devguid.h then defines the class GUIDs

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <utility>

#include "system_win.h"
#include "zev/platform/ports.h"
#include "zev/platform/text.h"

namespace zev::platform {
namespace {

int ComNumber(const std::wstring& name) {
  if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return -1;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9' || n > 100000) return -1;
    n = n * 10 + (name[i] - L'0');
  }
  return n;
}

class RegistryKey {
 public:
  RegistryKey(HKEY parent, const wchar_t* path) {
    if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  explicit RegistryKey(HKEY key) : key_(key == INVALID_HANDLE_VALUE ? nullptr : key) {}
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// COM name -> kernel device name, from the system's list of serial ports.
std::vector<std::pair<std::wstring, std::wstring>> SerialComm() {
  std::vector<std::pair<std::wstring, std::wstring>> ports;
  RegistryKey key(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
  if (key.Get() == nullptr) return ports;
  for (DWORD i = 0;; ++i) {
    wchar_t device[256] = {};
    wchar_t com[64] = {};
    DWORD deviceLength = 255;
    DWORD comBytes = sizeof com - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r = RegEnumValueW(key.Get(), i, device, &deviceLength, nullptr, &type,
                                 reinterpret_cast<BYTE*>(com), &comBytes);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS && type == REG_SZ) ports.emplace_back(com, device);
  }
  return ports;
}

// A device information set, destroyed when it goes.
class DeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}
  ~DeviceSet() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;
  HDEVINFO Get() const { return set_; }

 private:
  HDEVINFO set_;
};

// COM name -> the device manager's friendly name, e.g. "USB Serial Port (COM3)".
std::vector<std::pair<std::wstring, std::wstring>> FriendlyNames() {
  std::vector<std::pair<std::wstring, std::wstring>> names;
  const DeviceSet set(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
  if (set.Get() == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &info); ++i) {
    RegistryKey key(
        SetupDiOpenDevRegKey(set.Get(), &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (key.Get() == nullptr) continue;
    wchar_t port[64] = {};
    DWORD bytes = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
      continue;
    }
    wchar_t friendly[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set.Get(), &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr)) {
      names.emplace_back(port, friendly);
    }
  }
  return names;
}

// The friendly name the device manager gives the port named `com`, if any.
std::wstring FriendlyName(const std::vector<std::pair<std::wstring, std::wstring>>& names,
                          const std::wstring& com) {
  for (const auto& [port, friendly] : names) {
    if (_wcsicmp(port.c_str(), com.c_str()) == 0) return friendly;
  }
  return std::wstring();
}

// Opens the port as the driver does (exclusively) and closes it again.
DWORD TryOpen(int com) {
  const std::wstring path = L"\\\\.\\COM" + std::to_wstring(com);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(h);
  return ERROR_SUCCESS;
}

bool Held(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

bool Absent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  const auto friendly = FriendlyNames();
  for (const auto& entry : SerialComm()) {
    const int n = ComNumber(entry.first);
    if (n < 1 || n > 255) continue;
    PresentPort p;
    p.number = static_cast<uint8_t>(n);
    // The friendly name without its " (COM<number>)" tail.
    p.name = WideToUtf8(FriendlyName(friendly, entry.first));
    const std::string tail = " (COM" + std::to_string(n) + ")";
    if (p.name.size() > tail.size() &&
        p.name.compare(p.name.size() - tail.size(), tail.size(), tail) == 0) {
      p.name.resize(p.name.size() - tail.size());
    }
    ports.push_back(p);
  }
  std::sort(ports.begin(), ports.end(),
            [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

// Windows does not say which program holds a port.
std::vector<PortHolder> PortHolders(const std::string&) {
  return {};
}

std::vector<PortEntry> ListPorts() {
  std::vector<PortEntry> ports;
  const auto friendly = FriendlyNames();
  for (const auto& [com, device] : SerialComm()) {
    PortEntry p;
    p.name = WideToUtf8(com);
    p.device = WideToUtf8(device);
    p.com = ComNumber(com);
    p.description = WideToUtf8(FriendlyName(friendly, com));
    if (p.com >= 0) {
      const DWORD error = TryOpen(p.com);
      p.state = Held(error)     ? PortState::Busy
                : Absent(error) ? PortState::Missing
                                : PortState::Free;
    }
    ports.push_back(std::move(p));
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortEntry& a, const PortEntry& b) { return a.com < b.com; });
  return ports;
}

std::vector<int> MappedComNumbers() {
  std::vector<int> numbers;
  for (const auto& entry : SerialComm()) {
    const int n = ComNumber(entry.first);
    if (n >= 0) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

SystemLine SystemLineOf(int) {
  return SystemLine();  // no console or login line runs on a COM port here
}

OpenDiagnosis DiagnoseOpen(int port) {
  OpenDiagnosis d;
  const std::wstring com = L"COM" + std::to_wstring(port);
  for (const auto& entry : SerialComm()) {
    if (_wcsicmp(entry.first.c_str(), com.c_str()) == 0) d.device = WideToUtf8(entry.second);
  }
  const DWORD error = TryOpen(port);
  if (d.device.empty() && Absent(error)) return d;  // no such port at all
  if (d.device.empty()) d.device = WideToUtf8(com);
  d.exists = !Absent(error);
  d.busy = Held(error);
  if (error != ERROR_SUCCESS && d.exists && !d.busy) d.systemError = SystemMessage(error);
  return d;
}

std::vector<PortHolder> OpenWithoutLock(int) {
  return {};  // the driver opens a port exclusively here: nobody shares it
}

PortsDirectory PortsDirectoryState() {
  return PortsDirectory();  // the system names the ports; no directory maps them
}

}  // namespace zev::platform

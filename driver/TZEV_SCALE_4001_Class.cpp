// The revision 4001 driver object: construction, registration, the last
// error, and the lines it opens and holds.
#include "TZEV_SCALE_4001_Class.h"

#include <cstdio>

#include "TTrace.h"
#include "zev/platform/system.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::driver {

using platform::Utf8ToUtf16;

TZEV_SCALE_4001_Class::TZEV_SCALE_4001_Class()
    : stateFolder_(platform::StateFolder()),
      defaultTraceFile_(
          Utf8ToUtf16(stateFolder_ + platform::kPathSeparator + "zevscale-trace.txt")),
      traceFile_(defaultTraceFile_) {}

std::unique_ptr<v8napi::TV8UserObject> TZEV_SCALE_4001_Class::Create() {
  return std::make_unique<TZEV_SCALE_4001_Class>();
}

void TZEV_SCALE_4001_Class::ClearLastError() {
  std::lock_guard<std::recursive_mutex> lock(state_);
  lastErrorCode_ = kErrNone;
  lastErrorText_.clear();
}

bool TZEV_SCALE_4001_Class::Fail(std::u16string text, int32_t code) {
  std::lock_guard<std::recursive_mutex> lock(state_);
  lastErrorCode_ = code;
  lastErrorText_ = std::move(text);
  return false;
}

void TZEV_SCALE_4001_Class::OnDone() {
  std::map<std::u16string, std::shared_ptr<TLine>> devices;
  {
    std::lock_guard<std::recursive_mutex> lock(state_);
    devices.swap(devices_);
  }
  for (auto& [id, line] : devices) {
    std::lock_guard<std::mutex> lock(line->exchange);
    if (line->device.IsOpen()) line->device.Close();
  }
}

bool TZEV_SCALE_4001_Class::SetText(v8napi::tVariant* value, std::u16string_view text) {
  return v8napi::SetVariantWStr(*this, value, text);
}

std::u16string TZEV_SCALE_4001_Class::Kilograms(double kg) const {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", kg);
  std::u16string out = Utf8ToUtf16(text);
  if (language_ == Lang::Ru) {
    for (char16_t& c : out) {
      if (c == u'.') c = u',';
    }
  }
  return out + u" " + T(Msg::Kg);
}

std::u16string TZEV_SCALE_4001_Class::TraceTarget() const {
  if (trace_) return traceFile_;
  return Utf8ToUtf16(platform::EnvironmentVariable(scales::kTraceVariable));
}

std::u16string TZEV_SCALE_4001_Class::LinkName() const {
  if (!tcp_) return u"COM" + Utf8ToUtf16(std::to_string(port_));
  platform::TcpAddress address;
  address.host = platform::Utf16ToUtf8(host_);
  address.port = static_cast<uint16_t>(tcpPort_);
  address.rfc2217 = rfc2217_;
  return Utf8ToUtf16(address.Url());
}

void TZEV_SCALE_4001_Class::CheckTrace() {
  traceError_.clear();
  const std::u16string target = TraceTarget();
  if (target.empty() || SameIgnoringCase(target, u"stderr")) return;
  if (trace_ && traceFile_ == defaultTraceFile_) platform::EnsureFolder(stateFolder_);
  // Opened (and made) here as the line's trace will open it: what fails here
  // fails there.
  platform::AppendFile file;
  std::string error;
  if (!file.Open(platform::Utf16ToUtf8(target), &error)) traceError_ = Utf8ToUtf16(error);
}

std::u16string TZEV_SCALE_4001_Class::TraceNote() const {
  std::lock_guard<std::recursive_mutex> lock(state_);
  if (traceError_.empty()) return std::u16string();
  return u" " + T(Msg::TraceNotOpened, {TraceTarget(), traceError_});
}

auto TZEV_SCALE_4001_Class::OpenLine(std::u16string& why) -> std::unique_ptr<TLine> {
  for (const char16_t* name :
       {u"Model", u"Connection", tcp_ ? u"Host" : u"Port", tcp_ ? u"TCPPort" : u"Port"}) {
    const auto refused = refused_.find(name);
    if (refused != refused_.end()) {
      why = T(Msg::RefusedSetting, {name, refused->second});
      return nullptr;
    }
  }
  auto line = std::make_unique<TLine>();
  TScaleDevice& device = line->device;
  line->link = LinkName();
  if (!device.SetModel(model_)) {
    why = NoModelText(language_, model_);
    return nullptr;
  }
  device.SetFastReplies(true);
  CheckTrace();
  device.SetTraceTarget(platform::Utf16ToUtf8(trace_ ? traceFile_ : std::u16string()));
  bool opened = false;
  if (!tcp_) {
    opened = device.Open(static_cast<uint8_t>(port_));
  } else if (host_.empty()) {
    why = T(Msg::NoHost);
    return nullptr;
  } else {
    platform::TcpAddress address;
    address.host = platform::Utf16ToUtf8(host_);
    address.port = static_cast<uint16_t>(tcpPort_);
    address.rfc2217 = rfc2217_;
    opened = device.Open(scales::TEndpoint::Tcp(address));
  }
  if (opened) return line;
  why = DeviceErrorText(device);
  return nullptr;
}

auto TZEV_SCALE_4001_Class::HeldLine(std::u16string* id) const -> std::shared_ptr<TLine> {
  const std::u16string link = LinkName();
  for (const auto& [key, line] : devices_) {
    if (line->link != link) continue;
    if (id != nullptr) *id = key;
    return line;
  }
  return nullptr;
}

void RegisterDriver4001(v8napi::TClassRegList& registry) {
  using T = TZEV_SCALE_4001_Class;
  using v8napi::FuncHandler;
  // The English editions of the equipment library call some methods by other
  // names: each finds the method too.
  static const MethodRow methods[] = {
      {u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0,
       FuncHandler<T, &T::GetInterfaceRevision>},
      {u"GetVersion", u"ПолучитьНомерВерсии", 0, FuncHandler<T, &T::GetVersion>},
      {u"GetDescription", u"ПолучитьОписание", 1, FuncHandler<T, &T::GetDescription>},
      {u"GetLastError", u"ПолучитьОшибку", 1, FuncHandler<T, &T::GetLastError>},
      {u"GetParameters", u"ПолучитьПараметры", 1, FuncHandler<T, &T::GetParameters>},
      {u"SetParameter", u"УстановитьПараметр", 2, FuncHandler<T, &T::SetParameter>},
      {u"Open", u"Подключить", 1, FuncHandler<T, &T::Open>, u"Connect"},
      {u"Close", u"Отключить", 1, FuncHandler<T, &T::Close>, u"Disconnect"},
      {u"DeviceTest", u"ТестУстройства", 2, FuncHandler<T, &T::DeviceTest>},
      {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1,
       FuncHandler<T, &T::GetAdditionalActions>},
      {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1,
       FuncHandler<T, &T::DoAdditionalAction>},
      {u"GetWeight", u"ПолучитьВес", 2, FuncHandler<T, &T::GetWeight>},
      {u"Calibrate", u"УстановитьВесТары", 2, FuncHandler<T, &T::Calibrate>, u"SetTareWeight"},
      {u"SetLocalization", u"УстановитьЛокализацию", 2, FuncHandler<T, &T::SetLocalization>},
  };
  RegisterClass(registry, &T::Create, kClassName4001, methods);
}

}  // namespace zev::driver

// The revision 4001 driver object: construction, registration, the last error
// and the texts of the device core's failures.
#include "TZEV_SCALE_4001_Class.h"

#include <cstdio>
#include <optional>

#include "TTrace.h"
#include "TZEV_SCALE_Class.h"
#include "zev/platform/serial.h"
#include "zev/platform/system.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::driver {

using platform::Utf8ToUtf16;

namespace {

// Why a converter could not be reached or went away; null for Ok.
const char16_t* LinkFailureText(platform::TcpStatus status) {
  switch (status) {
    case platform::TcpStatus::Ok:
      return nullptr;
    case platform::TcpStatus::ResolveFailed:
      return u"Имя преобразователя не найдено";
    case platform::TcpStatus::ResolveTimedOut:
      return u"Сервер имён не ответил за 1 с";
    case platform::TcpStatus::Refused:
      return u"Преобразователь отказал в соединении";
    case platform::TcpStatus::TimedOut:
      return u"Преобразователь не ответил на соединение за 1 с";
    case platform::TcpStatus::Unreachable:
      return u"Нет пути к преобразователю в сети";
    case platform::TcpStatus::Closed:
      return u"Соединение закрыто преобразователем";
    case platform::TcpStatus::Busy:
      return u"Преобразователь занят другим соединением";
    case platform::TcpStatus::Failed:
      break;
  }
  return u"Не удалось соединиться с преобразователем";
}

}  // namespace

TZEV_SCALE_4001_Class::TZEV_SCALE_4001_Class()
    : TraceFile(Utf8ToUtf16(platform::TemporaryFolder() +
#if defined(_WIN32)
                            "\\"
#else
                            "/"
#endif
                            "zevscale-trace.txt")) {
}

std::unique_ptr<v8napi::TV8UserObject> TZEV_SCALE_4001_Class::Create() {
  return std::make_unique<TZEV_SCALE_4001_Class>();
}

bool TZEV_SCALE_4001_Class::Fail(std::u16string text, int32_t code) {
  std::lock_guard<std::recursive_mutex> lock(state);
  lastErrorCode_ = code;
  lastErrorText_ = std::move(text);
  return false;
}

void TZEV_SCALE_4001_Class::OnDone() {
  std::map<std::u16string, std::shared_ptr<TLine>> devices;
  {
    std::lock_guard<std::recursive_mutex> lock(state);
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
  if (Language == Lang::Ru) {
    for (char16_t& c : out) {
      if (c == u'.') c = u',';
    }
  }
  return out + u" " + T(Msg::Kg);
}

std::u16string TZEV_SCALE_4001_Class::TraceTarget() const {
  if (Trace) return TraceFile;
  return Utf8ToUtf16(platform::EnvironmentVariable(scales::kTraceVariable));
}

std::u16string TZEV_SCALE_4001_Class::LinkName() const {
  if (!Tcp) return u"COM" + Utf8ToUtf16(std::to_string(Port));
  platform::TcpAddress address;
  address.host = platform::Utf16ToUtf8(Host);
  address.port = static_cast<uint16_t>(TcpPort);
  return Utf8ToUtf16(address.Url());
}

std::unique_ptr<TLine> TZEV_SCALE_4001_Class::OpenLine(std::u16string& why) const {
  for (const char16_t* name :
       {u"Model", u"Connection", Tcp ? u"Host" : u"Port", Tcp ? u"TCPPort" : u"Port"}) {
    const auto refused = Refused.find(name);
    if (refused != Refused.end()) {
      why = T(Msg::RefusedSetting, {name, refused->second});
      return nullptr;
    }
  }
  auto line = std::make_unique<TLine>();
  TScaleDevice& device = line->device;
  line->link = LinkName();
  if (!device.SetModel(Model)) {
    why = T(Msg::NoModel, {Model});
    return nullptr;
  }
  device.SetFastReplies(true);
  device.SetTraceTarget(platform::Utf16ToUtf8(Trace ? TraceFile : std::u16string()));
  bool opened = false;
  if (!Tcp) {
    opened = device.Open(static_cast<uint8_t>(Port));
  } else if (Host.empty()) {
    why = T(Msg::NoHost);
    return nullptr;
  } else {
    platform::TcpAddress address;
    address.host = platform::Utf16ToUtf8(Host);
    address.port = static_cast<uint16_t>(TcpPort);
    opened = device.Open(scales::TEndpoint::Tcp(address));
  }
  if (opened) return line;
  why = DeviceErrorText(device);
  return nullptr;
}

std::shared_ptr<TLine> TZEV_SCALE_4001_Class::HeldLine(std::u16string* id) const {
  const std::u16string link = LinkName();
  for (const auto& [key, line] : devices_) {
    if (line->link != link) continue;
    if (id != nullptr) *id = key;
    return line;
  }
  return nullptr;
}

std::u16string TZEV_SCALE_4001_Class::DeviceErrorText(const TScaleDevice& d) const {
  const Failure& e = d.Error();
  const ModelRow* row = d.Model();
  const std::u16string model = row != nullptr ? NameOf(*row) : Model;
  const std::u16string port = Utf8ToUtf16(std::to_string(d.Port()));
  const bool tcp = d.Endpoint().kind == scales::TEndpoint::Kind::Tcp;
  // The link as the texts name it: COM3, tcp://HOST:PORT, or a COM<N> that
  // stands for a converter with its address.
  std::u16string link = Utf8ToUtf16(d.Endpoint().Name());
  if (const platform::TcpAddress* converter = d.ConverterBehind())
    link += u" (" + Utf8ToUtf16(converter->Url()) + u")";
  const std::u16string device = platform::Cp1251ToUtf16(platform::SerialPort::DeviceName(d.Port()));
  const std::u16string bytes = platform::Cp1251ToUtf16(scales::TTrace::Dump(e.bytes));
  switch (e.fault) {
    case Fault::None:
    case Fault::BadValue:
    case Fault::UnknownDevice:
      return std::u16string();
    case Fault::NoModel:
      return T(Msg::NoModel, {Model});
    case Fault::PortMissing:
      return T(Msg::PortMissing, {port, device});
    case Fault::PortNoAccess:
      return T(Msg::PortNoAccess, {port, device});
    case Fault::PortBusy: {
      std::u16string who;
      for (const platform::PortHolder& h : e.holders) {
        if (static_cast<unsigned long>(h.pid) == platform::ProcessId())
          return T(Msg::PortBusyHere, {port, device});
        if (!who.empty()) who += u", ";
        who += u"PID " + Utf8ToUtf16(std::to_string(h.pid));
        if (!h.name.empty()) who += u" (" + Utf8ToUtf16(h.name) + u")";
      }
      return who.empty() ? T(Msg::PortBusy, {port, device})
                         : T(Msg::PortBusyBy, {port, device, who});
    }
    case Fault::PortRefused:
      return T(Msg::PortRefused, {port, device});
    case Fault::LineSettings:
      return T(Msg::LineSettings, {port});
    case Fault::Timeouts:
      return T(Msg::Timeouts, {port});
    case Fault::NotOpen:
    case Fault::CloseFailed:
      return T(Msg::NotConnected);
    case Fault::CommandFailed:
      return T(Msg::CommandFailed, {link});
    case Fault::NothingArrived:
      return T(tcp ? Msg::NothingArrivedTcp : Msg::NothingArrived, {model, link});
    case Fault::NotAReply:
      return T(Msg::NotAReply, {model, link, bytes});
    case Fault::LineGone:
      return T(Msg::LineGone, {model, link});
    case Fault::NotAWeight:
      return T(Msg::NotAWeight, {model, link, platform::Cp1251ToUtf16(e.weightText)});
    case Fault::Unsupported:
      return T(Msg::ZeroUnsupported, {model});
    case Fault::NoAnswerAfterCommand:
      return T(Msg::NoAnswerAfterCommand, {model, link});
    case Fault::LinkFailed: {
      // The Russian reason as the link layer words it; the English one from
      // the system's status words, capitalised.
      std::u16string why;
      if (Language == Lang::Ru) {
        const char16_t* text = LinkFailureText(e.link);
        why = text != nullptr ? text : u"";
      } else {
        why = Utf8ToUtf16(platform::TcpStatusText(e.link));
        if (!why.empty() && why[0] >= u'a' && why[0] <= u'z')
          why[0] = static_cast<char16_t>(why[0] - 32);
      }
      return T(Msg::LinkFailed, {link, why});
    }
  }
  return std::u16string();
}

void RegisterDriver4001(v8napi::TClassRegList& registry) {
  using T = TZEV_SCALE_4001_Class;
  using v8napi::FuncHandler;
  v8napi::TClassReg& cls = registry.AddClass(&T::Create, kComponentName, kClassName4001);
  cls.AddFunction(u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0,
                  FuncHandler<T, &T::GetInterfaceRevision>);
  cls.AddFunction(u"GetVersion", u"ПолучитьНомерВерсии", 0, FuncHandler<T, &T::GetVersion>);
  cls.AddFunction(u"GetDescription", u"ПолучитьОписание", 1, FuncHandler<T, &T::GetDescription>);
  cls.AddFunction(u"GetLastError", u"ПолучитьОшибку", 1, FuncHandler<T, &T::GetLastError>);
  cls.AddFunction(u"GetParameters", u"ПолучитьПараметры", 1, FuncHandler<T, &T::GetParameters>);
  cls.AddFunction(u"SetParameter", u"УстановитьПараметр", 2, FuncHandler<T, &T::SetParameter>);
  // The English editions of the equipment library call some methods by other
  // names: each finds the method too.
  cls.AddFunction(u"Open", u"Подключить", 1, FuncHandler<T, &T::Open>).OtherNames = {u"Connect"};
  cls.AddFunction(u"Close", u"Отключить", 1, FuncHandler<T, &T::Close>).OtherNames = {
      u"Disconnect"};
  cls.AddFunction(u"DeviceTest", u"ТестУстройства", 2, FuncHandler<T, &T::DeviceTest>);
  cls.AddFunction(u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1,
                  FuncHandler<T, &T::GetAdditionalActions>);
  cls.AddFunction(u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1,
                  FuncHandler<T, &T::DoAdditionalAction>);
  cls.AddFunction(u"GetWeight", u"ПолучитьВес", 2, FuncHandler<T, &T::GetWeight>);
  cls.AddFunction(u"Calibrate", u"УстановитьВесТары", 2, FuncHandler<T, &T::Calibrate>)
      .OtherNames = {u"SetTareWeight"};
  cls.AddFunction(u"SetLocalization", u"УстановитьЛокализацию", 2,
                  FuncHandler<T, &T::SetLocalization>);
}

}  // namespace zev::driver

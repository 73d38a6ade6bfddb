// The driver class of interface revision 4001, the one the platform's
// equipment library attaches. The library keeps one object per driver and
// sends each device's settings through it before each connect or test: the
// settings are for the next connection, and one object holds any number of
// devices, each named by the identifier its "Open" gave. Wide texts in
// Russian or English, a settings page and a description as XML, error codes
// 0, 1001 and 65535 with texts that say why.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "TScaleDevice.h"
#include "v8napi/v8napi.h"
#include "xml.h"
#include "zev/platform/message.h"
#include "zev/platform/text.h"

namespace zev::driver {

inline const char16_t* const kClassName4001 = u"TZEV_SCALE_4001_Class";
constexpr int32_t kInterfaceRevision = 4001;

using platform::Lang;

// Every text of the class, in both languages (texts_4001.cpp).
enum class Msg : uint16_t {
  PageCaption,
  GroupCaption,
  ModelCaption,
  ModelDescription,
  PortCaption,
  PortDescription,
  ConnectionCaption,
  ConnectionDescription,
  ConnectionCom,
  ConnectionTcp,
  HostCaption,
  HostDescription,
  TcpPortCaption,
  TcpPortDescription,
  TraceCaption,
  TraceDescription,
  TraceFileCaption,
  TraceFileDescription,
  ZeroingCaption,
  NoModel,
  PortMissing,
  PortNoAccess,
  PortBusy,
  PortBusyBy,
  PortBusyHere,
  PortRefused,
  LineSettings,
  Timeouts,
  NotConnected,
  CommandFailed,
  NothingArrived,
  NothingArrivedTcp,
  NotAReply,
  LineGone,
  NotAWeight,
  ZeroUnsupported,
  NoAnswerAfterCommand,
  NoTareCancel,
  TareNegative,
  LinkFailed,
  NoHost,
  RefusedSetting,
  LineTakenByModel,
  UnknownDevice,
  WrongEquipmentType,
  BadPort,
  BadConnection,
  BadHost,
  BadTcpPort,
  BadBoolean,
  BadText,
  BadTare,
  UnknownAction,
  WrongParameterCount,
  TestAnswered,
  TestThroughConnection,
  TestOpenedForIt,
  TestFailed,
  Kg,
};

// The text of `id` in `lang` with %1, %2, ... replaced by `args`.
std::u16string Text(Lang lang, Msg id, std::initializer_list<std::u16string_view> args = {});

class TZEV_SCALE_4001_Class;

// One parameter of the settings page: its name, captions, type, current value
// as the page shows it, choices and how a value is taken. A new setting is a
// new row of Parameters().
enum class ParamType : uint8_t { String, Number, Boolean };
struct ParameterRow {
  const char16_t* name;
  Msg caption;
  Msg description;
  ParamType type;
  std::u16string (*current)(const TZEV_SCALE_4001_Class& object);
  // (value, shown text) pairs; null: a free field.
  std::vector<std::pair<std::u16string, std::u16string>> (*choices)(
      const TZEV_SCALE_4001_Class& object);
  // False with the object's last error set when the value is refused.
  bool (*set)(TZEV_SCALE_4001_Class& object, const v8napi::tVariant& value);
};
const std::vector<ParameterRow>& Parameters();

// A line the object holds (a port or a converter's address) with its
// device, shared by every identifier connected through it; one exchange on it
// at a time.
struct TLine {
  std::mutex exchange;
  TScaleDevice device;
  std::u16string link;  // "COM3", "tcp://HOST:PORT"
  size_t users = 0;     // identifiers connected through it
};

class TZEV_SCALE_4001_Class : public v8napi::TV8UserObject {
 public:
  TZEV_SCALE_4001_Class();
  static std::unique_ptr<v8napi::TV8UserObject> Create();

  // Method handlers, in registration order.
  bool GetInterfaceRevision(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetVersion(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetDescription(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetLastError(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetParameters(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool SetParameter(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool Open(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool Close(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool DeviceTest(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetAdditionalActions(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool DoAdditionalAction(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool GetWeight(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool Calibrate(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);
  bool SetLocalization(v8napi::tVariant* ret, v8napi::tVariant* params, int32_t count);

  // "Done": every device of the object closed.
  void OnDone() override;

  // The XML documents as the class gives them.
  std::u16string DescriptionXml() const;
  std::u16string SettingsXml() const;

  // The settings, for the next connection or test (guarded by `state`).
  std::u16string Model;
  int Port = 1;
  bool Tcp = false;  // Connection: "TCP" (a converter at Host:TCPPort) or "COM" (Port)
  std::u16string Host;
  int TcpPort = 4001;
  bool Trace = false;
  std::u16string TraceFile;
  std::atomic<Lang> Language{Lang::Ru};
  // The settings whose last value was refused, with the refusal: a setting
  // refused is not set, and nothing connects with it.
  std::map<std::u16string, std::u16string> Refused;

  std::u16string T(Msg id, std::initializer_list<std::u16string_view> args = {}) const {
    return Text(Language, id, args);
  }
  // Records a failed operation with its text and gives false.
  bool Fail(std::u16string text, int32_t code = 1001);
  // The text of a device's last failure; `model` names the model when the
  // device has none.
  std::u16string DeviceErrorText(const TScaleDevice& device) const;
  // A weight as the user reads it: three decimals, the language's separator.
  std::u16string Kilograms(double kg) const;
  // Where the trace is written, or empty when it is not.
  std::u16string TraceTarget() const;
  // "COM3" or "tcp://HOST:PORT", as the settings say.
  std::u16string LinkName() const;

  // The object's own state (settings, devices, last error) is guarded here;
  // each line's exchanges by its own lock, so that devices of one object are
  // used from several threads at once.
  mutable std::recursive_mutex state;

 private:
  // Runs a handler's body: the count checked, the last error cleared, every
  // exception recorded as a failure; the result written as a boolean.
  template <class Body>
  bool Run(const char16_t* method, int32_t count, int32_t expected, v8napi::tVariant* ret,
           Body&& body);
  // The line that identifier `id` names, or null with code 65535 recorded.
  std::shared_ptr<TLine> LineOf(const v8napi::tVariant& id);
  // A device opened where the settings say (the state locked by the caller);
  // null with the reason in `why`.
  std::unique_ptr<TLine> OpenLine(std::u16string& why) const;
  // The line that the settings name, when a device of this object holds it.
  std::shared_ptr<TLine> HeldLine(std::u16string* id = nullptr) const;
  // Runs `op` on the line the settings name: through a connection the object
  // holds, or on the port opened for it and closed after it. `held` tells which.
  template <class Op>
  bool OnCurrentLine(Op&& op, bool& held, std::u16string& heldId);
  bool SetText(v8napi::tVariant* value, std::u16string_view text);

  std::map<std::u16string, std::shared_ptr<TLine>> devices_;  // by identifier
  uint32_t connections_ = 0;
  int32_t lastErrorCode_ = 0;
  std::u16string lastErrorText_;
};

template <class Body>
bool TZEV_SCALE_4001_Class::Run(const char16_t* method, int32_t count, int32_t expected,
                                v8napi::tVariant* ret, Body&& body) {
  bool ok = false;
  try {
    {
      std::lock_guard<std::recursive_mutex> lock(state);
      lastErrorCode_ = 0;
      lastErrorText_.clear();
    }
    if (count != expected) {
      const std::string got = std::to_string(count), want = std::to_string(expected);
      ok = Fail(T(Msg::WrongParameterCount, {method, std::u16string(got.begin(), got.end()),
                                             std::u16string(want.begin(), want.end())}));
    } else {
      ok = body();
    }
  } catch (const std::exception& e) {
    ok = Fail(platform::Cp1251ToUtf16(e.what()));
  } catch (...) {
    ok = Fail(u"?");
  }
  // The call is carried out whatever the operation's outcome, so that the
  // caller can read the error.
  v8napi::SetVariantBool(*this, ret, ok);
  return true;
}

// Adds the class and its methods to `registry`.
void RegisterDriver4001(v8napi::TClassRegList& registry);

}  // namespace zev::driver

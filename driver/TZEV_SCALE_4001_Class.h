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
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "TScaleDevice.h"
#include "identity.h"
#include "methods.h"
#include "parameters.h"
#include "v8napi/v8napi.h"
#include "zev/platform/message.h"

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
  ConnectionRfc2217,
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
  TraceNotOpened,
  Kg,
};

// The text of `id` in `lang` with %1, %2, ... replaced by `args`.
std::u16string Text(Lang lang, Msg id, std::initializer_list<std::u16string_view> args = {});
// The text of a model that is not in the table, with the names of those that are.
std::u16string NoModelText(Lang lang, std::u16string_view model);

// The text of `device`'s last failure in `lang`; `model` names the model
// when the device has none.
std::u16string FailureText(Lang lang, const TScaleDevice& device, std::u16string_view model);

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

  // For RunMethod: the last error cleared; a failure recorded (gives
  // false); the text of a call with the wrong number of parameters.
  void ClearLastError();
  bool Fail(std::u16string text, int32_t code = kErrOperation);
  std::u16string WrongCountText(std::u16string_view method, std::u16string_view got,
                                std::u16string_view want) const {
    return T(Msg::WrongParameterCount, {method, got, want});
  }

 private:
  // The settings' rows and what they do (settings_4001.cpp).
  struct Settings;
  using Row = ParameterRow<TZEV_SCALE_4001_Class, Msg>;

  // A line the object holds (a port or a converter's address) with its
  // device, shared by every identifier connected through it; one exchange on it
  // at a time.
  struct TLine {
    std::mutex exchange;
    TScaleDevice device;
    std::u16string link;  // "COM3", "tcp://HOST:PORT"
    size_t users = 0;     // identifiers connected through it
  };

  std::u16string T(Msg id, std::initializer_list<std::u16string_view> args = {}) const {
    return Text(language_, id, args);
  }
  // The text of a device's last failure in the object's language.
  std::u16string DeviceErrorText(const TScaleDevice& device) const {
    return FailureText(language_, device, model_);
  }
  // A weight as the user reads it: three decimals, the language's separator.
  std::u16string Kilograms(double kg) const;
  // Where the trace is written, or empty when it is not.
  std::u16string TraceTarget() const;
  // Before a line opens: the default trace file's folder made on its first
  // trace, and the system's words kept when the trace file cannot be opened.
  void CheckTrace();
  // " The trace file ... could not be opened ..." after the last open, or empty.
  std::u16string TraceNote() const;
  // "COM3" or "tcp://HOST:PORT", as the settings say.
  std::u16string LinkName() const;
  // The line that identifier `id` names, or null with code 65535 recorded.
  std::shared_ptr<TLine> LineOf(const v8napi::tVariant& id);
  // A device opened where the settings say (the state locked by the caller);
  // null with the reason in `why`.
  std::unique_ptr<TLine> OpenLine(std::u16string& why);
  // The line that the settings name, when a device of this object holds it.
  std::shared_ptr<TLine> HeldLine(std::u16string* id = nullptr) const;
  // Runs `op` on the line the settings name: through a connection the object
  // holds, or on the port opened for it and closed after it. `held` tells which.
  template <class Op>
  bool OnCurrentLine(Op&& op, bool& held, std::u16string& heldId);
  bool SetText(v8napi::tVariant* value, std::u16string_view text);

  // The object's own state (settings, devices, last error) is guarded here;
  // each line's exchanges by its own lock, so that devices of one object are
  // used from several threads at once.
  mutable std::recursive_mutex state_;

  // The settings, for the next connection or test.
  std::u16string model_;
  int port_ = 1;
  bool tcp_ = false;      // Connection: "TCP" (a converter at Host:TCPPort) or "COM" (Port)
  bool rfc2217_ = false;  // Connection: "RFC2217" (tcp_ too: the converter takes its line from us)
  std::u16string host_;
  int tcpPort_ = 4001;
  bool trace_ = false;
  std::string stateFolder_;          // the user's own folder, made by the first trace
  std::u16string defaultTraceFile_;  // the trace file in it
  std::u16string traceFile_;
  std::u16string traceError_;  // why the trace file did not open at the last open
  std::atomic<Lang> language_{Lang::Ru};
  // The settings whose last value was refused, with the refusal: a setting
  // refused is not set, and nothing connects with it.
  std::map<std::u16string, std::u16string> refused_;

  std::map<std::u16string, std::shared_ptr<TLine>> devices_;  // by identifier
  uint32_t connections_ = 0;
  int32_t lastErrorCode_ = kErrNone;
  std::u16string lastErrorText_;
};

// Adds the class and its methods to `registry`.
void RegisterDriver4001(v8napi::TClassRegList& registry);

}  // namespace zev::driver

// Every text the tools show people, in English and Russian, in one place.
#pragma once

#include <initializer_list>
#include <string>

namespace zev::cli {

enum class Lang { English, Russian };

enum class M {
  Kg,
  UnknownModel,
  ErrorLine,
  NoDriverText,
  DeviceTestFailed,
  WhyNoDevice,
  WhyMissing,
  WhyMappedTo,
  WhyNoPermission,
  WhyDialout,
  WhyBusyBy,
  WhyBusy,
  WhyOpenError,
  WhyNothingArrived,
  WhyNotAReply,
  WhyNotAWeight,
  WhyLineGone,
  WhyUnknownReply,
  SeeTrace,
  TraceUnwritable,
  Tared,
  TareCancelled,
  PlatformTold,
  Zeroed,
  Simulated,
  PortsNone,
  PortFree,
  PortBusy,
  PortBusyBy,
  PortMissing,
  PortNoAccess,
  ScanNone,
  ScanSettings,
  ScanBestFit,
  ScanWhyAwOverNt,
  ScanWhyDistinct,
  ScanTime,
  ScanBytesNoModel,
  ScanUnavailable,
  ScanLate,
  ScanOnce,
  WatchInterrupted,
  InfoClasses,
  InfoComponent,
  InfoInterface,
  InfoVersion,
  InfoName,
  InfoDescription,
  InfoType,
  InfoWeb,
  InfoMethods,
  CannotLoad,
  NoObject,
  CannotSimulate,
  NoSimulation,
  AddinOtherBits,
  AddinLacksExports,
  // The command line.
  NoCommand,
  UnknownCommand,
  NotForCommand,
  UnknownOption,
  OptionNeeds,
  NeedPath,
  NeedModel,
  NeedPortNumber,
  NeedPortList,
  NeedModelList,
  NeedMillis,
  NeedNumber,
  CountNeedsWatch,
  CommandNeeds,
  UsageCommon,
  UsageTrace,
  UsageSim,
  UsageScale,
  UsageRepeat,
  UsageInfo,
  UsageSettings,
  UsageTest,
  UsageWeigh,
  UsageWatch,
  UsageTare,
  UsageZero,
  UsagePorts,
  UsageScan,
  UsageMain,
};

// The text of `id` in `lang` with {1}, {2}, ... replaced by `args`.
std::string Text(Lang lang, M id, std::initializer_list<std::string> args = {});

// Russian when the user's language (LANG-style value such as "ru_RU.UTF-8") is Russian.
Lang LanguageOf(const std::string& locale);

}  // namespace zev::cli

// The command line: what each command accepts, and its usage text.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "cli.h"
#include "console.h"
#include "converters.h"
#include "models.h"
#include "zev/platform/tcp.h"

#ifndef ZEV_VERSION
#define ZEV_VERSION "unknown"
#endif

namespace zev::cli {
namespace {

bool TalksToScale(const std::string& command) {
  return command == "test" || command == "weigh" || command == "watch" || command == "tare" ||
         command == "zero" || command == "scan" || command == "check" || command == "listen" ||
         command == "report";
}

// The commands that drive one class of two: TZEV_SCALE_Class, or with
// --class 4001 the equipment library's.
bool TakesClass(const std::string& command) {
  return command == "test" || command == "weigh" || command == "watch" || command == "tare" ||
         command == "zero" || command == "settings" || command == "report";
}

// report weighs one scale only when one is named.
bool OneScale(const std::string& command) {
  return TalksToScale(command) && command != "scan" && command != "report";
}

bool ParseIntArg(const std::string& text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < -1000000000L || v > 1000000000L) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseDoubleArg(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(out);
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool KnownModel(const std::string& name) {
  for (const auto& m : ModelNames()) {
    if (m == name) return true;
  }
  return false;
}

// "unknown model", with the model meant when only the letter case differs.
std::string UnknownModelText(Lang lang, const std::string& name) {
  std::string text = Text(lang, M::UnknownModel, {name, scales::ModelNames()});
  auto lower = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  for (const auto& m : ModelNames()) {
    if (lower(m) == lower(name)) text += "; " + Text(lang, M::DidYouMean, {m});
  }
  return text;
}

// A port number, written 3 or COM3.
bool ParsePortArg(const std::string& text, int& out) {
  std::string number = text;
  if (number.size() > 3 && (number.compare(0, 3, "COM") == 0 || number.compare(0, 3, "com") == 0))
    number.erase(0, 3);
  return ParseIntArg(number, out) && out >= 0 && out <= 255;
}

// One option of the command line, and its value when it takes one.
struct Arg {
  const std::vector<std::string>& args;
  size_t& i;
  Lang lang;
  const System& system;
  const std::string& a;  // the option
  std::string v;         // the value read, or empty

  bool Value(std::string& out) {
    if (i + 1 >= args.size()) return false;
    out = args[++i];
    return true;
  }
  bool Value() { return Value(v); }
  // The option lacks the value that `what` describes.
  std::string Needs(M what) const { return Text(lang, M::OptionNeeds, {a, Text(lang, what, {v})}); }
};

// What an option that `Parse` tries in groups gave: not one of the group's
// (nullopt), accepted (empty), or why it was refused.
using Outcome = std::optional<std::string>;

// The options that set one thing each.
Outcome PlainOption(Arg& r, Options& o) {
  const std::string& a = r.a;
  if (a == "--help" || a == "-h") {
    o.help = true;
  } else if (a == "--version") {
    o.version = true;
  } else if (a == "--json") {
    o.json = true;
  } else if (a == "--trace") {
    o.trace = true;
  } else if (a == "--library") {  // accepted by ports too, which loads no add-in
    if (!r.Value(o.library)) return r.Needs(M::NeedPath);
  } else if (a == "--model" && o.command != "scan") {
    if (!r.Value(o.model)) return r.Needs(M::NeedModel);
  } else if (a == "--port" && o.command != "scan") {
    if (!r.Value() || !ParsePortArg(r.v, o.port)) return r.Needs(M::NeedPortNumber);
  } else if (a == "--output" && o.command == "report") {
    if (!r.Value(o.output) || o.output.empty()) return r.Needs(M::NeedPath);
  } else if (a == "--seconds" && o.command == "listen") {
    if (!r.Value() || !ParseIntArg(r.v, o.seconds) || o.seconds < 1 || o.seconds > 60)
      return r.Needs(M::NeedSeconds);
  } else if (a == "--weight" && o.command == "tare") {
    if (!r.Value() || !ParseDoubleArg(r.v, o.tareWeight)) return r.Needs(M::NeedNumber);
    o.tareWeightGiven = true;
  } else if (a == "--cancel" && o.command == "tare") {
    o.tareCancel = true;
  } else if (a == "--with-tare" && o.command == "check") {
    o.withTare = true;
  } else if (a == "--with-zero" && o.command == "check") {
    o.withZero = true;
  } else if (a == "--english" && o.command == "check") {
    o.english = true;
  } else if (a == "--class" && TakesClass(o.command)) {
    if (!r.Value()) return r.Needs(M::NeedClass);
    if (r.v == "1" || r.v == ClassName(DriverClass::First)) {
      o.driverClass = DriverClass::First;
    } else if (r.v == "4001" || r.v == ClassName(DriverClass::Equipment)) {
      o.driverClass = DriverClass::Equipment;
    } else {
      return r.Needs(M::NeedClass);
    }
    o.classGiven = true;
  } else {
    return std::nullopt;
  }
  return std::string();
}

// The options that take a list (scan) or an address: --tcp, --ports, --models.
Outcome ListOption(Arg& r, Options& o) {
  const std::string& a = r.a;
  const Lang lang = r.lang;
  if ((a == "--tcp" || a == "--rfc2217") && TalksToScale(o.command)) {
    if (!r.Value()) return r.Needs(M::NeedTcp);
    for (const auto& item : o.command == "scan" ? SplitList(r.v) : std::vector<std::string>{r.v}) {
      auto address = platform::ParseTcpAddress(item);
      if (!address) return Text(lang, M::OptionNeeds, {a, Text(lang, M::NeedTcp, {item})});
      // A converter of --rfc2217 takes its line settings over the connection.
      address->rfc2217 = address->rfc2217 || a == "--rfc2217";
      o.tcp.push_back(address->rfc2217 ? address->Url() : item);
    }
  } else if (a == "--ports" && o.command == "scan") {
    if (!r.Value()) return r.Needs(M::NeedPortList);
    for (const auto& item : SplitList(r.v)) {
      // 3, COM3, or a range 1-4.
      const size_t dash = item.find('-', 1);
      int from = 0, to = 0;
      const bool ok = dash == std::string::npos
                          ? ParsePortArg(item, from) && ParsePortArg(item, to)
                          : ParsePortArg(item.substr(0, dash), from) &&
                                ParsePortArg(item.substr(dash + 1), to) && from <= to;
      if (!ok) return Text(lang, M::OptionNeeds, {a, Text(lang, M::NeedPortList, {item})});
      for (int n = from; n <= to; ++n) o.scanPorts.push_back(n);
    }
  } else if (a == "--models" && o.command == "scan") {
    if (!r.Value()) return r.Needs(M::NeedModelList);
    for (const auto& item : SplitList(r.v)) {
      if (!KnownModel(item)) return UnknownModelText(lang, item);
      o.scanModels.push_back(item);
    }
  } else {
    return std::nullopt;
  }
  return std::string();
}

// weigh's and watch's repetition: --watch, --interval, --count.
Outcome RepeatOption(Arg& r, Options& o, bool& countGiven) {
  const std::string& a = r.a;
  if (o.command != "weigh" && o.command != "watch") return std::nullopt;
  if (a == "--watch") {
    o.watch = true;
  } else if (a == "--interval") {
    if (!r.Value() || !ParseIntArg(r.v, o.intervalMs) || o.intervalMs < 0)
      return r.Needs(M::NeedMillis);
  } else if (a == "--count") {
    if (!r.Value() || !ParseIntArg(r.v, o.count) || o.count < 0) return r.Needs(M::NeedNumber);
    countGiven = true;
  } else {
    return std::nullopt;
  }
  return std::string();
}

// The simulated scale: --simulate and --sim-*.
Outcome SimOption(Arg& r, Options& o) {
  const std::string& a = r.a;
  const bool one = o.command != "scan";  // the faults are one scale's
  if (a == "--simulate") {
    if (!r.system.simulate) return Text(r.lang, M::NoSimulation);
    o.simulate = true;
  } else if (a == "--sim-weight") {
    if (!r.Value() || !ParseDoubleArg(r.v, o.simWeight)) return r.Needs(M::NeedNumber);
  } else if (a == "--sim-silent" && one) {
    o.simFaults.silent = true;
  } else if (a == "--sim-hang-up" && one) {
    o.simFaults.hangUpOnCommand = true;
  } else if (a == "--sim-noise" && one) {
    o.simFaults.noise = true;
  } else if (a == "--sim-delay" && one) {
    if (!r.Value() || !ParseIntArg(r.v, o.simFaults.delayMs) || o.simFaults.delayMs < 0)
      return r.Needs(M::NeedMillis);
  } else if (a == "--sim-missing" && one) {
    if (!r.Value() || !ParseIntArg(r.v, o.simFaults.missingBytes) || o.simFaults.missingBytes < 0)
      return r.Needs(M::NeedNumber);
  } else if (a == "--sim-extra" && one) {
    if (!r.Value() || !ParseIntArg(r.v, o.simFaults.extraBytes) || o.simFaults.extraBytes < 0)
      return r.Needs(M::NeedNumber);
  } else {
    return std::nullopt;
  }
  return std::string();
}

// One option of `o.command`, with its value; empty, or why it is refused.
std::string ParseOption(Arg& r, Options& o, bool& countGiven) {
  const std::string& a = r.a;
  const Lang lang = r.lang;
  const bool scaleOption = a.rfind("--sim", 0) == 0 || a == "--watch" || a == "--interval" ||
                           a == "--count" || a == "--weight" || a == "--trace";
  if (scaleOption && !TalksToScale(o.command)) return Text(lang, M::NotForCommand, {a, o.command});
  if (o.command == "report" && a == "--trace") return Text(lang, M::NotForCommand, {a, o.command});
  if (o.command == "ports" && a != "--json" && a != "--help" && a != "-h" && a != "--version" &&
      a != "--library") {
    return Text(lang, M::UnknownOption, {a, o.command});
  }
  if (const Outcome took = PlainOption(r, o)) return *took;
  if (const Outcome took = ListOption(r, o)) return *took;
  if (const Outcome took = RepeatOption(r, o, countGiven)) return *took;
  if (const Outcome took = SimOption(r, o)) return *took;
  return Text(lang, M::UnknownOption, {a, o.command});
}

// What the command still lacks, or allows not, once every option is read;
// empty when nothing. Sets the simulated scale's port.
std::string Completed(Options& o, Lang lang, const System& system) {
  // The first class reaches a converter through a ports directory alone;
  // without one, the equipment library's class takes the address.
  // listen opens the converter itself.
  const bool direct = TakesClass(o.command) || o.command == "scan" || o.command == "listen";
  if (!o.tcp.empty() && direct && !system.portsDirectory) {
    if (o.classGiven && o.driverClass == DriverClass::First) return Text(lang, M::TcpFirstClass);
    if (o.command != "listen") o.driverClass = DriverClass::Equipment;
    o.tcpDirect = true;
  }
  if (OneScale(o.command)) {
    if (o.model.empty()) return Text(lang, M::CommandNeeds, {o.command, "--model"});
    if (!KnownModel(o.model)) return UnknownModelText(lang, o.model);
    if (!o.tcp.empty() && (o.port >= 0 || o.simulate || o.tcp.size() > 1))
      return Text(lang, M::TcpAlone);
    if (o.port < 0 && o.tcp.empty()) {
      if (!o.simulate) return Text(lang, M::CommandNeeds, {o.command, "--port"});
      o.port = 3;
    }
  }
  if (o.command == "report") {
    // A weighing in the report needs the model and the port both.
    if (!o.model.empty() && !KnownModel(o.model)) return UnknownModelText(lang, o.model);
    if (!o.tcp.empty() && (o.port >= 0 || o.simulate || o.tcp.size() > 1))
      return Text(lang, M::TcpAlone);
    if (o.model.empty() && (o.port >= 0 || !o.tcp.empty()))
      return Text(lang, M::CommandNeeds, {o.command + " --port/--tcp", "--model"});
    if (!o.model.empty() && o.port < 0 && o.tcp.empty()) {
      if (!o.simulate) return Text(lang, M::CommandNeeds, {o.command + " --model", "--port"});
      o.port = 3;
    }
  }
  if (o.command == "tare") {
    // Every tare command tares the load on the scale; ZEV-U alone can cancel
    // it, and the driver takes a tare of 0 on it as that cancel command.
    if (o.tareWeightGiven == o.tareCancel)
      return Text(lang, o.tareCancel ? M::TareBoth : M::TareNeeds);
    const scales::ModelRow* row = scales::FindModel(std::string_view(o.model));
    const bool cancels = row != nullptr && row->Has(scales::Command::CancelTare);
    if (o.tareCancel && !cancels) return Text(lang, M::TareNoCancel, {o.model});
    if (o.tareWeightGiven && o.tareWeight == 0.0 && cancels) return Text(lang, M::TareZeroU);
  }
  return std::string();
}

}  // namespace

std::string VersionText() {
  return std::string("zevscale ") + ZEV_VERSION + "\n";
}

const char* ClassName(DriverClass driver) {
  return driver == DriverClass::Equipment ? "TZEV_SCALE_4001_Class" : "TZEV_SCALE_Class";
}

System ThisSystem() {
  return {os::CanSimulate(), CanMapConverters()};
}

namespace {

// Which class `command` drives on `system`, as its usage ends; empty for the
// commands that load no add-in.
std::string DrivesText(const std::string& command, Lang lang, const System& system) {
  if (command == "info") return Text(lang, M::UsageDrivesBoth);
  if (command == "check") return Text(lang, M::UsageDrives, {ClassName(DriverClass::Equipment)});
  if (command == "scan" && system.portsDirectory)
    return Text(lang, M::UsageDrives, {ClassName(DriverClass::First)});
  if (command == "scan") return Text(lang, M::UsageDrivesEither, {Text(lang, M::UsageWithTcpOnly)});
  if (!TakesClass(command)) return std::string();
  const bool tcp = !system.portsDirectory && command != "settings";
  return Text(lang, M::UsageDrivesEither, {Text(lang, tcp ? M::UsageWithTcp : M::UsageWithClass)});
}

}  // namespace

std::string Usage(const std::string& command, Lang lang, const System& system) {
  auto t = [lang](M id) { return Text(lang, id); };
  const std::string common = t(M::UsageCommon);
  const std::string sim = system.simulate ? t(M::UsageSim) : std::string();
  // The first class on Windows takes no --tcp: the other one is driven then.
  const std::string driver =
      Text(lang, M::UsageClass, {system.portsDirectory ? "1" : t(M::UsageClassDefaultTcp)});
  const std::string tcp = t(M::UsageTcp) + t(M::UsageRfc2217);
  const std::string scale = t(M::UsageScale) + tcp + t(M::UsageTrace) + sim;
  std::string text = t(M::UsageMain);
  if (command == "info") text = t(M::UsageInfo) + common;
  if (command == "settings") text = t(M::UsageSettings) + common + driver;
  if (command == "test") text = t(M::UsageTest) + common + scale + driver;
  if (command == "weigh") text = t(M::UsageWeigh) + common + scale + t(M::UsageRepeat) + driver;
  if (command == "watch") text = t(M::UsageWatch) + common + scale + t(M::UsageRepeat) + driver;
  if (command == "tare") text = t(M::UsageTare) + common + scale + driver;
  if (command == "zero") text = t(M::UsageZero) + common + scale + driver;
  if (command == "ports") text = t(M::UsagePorts);
  if (command == "scan") {
    text = t(M::UsageScan) + t(M::UsageScanTcp) + t(M::UsageScanRfc2217) + t(M::UsageScanRest) +
           common + t(M::UsageTrace);
  }
  if (command == "check") {
    text = t(M::UsageCheck) + t(M::UsageCheckWarning) + t(M::UsageCheckOptions) + common + scale;
  }
  if (command == "report") {
    text = t(M::UsageReport) + common + t(M::UsageScale) + tcp + sim + driver;
  }
  if (command == "listen") {
    text = t(M::UsageListen) + common + t(M::UsageScale) + tcp + sim;
  }
  const std::string drives = DrivesText(command, lang, system);
  return drives.empty() ? text : text + "\n" + drives;
}

Parsed Parse(const std::vector<std::string>& args, Lang lang, const System& system) {
  Parsed p;
  Options& o = p.options;
  o.lang = lang;
  auto bad = [&](const std::string& why) {
    p.ok = false;
    p.error = why;
    return p;
  };
  if (args.empty()) return bad(Text(lang, M::NoCommand));
  size_t i = 0;
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.help = true;
    p.ok = true;
    return p;
  }
  if (args[0] == "--version") {
    o.version = true;
    p.ok = true;
    return p;
  }
  o.command = args[i++];
  if (o.command != "info" && o.command != "settings" && o.command != "ports" &&
      !TalksToScale(o.command)) {
    return bad(Text(lang, M::UnknownCommand, {o.command}));
  }
  if (o.command == "watch") o.watch = true;
  bool countGiven = false;
  for (; i < args.size(); ++i) {
    Arg r{args, i, lang, system, args[i], std::string()};
    const std::string error = ParseOption(r, o, countGiven);
    if (!error.empty()) return bad(error);
  }
  if (o.help || o.version) {
    p.ok = true;
    return p;
  }
  if (o.count == 0 && !o.watch) return bad(Text(lang, M::CountNeedsWatch));
  if (o.watch && !countGiven) o.count = 0;
  const std::string error = Completed(o, lang, system);
  if (!error.empty()) return bad(error);
  p.ok = true;
  return p;
}

}  // namespace zev::cli

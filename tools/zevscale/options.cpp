// The command line: what each command accepts, and its usage text.
#include <cmath>
#include <cstdlib>

#include "cli.h"

#ifndef ZEV_VERSION
#define ZEV_VERSION "unknown"
#endif

namespace zev::cli {
namespace {

bool TalksToScale(const std::string& command) {
  return command == "test" || command == "weigh" || command == "watch" || command == "tare" ||
         command == "zero" || command == "scan";
}

bool OneScale(const std::string& command) {
  return TalksToScale(command) && command != "scan";
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

}  // namespace

std::string VersionText() {
  return std::string("zevscale ") + ZEV_VERSION + "\n";
}

std::string Usage(const std::string& command) {
  const std::string common =
      "  --library PATH     the add-in to load (default: the one beside this program)\n"
      "  --json             print the result as JSON\n";
  const std::string trace =
      "  --trace            the add-in's line trace on standard error (as ZEVSCALE_TRACE=stderr)\n";
  const std::string sim =
      "  --simulate         run against a simulated scale on a pseudo-terminal\n"
      "  --sim-weight KG    the weight the simulated scale shows (default 0.5)\n"
      "  --sim-silent       the simulated scale never answers\n"
      "  --sim-delay MS     it answers MS milliseconds late\n"
      "  --sim-noise        it sends noise without end\n"
      "  --sim-hang-up      it closes the line when a command arrives\n"
      "  --sim-missing N    it leaves out the last N bytes of each reply\n"
      "  --sim-extra N      it sends N bytes more with each reply\n";
  const std::string scale =
      "  --model M          ZEV-U, ZEV-AW or ZEV-NT(N)\n"
      "  --port N           COM port number\n" +
      trace + sim;
  const std::string watch =
      "  --interval MS      pause between weighings (default 500)\n"
      "  --count K          weighings to make (default 1; with --watch, 0 = until Ctrl-C)\n";
  if (command == "info")
    return "usage: zevscale info [options]\n\nThe add-in's class, component, version, description "
           "and methods.\n\n" +
           common;
  if (command == "settings")
    return "usage: zevscale settings [--model M] [--port N] [options]\n\nThe settings page the "
           "driver gives the platform.\n\n" +
           common +
           "  --model M          set the model first\n  --port N           set the port first\n";
  if (command == "test")
    return "usage: zevscale test --model M --port N [options]\n\nThe driver's device test.\n\n" +
           common + scale;
  if (command == "weigh")
    return "usage: zevscale weigh --model M --port N [--watch] [--interval MS] [--count K] "
           "[options]\n\nOpens the scale, weighs and closes it.\n\n" +
           common + scale + "  --watch            keep weighing (as zevscale watch)\n" + watch;
  if (command == "watch")
    return "usage: zevscale watch --model M --port N [--interval MS] [--count K] [options]\n\n"
           "Weighs until Ctrl-C (exit status 130): one line updated in place on a terminal,\n"
           "one line per reading otherwise, one JSON object per reading with --json.\n"
           "Failures are shown in place and the weighing goes on.\n\n" +
           common + scale + watch;
  if (command == "tare")
    return "usage: zevscale tare --model M --port N [--weight W] [options]\n\nTares the scale "
           "(ZEV-U: weight 0 cancels the tare).\n\n" +
           common + scale + "  --weight W         tare weight in kilograms (default 0)\n";
  if (command == "zero")
    return "usage: zevscale zero --model M --port N [options]\n\nSets the scale to zero.\n\n" +
           common + scale;
  if (command == "ports")
    return "usage: zevscale ports [--json]\n\nThe machine's serial ports: the COM<N> entries of "
           "the ports directory\n(ZEVSCALE_PORTS, default /etc/zevscale/ports) with their "
           "devices, then the\nserial devices no entry maps; whether each is free or busy, and "
           "by whom.\n\n  --json             print the result as JSON\n";
  if (command == "scan")
    return "usage: zevscale scan [--ports LIST] [--models LIST] [options]\n\nFinds which model "
           "answers on which port: every port at once, each with its\nown driver object, "
           "weighing commands only. Exit status 0 when a scale answered.\n\n"
           "  --ports LIST       COM numbers, e.g. 3,5,6 (default: 1 to 8 and every mapped one)\n"
           "  --models LIST      e.g. ZEV-U,ZEV-AW (default: all three)\n" +
           common + trace +
           "  --simulate         ZEV-U on COM3, ZEV-AW on COM4, ZEV-NT(N) on COM5, simulated\n"
           "  --sim-weight KG    the weight they show (default 0.5)\n";
  return "usage: zevscale COMMAND [options]\n\n"
         "Commands:\n"
         "  ports      the machine's serial ports, free or busy\n"
         "  scan       find which scale model answers on which port\n"
         "  weigh      weigh once (or repeatedly)\n"
         "  watch      weigh until Ctrl-C\n"
         "  test       the device test\n"
         "  tare       tare the scale\n"
         "  zero       set the scale to zero\n"
         "  info       the add-in's identity and methods\n"
         "  settings   the settings page\n\n"
         "zevscale COMMAND --help shows a command's options; zevscale --version its version.\n"
         "ZEVSCALE_TRACE=FILE (or stderr) makes the add-in trace the line, here and in the "
         "platform.\n";
}

Parsed Parse(const std::vector<std::string>& args, Lang lang) {
  Parsed p;
  Options& o = p.options;
  o.lang = lang;
  auto bad = [&](const std::string& why) {
    p.ok = false;
    p.error = why;
    return p;
  };
  if (args.empty()) return bad("no command given");
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
    return bad("unknown command '" + o.command + "'");
  }
  if (o.command == "watch") o.watch = true;
  const bool weighs = o.command == "weigh" || o.command == "watch";
  bool countGiven = false;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    const bool scaleOption = a.rfind("--sim", 0) == 0 || a == "--watch" || a == "--interval" ||
                             a == "--count" || a == "--weight" || a == "--trace";
    if (scaleOption && !TalksToScale(o.command)) return bad(a + " does not apply to " + o.command);
    if (o.command == "ports" && a != "--json" && a != "--help" && a != "-h" && a != "--version" &&
        a != "--library") {
      return bad("unknown option '" + a + "' for ports");
    }
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--trace") {
      o.trace = true;
    } else if (a == "--library") {  // accepted by ports too, which loads no add-in
      if (!value(o.library)) return bad("--library needs a path");
    } else if (a == "--model" && o.command != "scan") {
      if (!value(o.model)) return bad("--model needs a model name");
    } else if (a == "--port" && o.command != "scan") {
      if (!value(v) || !ParseIntArg(v, o.port) || o.port < 0 || o.port > 255)
        return bad("--port needs a number from 0 to 255");
    } else if (a == "--ports" && o.command == "scan") {
      if (!value(v)) return bad("--ports needs a list of port numbers, e.g. 3,5,6");
      for (const auto& item : SplitList(v)) {
        int n = 0;
        if (!ParseIntArg(item, n) || n < 0 || n > 255)
          return bad("--ports needs port numbers from 0 to 255, not '" + item + "'");
        o.scanPorts.push_back(n);
      }
    } else if (a == "--models" && o.command == "scan") {
      if (!value(v)) return bad("--models needs a list of models, e.g. ZEV-U,ZEV-AW");
      for (const auto& item : SplitList(v)) {
        if (!KnownModel(item)) return bad(Text(lang, M::UnknownModel, {item}));
        o.scanModels.push_back(item);
      }
    } else if (a == "--watch" && weighs) {
      o.watch = true;
    } else if (a == "--interval" && weighs) {
      if (!value(v) || !ParseIntArg(v, o.intervalMs) || o.intervalMs < 0)
        return bad("--interval needs milliseconds");
    } else if (a == "--count" && weighs) {
      if (!value(v) || !ParseIntArg(v, o.count) || o.count < 0)
        return bad("--count needs a number");
      countGiven = true;
    } else if (a == "--weight" && o.command == "tare") {
      if (!value(v) || !ParseDoubleArg(v, o.tareWeight)) return bad("--weight needs a number");
    } else if (a == "--simulate") {
      o.simulate = true;
    } else if (a == "--sim-weight") {
      if (!value(v) || !ParseDoubleArg(v, o.simWeight)) return bad("--sim-weight needs a number");
    } else if (a == "--sim-silent" && o.command != "scan") {
      o.simFaults.silent = true;
    } else if (a == "--sim-hang-up" && o.command != "scan") {
      o.simFaults.hangUpOnCommand = true;
    } else if (a == "--sim-noise" && o.command != "scan") {
      o.simFaults.noise = true;
    } else if (a == "--sim-delay" && o.command != "scan") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.delayMs) || o.simFaults.delayMs < 0)
        return bad("--sim-delay needs milliseconds");
    } else if (a == "--sim-missing" && o.command != "scan") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.missingBytes) || o.simFaults.missingBytes < 0)
        return bad("--sim-missing needs a number");
    } else if (a == "--sim-extra" && o.command != "scan") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.extraBytes) || o.simFaults.extraBytes < 0)
        return bad("--sim-extra needs a number");
    } else {
      return bad("unknown option '" + a + "' for " + o.command);
    }
  }
  if (o.help || o.version) {
    p.ok = true;
    return p;
  }
  if (o.count == 0 && !o.watch) return bad("--count 0 needs --watch");
  if (o.watch && !countGiven) o.count = 0;
  if (OneScale(o.command)) {
    if (o.model.empty()) return bad(o.command + " needs --model");
    if (!KnownModel(o.model)) return bad(Text(lang, M::UnknownModel, {o.model}));
    if (o.port < 0) {
      if (!o.simulate) return bad(o.command + " needs --port");
      o.port = 3;
    }
  }
  p.ok = true;
  return p;
}

}  // namespace zev::cli

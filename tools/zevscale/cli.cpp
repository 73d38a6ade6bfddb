#include "cli.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <sstream>
#include <thread>

#include "host.h"
#include "zev/platform/text.h"

namespace zev::cli {
namespace {

using host::tVariant;

bool NeedsScale(const std::string& command) {
  return command == "test" || command == "weigh" || command == "tare" || command == "zero";
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

std::string DefaultLibrary() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  return dir + "libZEVScale.so";
}

using host::Call;

class Session {
 public:
  Session(const host::Library& library, host::MemoryManager& mm, host::Connection& connection)
      : mm_(mm), component_(library, mm, &connection) {}
  bool Valid() const { return component_.Valid(); }
  const host::Component& Component() const { return component_; }

  std::unique_ptr<Call> Run(std::u16string_view method, std::vector<tVariant> params = {}) {
    return std::make_unique<Call>(component_, mm_, method, std::move(params));
  }
  tVariant Wide(const std::string& utf8) { return host::WStrUtf8(mm_, utf8); }
  bool Set(const std::string& name, tVariant value) {
    return Run(u"SetParameter", {Wide(name), value})->Succeeded();
  }
  std::pair<int, std::string> LastError() {
    auto call = Run(u"GetLastError", {host::Empty()});
    return {call->ret.lVal, call->Text(0)};
  }

 private:
  host::MemoryManager& mm_;
  host::Component component_;
};

// What a command reports, printed as text or JSON at the end.
struct Report {
  std::vector<std::pair<std::string, std::string>> fields;  // name, JSON value
  std::vector<std::string> lines;                           // human output
  bool failed = false;
  int errorCode = 0;
  std::string errorText;

  void Field(const std::string& name, const std::string& json) { fields.emplace_back(name, json); }
  void Fail(std::pair<int, std::string> error) {
    failed = true;
    errorCode = error.first;
    errorText = error.second;
  }
};

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Kilograms(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string DescribeFaults(const sim::Faults& f) {
  std::string s;
  if (f.silent) s += " silent";
  if (f.delayMs) s += " delay=" + std::to_string(f.delayMs) + "ms";
  if (f.noise) s += " noise";
  if (f.missingBytes) s += " missing=" + std::to_string(f.missingBytes);
  if (f.extraBytes) s += " extra=" + std::to_string(f.extraBytes);
  if (f.pauseAfterBytes >= 0) s += " pause";
  return s;
}

void Info(Session& s, const host::Library& library, Report& r) {
  const auto& c = s.Component();
  const std::string classes = platform::Utf16ToUtf8(library.ClassNames());
  const std::string component = platform::Utf16ToUtf8(c.ExtensionName());
  const long version = c.InitDone().GetInfo(c.InitDoneSelf());
  auto driverVersion = s.Run(u"GetVersion");
  const std::string driver = host::NarrowUtf8(driverVersion->ret);
  auto d = s.Run(u"GetDescription", std::vector<tVariant>(7, host::Empty()));
  r.lines.push_back("classes:            " + classes);
  r.lines.push_back("component:          " + component);
  r.lines.push_back("interface version:  " + std::to_string(version));
  r.lines.push_back("driver version:     " + driver);
  r.lines.push_back("name:               " + d->Text(0));
  r.lines.push_back("description:        " + d->Text(1));
  r.lines.push_back("equipment type:     " + d->Text(2));
  r.lines.push_back("web address:        " + d->Text(6));
  r.lines.push_back("methods:");
  std::string methods = "[";
  const long n = c.Language().GetNMethods(c.LanguageSelf());
  for (long i = 0; i < n; ++i) {
    const std::string eng = platform::Utf16ToUtf8(c.MethodName(i, 0));
    const std::string rus = platform::Utf16ToUtf8(c.MethodName(i, 1));
    const long params = c.Language().GetNParams(c.LanguageSelf(), i);
    char line[256];
    std::snprintf(line, sizeof line, "  %2ld  %-22s %-34s %ld", i, eng.c_str(), rus.c_str(),
                  params);
    r.lines.push_back(line);
    if (i) methods += ",";
    methods += "{\"number\":" + std::to_string(i) + ",\"english\":" + JsonString(eng) +
               ",\"russian\":" + JsonString(rus) + ",\"parameters\":" + std::to_string(params) +
               "}";
  }
  methods += "]";
  r.Field("classNames", JsonString(classes));
  r.Field("componentName", JsonString(component));
  r.Field("interfaceVersion", std::to_string(version));
  r.Field("version", JsonString(driver));
  r.Field("name", JsonString(d->Text(0)));
  r.Field("description", JsonString(d->Text(1)));
  r.Field("equipmentType", JsonString(d->Text(2)));
  r.Field("webAddress", JsonString(d->Text(6)));
  r.Field("methods", methods);
}

void Weigh(Session& s, const Options& o, Report& r, const std::atomic<bool>* interrupted,
           std::ostream& out) {
  std::string weights = "[";
  int done = 0;
  const bool forever = o.watch && o.count == 0;
  while (forever || done < o.count) {
    if (interrupted != nullptr && *interrupted) break;
    if (done > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.intervalMs));
    auto w = s.Run(u"GetWeight", {s.Wide("NoDeviceID"), host::Empty()});
    if (!w->Succeeded()) {
      if (o.watch && !o.json) out << "\n";
      r.Fail(s.LastError());
      break;
    }
    const double kg = w->params[1].dblVal;
    if (done) weights += ",";
    weights += Number(kg);
    ++done;
    if (o.watch && !o.json) {
      out << "\r" << Kilograms(kg) << " kg   " << std::flush;
    } else {
      r.lines.push_back(Kilograms(kg) + " kg");
    }
  }
  if (o.watch && !o.json && !r.failed) out << "\n";
  weights += "]";
  r.Field("weights", weights);
}

}  // namespace

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string IndentXml(const std::string& xml) {
  std::string out;
  int depth = 0;
  size_t i = 0;
  while (i < xml.size()) {
    if (xml[i] != '<') {
      const size_t next = xml.find('<', i);
      out += xml.substr(i, next - i);
      i = next == std::string::npos ? xml.size() : next;
      continue;
    }
    const size_t end = xml.find('>', i);
    const std::string tag =
        xml.substr(i, end == std::string::npos ? std::string::npos : end - i + 1);
    i = end == std::string::npos ? xml.size() : end + 1;
    const bool closing = tag.size() > 1 && tag[1] == '/';
    const bool selfContained = tag.size() > 2 && (tag[tag.size() - 2] == '/' || tag[1] == '?');
    if (closing) --depth;
    // Text content stays on the line of its element: <Item ...>COM1</Item>.
    const bool inline_ = closing && !out.empty() && out.back() != '\n';
    if (!inline_ && !out.empty() && out.back() != '\n') out += '\n';
    if (!inline_) out.append(static_cast<size_t>(std::max(depth, 0)) * 2, ' ');
    out += tag;
    if (!closing && !selfContained) {
      ++depth;
      if (i < xml.size() && xml[i] != '<') continue;  // text follows
    }
    out += '\n';
  }
  return out;
}

std::string Usage(const std::string& command) {
  const std::string common =
      "  --library PATH     the add-in to load (default: the one beside this program)\n"
      "  --json             print the result as JSON\n";
  const std::string scale =
      "  --model M          ZEV-U, ZEV-AW or ZEV-NT(N)\n"
      "  --port N           COM port number\n"
      "  --simulate         run against a simulated scale on a pseudo-terminal\n"
      "  --sim-weight KG    the weight the simulated scale shows (default 0.5)\n"
      "  --sim-silent       the simulated scale never answers\n"
      "  --sim-delay MS     it answers MS milliseconds late\n"
      "  --sim-noise        it sends noise without end\n"
      "  --sim-missing N    it leaves out the last N bytes of each reply\n"
      "  --sim-extra N      it sends N bytes more with each reply\n";
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
           common + scale +
           "  --watch            keep weighing, on one line that updates in place\n"
           "  --interval MS      pause between weighings (default 500)\n"
           "  --count K          weighings to make (default 1; with --watch, 0 = until Ctrl-C)\n";
  if (command == "tare")
    return "usage: zevscale tare --model M --port N [--weight W] [options]\n\nTares the scale "
           "(ZEV-U: weight 0 cancels the tare).\n\n" +
           common + scale + "  --weight W         tare weight in kilograms (default 0)\n";
  if (command == "zero")
    return "usage: zevscale zero --model M --port N [options]\n\nSets the scale to zero.\n\n" +
           common + scale;
  return "usage: zevscale COMMAND [options]\n\n"
         "Commands:\n"
         "  info       the add-in's identity and methods\n"
         "  settings   the settings page\n"
         "  test       the device test\n"
         "  weigh      weigh once or repeatedly\n"
         "  tare       tare the scale\n"
         "  zero       set the scale to zero\n\n"
         "zevscale COMMAND --help shows a command's options.\n";
}

Parsed Parse(const std::vector<std::string>& args) {
  Parsed p;
  Options& o = p.options;
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
  o.command = args[i++];
  if (o.command != "info" && o.command != "settings" && !NeedsScale(o.command)) {
    return bad("unknown command '" + o.command + "'");
  }
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
                             a == "--count" || a == "--weight";
    if (scaleOption && !NeedsScale(o.command)) return bad(a + " does not apply to " + o.command);
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--library") {
      if (!value(o.library)) return bad("--library needs a path");
    } else if (a == "--model") {
      if (!value(o.model)) return bad("--model needs a model name");
    } else if (a == "--port") {
      if (!value(v) || !ParseIntArg(v, o.port) || o.port < 0 || o.port > 255)
        return bad("--port needs a number from 0 to 255");
    } else if (a == "--watch" && o.command == "weigh") {
      o.watch = true;
    } else if (a == "--interval" && o.command == "weigh") {
      if (!value(v) || !ParseIntArg(v, o.intervalMs) || o.intervalMs < 0)
        return bad("--interval needs milliseconds");
    } else if (a == "--count" && o.command == "weigh") {
      if (!value(v) || !ParseIntArg(v, o.count) || o.count < 0)
        return bad("--count needs a number");
      countGiven = true;
    } else if (a == "--weight" && o.command == "tare") {
      if (!value(v) || !ParseDoubleArg(v, o.tareWeight)) return bad("--weight needs a number");
    } else if (a == "--simulate") {
      o.simulate = true;
    } else if (a == "--sim-weight") {
      if (!value(v) || !ParseDoubleArg(v, o.simWeight)) return bad("--sim-weight needs a number");
    } else if (a == "--sim-silent") {
      o.simFaults.silent = true;
    } else if (a == "--sim-noise") {
      o.simFaults.noise = true;
    } else if (a == "--sim-delay") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.delayMs))
        return bad("--sim-delay needs milliseconds");
    } else if (a == "--sim-missing") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.missingBytes))
        return bad("--sim-missing needs a number");
    } else if (a == "--sim-extra") {
      if (!value(v) || !ParseIntArg(v, o.simFaults.extraBytes))
        return bad("--sim-extra needs a number");
    } else {
      return bad("unknown option '" + a + "' for " + o.command);
    }
  }
  if (o.help) {
    p.ok = true;
    return p;
  }
  if (o.count == 0 && !o.watch) return bad("--count 0 needs --watch");
  if (o.watch && !countGiven) o.count = 0;
  if (NeedsScale(o.command)) {
    if (o.model.empty()) return bad(o.command + " needs --model");
    if (o.simulate && !sim::ModelFromName(o.model)) {
      return bad("the simulator knows ZEV-U, ZEV-AW and ZEV-NT(N), not '" + o.model + "'");
    }
    if (o.port < 0) {
      if (!o.simulate) return bad(o.command + " needs --port");
      o.port = 3;
    }
  }
  p.ok = true;
  return p;
}

int Run(const Options& o, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* interrupted) {
  if (o.help) {
    out << Usage(o.command);
    return 0;
  }
  std::unique_ptr<sim::PortDirectory> ports;
  std::unique_ptr<sim::Simulator> scale;
  if (o.simulate) {
    ports = std::make_unique<sim::PortDirectory>();
    scale = std::make_unique<sim::Simulator>(*sim::ModelFromName(o.model), o.simWeight);
    scale->SetFaults(o.simFaults);
    std::string error;
    if (ports->Path().empty() || !scale->Start(&error) ||
        !ports->Map(o.port, scale->DevicePath())) {
      err << "zevscale: cannot start the simulated scale: " << error << "\n";
      return 1;
    }
    ports->Export();
  }

  const std::string path = o.library.empty() ? DefaultLibrary() : o.library;
  host::Library library(path);
  if (!library.Loaded() || !library.Error().empty()) {
    err << "zevscale: cannot load " << path << ": " << library.Error() << "\n";
    return 1;
  }
  host::MemoryManager mm;
  host::Connection connection;
  Report r;
  {
    Session s(library, mm, connection);
    if (!s.Valid()) {
      err << "zevscale: the add-in made no TZEV_SCALE_Class object\n";
      return 1;
    }
    if (!o.model.empty() && !s.Set("Model", s.Wide(o.model))) r.Fail(s.LastError());
    if (o.port >= 0 && !s.Set("Port", host::Int(o.port))) r.Fail(s.LastError());

    if (!o.model.empty()) r.Field("model", JsonString(o.model));
    if (o.port >= 0) r.Field("port", std::to_string(o.port));
    if (o.simulate) r.Field("simulated", "true");

    if (o.command == "info") {
      Info(s, library, r);
    } else if (o.command == "settings") {
      auto page = s.Run(u"GetParameters", {host::Empty()});
      r.Field("page", JsonString(page->Text(0)));
      r.lines.push_back(IndentXml(page->Text(0)));
    } else if (o.command == "test") {
      auto t = s.Run(u"DeviceTest", {host::Empty(), host::Empty()});
      r.Field("description", JsonString(t->Text(0)));
      if (t->Succeeded()) {
        r.lines.push_back(t->Text(0));
      } else {
        r.Fail(s.LastError());
      }
    } else if (!r.failed) {
      auto open = s.Run(u"Open", {host::Empty()});
      if (!open->Succeeded()) {
        r.Fail(s.LastError());
      } else {
        if (o.command == "weigh") {
          Weigh(s, o, r, interrupted, out);
        } else if (o.command == "tare") {
          if (!s.Run(u"Calibrate", {s.Wide("NoDeviceID"), host::Double(o.tareWeight)})
                   ->Succeeded()) {
            r.Fail(s.LastError());
          } else {
            r.lines.push_back("tared");
          }
        } else if (o.command == "zero") {
          if (!s.Run(u"Zeroing")->Succeeded()) {
            r.Fail(s.LastError());
          } else {
            r.lines.push_back("zeroed");
          }
        }
        auto close = s.Run(u"Close", {s.Wide("NoDeviceID")});
        if (!close->Succeeded() && !r.failed) r.Fail(s.LastError());
      }
    }
  }

  const std::string where =
      o.model.empty() ? std::string()
                      : o.model + (o.port >= 0 ? " on COM" + std::to_string(o.port) : "") +
                            (o.simulate ? " (simulated" + DescribeFaults(o.simFaults) + ")" : "");
  if (o.json) {
    out << "{\"command\":" << JsonString(o.command) << ",\"ok\":" << (r.failed ? "false" : "true");
    for (const auto& [name, value] : r.fields) out << "," << JsonString(name) << ":" << value;
    out << ",\"error\":{\"code\":" << r.errorCode << ",\"text\":" << JsonString(r.errorText)
        << "}}\n";
  } else {
    if (!where.empty() && o.command != "settings") out << where << "\n";
    for (const auto& line : r.lines)
      out << line << (line.empty() || line.back() != '\n' ? "\n" : "");
    if (r.failed) err << "error " << r.errorCode << ": " << r.errorText << "\n";
  }
  return r.failed ? 1 : 0;
}

}  // namespace zev::cli

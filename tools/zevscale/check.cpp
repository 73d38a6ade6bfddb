// zevscale check: the sequence in which the platform's equipment library
// drives TZEV_SCALE_4001_Class, step by step, and what to enter in the drivers
// catalogue at the end.
#include <cstdlib>
#include <optional>

#include "common.h"
#include "line.h"
#include "simulation.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"

namespace zev::cli {
namespace {

constexpr std::u16string_view kClass = u"TZEV_SCALE_4001_Class";

struct Step {
  std::string method;  // the Russian name, as the library calls it
  bool ok = false;
  std::string result;     // what came back (UTF-8)
  std::string error;      // "code: text" after a failure
  bool expected = false;  // a refusal this model must give
};

// The name the library calls: Russian, or with --english the English one.
std::string MethodName(const Context& c, const std::string& russian) {
  static const std::pair<const char*, const char*> kEnglish[] = {
      {"ПолучитьРевизиюИнтерфейса", "GetInterfaceRevision"},
      {"ПолучитьНомерВерсии", "GetVersion"},
      {"ПолучитьОписание", "GetDescription"},
      {"ПолучитьОшибку", "GetLastError"},
      {"ПолучитьПараметры", "GetParameters"},
      {"УстановитьПараметр", "SetParameter"},
      {"Подключить", "Open"},
      {"Отключить", "Close"},
      {"ТестУстройства", "DeviceTest"},
      {"ПолучитьДополнительныеДействия", "GetAdditionalActions"},
      {"ВыполнитьДополнительноеДействие", "DoAdditionalAction"},
      {"ПолучитьВес", "GetWeight"},
      {"УстановитьВесТары", "SetTareWeight"},
      {"УстановитьЛокализацию", "SetLocalization"},
  };
  if (c.o.english) {
    for (const auto& [ru, en] : kEnglish) {
      if (russian == ru) return std::string(en);
    }
  }
  return russian;
}

using Result = std::function<std::string(const host::Call&)>;

// The `i`-th parameter's text.
Result TextOf(size_t i) {
  return [i](const host::Call& k) { return k.WText(i); };
}

std::string FlagOf(const host::Call& k) {
  return std::string(k.Flag() ? "true" : "false");
}

// The library's calls on one driver object, each recorded as a step.
class Calls {
 public:
  Calls(Context& c, Session& s) : c_(c), s_(s) {}

  // Runs one method, records it and gives its call.
  std::unique_ptr<host::Call> Run(const std::string& russian, std::vector<host::tVariant> params,
                                  const Result& result) {
    const std::string method = MethodName(c_, russian);
    auto call = s_.Run(platform::Utf8ToUtf16(method), std::move(params));
    Step st;
    st.method = method;
    const bool flag = call->ret.vt != v8abi::VTYPE_BOOL || call->ret.bVal;
    st.ok = call->ok && flag;
    st.result = result(*call);
    if (!st.ok) st.error = Error();
    c_.tap.Drain();
    steps_.push_back(st);
    return call;
  }
  // The weight a call of ПолучитьВес got.
  Result Weight() const {
    return [&c = c_](const host::Call& k) {
      return k.Succeeded() ? c.Kilograms(k.params[1].dblVal) : std::string();
    };
  }
  Session& Object() { return s_; }
  std::vector<Step>& Steps() { return steps_; }

 private:
  std::string Error() {
    auto e = s_.Run(platform::Utf8ToUtf16(MethodName(c_, "ПолучитьОшибку")), {host::Empty()});
    return std::to_string(e->ret.lVal) + ": " + e->WText(0);
  }

  Context& c_;
  Session& s_;
  std::vector<Step> steps_;
};

// A device's parameters as the form gives them, in reversed order, each
// typed as declared: a converter of --tcp by its address, else the COM port.
void SetDevice(Calls& calls, const std::string& traceFile,
               const std::optional<platform::TcpAddress>& converter, int portNumber,
               const std::string& model) {
  Session& s = calls.Object();
  std::vector<std::pair<std::string, host::tVariant>> parameters = {
      {"TraceFile = " + traceFile, s.Wide(traceFile)},
      {"Trace = false", host::Bool(false)},
  };
  if (converter) {
    parameters.push_back(
        {"TCPPort = " + std::to_string(converter->port), host::Double(converter->port)});
    parameters.push_back({"Host = " + converter->host, s.Wide(converter->host)});
    const std::string connection = converter->rfc2217 ? "RFC2217" : "TCP";
    parameters.push_back({"Connection = " + connection, s.Wide(connection)});
  } else {
    parameters.push_back({"Port = " + std::to_string(portNumber), host::Double(portNumber)});
  }
  parameters.push_back({"Model = " + model, s.Wide(model)});
  for (const auto& [shown, value] : parameters) {
    const std::string parameter = shown.substr(0, shown.find(' '));
    calls.Run("УстановитьПараметр", {s.Wide(parameter), value},
              [&shown = shown](const host::Call& k) {
                return shown + ": " + (k.Flag() ? "true" : "false");
              });
  }
}

// The object created, described, set up for the device of the command line,
// tested, connected and weighed with; gives the settings page's trace file.
std::string FirstDevice(Context& c, Calls& calls,
                        const std::optional<platform::TcpAddress>& converter, std::string& id) {
  Session& s = calls.Object();
  Step created;
  created.method = "Новый(\"AddIn.<…>.TZEV_SCALE_4001_Class\")";
  created.ok = true;
  created.result = c.T(M::CheckCreated);
  calls.Steps().push_back(created);
  calls.Run("ПолучитьРевизиюИнтерфейса", {},
            [](const host::Call& k) { return std::to_string(k.ret.lVal); });
  calls.Run("ПолучитьНомерВерсии", {}, [](const host::Call& k) {
    return k.ret.vt == v8abi::VTYPE_PWSTR ? host::WideUtf8(k.ret) : host::NarrowUtf8(k.ret);
  });
  calls.Run("ПолучитьОписание", {host::Empty()}, TextOf(0));
  const std::string page = calls
                               .Run("ПолучитьПараметры", {host::Empty()},
                                    [](const host::Call& k) { return IndentXml(k.WText(0)); })
                               ->WText(0);
  const std::string traceFile = AttributeOf(page, "TraceFile", "DefaultValue");
  const std::string type = c.o.english ? "ElectronicScales" : "ЭлектронныеВесы";
  calls.Run("УстановитьПараметр", {s.Wide("EquipmentType"), s.Wide(type)},
            [&type](const host::Call& k) {
              return "EquipmentType = " + type + ": " + (k.Flag() ? "true" : "false");
            });
  SetDevice(calls, traceFile, converter, c.o.port, c.o.model);
  calls.Run("ТестУстройства", {host::Empty(), host::Empty()}, TextOf(0));
  const std::string lang = c.o.lang == Lang::Ru ? "ru" : "en";
  calls.Run("УстановитьЛокализацию", {s.Wide(lang), s.Wide("")},
            [&lang](const host::Call& k) { return lang + ": " + (k.Flag() ? "true" : "false"); });
  id = calls.Run("Подключить", {host::Empty()}, TextOf(0))->WText(0);
  calls.Run("ПолучитьВес", {s.Wide(id), host::Empty()}, calls.Weight());
  return traceFile;
}

// The library keeps one object per driver: a second device connects through
// it with its own settings, and the settings form's test of the first one
// goes through the connection the object holds. Gives the second connection.
std::string SecondDevice(Context& c, Calls& calls, const std::string& traceFile,
                         const std::optional<platform::TcpAddress>& converter,
                         const std::string& id) {
  Session& s = calls.Object();
  SetDevice(calls, traceFile, converter, SecondPort(c.o), SecondModel(c.o));
  const std::string second = calls.Run("Подключить", {host::Empty()}, TextOf(0))->WText(0);
  calls.Run("ПолучитьВес", {s.Wide(second), host::Empty()}, calls.Weight());
  SetDevice(calls, traceFile, converter, c.o.port, c.o.model);
  calls.Run("ТестУстройства", {host::Empty(), host::Empty()}, TextOf(0));
  Step& test = calls.Steps().back();
  if (test.ok && test.result.find(id) == std::string::npos) {
    test.ok = false;
    test.error = "0: " + c.T(M::CheckNotThroughConnection, {id});
  }
  return second;
}

// The tare and the zero, sent when `tare` and `zero` say so, then the
// connections closed; gives the methods not called.
Json TareZeroAndClose(Context& c, Calls& calls, bool tare, bool zero, const std::string& id,
                      const std::string& second) {
  Session& s = calls.Object();
  Json notSent = Json::array();
  // As the library calls it: without a value, the tare of what lies on the pan.
  if (tare) {
    calls.Run("УстановитьВесТары",
              {s.Wide(id), c.o.tareWeightGiven ? host::Double(c.o.tareWeight) : host::Empty()},
              FlagOf);
  } else {
    notSent.push_back(MethodName(c, "УстановитьВесТары"));
  }
  calls.Run("ПолучитьДополнительныеДействия", {host::Empty()}, TextOf(0));
  if (zero) {
    calls.Run("ВыполнитьДополнительноеДействие", {s.Wide("Zeroing")}, FlagOf);
    Step& last = calls.Steps().back();
    const scales::ModelRow* row = ModelNamed(c.o.model);
    if (row != nullptr && !row->Has(scales::Command::Zero) && !last.ok) {
      // A model without a zero command: the refusal is the right answer.
      last.expected = true;
      last.result = c.T(M::CheckExpectedRefusal);
    }
  } else {
    notSent.push_back(MethodName(c, "ВыполнитьДополнительноеДействие"));
  }
  if (!second.empty()) calls.Run("Отключить", {s.Wide(second)}, FlagOf);
  calls.Run("Отключить", {s.Wide(id)}, FlagOf);
  return notSent;
}

// Step number `i` as a line: its method, ok or FAILED, what came back (on
// lines of their own when it has several) and the error.
std::string StepLine(const Context& c, size_t i, const Step& st) {
  const bool good = st.ok || st.expected;
  std::string number = std::to_string(i + 1);
  if (number.size() < 2) number.insert(0, 1, ' ');
  std::string line = number + ". " + st.method + ": " + (good ? "ok" : "FAILED");
  std::string shown = st.result;
  if (!shown.empty() && shown.back() == '\n') shown.pop_back();
  if (!shown.empty()) {
    const bool multiline = shown.find('\n') != std::string::npos;
    if (multiline) {
      line += "\n";
      size_t start = 0;
      while (start <= shown.size()) {
        const size_t end = shown.find('\n', start);
        line += "      " + shown.substr(start, end - start);
        if (end == std::string::npos) break;
        line += "\n";
        start = end + 1;
      }
    } else {
      line += " — " + shown;
    }
  }
  if (!st.ok)
    line += "\n      " + c.T(M::ErrorLine, {st.error.substr(0, st.error.find(':')),
                                            st.error.substr(st.error.find(':') + 2)});
  return line;
}

// What to enter in the drivers catalogue.
void CatalogueLines(const Context& c, const std::optional<platform::TcpAddress>& converter,
                    std::vector<std::string>& lines) {
  const std::string port = std::to_string(c.o.port);
  lines.push_back(c.T(M::CheckCatalogue));
  lines.push_back("  " + c.T(M::CheckClass) + ": TZEV_SCALE_4001_Class");
  lines.push_back("  " + c.T(M::CheckModel) + ": " + c.o.model);
  if (converter) {
    lines.push_back("  " + c.T(M::CheckConnection) + ": TCP");
    lines.push_back("  " + c.T(M::CheckHost) + ": " + converter->host);
    lines.push_back("  " + c.T(M::CheckTcpPort) + ": " + std::to_string(converter->port));
  } else {
    lines.push_back("  " + c.T(M::CheckPort) + ": " + port + " (COM" + port + ")");
  }
}

// The first step that failed, and why the port or the converter would not serve.
Failure FirstFailure(Context& c, const std::vector<Step>& steps,
                     const std::optional<platform::TcpAddress>& converter) {
  Failure failure;
  for (const Step& st : steps) {
    if (!st.ok && !st.expected) {
      failure.code = std::atoi(st.error.c_str());
      failure.text = st.error.substr(st.error.find(':') + 2);
      break;
    }
  }
  if (!converter) {
    // A port that does not open now: why, as for every other command.
    const platform::OpenDiagnosis d = platform::DiagnoseOpen(c.o.port);
    if (!d.exists || d.noPermission || d.busy || d.notSerial)
      failure.reasons = WhyNoOpen(c, c.o.port);
  } else {
    // The driver has let the converter go: a connection of the tool's own
    // tells whether it serves another one or speaks Telnet.
    const std::string trouble = GreetingTrouble(c, Greet(*converter));
    if (!trouble.empty()) failure.reasons.push_back(trouble);
  }
  return failure;
}

}  // namespace

int RunCheck(Context& c) {
  Session s(*c.library, kClass);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Calls calls(c, s);
  const auto converter =
      c.o.tcp.empty() ? std::nullopt : platform::ParseTcpAddress(c.o.tcp.front());
  std::string id, second;
  const std::string traceFile = FirstDevice(c, calls, converter, id);
  if (c.o.simulate) second = SecondDevice(c, calls, traceFile, converter, id);
  // A real scale's tare and zero change what it shows: sent when asked only.
  const bool tare = c.o.simulate || c.o.withTare;
  const bool zero = c.o.simulate || c.o.withZero;
  const Json notSent = TareZeroAndClose(c, calls, tare, zero, id, second);

  const std::vector<Step>& steps = calls.Steps();
  std::vector<std::string> lines;
  Json list = Json::array();
  std::vector<std::string> failed;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& st = steps[i];
    const bool good = st.ok || st.expected;
    if (!good) failed.push_back(std::to_string(i + 1));
    lines.push_back(StepLine(c, i, st));
    list.push_back({{"step", i + 1},
                    {"method", st.method},
                    {"ok", good},
                    {"result", st.result},
                    {"error", st.error}});
  }
  if (!tare) lines.push_back(c.T(M::CheckTareNotSent, {MethodName(c, "УстановитьВесТары")}));
  if (!zero)
    lines.push_back(c.T(M::CheckZeroNotSent, {MethodName(c, "ВыполнитьДополнительноеДействие")}));
  // Another program reading the line beside the driver takes its replies.
  Json holders = Json::array();
  if (!converter) {
    for (const auto& h : platform::OpenWithoutLock(c.o.port))
      holders.push_back({{"pid", h.pid}, {"name", h.name}, {"lock", false}});
    const std::string shared = OpenWithoutLockNote(c, c.o.port);
    if (!shared.empty()) lines.push_back(shared);
  }
  lines.push_back(failed.empty() ? c.T(M::CheckPassed) : [&] {
    std::string joined;
    for (const auto& f : failed) joined += (joined.empty() ? "" : ", ") + f;
    return c.T(M::CheckFailedSteps, {joined});
  }());
  CatalogueLines(c, converter, lines);
  Json fields;
  fields["class"] = "TZEV_SCALE_4001_Class";
  fields["steps"] = list;
  fields["holders"] = holders;
  fields["notSent"] = notSent;
  if (failed.empty()) return Finish(c, lines, fields, nullptr);
  const Failure failure = FirstFailure(c, steps, converter);
  return Finish(c, lines, fields, &failure);
}

}  // namespace zev::cli

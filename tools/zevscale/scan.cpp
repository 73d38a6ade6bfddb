// zevscale scan: which model answers on which port. Every port is tried at
// once, each on its own thread with its own driver object; only weighing
// commands are sent.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "common.h"
#include "serial_ports.h"

namespace zev::cli {
namespace {

const char* const kPortUnavailable = "Порт недоступен";

struct Answer {
  std::string model;
  double kg = 0;
};

struct PortResult {
  int port = 0;
  std::vector<Answer> answers;
  std::string unavailable;  // the driver's text when the port would not open
  bool late = false;        // a late reply to an earlier command seemed an answer
};

void ScanPort(const host::Library& library, const std::vector<std::string>& models,
              PortResult& result) {
  Session s(library);
  if (!s.Valid()) return;
  for (const auto& model : models) {
    if (!s.Configure(model, result.port)) continue;
    if (!s.Open()) {
      result.unavailable = s.LastError().second;
      if (result.unavailable == kPortUnavailable) return;  // no model can open it
      continue;
    }
    double kg = 0;
    if (s.Weigh(kg)) result.answers.push_back({model, kg});
    s.Close();
  }
}

// ZEV-AW and ZEV-NT(N) send the same command. A ZEV-AW scale that answers
// later than the deadline gives nothing to the ZEV-AW weighing and its late
// reply to the ZEV-NT(N) weighing that follows, which then seems to answer.
// After a quiet spell a weighing of its own shows whether it really does.
bool AnswersAfterQuiet(const host::Library& library, const std::string& model, int port) {
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  Session s(library);
  double kg = 0;
  const bool ok = s.Valid() && s.Configure(model, port) && s.Open() && s.Weigh(kg);
  s.Close();
  return ok;
}

// Of several models that answered on one port, the one that reads the reply
// best, and why.
size_t BestFit(const Context& c, const std::vector<Answer>& answers, std::string& why) {
  auto find = [&](const char* model) {
    for (size_t i = 0; i < answers.size(); ++i) {
      if (answers[i].model == model) return i;
    }
    return answers.size();
  };
  const size_t aw = find("ZEV-AW");
  if (aw < answers.size() && find("ZEV-NT(N)") < answers.size()) {
    why = c.T(M::ScanWhyAwOverNt);
    return aw;
  }
  why = c.T(M::ScanWhyDistinct, {c.Kilograms(answers[0].kg)});
  return 0;
}

// How the settings page lists `model` ("Весы: ZEV-У" for ZEV-U).
std::string ListCaption(const Context& c, const std::string& model) {
  Session s(*c.library);
  const std::string page = s.Valid() ? s.Run(u"GetParameters", {host::Empty()})->Text(0) : "";
  const std::string key = "<Item Value=\"" + model + "\">";
  const size_t at = page.find(key);
  if (at == std::string::npos) return model;
  const size_t from = at + key.size();
  return page.substr(from, page.find('<', from) - from);
}

// A line about COM<N> names the converter instead when COM<N> stands for one of --tcp.
std::string Named(const Options& o, std::string line) {
  for (const auto& [port, url] : o.tcpNames) {
    const std::string com = "COM" + std::to_string(port);
    for (size_t at; (at = line.find(com)) != std::string::npos;) line.replace(at, com.size(), url);
  }
  return line;
}

}  // namespace

int RunScan(Context& c) {
  const Options& o = c.o;
  std::set<int> portSet(o.scanPorts.begin(), o.scanPorts.end());
  std::vector<std::string> skipped;
  if (portSet.empty()) {
    for (int n = 1; n <= 8; ++n) portSet.insert(n);
    for (int n : os::MappedComNumbers()) portSet.insert(n);
    // Weighing commands must not reach the system's own console or a login
    // line unless the user names the port.
    for (auto it = portSet.begin(); it != portSet.end();) {
      const os::SystemLine line = os::SystemLineOf(*it);
      if (line.kind == os::SystemLine::None) {
        ++it;
        continue;
      }
      const std::string port = std::to_string(*it), device = Printable(line.device);
      skipped.push_back(line.kind == os::SystemLine::Console
                            ? c.T(M::ScanSkippedConsole, {port, device})
                            : c.T(M::ScanSkippedLogin, {port, device, Printable(line.program)}));
      it = portSet.erase(it);
    }
  }
  const std::vector<std::string> models = o.scanModels.empty() ? ModelNames() : o.scanModels;

  const auto start = std::chrono::steady_clock::now();
  std::vector<PortResult> results;
  for (int port : portSet) results.push_back({port, {}, {}, false});
  std::atomic<size_t> finished{0};
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&c, &models, &result, &finished] {
      ScanPort(*c.library, models, result);
      ++finished;
    });
  }
  while (finished < results.size()) {
    c.tap.Drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& t : threads) t.join();
  c.tap.Drain();
  for (auto& r : results) {
    if (r.answers.size() != 1 || r.answers[0].model != "ZEV-NT(N)" ||
        !c.tap.OnlySilence(r.port, "ZEV-AW") || AnswersAfterQuiet(*c.library, "ZEV-NT(N)", r.port))
      continue;
    r.answers.clear();
    r.late = true;
  }
  c.tap.Drain();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  bool any = false;
  Json list = Json::array();
  std::vector<std::string> lines, notes = skipped, settings;
  for (const auto& r : results) {
    const std::string com = PortName(o, r.port);
    if (r.late) notes.push_back(c.T(M::ScanLate, {std::to_string(r.port)}));
    if (r.answers.empty()) {
      const std::string bytes = c.tap.AnyBytes(r.port);
      if (!bytes.empty() && !r.late)
        notes.push_back(c.T(M::ScanBytesNoModel, {std::to_string(r.port), bytes}));
      // A port that was asked for, or one that exists but would not open
      // (busy, no permission), is worth a word; missing default ports are not.
      const bool unavailable = r.unavailable == kPortUnavailable;
      if (!r.unavailable.empty() &&
          (!o.scanPorts.empty() || !unavailable || os::DiagnoseOpen(r.port).exists)) {
        std::string why = r.unavailable;
        if (unavailable) {
          for (const auto& reason : WhyNoOpen(c, r.port)) why += "; " + reason;
        }
        notes.push_back(c.T(M::ScanUnavailable, {std::to_string(r.port), why}));
      }
      continue;
    }
    any = true;
    std::string why;
    const size_t best = r.answers.size() > 1 ? BestFit(c, r.answers, why) : 0;
    for (size_t i = 0; i < r.answers.size(); ++i) {
      const Answer& a = r.answers[i];
      char weight[64];
      std::snprintf(weight, sizeof weight, "%10.3f ", a.kg);
      lines.push_back(PadRight(com + " ", 6) + PadRight(a.model, 11) + weight + c.T(M::Kg));
      Json j = {{"port", r.port}, {"model", a.model}, {"weight", a.kg}, {"best", i == best}};
      if (o.tcpNames.count(r.port)) j["tcp"] = com;
      list.push_back(j);
    }
    for (size_t i = 0; i < r.answers.size(); ++i) {
      if (i == best) continue;
      notes.push_back(c.T(M::ScanBestFit, {std::to_string(r.port), r.answers[i].model,
                                           r.answers[best].model, why}));
    }
    const std::string& model = r.answers[best].model;
    settings.push_back(
        o.tcpNames.count(r.port)
            ? c.T(M::ScanSettingsTcp, {model, ListCaption(c, model), com})
            : c.T(M::ScanSettings, {model, ListCaption(c, model), std::to_string(r.port)}));
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  if (o.json) {
    c.out << list.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    for (const auto& line : lines) c.out << line << "\n";
    for (const auto& note : notes) c.out << Named(o, note) << "\n";
    for (const auto& line : settings) c.out << line << "\n";
    if (!any) {
      std::string scanned;
      for (int port : portSet) scanned += (scanned.empty() ? "" : ", ") + PortName(o, port);
      c.out << c.T(M::ScanNone, {scanned}) << "\n";
    }
  }
  c.err << "("
        << c.T(M::ScanTime, {std::to_string(results.size()), std::to_string(models.size()), time})
        << ")\n";
  return any ? 0 : 1;
}

}  // namespace zev::cli

// A weighing through a real ser2net that takes its line settings from the
// driver (RFC 2217), set beside the time the line itself takes and the
// converter's own delay. The scale is simulated on a pseudo-terminal that
// ser2net opens at 9600 8N1, and hears only what comes at its own line.
//
// The converter's delay is that of the same weighing through the same
// ser2net in raw mode with the device opened at the scale's line, less the
// line time: what the converter and the loopback add to a weighing. The
// weighing through RFC 2217 should stay within 1.2 times the line time plus
// that delay; the figures are printed, nothing is asserted on them.
//
// Counters, per model (median over the iterations):
//   wall_ms       one GetWeight through ser2net in RFC 2217 mode
//   line_ms       command and reply bytes at the model's baud, 10 or 11 bits each
//   raw_ms        one GetWeight through ser2net in raw mode
//   converter_ms  raw_ms - line_ms
//   bound_ms      1.2 * line_ms + converter_ms
//   ratio         wall_ms / (line_ms + converter_ms)
//   of_bound      wall_ms / bound_ms (1 or less: within the bound)
//   min_of_bound  the same of the fastest weighings of either mode, which the
//                 other processes of a busy machine delay least
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "addin.h"
#include "host.h"
#include "ser2net.h"
#include "simulator.h"

namespace {

using zev::bench::Addin;
using zev::host::tVariant;
using zev::sim::Model;
using zev::test::Ser2net;

constexpr double kWeightKg = 1.5;
constexpr int kWeighings = 24;  // in either mode

const char16_t* DriverName(Model model) {
  return model == Model::ZevU ? u"ZEV-U" : model == Model::ZevAW ? u"ZEV-AW" : u"ZEV-NT(N)";
}

// ser2net's words for the scale's own line.
std::string SerialSettings(Model model) {
  return model == Model::ZevU ? "4800n81" : "4800o81";
}

double LineSeconds(Model model) {
  const size_t command = model == Model::ZevU ? 1 : 3;
  const size_t reply = zev::sim::Simulator::Frame(model, kWeightKg).size();
  return static_cast<double>(command + reply) * zev::sim::Simulator::ByteSeconds(model);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// An object of the 4001 class connected to the converter on 127.0.0.1:port
// (Connection "TCP" or "RFC2217"); its device's id, empty when it did not
// connect.
std::u16string Connect(Addin& addin, Model model, const char16_t* connection, int port) {
  const bool set = addin.Set(u"Model", zev::host::WStr(addin.mm, DriverName(model))) &&
                   addin.Set(u"Connection", zev::host::WStr(addin.mm, connection)) &&
                   addin.Set(u"Host", zev::host::WStr(addin.mm, u"127.0.0.1")) &&
                   addin.Set(u"TCPPort", zev::host::Double(port));
  std::vector<tVariant> open = {zev::host::Empty()};
  tVariant ret = zev::host::Empty();
  const bool opened = set && addin.Call(u"Open", open, ret) && ret.vt == v8abi::VTYPE_BOOL &&
                      ret.bVal && open[0].vt == v8abi::VTYPE_PWSTR;
  const std::u16string id =
      opened ? std::u16string(open[0].wstr.pwstrVal, open[0].wstr.pwstrVal + open[0].wstr.wstrLen)
             : std::u16string();
  addin.Clear(open, ret);
  return id;
}

// One GetWeight: its wall time in seconds; `right` when the weight came and
// is the scale's.
double Weigh(Addin& addin, const std::u16string& id, bool& right) {
  std::vector<tVariant> params = {zev::host::WStr(addin.mm, id), zev::host::Empty()};
  tVariant r = zev::host::Empty();
  const auto t0 = std::chrono::steady_clock::now();
  addin.Call(u"GetWeight", params, r);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  right = r.vt == v8abi::VTYPE_BOOL && r.bVal && params[1].vt == v8abi::VTYPE_R8 &&
          params[1].dblVal == kWeightKg;
  addin.Clear(params, r);
  return seconds;
}

void Close(Addin& addin, const std::u16string& id) {
  std::vector<tVariant> params = {zev::host::WStr(addin.mm, id)};
  tVariant r = zev::host::Empty();
  addin.Call(u"Close", params, r);
  addin.Clear(params, r);
}

// The weighings through ser2net in raw mode, the device opened at the
// scale's line; none when it does not weigh.
std::vector<double> RawSeconds(zev::sim::Simulator& scale, Model model, std::string& error) {
  Ser2net converter;
  Ser2net::Options options;
  options.lineSettings = SerialSettings(model);
  if (!converter.Start(scale.DevicePath(), options, &error)) return {};
  Addin addin(u"TZEV_SCALE_4001_Class");
  const std::u16string id = Connect(addin, model, u"TCP", converter.Port());
  if (id.empty()) {
    error = "no connection through ser2net in raw mode";
    return {};
  }
  std::vector<double> times;
  for (int i = 0; i < kWeighings; ++i) {
    bool right = false;
    times.push_back(Weigh(addin, id, right));
    if (!right) {
      error = "no weight through ser2net in raw mode";
      return {};
    }
  }
  Close(addin, id);
  return times;
}

void BM_Rfc2217Weighing(benchmark::State& state, Model model) {
  std::string why;
  if (!Ser2net::Available(&why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  zev::sim::Simulator scale(model, kWeightKg);
  scale.SetLineCheck(true);
  if (!scale.Start(&why)) {
    state.SkipWithError(("no pseudo-terminal: " + why).c_str());
    return;
  }
  const std::vector<double> raw = RawSeconds(scale, model, why);
  if (raw.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }

  Ser2net converter;
  Ser2net::Options options;
  options.accepter = Ser2net::Accepter::TelnetRfc2217;
  options.lineSettings = "9600n81";
  if (!converter.Start(scale.DevicePath(), options, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  Addin addin(u"TZEV_SCALE_4001_Class");
  const std::u16string id = Connect(addin, model, u"RFC2217", converter.Port());
  if (id.empty()) {
    state.SkipWithError("no connection through ser2net in RFC 2217 mode");
    return;
  }
  std::vector<double> times;
  int64_t failures = 0;
  for (auto _ : state) {
    bool right = false;
    times.push_back(Weigh(addin, id, right));
    if (!right) ++failures;
  }
  Close(addin, id);

  const double line = LineSeconds(model);
  // The bound of a weighing that takes `wall` beside one in raw mode that takes `rawWall`.
  auto bound = [line](double rawWall) { return 1.2 * line + std::max(0.0, rawWall - line); };
  const double wall = Median(times), rawWall = Median(raw);
  const double delay = std::max(0.0, rawWall - line);
  state.counters["wall_ms"] = wall * 1e3;
  state.counters["line_ms"] = line * 1e3;
  state.counters["raw_ms"] = rawWall * 1e3;
  state.counters["converter_ms"] = delay * 1e3;
  state.counters["bound_ms"] = bound(rawWall) * 1e3;
  state.counters["ratio"] = wall / (line + delay);
  state.counters["of_bound"] = wall / bound(rawWall);
  state.counters["min_of_bound"] = *std::min_element(times.begin(), times.end()) /
                                   bound(*std::min_element(raw.begin(), raw.end()));
  state.counters["failed"] = static_cast<double>(failures);
}
#define ZEV_RFC2217(name, model)                     \
  BENCHMARK_CAPTURE(BM_Rfc2217Weighing, name, model) \
      ->Iterations(kWeighings)                       \
      ->UseRealTime()                                \
      ->Unit(benchmark::kMillisecond)
ZEV_RFC2217(ZEV_U, Model::ZevU);
ZEV_RFC2217(ZEV_AW, Model::ZevAW);
ZEV_RFC2217(ZEV_NT, Model::ZevNT);

}  // namespace

BENCHMARK_MAIN();

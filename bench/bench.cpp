// Benchmarks: the call path through the tables, the reply parsers, and a
// weighing over a pseudo-terminal or through a converter on the loopback
// address at the real line pace, set beside the floor that the line's
// time-outs impose.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "addin.h"
#include "host.h"
#include "simulator.h"
#include "zev_aw.h"
#include "zev_nt.h"
#include "zev_u.h"

namespace {

using zev::host::tVariant;
using zev::sim::Model;

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec * 1e-6;
}

using zev::bench::Addin;

void BM_FindMethod(benchmark::State& state, const char16_t* name) {
  Addin addin;
  const auto wide = zev::host::Wide(name);
  const auto& table = addin.component.Language();
  void* self = addin.component.LanguageSelf();
  for (auto _ : state) benchmark::DoNotOptimize(table.FindMethod(self, wide.data()));
}
BENCHMARK_CAPTURE(BM_FindMethod, english_GetWeight, u"GetWeight");
BENCHMARK_CAPTURE(BM_FindMethod, russian_ПолучитьВес, u"ПолучитьВес");

void BM_CallAsFunc(benchmark::State& state, long method, int params) {
  Addin addin;
  addin.Set(u"Model", zev::host::WStr(addin.mm, u"ZEV-U"));
  const auto& table = addin.component.Language();
  void* self = addin.component.LanguageSelf();
  std::vector<tVariant> p(static_cast<size_t>(params), zev::host::Empty());
  tVariant ret = zev::host::Empty();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        table.CallAsFunc(self, method, &ret, p.empty() ? nullptr : p.data(), params));
  }
  addin.Clear(p, ret);
}
BENCHMARK_CAPTURE(BM_CallAsFunc, GetVersion, 0, 0);
BENCHMARK_CAPTURE(BM_CallAsFunc, GetParameters, 3, 1);
BENCHMARK_CAPTURE(BM_CallAsFunc, GetLastError, 2, 1);

void BM_ParseReply(benchmark::State& state, Model model) {
  const std::string frame = zev::sim::Simulator::Frame(model, 12.345);
  auto parse = model == Model::ZevU    ? &zev::zev_u::ParseReply
               : model == Model::ZevAW ? &zev::zev_aw::ParseReply
                                       : &zev::zev_nt::ParseReply;
  for (auto _ : state) benchmark::DoNotOptimize(parse(frame, ','));
}
BENCHMARK_CAPTURE(BM_ParseReply, ZEV_U, Model::ZevU);
BENCHMARK_CAPTURE(BM_ParseReply, ZEV_AW, Model::ZevAW);
BENCHMARK_CAPTURE(BM_ParseReply, ZEV_NT, Model::ZevNT);

// One "GetWeight" against the simulator at 4800 baud, through either class.
// TZEV_SCALE_Class waits for the line to fall quiet: its floor is the reply's
// time on the line plus the 200 ms interval time-out after its last byte,
// capped by the 264 ms attempt time-out. TZEV_SCALE_4001_Class ends the read
// when the reply is complete: its floor is the time of command and reply on
// the line. With `traced` the line trace goes to a file (ZEVSCALE_TRACE);
// without it the variable is unset, as in the platform. With `tcp` the scale
// stands behind a simulated converter on 127.0.0.1 that COM3's entry holds
// the address of.
void BM_Weighing(benchmark::State& state, Model model, bool silent, bool traced = false,
                 bool revision4001 = false, bool tcp = false) {
  zev::sim::PortDirectory ports;
  ports.Export();
  const std::string trace = ports.Path() + "/trace.log";
  if (traced) {
    setenv("ZEVSCALE_TRACE", trace.c_str(), 1);
  } else {
    unsetenv("ZEVSCALE_TRACE");
  }
  zev::sim::Simulator scale(model, 1.5);
  if (tcp ? !scale.StartTcp("127.0.0.1", 0) : !scale.Start()) {
    state.SkipWithError(tcp ? "no loopback TCP" : "no pseudo-terminal");
    return;
  }
  zev::sim::Faults faults;
  faults.silent = silent;
  scale.SetFaults(faults);
  if (tcp) {
    ports.MapTcp(3, scale.TcpUrl());
  } else {
    ports.Map(3, scale.DevicePath());
  }
  Addin addin(revision4001 ? u"TZEV_SCALE_4001_Class" : u"TZEV_SCALE_Class");
  addin.Set(u"Model", zev::host::WStr(addin.mm, model == Model::ZevU    ? u"ZEV-U"
                                                : model == Model::ZevAW ? u"ZEV-AW"
                                                                        : u"ZEV-NT(N)"));
  addin.Set(u"Port", revision4001 ? zev::host::Double(3) : zev::host::Int(3));
  std::vector<tVariant> open = {zev::host::Empty()};
  tVariant ret = zev::host::Empty();
  addin.Call(u"Open", open, ret);
  const std::u16string id =
      revision4001 && open[0].vt == v8abi::VTYPE_PWSTR
          ? std::u16string(open[0].wstr.pwstrVal, open[0].wstr.pwstrVal + open[0].wstr.wstrLen)
          : std::u16string(u"NoDeviceID");
  addin.Clear(open, ret);

  const double byteSeconds = zev::sim::Simulator::ByteSeconds(model);
  const double replySeconds =
      static_cast<double>(zev::sim::Simulator::Frame(model, 1.5).size()) * byteSeconds;
  const double commandSeconds = (model == Model::ZevU ? 1 : 3) * byteSeconds;
  // A silent scale is given up after two empty attempts of 264 ms each, by
  // either class.
  const double floorSeconds = silent         ? 0.528
                              : revision4001 ? commandSeconds + replySeconds
                                             : std::min(replySeconds + 0.200, 0.264);
  double cpu = 0;
  double wall = 0;
  int64_t failures = 0;
  for (auto _ : state) {
    std::vector<tVariant> params = {zev::host::WStr(addin.mm, id), zev::host::Empty()};
    tVariant r = zev::host::Empty();
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    addin.Call(u"GetWeight", params, r);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += ThreadCpuSeconds() - cpu0;
    if (!(r.vt == v8abi::VTYPE_BOOL && r.bVal)) ++failures;
    addin.Clear(params, r);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["wall_ms"] = wall / n * 1e3;
  state.counters["cpu_ms"] = cpu / n * 1e3;
  state.counters["floor_ms"] = floorSeconds * 1e3;
  state.counters["ratio"] = wall / n / floorSeconds;
  state.counters["failed"] = static_cast<double>(failures);
  unsetenv("ZEVSCALE_TRACE");
  unlink(trace.c_str());
}
#define ZEV_WEIGHING(name, ...)                     \
  BENCHMARK_CAPTURE(BM_Weighing, name, __VA_ARGS__) \
      ->Iterations(8)                               \
      ->UseRealTime()                               \
      ->Unit(benchmark::kMillisecond)
ZEV_WEIGHING(ZEV_U, Model::ZevU, false);
ZEV_WEIGHING(ZEV_AW, Model::ZevAW, false);
ZEV_WEIGHING(ZEV_NT, Model::ZevNT, false);
ZEV_WEIGHING(ZEV_U_traced, Model::ZevU, false, true);
ZEV_WEIGHING(rev4001_ZEV_U, Model::ZevU, false, false, true);
ZEV_WEIGHING(rev4001_ZEV_AW, Model::ZevAW, false, false, true);
ZEV_WEIGHING(rev4001_ZEV_NT, Model::ZevNT, false, false, true);
BENCHMARK_CAPTURE(BM_Weighing, silent_scale, Model::ZevU, true)
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Weighing, rev4001_silent_scale, Model::ZevU, true, false, true)
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Weighing, ZEV_U_tcp, Model::ZevU, false, false, false, true)
    ->Iterations(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Weighing, ZEV_AW_tcp, Model::ZevAW, false, false, false, true)
    ->Iterations(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Weighing, ZEV_NT_tcp, Model::ZevNT, false, false, false, true)
    ->Iterations(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Weighing, silent_scale_tcp, Model::ZevU, true, false, false, true)
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The server case: `n` scales weighed at once, each through its own driver
// object on its own thread, every one a ZEV-U at 4800 baud. Wall time and CPU
// time per weighing, and the wall time beside that of a single scale.
void BM_Server(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  constexpr int kWeighings = 8;  // per scale
  static double singleWallSeconds = 0;
  zev::sim::PortDirectory ports;
  ports.Export();
  std::vector<std::unique_ptr<zev::sim::Simulator>> scales;
  for (int i = 0; i < n; ++i) {
    scales.push_back(std::make_unique<zev::sim::Simulator>(Model::ZevU, 1.5));
    if (!scales.back()->Start()) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    ports.Map(i + 1, scales.back()->DevicePath());
  }
  double wall = 0;
  double cpu = 0;
  int64_t failures = 0;
  for (auto _ : state) {
    std::mutex mutex;
    std::condition_variable cv;
    int ready = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
      threads.emplace_back([&, i] {
        Addin addin;
        addin.Set(u"Model", zev::host::WStr(addin.mm, u"ZEV-U"));
        addin.Set(u"Port", zev::host::Int(i + 1));
        std::vector<tVariant> open = {zev::host::Empty()};
        tVariant ret = zev::host::Empty();
        addin.Call(u"Open", open, ret);
        addin.Clear(open, ret);
        {
          // Every object is ready before the first weighing starts.
          std::unique_lock<std::mutex> lock(mutex);
          if (++ready == n) cv.notify_all();
          cv.wait(lock, [&] { return ready == n; });
        }
        double myWall = 0;
        double myCpu = 0;
        int64_t myFailures = 0;
        for (int k = 0; k < kWeighings; ++k) {
          std::vector<tVariant> params = {zev::host::WStr(addin.mm, u"NoDeviceID"),
                                          zev::host::Empty()};
          tVariant r = zev::host::Empty();
          const double cpu0 = ThreadCpuSeconds();
          const auto t0 = std::chrono::steady_clock::now();
          addin.Call(u"GetWeight", params, r);
          myWall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
          myCpu += ThreadCpuSeconds() - cpu0;
          if (!(r.vt == v8abi::VTYPE_BOOL && r.bVal && params[1].dblVal == 1.5)) ++myFailures;
          addin.Clear(params, r);
        }
        std::lock_guard<std::mutex> lock(mutex);
        wall += myWall;
        cpu += myCpu;
        failures += myFailures;
      });
    }
    for (auto& t : threads) t.join();
  }
  const double weighings = static_cast<double>(state.iterations()) * n * kWeighings;
  const double wallPer = wall / weighings;
  if (n == 1) singleWallSeconds = wallPer;
  state.counters["scales"] = n;
  state.counters["wall_ms"] = wallPer * 1e3;
  state.counters["cpu_ms"] = cpu / weighings * 1e3;
  state.counters["vs_single"] = singleWallSeconds > 0 ? wallPer / singleWallSeconds : 0;
  state.counters["failed"] = static_cast<double>(failures);
}
BENCHMARK(BM_Server)->Arg(1)->Arg(8)->Arg(32)->Iterations(1)->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

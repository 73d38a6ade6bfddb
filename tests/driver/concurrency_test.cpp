// Driver objects used on many threads at once, as a server process of the
// platform uses them: each object on its own thread with its own scale.
#include <locale.h>

#include <algorithm>
#include <thread>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using zev::sim::Model;

// Runs `body(i)` on `n` threads at once.
template <class Body>
void OnThreads(int n, Body body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) threads.emplace_back(body, i);
  for (auto& t : threads) t.join();
}

// A command without a reply must reach the scale before the next command's
// purge, which on a pseudo-terminal also discards what the scale has not read.
void WaitForCommands(const zev::sim::Simulator& scale, int count) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (scale.Commands() < count && std::chrono::steady_clock::now() < limit) {
    std::this_thread::yield();
  }
}

// Eight objects on eight threads, each with a scale of its own; those for
// which `tcp(i)` holds are reached through a converter on the loopback address.
template <class Tcp>
void EightObjectsOnEightThreads(DriverTest& t, Tcp tcp) {
  auto& sims = t.sims;
  auto& library = t.library;
  auto& mm = t.mm;
  auto W = [&t](std::string_view text) { return t.W(text); };
  auto RunOn = [&t](const host::Component& c, std::u16string_view method,
                    std::vector<tVariant> params = {}) {
    return t.RunOn(c, method, std::move(params));
  };
  constexpr int kThreads = 8;
  constexpr int kCycles = 6;
  for (int i = 0; i < kThreads; ++i) {
    if (tcp(i)) {
      t.TcpScale(kModels[i % 3].model, i + 1);
    } else {
      t.Scale(kModels[i % 3].model, i + 1);
    }
  }
  std::vector<host::Connection> connections(kThreads);
  OnThreads(kThreads, [&](int i) {
    const ModelCase& model = kModels[i % 3];
    host::Component c(library, mm, &connections[static_cast<size_t>(i)]);
    const std::string port = std::to_string(i + 1);
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Model"), W(model.name)})->ok);
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Port"), host::Int(i + 1)})->ok);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      SCOPED_TRACE(std::string(model.name) + " on COM" + port);
      const double kg = (i * 1000 + cycle * 7 + 1) / 1000.0;
      sims[static_cast<size_t>(i)]->SetWeight(kg);
      EXPECT_TRUE(RunOn(c, u"Open", {host::Empty()})->Succeeded());
      auto weigh = RunOn(c, u"GetWeight", {W("NoDeviceID"), host::Empty()});
      EXPECT_TRUE(weigh->Succeeded());
      EXPECT_EQ(weigh->params[1].dblVal, kg);
      EXPECT_TRUE(RunOn(c, u"Calibrate", {W("NoDeviceID"), host::Double(0.5)})->Succeeded());
      WaitForCommands(*sims[static_cast<size_t>(i)], 2 * (cycle + 1));
      auto page = RunOn(c, u"GetParameters", {host::Empty()});
      EXPECT_NE(page->Bytes(0).find("DefaultValue=\"" + std::string(model.name) + "\""),
                std::string::npos);
      EXPECT_NE(page->Bytes(0).find("DefaultValue=\"" + port + "\""), std::string::npos);
      EXPECT_TRUE(RunOn(c, u"Close", {W("NoDeviceID")})->Succeeded());
    }
  });
  for (int i = 0; i < kThreads; ++i) {
    std::string expected;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      expected += kModels[i % 3].weigh + kModels[i % 3].tare;
    }
    EXPECT_EQ(sims[static_cast<size_t>(i)]->Received(), expected) << "COM" << i + 1;
  }
  for (const auto& connection : connections) EXPECT_TRUE(connection.Errors.empty());
}

TEST_F(DriverTest, EightObjectsOnEightThreads) {
  EightObjectsOnEightThreads(*this, [](int) { return false; });
}

TEST_F(DriverTest, EightObjectsOnEightThreadsMixingComAndTcp) {
  EightObjectsOnEightThreads(*this, [](int i) { return i % 2 == 1; });
}

// Each thread reads the tare text and the weight with the separator of its own
// locale while the other thread uses a different one.
TEST_F(DriverTest, TwoLocalesTaringAndWeighingAtOnce) {
  const locale_t locales[] = {newlocale(LC_ALL_MASK, "C", nullptr),
                              newlocale(LC_ALL_MASK, "ru_RU.UTF-8", nullptr)};
  ASSERT_NE(locales[1], nullptr) << "the ru_RU.UTF-8 locale must be installed";
  const char* const tares[] = {"1.5", "1,5"};
  constexpr int kRounds = 5;
  constexpr int kTaresPerRound = 1000;
  for (int i = 0; i < 2; ++i) Scale(Model::ZevU, i + 1, 12.345);
  int refused[2] = {0, 0};
  OnThreads(2, [&](int i) {
    uselocale(locales[i]);
    host::Component c(library, mm, nullptr);
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Model"), W("ZEV-U")})->ok);
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Port"), host::Int(i + 1)})->ok);
    EXPECT_TRUE(RunOn(c, u"Open", {host::Empty()})->Succeeded());
    const zev::sim::Simulator& scale = *sims[static_cast<size_t>(i)];
    for (int round = 0; round < kRounds; ++round) {
      for (int k = 0; k < kTaresPerRound; ++k) {
        if (!RunOn(c, u"Calibrate", {W("NoDeviceID"), W(tares[i])})->Succeeded()) ++refused[i];
        // Calls with an identifier never handed out read the tare as well
        // (before the identifier check) and send nothing: both threads read
        // the separator all the time.
        for (int n = 0; n < 50; ++n) RunOn(c, u"Calibrate", {W("other"), W(tares[i])});
        WaitForCommands(scale, round * (kTaresPerRound + 1) + k + 1);
      }
      auto weigh = RunOn(c, u"GetWeight", {W("NoDeviceID"), host::Empty()});
      EXPECT_TRUE(weigh->Succeeded());
      EXPECT_EQ(weigh->params[1].dblVal, 12.345) << tares[i];
    }
    RunOn(c, u"Close", {W("NoDeviceID")});
    uselocale(LC_GLOBAL_LOCALE);
  });
  for (int i = 0; i < 2; ++i) {
    const std::string received = sims[static_cast<size_t>(i)]->Received();
    SCOPED_TRACE(tares[i]);
    EXPECT_EQ(refused[i], 0);
    EXPECT_EQ(std::count(received.begin(), received.end(), 'T'), kRounds * kTaresPerRound);
    EXPECT_EQ(std::count(received.begin(), received.end(), 'C'), 0);
    EXPECT_EQ(std::count(received.begin(), received.end(), 'P'), kRounds);
  }
  for (locale_t l : locales) freelocale(l);
}

}  // namespace
}  // namespace zev::e2e

// A weight is right or it is an error. Both classes, every model, on a
// pseudo-terminal and through converters (raw, Telnet, one line copied to two
// connections, and Debian's ser2net in raw and Telnet modes), weigh replies
// with bytes in front, replies that lost a byte, noise and replies followed by
// more bytes: a weighing may fail, but one that succeeds gives the weight.
// Each line prints its tally (ZEV_TEST_ADDIN names another build to count).
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "driver_fixture.h"
#include "ser2net.h"

namespace zev::e2e {
namespace {

using zev::sim::Model;

constexpr double kKg = 123.456;

// Weighings per fault, class, model and line: ZEV_WRONG_WEIGHT_ROUNDS, or 4.
int Rounds() {
  const char* rounds = std::getenv("ZEV_WRONG_WEIGHT_ROUNDS");
  return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 4;
}

enum class Line { Pty, Tcp, Telnet, Shared, Ser2netRaw, Ser2netTelnet };
using Case = std::tuple<const char16_t*, Line>;  // the class, the line

// What a scale is made to send for each weighing: the reply as it should be,
// with `before` in front and `cut` bytes left out of it at `at`.
struct Fault {
  const char* name;
  std::string before;
  int cutFirst = 0;    // bytes of the reply's start that were lost
  int cutLast = 0;     // bytes of the reply's end that were lost
  int after = 0;       // bytes sent after the reply
  bool noise = false;  // random bytes in front, 1 to 3 of them
  bool ff = false;     // the reply's bytes after the first six are FF
};

const Fault kFaults[] = {
    {"clean", ""},
    {"LF in front", "\n"},
    {"NUL in front", std::string(1, '\0')},
    {"CR LF in front", "\r\n"},
    {"blanks and CR LF in front", "      \r\n"},
    {"Telnet negotiation in front", "\xFF\xFB\x01"},
    {"CR LF in front, first byte lost", "\r\n", 1},
    {"last byte lost", "", 0, 1},
    {"noise in front", "", 0, 0, 0, true},
    {"bytes after the reply", "", 0, 0, 4},
    {"FF bytes after the weight", "", 0, 0, 0, false, true},
};

struct Tally {
  int right = 0, failed = 0, wrong = 0;
  std::string wrongSeen;
};

class WrongWeightTest : public DriverTest, public ::testing::WithParamInterface<Case> {
 public:
  // Every fault, Rounds() times, on one scale of `model` through one object.
  Tally Weigh(const ModelCase& model, int port, zev::sim::Simulator& scale) {
    Tally t;
    host::Connection connection;
    host::Component c(library, mm, &connection, std::get<0>(GetParam()));
    const bool rev4001 = std::u16string_view(std::get<0>(GetParam())) != u"TZEV_SCALE_Class";
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Model"), W(model.name)})->ok);
    EXPECT_TRUE(
        RunOn(c, u"SetParameter", {W("Port"), rev4001 ? host::Double(port) : host::Int(port)})->ok);
    auto open = RunOn(c, u"Open", {host::Empty()});
    EXPECT_TRUE(open->Succeeded());
    const std::string id = rev4001 ? open->WText(0) : "NoDeviceID";
    std::mt19937 random(static_cast<unsigned>(port));
    const std::string frame = zev::sim::Simulator::Frame(model.model, kKg);
    for (const Fault& f : kFaults) {
      for (int i = 0, n = Rounds(); i < n; ++i) {
        std::string reply = f.before;
        if (f.noise) {
          for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
            reply += static_cast<char>(random() & 0xFF);
        }
        std::string sent = frame;
        if (f.ff) sent.replace(6, std::string::npos, sent.size() - 6, '\xFF');
        reply += sent.substr(static_cast<size_t>(f.cutFirst),
                             sent.size() - static_cast<size_t>(f.cutFirst + f.cutLast));
        reply.append(static_cast<size_t>(f.after), '#');
        zev::sim::Faults faults;
        faults.raw = reply;
        scale.SetFaults(faults);
        auto weigh = RunOn(c, u"GetWeight", {W(id), host::Empty()});
        if (!weigh->Flag()) {
          ++t.failed;
        } else if (weigh->params[1].dblVal == kKg) {
          ++t.right;
        } else {
          ++t.wrong;
          t.wrongSeen +=
              std::string(f.name) + ": " + std::to_string(weigh->params[1].dblVal) + "; ";
        }
      }
    }
    EXPECT_TRUE(RunOn(c, u"Close", {W(id)})->ok);
    return t;
  }
};

TEST_P(WrongWeightTest, NoWeighingGivesAWrongWeight) {
  const Line line = std::get<1>(GetParam());
  std::vector<std::unique_ptr<zev::test::Ser2net>> converters;
  for (size_t i = 0; i < 3; ++i) {
    const int port = 3 + static_cast<int>(i);
    if (line == Line::Pty) {
      Scale(kModels[i].model, port, kKg);
    } else if (line == Line::Ser2netRaw || line == Line::Ser2netTelnet) {
      std::string why;
      if (!zev::test::Ser2net::Available(&why)) GTEST_SKIP() << "no ser2net: " << why;
      auto& scale = Scale(kModels[i].model, port, kKg);
      zev::test::Ser2net::Options options;
      options.accepter = line == Line::Ser2netRaw ? zev::test::Ser2net::Accepter::Raw
                                                  : zev::test::Ser2net::Accepter::Telnet;
      options.lineSettings = kModels[i].model == Model::ZevU ? "4800n81" : "4800o81";
      converters.push_back(std::make_unique<zev::test::Ser2net>());
      ASSERT_TRUE(converters.back()->Start(scale.DevicePath(), options, &why)) << why;
      ports.MapTcp(port, converters.back()->Url());
    } else {
      zev::sim::TcpOptions options;
      options.telnet = line == Line::Telnet;
      options.copyToAll = line == Line::Shared;
      sims.push_back(std::make_unique<zev::sim::Simulator>(kModels[i].model, kKg));
      std::string error;
      ASSERT_TRUE(sims.back()->StartTcp("127.0.0.1", 0, options, &error)) << error;
      ports.MapTcp(port, sims.back()->TcpUrl());
    }
  }
  // The three models at once, each on its own thread and object; on a line
  // copied to every connection, two objects weigh through it at once.
  const size_t perModel = line == Line::Shared ? 2 : 1;
  std::vector<Tally> tallies(3 * perModel);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < tallies.size(); ++i) {
    threads.emplace_back([&, i] {
      const size_t m = i % 3;
      tallies[i] = Weigh(kModels[m], 3 + static_cast<int>(m), *sims[m]);
    });
  }
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < tallies.size(); ++i) {
    const Tally& t = tallies[i];
    const char* name = kModels[i % 3].name;
    std::printf("%s: %d right, %d failed, %d wrong of %d\n", name, t.right, t.failed, t.wrong,
                t.right + t.failed + t.wrong);
    EXPECT_EQ(t.wrong, 0) << name << ": " << t.wrongSeen;
    // The clean replies and those behind a known preamble weigh right.
    if (line != Line::Shared) {
      EXPECT_GE(t.right, Rounds()) << name;
    }
  }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const kLines[] = {"Pty",    "Tcp",        "Telnet",
                                       "Shared", "Ser2netRaw", "Ser2netTelnet"};
  return std::string(std::u16string_view(std::get<0>(info.param)) == u"TZEV_SCALE_Class"
                         ? "First"
                         : "Rev4001") +
         kLines[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WrongWeightTest,
    ::testing::Combine(::testing::Values(u"TZEV_SCALE_Class", u"TZEV_SCALE_4001_Class"),
                       ::testing::Values(Line::Pty, Line::Tcp, Line::Telnet, Line::Shared,
                                         Line::Ser2netRaw, Line::Ser2netTelnet)),
    CaseName);

}  // namespace
}  // namespace zev::e2e

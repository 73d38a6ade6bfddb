// A weight is right or it is an error. Both classes, every model, on a
// pseudo-terminal and through converters, weigh replies with bytes in front,
// replies that lost a byte, noise and replies followed by more bytes: a
// weighing may fail, but a weighing that succeeds gives the scale's weight.
// Each line prints its tally (ZEV_TEST_ADDIN names another build to count).
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using zev::sim::Model;

constexpr double kKg = 123.456;

// Weighings per fault, class, model and line: ZEV_WRONG_WEIGHT_ROUNDS, or 4.
int Rounds() {
  const char* rounds = std::getenv("ZEV_WRONG_WEIGHT_ROUNDS");
  return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 4;
}

enum class Line { Pty, Tcp };
struct Case {
  const char16_t* className;
  Line line;
};

// What a scale is made to send for each weighing: the reply as it should be,
// with `before` in front and `cut` bytes left out of it at `at`.
struct Fault {
  const char* name;
  std::string before;
  int cutFirst = 0;    // bytes of the reply's start that were lost
  int cutLast = 0;     // bytes of the reply's end that were lost
  int after = 0;       // bytes sent after the reply
  bool noise = false;  // random bytes in front, 1 to 3 of them
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
    host::Component c(library, mm, &connection, GetParam().className);
    const bool rev4001 = std::u16string_view(GetParam().className) != u"TZEV_SCALE_Class";
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
        reply += frame.substr(static_cast<size_t>(f.cutFirst),
                              frame.size() - static_cast<size_t>(f.cutFirst + f.cutLast));
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
  for (const ModelCase& m : kModels) {
    if (GetParam().line == Line::Tcp) {
      TcpScale(m.model, 3 + static_cast<int>(&m - kModels), kKg);
    } else {
      Scale(m.model, 3 + static_cast<int>(&m - kModels), kKg);
    }
  }
  // The three models at once, each on its own thread and object.
  Tally tallies[3];
  std::vector<std::thread> threads;
  for (size_t i = 0; i < 3; ++i) {
    threads.emplace_back(
        [&, i] { tallies[i] = Weigh(kModels[i], 3 + static_cast<int>(i), *sims[i]); });
  }
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < 3; ++i) {
    const Tally& t = tallies[i];
    std::printf("%s: %d right, %d failed, %d wrong of %d\n", kModels[i].name, t.right, t.failed,
                t.wrong, t.right + t.failed + t.wrong);
    EXPECT_EQ(t.wrong, 0) << kModels[i].name << ": " << t.wrongSeen;
    // The clean replies and those behind a known preamble weigh right.
    EXPECT_GE(t.right, Rounds()) << kModels[i].name;
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, WrongWeightTest,
                         ::testing::Values(Case{u"TZEV_SCALE_Class", Line::Pty},
                                           Case{u"TZEV_SCALE_Class", Line::Tcp},
                                           Case{u"TZEV_SCALE_4001_Class", Line::Pty},
                                           Case{u"TZEV_SCALE_4001_Class", Line::Tcp}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(std::u16string_view(info.param.className) ==
                                                      u"TZEV_SCALE_Class"
                                                  ? "First"
                                                  : "Rev4001") +
                                  (info.param.line == Line::Tcp ? "Tcp" : "Pty");
                         });

}  // namespace
}  // namespace zev::e2e

// The device core and the link against a port in memory: the bytes each
// model's row sends, weighings, every fault the core and the link make and
// what it carries, and replies read by the model's frame rule.
#include <gtest/gtest.h>
#include <locale.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TScaleDevice.h"
#include "fake_port.h"
#include "zev/platform/locale.h"

namespace {

using namespace std::string_literals;
using zev::driver::TScaleDevice;
using zev::scales::Fault;
using zev::test::FakeLine;
using zev::test::FakePort;
using Step = TScaleDevice::Step;
using Kind = FakeLine::Kind;
using Status = zev::platform::TcpStatus;

const std::string kU = "  1.250 kg  \r\n";              // 1.250 kg from each model
const std::string kAw = "0521" + std::string(14, ' ');  // grams' digits, units first
const std::string kNt = "052100" + std::string(12, ' ');

const std::string& Frame(const std::string& model) {
  return model == "ZEV-U" ? kU : model == "ZEV-AW" ? kAw : kNt;
}

// A device of `model` on a fake port.
struct Rig {
  TScaleDevice device;
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  Rig(const std::string& model, bool fast) {
    const zev::scales::ModelRow* row = zev::scales::FindModel(std::string_view(model));
    EXPECT_NE(row, nullptr) << model;
    EXPECT_TRUE(row && device.SetModel(zev::driver::NameOf(*row)));
    device.SetFastReplies(fast);
    EXPECT_TRUE(device.Attach(std::make_unique<FakePort>(line), "fake"));
  }
};

enum class Op { Weigh, TareLoad, Tare, TareZero, CancelTare, Zero };

bool Do(TScaleDevice& device, Op op) {
  double kg = 0;
  switch (op) {
    case Op::Weigh:
      return device.Weigh(kg);
    case Op::TareLoad:
      return device.TareLoad();
    case Op::Tare:
      return device.Tare(2.5);
    case Op::TareZero:
      return device.Tare(0.0);
    case Op::CancelTare:
      return device.CancelTare();
    case Op::Zero:
      return device.Zero();
  }
  return false;
}

TEST(Seam, EachOperationSendsItsModelsBytesOrNothing) {
  const struct {
    const char* model;
    Op op;
    std::string sent;  // empty: Unsupported
    Step step;
  } cases[] = {
      {"ZEV-U", Op::Weigh, "P", Step::Weigh},
      {"ZEV-U", Op::TareLoad, "T", Step::Tare},
      {"ZEV-U", Op::Tare, "T", Step::Tare},
      {"ZEV-U", Op::TareZero, "C", Step::CancelTare},
      {"ZEV-U", Op::CancelTare, "C", Step::CancelTare},
      {"ZEV-U", Op::Zero, "Z", Step::Zero},
      {"ZEV-AW", Op::Weigh, "\0\0\3"s, Step::Weigh},
      {"ZEV-AW", Op::TareLoad, "\0\0\1"s, Step::Tare},
      {"ZEV-AW", Op::Tare, "\0\0\1"s, Step::Tare},
      {"ZEV-AW", Op::TareZero, "\0\0\1"s, Step::Tare},
      {"ZEV-AW", Op::CancelTare, "", Step::CancelTare},
      {"ZEV-AW", Op::Zero, "", Step::Zero},
      {"ZEV-NT(N)", Op::Weigh, "\0\0\3"s, Step::Weigh},
      {"ZEV-NT(N)", Op::TareLoad, "\0\0\1"s, Step::Tare},
      {"ZEV-NT(N)", Op::Tare, "\0\0\1"s, Step::Tare},
      {"ZEV-NT(N)", Op::TareZero, "\0\0\1"s, Step::Tare},
      {"ZEV-NT(N)", Op::CancelTare, "", Step::CancelTare},
      {"ZEV-NT(N)", Op::Zero, "", Step::Zero},
  };
  size_t covered = 0;
  for (const auto& model : zev::scales::Models()) {
    for (const auto& c : cases) covered += std::string(c.model) == model.name ? 1 : 0;
  }
  EXPECT_EQ(covered, std::size(cases)) << "a model of the table without its rows here";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " op " + std::to_string(static_cast<int>(c.op)));
    Rig rig(c.model, false);
    rig.line->Reply(Frame(c.model));
    const bool supported = !c.sent.empty();
    EXPECT_EQ(Do(rig.device, c.op), supported);
    EXPECT_EQ(rig.line->written, c.sent);
    EXPECT_EQ(rig.line->purges, supported ? 1 : 0);
    EXPECT_EQ(rig.device.Error().fault, supported ? Fault::None : Fault::Unsupported);
    EXPECT_EQ(rig.device.LastStep(), c.step);
  }
}

// The thread's locale for the life of the object.
class ThreadLocale {
 public:
  explicit ThreadLocale(const char* name) : locale_(newlocale(LC_ALL_MASK, name, nullptr)) {
    if (locale_) uselocale(locale_);
  }
  ~ThreadLocale() {
    if (!locale_) return;
    uselocale(LC_GLOBAL_LOCALE);
    freelocale(locale_);
  }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;
  bool Made() const { return locale_ != static_cast<locale_t>(nullptr); }

 private:
  locale_t locale_;
};

TEST(Seam, WeighingGivesKilogramsAndTheWeightText) {
  const struct {
    const char* model;
    std::string reply;
    double kg;
    std::string text;  // '.' stands for the regional separator where `regional`
    bool regional;
  } cases[] = {
      {"ZEV-U", kU, 1.25, "  1.250 kg  ", false},
      {"ZEV-U", " -0.035 kg  \r\n", -0.035, " -0.035 kg  ", false},
      {"ZEV-U", "123.456kg   \r\n", 123.456, "123.456kg   ", false},
      {"ZEV-AW", kAw, 1.25, "1.250", true},
      {"ZEV-AW", "53-" + std::string(15, ' '), -0.035, "-0.035", true},
      {"ZEV-AW", "0" + std::string(15, ' ') + "\r\n", 0.0, "0.000", true},
      {"ZEV-NT(N)", kNt, 1.25, "1.250", true},
      {"ZEV-NT(N)", "654321\r\nABCDEFGHIJ", 123.456, "123.456", true},
  };
  const char* locales[] = {"C", "ru_RU.UTF-8"};
  for (const char* name : locales) {
    ThreadLocale locale(name);
    ASSERT_TRUE(locale.Made()) << "the " << name << " locale must be installed";
    const char separator = zev::platform::DecimalSeparator();
    EXPECT_EQ(separator, name[0] == 'C' ? '.' : ',');
    for (const auto& c : cases) {
      for (const bool fast : {false, true}) {
        SCOPED_TRACE(std::string(c.model) + " " + name + (fast ? " fast " : " ") + c.text);
        Rig rig(c.model, fast);
        rig.line->Reply(c.reply);
        double kg = 99;
        std::string text;
        EXPECT_TRUE(rig.device.Weigh(kg));
        EXPECT_DOUBLE_EQ(kg, c.kg);
        rig.line->Reply(c.reply);
        EXPECT_TRUE(rig.device.WeighText(text));
        std::string expected = c.text;
        for (char& ch : expected) {
          if (c.regional && ch == '.') ch = separator;
        }
        EXPECT_EQ(text, expected);
        EXPECT_EQ(rig.device.Error().fault, Fault::None);
        EXPECT_EQ(rig.device.LastStep(), Step::Weigh);
      }
    }
  }
}

TEST(Seam, WithoutModelOrPort) {
  TScaleDevice device;
  auto line = std::make_shared<FakeLine>();
  double kg = 0;
  std::string text;
  EXPECT_FALSE(device.SetModel(u"ZEV-X"));
  EXPECT_EQ(device.Model(), nullptr);
  const std::function<bool()> operations[] = {
      [&] { return device.Attach(std::make_unique<FakePort>(line), "fake"); },
      [&] { return device.Weigh(kg); },
      [&] { return device.WeighText(text); },
      [&] { return device.Heard(); },
      [&] { return device.Tare(1); },
      [&] { return device.TareLoad(); },
      [&] { return device.CancelTare(); },
      [&] { return device.Zero(); },
      [&] { return device.Close(); },
  };
  for (const auto& operation : operations) {
    EXPECT_FALSE(operation());
    EXPECT_EQ(device.Error().fault, Fault::NoModel);
    EXPECT_EQ(device.LastStep(), Step::None);
  }
  EXPECT_TRUE(line->destroyed);  // the port given without a model is let go

  ASSERT_TRUE(device.SetModel(u"ZEV-U"));
  EXPECT_FALSE(device.Weigh(kg));
  EXPECT_EQ(device.Error().fault, Fault::NotOpen);
  EXPECT_EQ(device.LastStep(), Step::Weigh);
  EXPECT_FALSE(device.Zero());
  EXPECT_EQ(device.Error().fault, Fault::NotOpen);
  EXPECT_EQ(device.LastStep(), Step::Zero);
  EXPECT_FALSE(device.Close());
  EXPECT_EQ(device.Error().fault, Fault::NotOpen);
  EXPECT_EQ(device.LastStep(), Step::Close);

  // A refused close is told, and the port is let go all the same.
  line = std::make_shared<FakeLine>();
  line->closes = false;
  ASSERT_TRUE(device.Attach(std::make_unique<FakePort>(line), "fake"));
  EXPECT_EQ(device.LastStep(), Step::Open);
  EXPECT_TRUE(device.IsOpen());
  EXPECT_FALSE(device.Close());
  EXPECT_EQ(device.Error().fault, Fault::CloseFailed);
  EXPECT_EQ(device.LastStep(), Step::Close);
  EXPECT_EQ(line->closeCalls, 1);
  EXPECT_TRUE(line->destroyed);
  EXPECT_FALSE(device.IsOpen());

  // A close that succeeds clears the failure; a second finds no port.
  line = std::make_shared<FakeLine>();
  ASSERT_TRUE(device.Attach(std::make_unique<FakePort>(line), "fake"));
  EXPECT_TRUE(device.Close());
  EXPECT_EQ(device.Error().fault, Fault::None);
  EXPECT_FALSE(device.Close());
  EXPECT_EQ(device.Error().fault, Fault::NotOpen);

  // Another port, or another model, lets the held port go.
  line = std::make_shared<FakeLine>();
  ASSERT_TRUE(device.Attach(std::make_unique<FakePort>(line), "fake"));
  ASSERT_TRUE(device.Attach(std::make_unique<FakePort>(std::make_shared<FakeLine>()), "fake"));
  EXPECT_EQ(line->closeCalls, 1);
  EXPECT_TRUE(line->destroyed);
  line = std::make_shared<FakeLine>();
  ASSERT_TRUE(device.Attach(std::make_unique<FakePort>(line), "fake"));
  ASSERT_TRUE(device.SetModel(u"ZEV-AW"));
  EXPECT_TRUE(line->destroyed);
  EXPECT_FALSE(device.IsOpen());
}

// What the port does in an exchange.
struct Script {
  size_t writeLimit;  // bytes a write takes
  std::string reply;  // one burst; empty: none
  Kind after;         // the reads after it
  Status status;      // the port's LinkStatus
  void On(FakeLine& line) const {
    line.writeLimit = writeLimit;
    if (!reply.empty()) line.Reply(reply);
    line.whenEmpty = after;
    line.status = status;
  }
};
constexpr size_t kAll = SIZE_MAX;

TEST(Seam, ExchangeFaultsCarryWhatHappenedAndASuccessClearsThem) {
  const std::string blankU = std::string(12, ' ') + "\r\n", shortAw = kAw.substr(1),
                    badAw = "ABC" + kAw.substr(3);
  const struct {
    const char* model;
    bool fast;
    Op op;
    Script script;
    Fault fault;
    std::string bytes;       // NotAReply, NotAWeight
    std::string weightText;  // NotAWeight
  } cases[] = {
      // clang-format off
      {"ZEV-U",     false, Op::Weigh,    {0, "", Kind::Nothing, Status::Ok}, Fault::CommandFailed, "", ""},
      {"ZEV-AW",    false, Op::TareLoad, {2, "", Kind::Nothing, Status::Ok}, Fault::CommandFailed, "", ""},
      {"ZEV-NT(N)", true,  Op::Weigh,    {1, "", Kind::Nothing, Status::Ok}, Fault::CommandFailed, "", ""},
      {"ZEV-U",     false, Op::Weigh,    {kAll, "hello\r\n", Kind::Nothing, Status::Ok}, Fault::NotAReply, "hello\r\n", ""},
      {"ZEV-AW",    false, Op::Weigh,    {kAll, shortAw, Kind::Nothing, Status::Ok}, Fault::NotAReply, shortAw, ""},
      {"ZEV-AW",    true,  Op::Weigh,    {kAll, badAw, Kind::Nothing, Status::Ok}, Fault::NotAReply, badAw, ""},
      {"ZEV-NT(N)", true,  Op::Weigh,    {kAll, "05", Kind::Nothing, Status::Ok}, Fault::NotAReply, "05", ""},
      {"ZEV-U",     false, Op::Weigh,    {kAll, "", Kind::Fail, Status::Ok}, Fault::LineGone, "", ""},
      {"ZEV-AW",    true,  Op::Weigh,    {kAll, "", Kind::Fail, Status::Ok}, Fault::LineGone, "", ""},
      {"ZEV-NT(N)", false, Op::Weigh,    {kAll, "", Kind::Fail, Status::Ok}, Fault::LineGone, "", ""},
      {"ZEV-U",     false, Op::Weigh,    {kAll, "  abc.d kg  \r\n", Kind::Nothing, Status::Ok}, Fault::NotAWeight, "  abc.d kg  \r\n", "abc.d"},
      {"ZEV-U",     true,  Op::Weigh,    {kAll, " 1.2.3  kg  \r\n", Kind::Nothing, Status::Ok}, Fault::NotAWeight, " 1.2.3  kg  \r\n", "1.2.3"},
      {"ZEV-U",     false, Op::Weigh,    {kAll, blankU, Kind::Nothing, Status::Ok}, Fault::NotAWeight, blankU, ""},
      {"ZEV-U",     false, Op::Weigh,    {kAll, "", Kind::Fail, Status::Closed}, Fault::LinkFailed, "", ""},
      {"ZEV-AW",    false, Op::TareLoad, {0, "", Kind::Nothing, Status::Busy}, Fault::LinkFailed, "", ""},
      {"ZEV-NT(N)", true,  Op::Weigh,    {kAll, "junk", Kind::Nothing, Status::Closed}, Fault::LinkFailed, "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + (c.fast ? " fast " : " ") +
                 std::to_string(static_cast<int>(c.fault)) + " " + c.bytes);
    Rig rig(c.model, c.fast);
    c.script.On(*rig.line);
    EXPECT_FALSE(Do(rig.device, c.op));
    const auto& error = rig.device.Error();
    EXPECT_EQ(error.fault, c.fault);
    EXPECT_EQ(error.bytes, c.bytes);
    EXPECT_EQ(error.weightText, c.weightText);
    EXPECT_EQ(error.link, c.script.status);
    EXPECT_EQ(rig.device.LastStep(), c.op == Op::Weigh ? Step::Weigh : Step::Tare);

    rig.line->Reset();
    rig.line->Reply(Frame(c.model));
    double kg = 0;
    EXPECT_TRUE(rig.device.Weigh(kg));
    EXPECT_DOUBLE_EQ(kg, 1.25);
    EXPECT_EQ(rig.device.Error().fault, Fault::None);
    EXPECT_TRUE(rig.device.Error().bytes.empty());
  }
}

// Each waits out the reply's deadline once.
TEST(Seam, NothingByTheDeadlineGivesTheConnectionUp) {
  const struct {
    const char* model;
    bool fast;
  } cases[] = {{"ZEV-U", false}, {"ZEV-AW", true}, {"ZEV-NT(N)", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Rig rig(c.model, c.fast);
    rig.line->drops = true;
    double kg = 0;
    EXPECT_FALSE(rig.device.Weigh(kg));
    EXPECT_EQ(rig.device.Error().fault, Fault::NothingArrived);
    EXPECT_EQ(rig.device.LastStep(), Step::Weigh);
    EXPECT_EQ(rig.line->dropCalls, 1);
  }
}

TEST(Seam, HeardAfterACommandWithoutReply) {
  const struct {
    const char* model;
    bool fast;
    Script script;
    bool heard;
    Fault fault;
  } cases[] = {
      // clang-format off
      {"ZEV-U",     false, {kAll, "", Kind::Nothing, Status::Ok}, false, Fault::NoAnswerAfterCommand},  // the deadline
      {"ZEV-AW",    false, {kAll, "", Kind::Fail, Status::Ok}, false, Fault::NoAnswerAfterCommand},
      {"ZEV-NT(N)", true,  {kAll, "", Kind::Fail, Status::Closed}, false, Fault::NoAnswerAfterCommand},
      {"ZEV-U",     false, {0, "", Kind::Nothing, Status::Ok}, false, Fault::CommandFailed},
      {"ZEV-U",     false, {kAll, "garbage", Kind::Nothing, Status::Ok}, true, Fault::None},
      {"ZEV-U",     true,  {kAll, "  abc   kg  \r\n", Kind::Nothing, Status::Ok}, true, Fault::None},
      {"ZEV-AW",    false, {kAll, kAw, Kind::Nothing, Status::Ok}, true, Fault::None},
      {"ZEV-NT(N)", true,  {kAll, "0521", Kind::Nothing, Status::Ok}, true, Fault::None},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + (c.fast ? " fast " : " ") + c.script.reply);
    Rig rig(c.model, c.fast);
    ASSERT_TRUE(rig.device.TareLoad());
    c.script.On(*rig.line);
    EXPECT_EQ(rig.device.Heard(), c.heard);
    EXPECT_EQ(rig.device.Error().fault, c.fault);
    EXPECT_EQ(rig.device.LastStep(), Step::Weigh);
  }
}

TEST(Seam, FastRepliesTakeAWholeFrameStandingAlone) {
  const struct {
    const char* model;
    std::string reply;  // one burst
    bool taken;         // as 1.250 kg; otherwise NotAReply with all the bytes
  } cases[] = {
      {"ZEV-U", kU, true},
      {"ZEV-U", "\r\n" + kU, true},
      {"ZEV-U", "  " + kU, true},
      {"ZEV-U", kU + "XY", true},
      {"ZEV-U", "X" + kU, false},
      {"ZEV-U", kU + "  2.000 kg  \r\n", false},
      {"ZEV-AW", kAw, true},
      {"ZEV-AW", "\r\n" + kAw, true},
      {"ZEV-AW", "  " + kAw, true},
      {"ZEV-AW", kAw + "XY", true},
      {"ZEV-AW", "0" + kAw, false},  // 12.500 or 1.250
      {"ZEV-AW", kAw + "0002" + std::string(14, ' '), false},
      {"ZEV-NT(N)", kNt, true},
      {"ZEV-NT(N)", "\r\n" + kNt, true},
      {"ZEV-NT(N)", "  " + kNt, true},
      {"ZEV-NT(N)", kNt + "XY", true},
      {"ZEV-NT(N)", "0" + kNt, false},
      {"ZEV-NT(N)", kNt + "000200" + std::string(12, ' '), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " [" + c.reply + "]");
    Rig rig(c.model, true);
    rig.line->Reply(c.reply);
    double kg = 0;
    EXPECT_EQ(rig.device.Weigh(kg), c.taken);
    if (c.taken) {
      EXPECT_DOUBLE_EQ(kg, 1.25);
      EXPECT_EQ(rig.device.Error().fault, Fault::None);
    } else {
      EXPECT_EQ(rig.device.Error().fault, Fault::NotAReply);
      EXPECT_EQ(rig.device.Error().bytes, c.reply);
    }
    EXPECT_TRUE(rig.line->reads.empty()) << "bytes left for the next command";
    // A whole frame alone: one read of the frame's length, then a short wait for more.
    if (c.reply == Frame(c.model)) {
      ASSERT_EQ(rig.line->calls.size(), 2u);
      EXPECT_FALSE(rig.line->calls[0].within);
      EXPECT_EQ(rig.line->calls[0].size, c.reply.size());
      EXPECT_TRUE(rig.line->calls[1].within);
      EXPECT_GT(rig.line->calls[1].ms, 0u);
      EXPECT_LT(rig.line->calls[1].ms, 500u);
    }
  }
}

}  // namespace

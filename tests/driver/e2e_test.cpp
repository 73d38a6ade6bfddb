// The driver end to end, from CallAsFunc to the simulated scale and back, for
// every model.
#include <pthread.h>
#include <sys/time.h>

#include <atomic>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using namespace std::chrono_literals;
using zev::sim::Model;

class ModelTest : public DriverTest, public ::testing::WithParamInterface<ModelCase> {
 protected:
  static constexpr int kPort = 3;
  void SetUp() override {
    DriverTest::SetUp();
    scale = &Scale(GetParam().model, kPort);
    Configure(GetParam().name, kPort);
  }
  bool Open() {
    auto open = Run(u"Open", {host::Empty()});
    EXPECT_EQ(open->Text(0), "NoDeviceID");
    return open->ok && open->Flag();
  }
  // Weighs through the driver: call result, success flag, weight.
  std::tuple<bool, bool, double> Weigh(std::u16string_view method = u"GetWeight") {
    auto call = Run(method, {W("NoDeviceID"), host::Empty()});
    const double kg = call->params[1].vt == v8abi::VTYPE_R8 ? call->params[1].dblVal : -999.0;
    return {call->ok, call->Flag(), kg};
  }
  zev::sim::Simulator* scale = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Models, ModelTest, ::testing::ValuesIn(kModels), ModelTestName);

TEST_P(ModelTest, OpenWeighClose) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(Weigh(), std::make_tuple(true, true, 0.5));
  scale->SetWeight(12.345);
  EXPECT_EQ(Weigh(u"ПолучитьВес"), std::make_tuple(true, true, 12.345));
  EXPECT_EQ(LastError(), std::make_pair(0, std::string()));
  auto close = Run(u"Отключить", {W("NoDeviceID")});
  EXPECT_TRUE(close->ok);
  EXPECT_TRUE(close->Flag());
  // Closed: the identifier is gone from the table.
  EXPECT_FALSE(std::get<0>(Weigh()));
  EXPECT_EQ(LastError().first, 65535);
}

TEST_P(ModelTest, TheRegionalSeparatorDoesNotChangeTheWeight) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"), nullptr)
      << "the ru_RU.UTF-8 locale must be installed";
  ASSERT_TRUE(Open());
  EXPECT_EQ(Weigh(), std::make_tuple(true, true, 0.5));
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(Weigh(), std::make_tuple(true, true, 0.5));
}

TEST_P(ModelTest, NegativeWeightsWhereTheModelHasThem) {
  ASSERT_TRUE(Open());
  scale->SetWeight(-1.25);
  const double expected = GetParam().model == Model::ZevNT ? 0.0 : -1.25;
  EXPECT_EQ(Weigh(), std::make_tuple(true, true, expected));
}

TEST_P(ModelTest, CalibrateSendsTheTareCommand) {
  ASSERT_TRUE(Open());
  scale->ClearReceived();
  for (double tare : {0.0, 0.5}) {
    auto call = Run(u"УстановитьВесТары", {W("NoDeviceID"), host::Double(tare)});
    EXPECT_TRUE(call->ok);
    EXPECT_TRUE(call->Flag());
    EXPECT_TRUE(scale->WaitQuiet());
  }
  const std::string expected =
      GetParam().model == Model::ZevU ? std::string("CT") : GetParam().tare + GetParam().tare;
  EXPECT_EQ(scale->Received(), expected);
  // A refused identifier reaches no scale.
  scale->ClearReceived();
  auto refused = Run(u"Calibrate", {W("X"), host::Double(1)});
  EXPECT_FALSE(refused->ok);
  EXPECT_TRUE(scale->WaitQuiet());
  EXPECT_EQ(scale->Received(), "");
}

TEST_P(ModelTest, Zeroing) {
  ASSERT_TRUE(Open());
  auto zero = Run(u"УстановитьНулевойВес");
  if (GetParam().model == Model::ZevU) {
    EXPECT_TRUE(zero->ok);
    EXPECT_TRUE(zero->Flag());
    EXPECT_TRUE(scale->WaitQuiet());
    EXPECT_EQ(scale->Received(), "Z");
  } else {
    EXPECT_TRUE(zero->ok);
    EXPECT_FALSE(zero->Flag());
    EXPECT_EQ(LastError(),
              std::make_pair(1001, std::string("Функция установки нуля <0> не поддерживается.")));
    EXPECT_EQ(scale->Received(), "");
  }
}

TEST_P(ModelTest, DeviceTestWeighsAndLeavesThePortClosed) {
  scale->SetWeight(0.5);
  auto test = Run(u"ТестУстройства", {host::Empty(), W("old")});
  EXPECT_TRUE(test->ok);
  EXPECT_TRUE(test->Flag());
  const std::string text = GetParam().model == Model::ZevU ? "  0.500 kg  " : "0.500";
  EXPECT_EQ(test->Text(0), "Масса - " + text);
  EXPECT_EQ(test->params[1].vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(test->Text(1), "");
  // The port is free again: another driver object can open it.
  host::Component other(library, mm, &connection);
  EXPECT_TRUE(RunOn(other, u"SetParameter", {W("Model"), W(GetParam().name)})->ok);
  EXPECT_TRUE(RunOn(other, u"SetParameter", {W("Port"), host::Int(kPort)})->ok);
  EXPECT_TRUE(RunOn(other, u"Open", {host::Empty()})->Flag());
}

TEST_P(ModelTest, DeviceTestWithASilentScale) {
  zev::sim::Faults silent;
  silent.silent = true;
  scale->SetFaults(silent);
  auto test = Run(u"DeviceTest", {host::Empty(), host::Empty()});
  EXPECT_TRUE(test->ok);
  EXPECT_FALSE(test->Flag());
  EXPECT_EQ(test->Text(0), "");
  // The close after the weighing cleared the adapter's text.
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string()));
}

TEST_P(ModelTest, AFailedWeighingAndWhatZeroingLeaves) {
  ASSERT_TRUE(Open());
  zev::sim::Faults silent;
  silent.silent = true;
  scale->SetFaults(silent);
  EXPECT_EQ(Weigh(), std::make_tuple(true, false, -999.0));
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Произошла ошибка взвешивания.")));
  auto zero = Run(u"Zeroing");
  EXPECT_TRUE(zero->ok);
  if (GetParam().model == Model::ZevU) {
    // A successful zeroing does not clear the weighing's error.
    EXPECT_TRUE(zero->Flag());
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Произошла ошибка взвешивания.")));
  }
}

TEST_P(ModelTest, OpeningTwiceKeepsOneIdentifier) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Open());  // the adapter closes and reopens its own port
  EXPECT_TRUE(std::get<1>(Weigh()));
  auto close = Run(u"Close", {W("NoDeviceID")});
  EXPECT_TRUE(close->Flag());
  EXPECT_FALSE(std::get<0>(Weigh())) << "one close removed the only entry";
}

TEST_P(ModelTest, CloseWithAnUnknownIdentifierStillCloses) {
  ASSERT_TRUE(Open());
  auto close = Run(u"Close", {W("other")});
  EXPECT_TRUE(close->ok);
  EXPECT_TRUE(close->Flag());
  // The table still holds the device, but its port is closed.
  EXPECT_EQ(Weigh(), std::make_tuple(true, false, -999.0));
  auto again = Run(u"Close", {W("NoDeviceID")});
  EXPECT_TRUE(again->ok);
  EXPECT_FALSE(again->Flag());
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Ошибка дескриптора COM порта")));
}

TEST_P(ModelTest, SettingTheModelAgainReleasesTheOldPort) {
  ASSERT_TRUE(Open());
  Configure(GetParam().name, kPort);  // a fresh adapter; the old one must let go
  EXPECT_TRUE(Open());
  EXPECT_TRUE(std::get<1>(Weigh()));
}

TEST_P(ModelTest, SettingTheModelGivesEveryHeldPortBack) {
  const int before = OpenDescriptors();
  for (const char* model : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)", "none"}) {
    Configure(GetParam().name, kPort);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetParameter("Model", W(model)));
    EXPECT_EQ(OpenDescriptors(), before) << model;
    ASSERT_TRUE(SetParameter("Port", host::Int(kPort)));
    if (std::string(model) != "none") {
      EXPECT_TRUE(Open()) << model;
    }
  }
}

TEST_P(ModelTest, DeviceTestOnAnOpenDeviceLeavesItOpen) {
  ASSERT_TRUE(Open());
  auto test = Run(u"DeviceTest", {host::Empty(), host::Empty()});
  EXPECT_TRUE(test->ok);
  EXPECT_TRUE(test->Flag());
  EXPECT_EQ(Weigh(), std::make_tuple(true, true, 0.5));
  EXPECT_TRUE(Run(u"Close", {W("NoDeviceID")})->Flag());
}

TEST_P(ModelTest, AFailedDeviceTestOnAnOpenDeviceKeepsTheWeighingText) {
  ASSERT_TRUE(Open());
  zev::sim::Faults silent;
  silent.silent = true;
  scale->SetFaults(silent);
  auto test = Run(u"DeviceTest", {host::Empty(), host::Empty()});
  EXPECT_TRUE(test->ok);
  EXPECT_FALSE(test->Flag());
  // No close follows the weighing here, so its text reaches GetLastError.
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Произошла ошибка взвешивания.")));
}

TEST_P(ModelTest, ATareThatIsNoNumberIsRefused) {
  ASSERT_TRUE(Open());
  scale->ClearReceived();
  // The C locale's separator is a full stop: "1,5" is no number here.
  for (const auto& tare : {W("abc"), host::PStr(mm, "abc"), W(""), W("1,5")}) {
    auto call = Run(u"Calibrate", {W("NoDeviceID"), tare});
    EXPECT_TRUE(call->ok);
    EXPECT_FALSE(call->Flag());
    EXPECT_EQ(LastError(),
              std::make_pair(1001, std::string("Произошла ошибка функции тарирования.")));
  }
  // A narrow text that reads as a number is still taken as 0.
  EXPECT_TRUE(Run(u"Calibrate", {W("NoDeviceID"), host::PStr(mm, "1.5")})->Succeeded());
  EXPECT_TRUE(scale->WaitQuiet());
  EXPECT_EQ(scale->Received(), GetParam().model == Model::ZevU ? "C" : GetParam().tare);
}

TEST_P(ModelTest, DestroyingTheObjectReleasesThePortAndDescriptors) {
  const int before = OpenDescriptors();
  ASSERT_TRUE(Open());
  EXPECT_GT(OpenDescriptors(), before);
  component.reset();
  EXPECT_EQ(OpenDescriptors(), before);
  component = std::make_unique<host::Component>(library, mm, &connection);
  Configure(GetParam().name, kPort);
  EXPECT_TRUE(Open());
}

// SIGALRM every millisecond on the calling thread, for as long as it lives or
// until a watchdog stops it after 3 s (a weighing that never ends would
// otherwise hold the test for ever).
class SignalStorm {
 public:
  explicit SignalStorm(bool restart) {
    struct sigaction action {};
    action.sa_handler = [](int) { ++Signals; };
    action.sa_flags = restart ? SA_RESTART : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &previous_);
    watchdog_ = std::thread([this] {
      BlockAlarm(true);
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait_for(lock, std::chrono::seconds(3), [this] { return done_; });
      Arm(0);
    });
    Arm(1000);
  }
  ~SignalStorm() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_one();
    watchdog_.join();
    sigaction(SIGALRM, &previous_, nullptr);
  }
  static void BlockAlarm(bool block) {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &alarm, nullptr);
  }
  static inline std::atomic<int> Signals{0};

 private:
  static void Arm(long micros) {
    itimerval timer{{0, micros}, {0, micros}};
    setitimer(ITIMER_REAL, &timer, nullptr);
  }
  struct sigaction previous_ {};
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread watchdog_;
};

TEST_F(DriverTest, SignalsEveryMillisecondDoNotHoldAWeighingBack) {
  SignalStorm::BlockAlarm(true);  // the scale's thread never takes them
  auto& scale = Scale(Model::ZevU, 3, 1.25);
  SignalStorm::BlockAlarm(false);
  Configure("ZEV-U", 3);
  ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag());
  for (const bool restart : {false, true}) {
    for (const bool silent : {true, false}) {
      zev::sim::Faults faults;
      faults.silent = silent;
      scale.SetFaults(faults);
      SignalStorm::Signals = 0;
      const auto start = std::chrono::steady_clock::now();
      std::unique_ptr<Call> call;
      {
        SignalStorm storm(restart);
        call = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
      }
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
      SCOPED_TRACE(std::string(restart ? "SA_RESTART, " : "") + (silent ? "silent" : "answering"));
      EXPECT_GT(SignalStorm::Signals, 100);
      // A silent scale is given up after 528 ms, an answer comes within 300 ms.
      EXPECT_LT(took, 1500);
      EXPECT_TRUE(call->ok);
      EXPECT_EQ(call->Flag(), !silent);
      if (!silent) {
        EXPECT_EQ(call->params[1].dblVal, 1.25);
      }
    }
  }
}

TEST_F(DriverTest, AWeightTextWithoutKilogramsIsReportedToThePlatform) {
  auto& scale = Scale(Model::ZevU, 3);
  Configure("ZEV-U", 3);
  ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag());
  zev::sim::Faults lb;
  lb.raw = std::string("  0.500 lb  \r\n");
  scale.SetFaults(lb);
  auto weigh = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
  EXPECT_FALSE(weigh->ok);
  EXPECT_FALSE(weigh->Flag());
  EXPECT_EQ(weigh->params[1].vt, v8abi::VTYPE_EMPTY) << "the weight stays unwritten";
  ASSERT_EQ(connection.Errors.size(), 1u);
  EXPECT_EQ(connection.Errors[0].source, u"Весы ZEV-У");
  EXPECT_EQ(connection.Errors[0].description, u"'' is not a valid floating point value");
  EXPECT_EQ(connection.Errors[0].status, static_cast<long>(0x80004005UL));
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string()));

  lb.raw = std::string("  0,5,0 kg  \r\n");
  scale.SetFaults(lb);
  EXPECT_FALSE(Run(u"GetWeight", {W("NoDeviceID"), host::Empty()})->ok);
  ASSERT_EQ(connection.Errors.size(), 2u);
  EXPECT_EQ(connection.Errors[1].description, u"'0,5,0' is not a valid floating point value");
}

TEST_F(DriverTest, AnExceptionWithoutAConnectionIsStillRecorded) {
  component = std::make_unique<host::Component>(library, mm, nullptr);
  auto& scale = Scale(Model::ZevU, 3);
  Configure("ZEV-U", 3);
  ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag());
  zev::sim::Faults bad;
  bad.raw = std::string("  abc kg    \r\n");
  scale.SetFaults(bad);
  auto weigh = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
  EXPECT_FALSE(weigh->ok);
  EXPECT_EQ(LastError().first, 1001);
}

}  // namespace
}  // namespace zev::e2e

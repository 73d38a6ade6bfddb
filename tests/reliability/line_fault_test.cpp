// Line faults through the driver: a scale that hangs up, one that sends noise
// without end, a reply that stops half way, bytes while no command is
// outstanding. After each the driver recovers: "Close" and a new "Open" of a
// working port succeed.
#include <chrono>
#include <thread>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using namespace std::chrono_literals;
using zev::sim::Model;

class LineFaultTest : public DriverTest, public ::testing::WithParamInterface<ModelCase> {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    scale = &Scale(GetParam().model, 3, 0.5);
    Configure(GetParam().name, 3);
    ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag());
  }
  // Call result, success flag and the time a weighing took.
  std::tuple<bool, bool, double> Weigh() {
    const auto start = std::chrono::steady_clock::now();
    auto call = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {call->ok, call->Flag(), ms};
  }
  // Close, then a new scale on another port, opened and weighed.
  void Recover(int port) {
    EXPECT_TRUE(Run(u"Close", {W("NoDeviceID")})->Flag());
    Scale(GetParam().model, port, 1.5);
    ASSERT_TRUE(SetParameter("Port", host::Int(port)));
    ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag()) << LastError().second;
    auto call = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
    EXPECT_TRUE(call->Flag());
    EXPECT_EQ(call->params[1].dblVal, 1.5);
  }
  zev::sim::Simulator* scale = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Models, LineFaultTest, ::testing::ValuesIn(kModels), ModelTestName);

TEST_P(LineFaultTest, HangingUpBetweenOpenAndWeighing) {
  scale->HangUp();
  ASSERT_TRUE(scale->WaitQuiet());
  const auto [ok, success, ms] = Weigh();
  EXPECT_TRUE(ok);
  EXPECT_FALSE(success);
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Произошла ошибка взвешивания.")));
  Recover(4);
}

TEST_P(LineFaultTest, HangingUpInTheMiddleOfAReply) {
  zev::sim::Faults f;
  f.hangUpAfterBytes = 6;
  scale->SetFaults(f);
  EXPECT_FALSE(std::get<1>(Weigh()));
  Recover(4);
}

TEST_P(LineFaultTest, NoiseWithoutEndNeverHangs) {
  zev::sim::Faults f;
  f.noise = true;
  scale->SetFaults(f);
  for (int i = 0; i < 4; ++i) {
    const auto [ok, success, ms] = Weigh();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(success);
    EXPECT_LT(ms, 1000);
  }
  scale->SetFaults({});
  ASSERT_TRUE(scale->WaitQuiet());
  EXPECT_TRUE(std::get<1>(Weigh()));
  Recover(4);
}

TEST_P(LineFaultTest, AReplyThatStopsHalfWay) {
  zev::sim::Faults f;
  f.missingBytes = 7;
  scale->SetFaults(f);
  EXPECT_FALSE(std::get<1>(Weigh()));
  scale->SetFaults({});
  EXPECT_TRUE(std::get<1>(Weigh()));
  Recover(4);
}

TEST_P(LineFaultTest, BytesWhileNoCommandIsOutstandingArePurged) {
  scale->SendUnsolicited(zev::sim::Simulator::Frame(GetParam().model, 9.999));
  ASSERT_TRUE(scale->WaitQuiet());
  auto call = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
  EXPECT_TRUE(call->Flag());
  EXPECT_EQ(call->params[1].dblVal, 0.5) << "the stale frame must not be read as the reply";
}

}  // namespace
}  // namespace zev::e2e

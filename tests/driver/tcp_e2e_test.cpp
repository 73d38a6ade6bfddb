// The first class with a COM<N> entry that holds a converter's address on the
// loopback interface: the platform's calls, the converter's faults, the trace.
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using zev::sim::Model;
using zev::sim::TcpMode;

class TcpModelTest : public DriverTest, public ::testing::WithParamInterface<ModelCase> {
 protected:
  bool Open() { return Run(u"Open", {host::Empty()})->Flag(); }
  std::pair<bool, double> Weigh() {
    auto call = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
    return {call->Flag(), call->params[1].vt == v8abi::VTYPE_R8 ? call->params[1].dblVal : -999};
  }
  // The line trace of the calls in `body`.
  template <class Body>
  std::string Traced(Body body) {
    char path[] = "/tmp/zevscale-tcp-trace-XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    setenv("ZEVSCALE_TRACE", path, 1);
    body();
    unsetenv("ZEVSCALE_TRACE");
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    return text.str();
  }
};

INSTANTIATE_TEST_SUITE_P(Models, TcpModelTest, ::testing::ValuesIn(kModels), ModelTestName);

TEST_P(TcpModelTest, WeighsAndTaresThroughAConverter) {
  zev::sim::Simulator& scale = TcpScale(GetParam().model, 3, 12.345);
  Configure(GetParam().name, 3);
  const std::string trace = Traced([&] {
    ASSERT_TRUE(Open());
    EXPECT_EQ(Weigh(), std::make_pair(true, 12.345));
    EXPECT_TRUE(Run(u"Calibrate", {W("NoDeviceID"), host::Double(0.5)})->Flag());
    EXPECT_EQ(Weigh(), std::make_pair(true, 12.345));
    EXPECT_TRUE(Run(u"Close", {W("NoDeviceID")})->Flag());
  });
  EXPECT_EQ(scale.Received(), GetParam().weigh + GetParam().tare + GetParam().weigh);
  EXPECT_NE(
      trace.find(std::string(" COM3 ") + GetParam().name + " open " + scale.TcpUrl() + ": ok\n"),
      std::string::npos)
      << trace;
  EXPECT_NE(trace.find(" <- "), std::string::npos) << trace;
}

// A connection that brought nothing may be dead without either side knowing
// (a network dropped without a reset): it is given up, and the next weighing
// connects again. A converter in Telnet mode and one with a banner weigh.
TEST_P(TcpModelTest, AConnectionThatBroughtNothingIsMadeAgainAndTelnetIsSpoken) {
  for (const bool telnet : {false, true}) {
    SCOPED_TRACE(telnet ? "telnet" : "raw");
    sims.push_back(std::make_unique<zev::sim::Simulator>(GetParam().model, 12.345));
    zev::sim::TcpOptions options;
    options.telnet = telnet;
    options.banner = "converter ready";
    ASSERT_TRUE(sims.back()->StartTcp("127.0.0.1", 0, options));
    zev::sim::Simulator& scale = *sims.back();
    ports.MapTcp(3, scale.TcpUrl());
    Configure(GetParam().name, 3);
    const std::string trace = Traced([&] {
      ASSERT_TRUE(Open());
      EXPECT_EQ(Weigh(), std::make_pair(true, 12.345));
      zev::sim::Faults silent;
      silent.silent = true;
      scale.SetFaults(silent);
      EXPECT_FALSE(Weigh().first);
      scale.SetFaults(zev::sim::Faults());
      EXPECT_EQ(Weigh(), std::make_pair(true, 12.345));
      EXPECT_TRUE(Run(u"Close", {W("NoDeviceID")})->Flag());
    });
    EXPECT_NE(trace.find("connection given up: the next command connects again"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find(" open " + scale.TcpUrl() + " again: ok"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("telnet: the converter speaks Telnet") != std::string::npos, telnet)
        << trace;
    EXPECT_NE(trace.find("greeting dropped"), std::string::npos) << trace;
    EXPECT_EQ(scale.Received(), GetParam().weigh + GetParam().weigh + GetParam().weigh);
  }
}

TEST_F(DriverTest, AConverterThatCannotBeReachedKeepsTheClasssText) {
  zev::sim::Simulator& refusing = TcpScale(Model::ZevAW, 3, 0.5, TcpMode::Refuse);
  zev::sim::Simulator& deaf = TcpScale(Model::ZevAW, 4, 0.5, TcpMode::NoAccept);
  struct Case {
    int port;
    const zev::sim::Simulator& converter;
    const char* reason;
  } cases[] = {
      {3, refusing, "connection refused"},
      {4, deaf, "no answer to the connection within 1 s"},
  };
  for (const auto& c : cases) {
    Configure("ZEV-AW", c.port);
    char path[] = "/tmp/zevscale-tcp-trace-XXXXXX";
    close(mkstemp(path));
    setenv("ZEVSCALE_TRACE", path, 1);
    auto open = Run(u"Open", {host::Empty()});
    unsetenv("ZEVSCALE_TRACE");
    EXPECT_TRUE(open->ok);
    EXPECT_FALSE(open->Flag());
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Порт недоступен")));
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    unlink(path);
    EXPECT_NE(line.find(" COM" + std::to_string(c.port) + " ZEV-AW open " + c.converter.TcpUrl() +
                        ": " + c.reason),
              std::string::npos)
        << line;
  }
}

}  // namespace
}  // namespace zev::e2e

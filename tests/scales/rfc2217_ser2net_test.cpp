// The link through a real ser2net with its telnet(rfc2217) accepter, in front
// of a simulated scale's pseudo-terminal that ser2net opens at 9600 8N1: the
// scale hears nothing at that line, and each model weighs once the driver has
// set its own line over the connection. Skipped where ser2net cannot run.
//
// A Linux pseudo-terminal keeps a parity's PARODD but clears PARENB: ser2net
// answers the parity asked for, and the simulator takes PARODD for odd.
#include <gtest/gtest.h>

#include <string>

#include "TCommunication.h"
#include "models.h"
#include "ser2net.h"
#include "simulator.h"
#include "zev/platform/locale.h"
#include "zev/platform/tcp.h"

namespace {

using zev::scales::Command;
using zev::scales::Fault;
using zev::scales::TCommunication;
using zev::scales::TEndpoint;
using zev::sim::Simulator;
using zev::test::Ser2net;

TEndpoint Converter(const Ser2net& converter, const char* scheme) {
  return TEndpoint::Tcp(*zev::platform::ParseTcpAddress(
      std::string(scheme) + "://127.0.0.1:" + std::to_string(converter.Port())));
}

TEST(Rfc2217Ser2net, EachModelWeighsAtItsOwnLineOnADeviceStartedAt9600N) {
  std::string why;
  if (!Ser2net::Available(&why)) GTEST_SKIP() << why;
  for (const char* name : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)"}) {
    SCOPED_TRACE(name);
    const zev::scales::ModelRow& row = *zev::scales::FindModel(std::string_view(name));
    const zev::sim::Model model = *zev::sim::ModelFromName(name);
    Simulator sim(model, 1.234);
    sim.SetLineCheck(true);
    ASSERT_TRUE(sim.Start());
    Ser2net converter;
    Ser2net::Options options;
    options.accepter = Ser2net::Accepter::TelnetRfc2217;
    options.lineSettings = "9600n81";
    std::string error;
    ASSERT_TRUE(converter.Start(sim.DevicePath(), options, &error)) << error;

    // Spoken to as a Telnet converter that keeps its line: nothing comes back.
    TCommunication keeps(row);
    ASSERT_TRUE(keeps.Open(Converter(converter, "tcp")));
    EXPECT_FALSE(keeps.Run(Command::Weigh));
    EXPECT_EQ(keeps.Error().fault, Fault::NothingArrived);
    EXPECT_EQ(sim.PtyLine().Text(), "9600 8N1");
    keeps.Close();

    TCommunication link(row);
    ASSERT_TRUE(link.Open(Converter(converter, "rfc2217"))) << converter.Log();
    EXPECT_EQ(sim.PtyLine(), Simulator::ScaleLine(model));
    ASSERT_TRUE(link.Run(Command::Weigh)) << converter.Log();
    EXPECT_EQ(link.WeightText(),
              row.parse(Simulator::Frame(model, 1.234), zev::platform::DecimalSeparator()));
    EXPECT_EQ(sim.WeighCommands(), 1);
  }
}

}  // namespace

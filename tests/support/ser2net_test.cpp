// ser2net in front of the simulated scale: what a client writes reaches the
// scale and its reply comes back, raw and in Telnet; a second client is told
// the port is busy. The converter the simulator plays is checked against it.
#include "ser2net.h"

#include <gtest/gtest.h>

#include <string>

#include "simulator.h"
#include "tcp_client.h"

namespace {

using zev::sim::Model;
using zev::sim::Simulator;
using zev::test::Ser2net;
using zev::test::TcpClient;

TEST(Ser2net, WhatAClientWritesReachesTheScaleAndTheReplyComesBack) {
  std::string why;
  if (!Ser2net::Available(&why)) GTEST_SKIP() << why;
  const std::string telnet = Simulator::TelnetGreeting();
  const std::string reply(
      "A\xFF"
      "B\r\n");  // a byte FF, as a ZEV-NT(N) reply may hold
  const std::string doubled(
      "A\xFF\xFF"
      "B\r\n");
  struct Case {
    const char* name;
    Ser2net::Accepter accepter;
    const char* banner;
    std::string greeting;  // before the reply
    std::string reply;
    std::string busy;  // what a second client reads before it is closed
  } cases[] = {
      {"raw", Ser2net::Accepter::Raw, "it's ZEV \\ 1", "it's ZEV \\ 1\r\n", reply,
       "Port already in use\r\n"},
      {"telnet", Ser2net::Accepter::Telnet, "", telnet, doubled,
       telnet + "Port already in use\r\n"},
      // DO COM-PORT-OPTION after the same negotiation.
      {"telnet, RFC 2217", Ser2net::Accepter::TelnetRfc2217, "", telnet + "\xFF\xFD\x2C", doubled,
       telnet + "\xFF\xFD\x2C" + "Port already in use\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator sim(Model::ZevU, 0.5);
    zev::sim::Faults faults;
    faults.raw = reply;
    sim.SetFaults(faults);
    ASSERT_TRUE(sim.Start());
    Ser2net converter;
    Ser2net::Options options;
    options.accepter = c.accepter;
    options.banner = c.banner;
    std::string error;
    ASSERT_TRUE(converter.Start(sim.DevicePath(), options, &error)) << error;
    TcpClient client;
    ASSERT_TRUE(client.Connect(converter.Port()));
    ASSERT_TRUE(client.Send("P"));
    EXPECT_EQ(client.Read(c.greeting.size() + c.reply.size()), c.greeting + c.reply)
        << converter.Log();
    EXPECT_EQ(sim.Received(), "P");

    TcpClient second;
    ASSERT_TRUE(second.Connect(converter.Port()));
    bool closed = false;
    EXPECT_EQ(second.ReadToEnd(&closed), c.busy);
    EXPECT_TRUE(closed);
  }
}

}  // namespace

// The simulated converter's ways, seen by a plain TCP client: a line shared by
// several connections, Telnet, a banner, and a port that answers busy.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "simulator.h"
#include "tcp_client.h"

namespace {

using zev::sim::Model;
using zev::sim::Simulator;
using zev::sim::TcpMode;
using zev::sim::TcpOptions;
using zev::test::TcpClient;

const std::string kBusy = "Port already in use\r\n";

// Waits until the converter serves `count` connections; false after a bound.
bool WaitForConnections(const Simulator& sim, int count) {
  for (int i = 0; i < 500 && sim.Connections() != count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return sim.Connections() == count;
}

TEST(ZevsimConverter, WhatAClientReadsFromConnectingToTheFirstReply) {
  const std::string frame = Simulator::Frame(Model::ZevU, 0.5);
  const std::string telnet = Simulator::TelnetGreeting();
  struct Case {
    const char* name;
    TcpMode mode;
    bool telnet;
    const char* banner;
    std::string expected;  // from connecting on, "P" sent unless busy
  } cases[] = {
      {"raw", TcpMode::Serve, false, "", frame},
      {"banner", TcpMode::Serve, false, "ZEV line 1", "ZEV line 1\r\n" + frame},
      {"telnet", TcpMode::Serve, true, "", telnet + frame},
      {"telnet and banner", TcpMode::Serve, true, "Hi", telnet + "Hi\r\n" + frame},
      {"busy", TcpMode::Busy, false, "", kBusy},
      {"busy, telnet", TcpMode::Busy, true, "ignored", telnet + kBusy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator sim(Model::ZevU, 0.5);
    TcpOptions options;
    options.mode = c.mode;
    options.telnet = c.telnet;
    options.banner = c.banner;
    ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
    TcpClient client;
    ASSERT_TRUE(client.Connect(sim.TcpPort()));
    if (c.mode == TcpMode::Busy) {
      bool closed = false;
      EXPECT_EQ(client.ReadToEnd(&closed), c.expected);
      EXPECT_TRUE(closed);
      EXPECT_EQ(sim.Connections(), 0);
    } else {
      ASSERT_TRUE(client.Send("P"));
      EXPECT_EQ(client.Read(c.expected.size()), c.expected);
      EXPECT_EQ(sim.Received(), "P");
      EXPECT_EQ(sim.WeighCommands(), 1);
    }
  }
}

TEST(ZevsimConverter, TelnetCommandsAreKeptFromTheScaleAndFFIsDoubledBothWays) {
  Simulator sim(Model::ZevU, 0.5);
  zev::sim::Faults faults;
  faults.raw = std::string(
      "A\xFF"
      "B\r\n");
  sim.SetFaults(faults);
  TcpOptions options;
  options.telnet = true;
  ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
  TcpClient client;
  ASSERT_TRUE(client.Connect(sim.TcpPort()));
  const std::string greeting = Simulator::TelnetGreeting();
  ASSERT_EQ(client.Read(greeting.size()), greeting);
  // The client's answers, a subnegotiation holding an escaped FF and a NOP,
  // between the data bytes FF (sent doubled) and P.
  const std::string commands("\xFF\xFD\x03\xFF\xFC\x01\xFF\xFA\x18\x00X\xFF\xFF\xFF\xF0\xFF\xF1",
                             17);
  ASSERT_TRUE(client.Send(std::string("\xFF\xFF", 2) + commands.substr(0, 6)));
  ASSERT_TRUE(client.Send(commands.substr(6, 5)));  // a command split between writes
  ASSERT_TRUE(client.Send(commands.substr(11) + "P"));
  const std::string doubled(
      "A\xFF\xFF"
      "B\r\n");
  EXPECT_EQ(client.Read(doubled.size()), doubled);
  EXPECT_EQ(sim.Received(), "\xFFP");
  EXPECT_EQ(sim.TelnetReceived(), commands);
}

TEST(ZevsimConverter, OneLineCopiedToEveryConnectionAnswersEachCommandInTurn) {
  Simulator sim(Model::ZevU, 1.25);
  TcpOptions options;
  options.copyToAll = true;
  ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
  TcpClient first, second;
  ASSERT_TRUE(first.Connect(sim.TcpPort()));
  ASSERT_TRUE(second.Connect(sim.TcpPort()));
  ASSERT_TRUE(WaitForConnections(sim, 2));
  ASSERT_TRUE(first.Send("P"));
  ASSERT_TRUE(second.Send("P"));
  const std::string frame = Simulator::Frame(Model::ZevU, 1.25);
  EXPECT_EQ(first.Read(2 * frame.size()), frame + frame);
  EXPECT_EQ(second.Read(2 * frame.size()), frame + frame);
  EXPECT_EQ(sim.Received(), "PP");
  EXPECT_EQ(sim.WeighCommands(), 2);

  // One leaving does not end the line for the other.
  first.Close();
  ASSERT_TRUE(WaitForConnections(sim, 1));
  ASSERT_TRUE(second.Send("P"));
  EXPECT_EQ(second.Read(frame.size()), frame);

  // Without sharing, a newer connection replaces the older.
  Simulator single(Model::ZevU, 1.25);
  ASSERT_TRUE(single.StartTcp("127.0.0.1", 0));
  TcpClient older, newer;
  ASSERT_TRUE(older.Connect(single.TcpPort()));
  ASSERT_TRUE(WaitForConnections(single, 1));
  ASSERT_TRUE(newer.Connect(single.TcpPort()));
  bool closed = false;
  EXPECT_EQ(older.ReadToEnd(&closed), "");
  EXPECT_TRUE(closed);
}

}  // namespace

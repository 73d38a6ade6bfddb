// The model adapters behind a simulated Ethernet-to-serial converter on the
// loopback address: reached through a COM<N> entry that holds the address, or
// given the address directly. Only 127.0.0.1 and ::1 are ever used.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "first_class_link.h"
#include "simulator.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"

namespace {

using namespace std::chrono_literals;
using zev::platform::TcpStatus;
using zev::scales::TEndpoint;
using zev::sim::Model;
using zev::sim::TcpMode;

template <class A>
struct Traits;
template <>
struct Traits<TZEV_U> {
  static constexpr Model kModel = Model::ZevU;
  static std::string WeighCommand() { return "P"; }
  static std::string Text(const char* kg) { return std::string("  ") + kg + " kg  "; }
};
template <>
struct Traits<TZEV_AW> {
  static constexpr Model kModel = Model::ZevAW;
  static std::string WeighCommand() { return std::string("\0\0\3", 3); }
  static std::string Text(const char* kg) { return kg; }
};
template <>
struct Traits<TZEV_NT> : Traits<TZEV_AW> {
  static constexpr Model kModel = Model::ZevNT;
};

template <class F>
double MillisOf(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double CpuMillis() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

zev::platform::TcpAddress Address(const zev::sim::Simulator& s) {
  return *zev::platform::ParseTcpAddress(s.TcpUrl());
}

template <class A>
std::string Error(const A& adapter) {
  std::u16string text;
  adapter.GetErrorText(text);
  return zev::platform::Utf16ToUtf8(text);
}

template <class A>
class TcpLinkTest : public ::testing::Test {};
using Adapters = ::testing::Types<TZEV_U, TZEV_AW, TZEV_NT>;
TYPED_TEST_SUITE(TcpLinkTest, Adapters);

TYPED_TEST(TcpLinkTest, WeighsThroughAPortsEntryAndThroughTheAddress) {
  using T = Traits<TypeParam>;
  for (const char* host : {"127.0.0.1", "::1"}) {
    zev::sim::Simulator sim(T::kModel, 1.234);
    std::string error;
    if (!sim.StartTcp(host, 0, TcpMode::Serve, &error)) {
      if (std::string(host) == "::1") continue;  // no IPv6 on this machine
      FAIL() << error;
    }
    zev::sim::PortDirectory ports;
    ports.Export();
    ASSERT_TRUE(ports.MapTcp(3, sim.TcpUrl()));
    TypeParam byEntry;
    ASSERT_EQ(byEntry.OpenPort(3), -1) << host;
    EXPECT_EQ(byEntry.Weigh(), -1) << host;
    std::string text;
    byEntry.GetWeightText(text);
    EXPECT_EQ(text, T::Text("1.234"));
    EXPECT_EQ(byEntry.ClosePort(), -1);
    EXPECT_EQ(byEntry.ClosePort(), 0) << "closing twice reports the second";

    TypeParam direct;
    ASSERT_EQ(direct.OpenPort(TEndpoint::Tcp(Address(sim))), -1);
    sim.SetWeight(-2.5);
    if (T::kModel == Model::ZevNT) sim.SetWeight(2.5);  // no sign in its frame
    EXPECT_EQ(direct.Weigh(), -1);
    direct.GetWeightText(text);
    EXPECT_NE(text.find("2"), std::string::npos) << text;
    EXPECT_EQ(sim.Received(), T::WeighCommand() + T::WeighCommand());
  }
}

// The faults of a converter and of the network, on a ZEV-U.
class TcpFaultTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0)); }
  zev::sim::Simulator sim{Model::ZevU, 0.5};
  TZEV_U adapter;
};

TEST_F(TcpFaultTest, ConnectionsThatFailSayWhyWithinTheirTime) {
  zev::sim::Simulator refusing(Model::ZevU, 0.5), deaf(Model::ZevU, 0.5);
  ASSERT_TRUE(refusing.StartTcp("127.0.0.1", 0, TcpMode::Refuse));
  ASSERT_TRUE(deaf.StartTcp("127.0.0.1", 0, TcpMode::NoAccept));
  struct Case {
    const zev::sim::Simulator& converter;
    TcpStatus status;
    double atLeastMs, belowMs;
  } cases[] = {
      {refusing, TcpStatus::Refused, 0, 500},
      {deaf, TcpStatus::TimedOut, 990, 1500},
  };
  for (const auto& c : cases) {
    const double ms =
        MillisOf([&] { EXPECT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(c.converter))), 0); });
    EXPECT_EQ(adapter.Scale.LinkStatus(), c.status);
    EXPECT_EQ(Error(adapter), "Порт недоступен");
    EXPECT_GE(ms, c.atLeastMs);
    EXPECT_LT(ms, c.belowMs);
    EXPECT_FALSE(adapter.Scale.IsOpen());
    EXPECT_EQ(adapter.Weigh(), 0);
  }
  EXPECT_EQ(zev::platform::TcpStatusText(TcpStatus::TimedOut),
            std::string("no answer to the connection within 1 s"));
}

TEST_F(TcpFaultTest, ASilentConverterFailsAtTheReadDeadlineWithoutSpinning) {
  ASSERT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(sim))), -1);
  zev::sim::Faults silent;
  silent.silent = true;
  sim.SetFaults(silent);
  const double cpuBefore = CpuMillis();
  const double ms = MillisOf([&] { EXPECT_EQ(adapter.Weigh(), 0); });
  EXPECT_LT(CpuMillis() - cpuBefore, 50);
  EXPECT_GE(ms, 495);
  EXPECT_LT(ms, 1500);
  EXPECT_EQ(Error(adapter), "Произошла ошибка взвешивания.");
}

TEST_F(TcpFaultTest, AConnectionClosedMidReplyFailsAtOnceAndTheNextWeighingReconnects) {
  ASSERT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(sim))), -1);
  zev::sim::Faults cut;
  cut.hangUpAfterBytes = 5;
  sim.SetFaults(cut);
  // The five bytes are the reply of the attempt, which the parser rejects.
  EXPECT_EQ(adapter.Weigh(), 0);
  EXPECT_EQ(adapter.Scale.RawReply(), "  0.5");
  const double ms = MillisOf([&] { EXPECT_EQ(adapter.Weigh(), 0); });
  EXPECT_LT(ms, 400) << "a closed connection ends the read at once";
  EXPECT_EQ(adapter.Scale.LinkStatus(), TcpStatus::Closed);
  sim.SetFaults({});
  EXPECT_EQ(adapter.Weigh(), -1);
  EXPECT_EQ(adapter.Scale.LinkStatus(), TcpStatus::Ok);
}

TEST_F(TcpFaultTest, AConverterRestartedBetweenTwoWeighings) {
  ASSERT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(sim))), -1);
  ASSERT_EQ(adapter.Weigh(), -1);
  const int port = sim.TcpPort();
  sim.Stop();
  zev::sim::Simulator restarted(Model::ZevU, 7.0);
  ASSERT_TRUE(restarted.StartTcp("127.0.0.1", port));
  std::this_thread::sleep_for(20ms);  // the old connection's end reaches the driver
  EXPECT_EQ(adapter.Weigh(), -1);
  std::string text;
  adapter.GetWeightText(text);
  EXPECT_EQ(text, "  7.000 kg  ");
  EXPECT_EQ(restarted.Received(), "P");
  // Gone for good: the weighing fails within the connect time-out.
  restarted.Stop();
  const double ms = MillisOf([&] { EXPECT_EQ(adapter.Weigh(), 0); });
  EXPECT_LT(ms, 1600);
  EXPECT_EQ(adapter.ClosePort(), -1);
}

void Ignore(int) {}

TEST_F(TcpFaultTest, SignalsEveryMillisecondChangeNothing) {
  struct sigaction action {};
  action.sa_handler = Ignore;  // no SA_RESTART: every wait is interrupted
  struct sigaction previous {};
  sigaction(SIGUSR1, &action, &previous);
  const pthread_t self = pthread_self();
  std::atomic<bool> done{false};
  std::thread storm([&] {
    while (!done) {
      pthread_kill(self, SIGUSR1);
      std::this_thread::sleep_for(1ms);
    }
  });
  zev::sim::Simulator deaf(Model::ZevU, 0.5);
  ASSERT_TRUE(deaf.StartTcp("127.0.0.1", 0, TcpMode::NoAccept));
  double connectMs =
      MillisOf([&] { EXPECT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(deaf))), 0); });
  ASSERT_EQ(adapter.OpenPort(TEndpoint::Tcp(Address(sim))), -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(adapter.Weigh(), -1) << i;
  zev::sim::Faults silent;
  silent.silent = true;
  sim.SetFaults(silent);
  const double silentMs = MillisOf([&] { EXPECT_EQ(adapter.Weigh(), 0); });
  done = true;
  storm.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(connectMs, 990);
  EXPECT_LT(connectMs, 1500);
  EXPECT_GE(silentMs, 495);
  EXPECT_LT(silentMs, 1500);
}

TEST(TcpAddress, OnlyHostAndPortAreAccepted) {
  struct Case {
    const char* text;
    const char* url;  // null: refused
  } cases[] = {
      {"127.0.0.1:4001", "tcp://127.0.0.1:4001"},
      {"tcp://converter.local:1", "tcp://converter.local:1"},
      {"[::1]:65535", "tcp://[::1]:65535"},
      {"tcp://[fe80::1]:4001", "tcp://[fe80::1]:4001"},
      {"::1:4001", nullptr},
      {"127.0.0.1", nullptr},
      {"127.0.0.1:", nullptr},
      {":4001", nullptr},
      {"127.0.0.1:0", nullptr},
      {"127.0.0.1:65536", nullptr},
      {"127.0.0.1:40x1", nullptr},
      {"127.0.0.1:+401", nullptr},
      {"[::1]4001", nullptr},
      {"host name:4001", nullptr},
      {"host\x01:4001", nullptr},
      {"udp://127.0.0.1:4001", nullptr},
  };
  for (const auto& c : cases) {
    const auto a = zev::platform::ParseTcpAddress(c.text);
    EXPECT_EQ(a.has_value(), c.url != nullptr) << c.text;
    if (a && c.url) {
      EXPECT_EQ(a->Url(), c.url) << c.text;
    }
  }
}

}  // namespace

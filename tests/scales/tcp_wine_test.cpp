// The Winsock connection under Wine, against simulated converters on the
// loopback address that the test script starts: ZEV_WINE_TCP holds
// "SERVING,REFUSING,SILENT" as tcp:// addresses, the first serving a ZEV-AW
// that shows -1.25 kg.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "first_class_link.h"
#include "zev/platform/tcp.h"

namespace {

using zev::platform::TcpStatus;
using zev::scales::TEndpoint;

TEST(WinsockConverter, WeighsAndSaysWhyAConnectionFails) {
  const char* list = std::getenv("ZEV_WINE_TCP");
  if (list == nullptr) GTEST_SKIP() << "ZEV_WINE_TCP names no converter";
  std::vector<zev::platform::TcpAddress> a;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const auto address = zev::platform::ParseTcpAddress(item);
    ASSERT_TRUE(address) << item;
    a.push_back(*address);
  }
  ASSERT_EQ(a.size(), 3u);
  TZEV_AW adapter;
  ASSERT_EQ(adapter.OpenPort(TEndpoint::Tcp(a[0])), -1);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(adapter.Weigh(), -1) << i;
    std::string text;
    adapter.GetWeightText(text);
    EXPECT_NE(text.find("1.25"), std::string::npos) << text;
  }
  EXPECT_EQ(adapter.ClosePort(), -1);
  struct Case {
    TcpStatus status;
    double atLeastMs, belowMs;
  } cases[] = {{TcpStatus::Refused, 0, 1500}, {TcpStatus::TimedOut, 990, 1600}};
  for (size_t i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(adapter.OpenPort(TEndpoint::Tcp(a[i + 1])), 0);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(adapter.Scale.LinkStatus(), cases[i].status) << i;
    EXPECT_GE(ms, cases[i].atLeastMs);
    EXPECT_LT(ms, cases[i].belowMs);
  }
  std::printf("weighed ZEV-AW through %s under Winsock\n", a[0].Url().c_str());
}

}  // namespace

// Weighings through Windows COM ports, run under Wine with each port mapped to
// a pseudo-terminal that a simulated scale serves. ZEV_WINE_SCALES lists them
// as PORT:MODEL:KG, separated by commas; without it there is nothing to weigh.
#include <cstdlib>
#include <sstream>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

struct WineScale {
  int port;
  std::string model;
  double kg;
};

std::vector<WineScale> ScalesFromEnvironment() {
  std::vector<WineScale> scales;
  const char* list = std::getenv("ZEV_WINE_SCALES");
  if (list == nullptr) return scales;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const size_t a = item.find(':');
    const size_t b = item.rfind(':');
    if (a == std::string::npos || b == a) continue;
    scales.push_back({std::atoi(item.substr(0, a).c_str()), item.substr(a + 1, b - a - 1),
                      std::atof(item.substr(b + 1).c_str())});
  }
  return scales;
}

TEST_F(DriverTest, WeighsThroughWindowsComPorts) {
  const auto scales = ScalesFromEnvironment();
  if (scales.empty()) GTEST_SKIP() << "ZEV_WINE_SCALES names no scale";
  for (const auto& s : scales) {
    SCOPED_TRACE(s.model + " on COM" + std::to_string(s.port));
    Configure(s.model, s.port);
    auto open = Run(u"Open", {host::Empty()});
    ASSERT_TRUE(open->Flag()) << LastError().second;
    auto weigh = Run(u"ПолучитьВес", {W("NoDeviceID"), host::Empty()});
    EXPECT_TRUE(weigh->ok);
    EXPECT_TRUE(weigh->Flag()) << LastError().second;
    EXPECT_EQ(weigh->params[1].vt, v8abi::VTYPE_R8);
    EXPECT_DOUBLE_EQ(weigh->params[1].dblVal, s.kg);
    auto close = Run(u"Close", {W("NoDeviceID")});
    EXPECT_TRUE(close->Flag()) << LastError().second;
    std::printf("weighed %s on COM%d: %.3f kg\n", s.model.c_str(), s.port, weigh->params[1].dblVal);
  }
}

}  // namespace
}  // namespace zev::e2e

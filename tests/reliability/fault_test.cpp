// Refused allocations: for every method and every allocation it makes, the
// memory manager refuses that one. Nothing may crash, leak or be freed twice,
// and the value that could not be filled is left as an empty narrow string.
#include <functional>
#include <iostream>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

struct MethodCase {
  const char16_t* name;
  std::function<std::vector<tVariant>(DriverTest&)> params;
};

std::vector<tVariant> Empties(size_t n) {
  return std::vector<tVariant>(n, host::Empty());
}

const MethodCase kMethods[] = {
    {u"GetVersion", [](DriverTest&) { return Empties(0); }},
    {u"GetDescription", [](DriverTest&) { return Empties(7); }},
    {u"GetLastError", [](DriverTest&) { return Empties(1); }},
    {u"GetParameters", [](DriverTest&) { return Empties(1); }},
    {u"SetParameter",
     [](DriverTest& t) {
       return std::vector<tVariant>{t.W("Port"), host::Int(3)};
     }},
    {u"Open", [](DriverTest&) { return Empties(1); }},
    {u"DeviceTest", [](DriverTest&) { return Empties(2); }},
    {u"GetAdditionalActions", [](DriverTest&) { return Empties(1); }},
    {u"DoAdditionalAction", [](DriverTest& t) { return std::vector<tVariant>{t.W("x")}; }},
    {u"Calibrate",
     [](DriverTest& t) {
       return std::vector<tVariant>{t.W("NoDeviceID"), host::Double(0)};
     }},
    {u"GetWeight",
     [](DriverTest& t) {
       return std::vector<tVariant>{t.W("NoDeviceID"), host::Empty()};
     }},
    {u"Zeroing", [](DriverTest&) { return Empties(0); }},
    {u"Close", [](DriverTest& t) { return std::vector<tVariant>{t.W("NoDeviceID")}; }},
};

size_t EmptiedStrings(const Call& call) {
  size_t n = 0;
  auto check = [&](const tVariant& v) {
    if (v.vt == v8abi::VTYPE_PSTR && v.str.pstrVal == nullptr && v.str.strLen == 0) ++n;
  };
  check(call.ret);
  for (const auto& p : call.params) check(p);
  return n;
}

TEST_F(DriverTest, EveryRefusedAllocationOfEveryMethodIsSurvived) {
  Scale(zev::sim::Model::ZevU, 3);
  Configure("ZEV-U", 3);
  size_t pointsTried = 0;
  for (const auto& m : kMethods) {
    SCOPED_TRACE(platform::Utf16ToUtf8(m.name));
    // How many blocks the method asks for when nothing is refused.
    const size_t before = mm.Requests();
    Run(m.name, m.params(*this));
    const size_t asked = mm.Requests() - before;
    for (size_t n = 1; n <= asked + 1; ++n) {
      mm.RefuseNth(n);
      auto call = Run(m.name, m.params(*this));
      mm.RefuseNth(0);
      ++pointsTried;
      EXPECT_TRUE(mm.Faults().empty()) << n;
      // The value whose block was refused is left as an empty narrow string.
      EXPECT_EQ(EmptiedStrings(*call), n <= asked ? 1u : 0u) << n;
    }
    EXPECT_EQ(mm.LiveBlocks(), 0u);
  }
  mm.RefuseAll(true);
  EXPECT_EQ(component->MethodName(11, 0), u"");
  EXPECT_EQ(component->MethodName(11, 1), u"");
  EXPECT_EQ(component->ExtensionName(), u"");
  mm.RefuseAll(false);
  std::cout << "allocation-failure points tried: " << pointsTried << "\n";
  EXPECT_GT(pointsTried, 20u);
}

TEST_F(DriverTest, ARefusedTextIsReportedAsAnEmptyString) {
  mm.RefuseNth(1);
  auto version = Run(u"GetVersion");
  EXPECT_TRUE(version->ok);
  EXPECT_EQ(version->ret.vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(version->ret.str.pstrVal, nullptr);
  EXPECT_EQ(version->ret.str.strLen, 0u);
}

TEST_F(DriverTest, WithoutAMemoryManagerNothingIsWritten) {
  Scale(zev::sim::Model::ZevU, 3);
  component =
      std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_Class", false);
  component->InitDone().Init(component->InitDoneSelf(), connection.Interface());
  Configure("ZEV-U", 3);
  for (const auto& m : kMethods) {
    SCOPED_TRACE(platform::Utf16ToUtf8(m.name));
    std::vector<tVariant> params = m.params(*this);
    std::vector<uint16_t> tags;
    for (const auto& p : params) tags.push_back(p.vt);
    auto call = Run(m.name, std::move(params));
    EXPECT_EQ(call->ret.vt, v8abi::VTYPE_EMPTY);
    for (size_t i = 0; i < tags.size(); ++i) EXPECT_EQ(call->params[i].vt, tags[i]) << i;
  }
  EXPECT_EQ(mm.Requests(), 0u);
  EXPECT_EQ(component->ExtensionName(), u"");
  EXPECT_TRUE(mm.Faults().empty());
}

}  // namespace
}  // namespace zev::e2e

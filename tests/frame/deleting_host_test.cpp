// Objects of both driver classes ended the way a host of C++ interface
// pointers ends them (Done, then `delete` through an interface's destructor
// position) and the way the platform ends them (Done, then DestroyObject):
// each time the port is given back and the object released, so that the next
// object opens the same port. tools/valgrind.sh runs this under memcheck.
#include <gtest/gtest.h>

#include <string>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using host::Via;

struct EndingCase {
  const char* name;
  bool deleting;  // Done and `delete`; otherwise Done and DestroyObject
  Via via;
};
void PrintTo(const EndingCase& c, std::ostream* os) {
  *os << c.name;
}

const EndingCase kEndings[] = {
    {"DeleteInitDone", true, Via::InitDone},
    {"DeleteLanguageExtender", true, Via::LanguageExtender},
    {"DeleteLocale", true, Via::Locale},
    {"DestroyObject", false, Via::InitDone},
};

class DeletingHostTest : public DriverTest, public ::testing::WithParamInterface<EndingCase> {
 protected:
  static constexpr int kPort = 5;
  static constexpr int kRounds = 6;

  std::unique_ptr<host::Component> Make(std::u16string_view className) {
    if (GetParam().deleting) {
      return std::make_unique<host::Component>(library, mm, &connection, className,
                                               host::DeletingHost{GetParam().via});
    }
    return std::make_unique<host::Component>(library, mm, &connection, className);
  }

  // The older class: Model and Port, "Open", "GetWeight" with its identifier.
  void WeighWithFirstClass(const ModelCase& m, double kg) {
    auto c = Make(u"TZEV_SCALE_Class");
    ASSERT_TRUE(c->Valid());
    ASSERT_TRUE(RunOn(*c, u"SetParameter", {W("Model"), W(m.name)})->Flag());
    ASSERT_TRUE(RunOn(*c, u"SetParameter", {W("Port"), host::Int(kPort)})->Flag());
    auto open = RunOn(*c, u"Open", {host::Empty()});
    ASSERT_TRUE(open->Succeeded()) << "COM" << kPort << " held by an earlier object";
    auto weigh = RunOn(*c, u"GetWeight", {W(open->Text(0)), host::Empty()});
    ASSERT_TRUE(weigh->Succeeded());
    EXPECT_EQ(weigh->params[1].dblVal, kg);
  }

  // The equipment library's class: Port as a number, "Подключить", "ПолучитьВес".
  void WeighWith4001Class(const ModelCase& m, double kg) {
    auto c = Make(u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(c->Valid());
    ASSERT_TRUE(RunOn(*c, u"УстановитьПараметр", {W("Model"), W(m.name)})->Flag());
    ASSERT_TRUE(RunOn(*c, u"УстановитьПараметр", {W("Port"), host::Double(kPort)})->Flag());
    auto open = RunOn(*c, u"Подключить", {host::Empty()});
    ASSERT_TRUE(open->Succeeded()) << "COM" << kPort << " held by an earlier object";
    const std::string id = open->WText(0);
    ASSERT_FALSE(id.empty());
    auto weigh = RunOn(*c, u"ПолучитьВес", {W(id), host::Empty()});
    ASSERT_TRUE(weigh->Succeeded());
    EXPECT_EQ(weigh->params[1].dblVal, kg);
  }
};

INSTANTIATE_TEST_SUITE_P(Endings, DeletingHostTest, ::testing::ValuesIn(kEndings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(DeletingHostTest, EachObjectGivesItsPortBackToTheNext) {
  component.reset();
  const int descriptors = OpenDescriptors();
  for (const ModelCase& m : kModels) {
    auto& scale = Scale(m.model, kPort);
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE(std::string(m.name) + ", round " + std::to_string(round));
      const double kg = 1.5 * (round + 1);
      scale.SetWeight(kg);
      ASSERT_NO_FATAL_FAILURE(WeighWithFirstClass(m, kg));
      scale.SetWeight(kg + 0.25);
      ASSERT_NO_FATAL_FAILURE(WeighWith4001Class(m, kg + 0.25));
    }
    scale.Stop();
  }
  EXPECT_EQ(OpenDescriptors(), descriptors) << "descriptors left open by ended objects";
  EXPECT_TRUE(connection.Errors.empty());
}

// The older class gives its port back at Done, or at the destructor that frees
// nothing, while the object itself lives on: another object opens the port.
TEST_F(DriverTest, TheFirstClassGivesItsPortBackAtDone) {
  constexpr int kPort = 6;
  auto& scale = Scale(zev::sim::Model::ZevAW, kPort, 2.5);
  const auto open = [&](const host::Component& c) {
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Model"), W("ZEV-AW")})->Flag());
    EXPECT_TRUE(RunOn(c, u"SetParameter", {W("Port"), host::Int(kPort)})->Flag());
    return RunOn(c, u"Open", {host::Empty()})->Succeeded();
  };
  const auto weighs = [&](const host::Component& c) {
    auto weigh = RunOn(c, u"GetWeight", {W("NoDeviceID"), host::Empty()});
    return weigh->Succeeded() && weigh->params[1].dblVal == 2.5;
  };
  const std::pair<const char*, void (*)(const host::Component&)> endings[] = {
      {"Done", [](const host::Component& c) { c.InitDone().Done(c.InitDoneSelf()); }},
      {"destructor that frees nothing",
       [](const host::Component& c) { host::DestructThrough(c.LocaleSelf()); }},
  };
  for (const auto& [name, end] : endings) {
    SCOPED_TRACE(name);
    host::Component first(library, mm, &connection);
    ASSERT_TRUE(open(first));
    ASSERT_TRUE(weighs(first));
    {
      host::Component second(library, mm, &connection);
      EXPECT_FALSE(open(second)) << "the port is held";
    }
    end(first);
    EXPECT_FALSE(weighs(first)) << "its device is gone";
    host::Component third(library, mm, &connection);
    EXPECT_TRUE(open(third));
    EXPECT_TRUE(weighs(third));
  }
  scale.Stop();
}

}  // namespace
}  // namespace zev::e2e

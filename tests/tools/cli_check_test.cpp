// zevscale check: the equipment library's sequence of calls.
#include "cli_fixture.h"

namespace zev::cli {
namespace {

// check plays the equipment library's sequence: two simulated scales on one
// object, the settings form's test through the first one's open connection;
// only ZEV-U may set zero, and a scale that does not answer fails the test,
// the weighings and the tare.
TEST(CliOutput, CheckPlaysTheEquipmentLibrarysSequence) {
  for (const char* model : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)"}) {
    std::string out, err;
    ASSERT_EQ(
        RunLine(std::string("check --simulate --sim-weight 2.5 --json --model ") + model, out, err),
        0)
        << out << err;
    const auto j = nlohmann::json::parse(out);
    ASSERT_EQ(j["steps"].size(), 30u);
    for (const auto& step : j["steps"]) EXPECT_TRUE(step["ok"].get<bool>()) << step.dump();
    EXPECT_EQ(j["steps"][2]["method"], "ПолучитьНомерВерсии");
    EXPECT_FALSE(j["steps"][2]["result"].get<std::string>().empty());
    const std::string first = j["steps"][12]["result"], second = j["steps"][18]["result"];
    EXPECT_NE(first, second);
    EXPECT_EQ(j["steps"][13]["result"], "2.500 kg");
    EXPECT_EQ(j["steps"][19]["result"], "2.500 kg");
    EXPECT_NE(
        j["steps"][10]["result"].get<std::string>().find("(порт открыт для проверки и закрыт)"),
        std::string::npos);
    EXPECT_NE(j["steps"][24]["result"].get<std::string>().find("(through the open connection \"" +
                                                               first + "\")"),
              std::string::npos)
        << j["steps"][24].dump();
    EXPECT_EQ(j["steps"][25]["method"], "УстановитьВесТары");
    EXPECT_EQ(j["steps"][27]["error"].get<std::string>().empty(), std::string(model) == "ZEV-U");
    EXPECT_EQ(j["steps"][28]["method"], "Отключить");
    EXPECT_TRUE(j["notSent"].empty());
  }
  std::string out, err;
  EXPECT_EQ(RunLine("check --simulate --sim-silent --model ZEV-U", out, err), 1);
  EXPECT_NE(out.find("steps failed: 11, 14, 20, 25, 26, 28\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  Model: ZEV-U"), std::string::npos) << out;
}

// With --english the methods are called by their English names.
TEST(CliOutput, CheckCallsTheEnglishNames) {
  std::string out, err;
  ASSERT_EQ(RunLine("check --simulate --english --json --model ZEV-AW", out, err), 0) << out << err;
  const auto j = nlohmann::json::parse(out);
  std::vector<std::string> methods;
  for (const auto& step : j["steps"]) {
    EXPECT_TRUE(step["ok"].get<bool>()) << step.dump();
    methods.push_back(step["method"]);
  }
  ASSERT_EQ(methods.size(), 30u);
  EXPECT_EQ(std::vector<std::string>(methods.begin() + 1, methods.begin() + 6),
            (std::vector<std::string>{"GetInterfaceRevision", "GetVersion", "GetDescription",
                                      "GetParameters", "SetParameter"}));
  EXPECT_EQ(j["steps"][5]["result"], "EquipmentType = ElectronicScales: true");
  EXPECT_EQ(methods[12], "Open");
  EXPECT_EQ(methods[13], "GetWeight");
  EXPECT_EQ(methods[24], "DeviceTest");
  EXPECT_EQ(methods[25], "SetTareWeight");
  EXPECT_EQ(methods[27], "DoAdditionalAction");
  EXPECT_EQ(methods[29], "Close");
}

// On a real port check sends no tare and no zero unless asked, and says so.
TEST(CliOutput, CheckSendsNoTareOrZeroToARealScaleUnlessAsked) {
  zev::sim::PortDirectory ports;
  ports.Export();
  struct Case {
    const char* options;
    size_t steps;
    bool sent;
  } cases[] = {{"", 16, false}, {" --with-tare --with-zero", 18, true}};
  for (const auto& c : cases) {
    zev::sim::Simulator scale(zev::sim::Model::ZevU, 1.0);
    ASSERT_TRUE(scale.Start());
    ports.Map(7, scale.DevicePath());
    std::string out, err;
    ASSERT_EQ(RunLine(std::string("check --model ZEV-U --port 7") + c.options, out, err), 0)
        << out << err;
    ASSERT_TRUE(scale.WaitQuiet());
    const std::string received = scale.Received();
    EXPECT_EQ(received.find('T') != std::string::npos, c.sent) << received;
    EXPECT_EQ(received.find('Z') != std::string::npos, c.sent) << received;
    EXPECT_EQ(out.find("add --with-tare to send it") == std::string::npos, c.sent) << out;
    EXPECT_EQ(out.find("add --with-zero to send it") == std::string::npos, c.sent) << out;
    ASSERT_EQ(RunLine(std::string("check --json --model ZEV-U --port 7") + c.options, out, err), 0);
    const auto j = nlohmann::json::parse(out);
    EXPECT_EQ(j["steps"].size(), c.steps);
    EXPECT_EQ(j["notSent"].size(), c.sent ? 0u : 2u);
  }
}

}  // namespace
}  // namespace zev::cli

// The console host: its arguments, its output formats and its exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli.h"

namespace zev::cli {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

TEST(CliArguments, WhatIsAcceptedAndWhatIsNot) {
  struct Case {
    const char* line;
    bool ok;
  } cases[] = {
      {"info", true},
      {"info --json", true},
      {"settings --model ZEV-AW --port 3", true},
      {"weigh --model ZEV-U --port 3", true},
      {"weigh --model ZEV-U --simulate", true},  // the simulated port defaults
      {"weigh --model ZEV-U --port 3 --watch --interval 100 --count 5", true},
      {"tare --model ZEV-U --port 1 --weight 0.25", true},
      {"zero --model ZEV-NT(N) --port 2", true},
      {"weigh --help", true},
      {"--help", true},
      {"", false},
      {"frob", false},
      {"weigh --port 3", false},       // no model
      {"weigh --model ZEV-U", false},  // no port
      {"weigh --model ZEV-U --port 256", false},
      {"weigh --model ZEV-U --port x", false},
      {"weigh --model ZEV-U --port", false},
      {"weigh --model ZEV-U --port 3 --count 0", false},  // forever needs --watch
      {"weigh --model XYZ --simulate", false},            // no simulator for it
      {"info --watch", false},
      {"settings --simulate", false},
      {"tare --model ZEV-U --port 3 --weight abc", false},
      {"weigh --model ZEV-U --port 3 --bogus", false},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(Split(c.line));
    EXPECT_EQ(p.ok, c.ok) << c.line << ": " << p.error;
    if (!p.ok) {
      EXPECT_FALSE(p.error.empty()) << c.line;
    }
  }
  const Parsed watch = Parse(Split("weigh --model ZEV-U --port 3 --watch"));
  EXPECT_EQ(watch.options.count, 0) << "--watch alone weighs until interrupted";
  const Parsed sim =
      Parse(Split("weigh --model ZEV-AW --simulate --sim-weight -12.345 --sim-delay 5"));
  EXPECT_EQ(sim.options.simWeight, -12.345);
  EXPECT_EQ(sim.options.simFaults.delayMs, 5);
}

int RunLine(const std::string& line, std::string& out, std::string& err) {
  const Parsed p = Parse(Split(line + " --library " ZEV_ADDIN_PATH));
  EXPECT_TRUE(p.ok) << p.error;
  std::ostringstream o, e;
  const int status = zev::cli::Run(p.options, o, e);
  out = o.str();
  err = e.str();
  return status;
}

TEST(CliOutput, WeighsTheSimulatedScaleOfEachModel) {
  for (const char* model : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)"}) {
    std::string out, err;
    EXPECT_EQ(RunLine(std::string("weigh --simulate --sim-weight 1.5 --model ") + model, out, err),
              0)
        << err;
    EXPECT_NE(out.find("1.500 kg"), std::string::npos) << out;
  }
  std::string out, err;
  EXPECT_EQ(RunLine("weigh --model ZEV-AW --port 3 --simulate --sim-weight -12.345", out, err), 0);
  EXPECT_NE(out.find("-12.345"), std::string::npos) << out;
}

TEST(CliOutput, JsonIsValidAndCarriesTheResults) {
  std::string out, err;
  ASSERT_EQ(RunLine("weigh --model ZEV-U --simulate --count 2 --interval 0 --json", out, err), 0);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["command"], "weigh");
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["weights"], nlohmann::json::array({0.5, 0.5}));
  EXPECT_EQ(j["error"]["code"], 0);

  ASSERT_EQ(RunLine("info --json", out, err), 0);
  const auto info = nlohmann::json::parse(out);
  EXPECT_EQ(info["classNames"], "TZEV_SCALE_Class");
  EXPECT_EQ(info["componentName"], "ZEVScale");
  EXPECT_EQ(info["interfaceVersion"], 2000);
  EXPECT_EQ(info["equipmentType"], "ЭлектронныеВесы");
  ASSERT_EQ(info["methods"].size(), 13u);
  EXPECT_EQ(info["methods"][11]["russian"], "ПолучитьВес");
  EXPECT_EQ(info["methods"][11]["parameters"], 2);

  ASSERT_EQ(RunLine("settings --model A\"B --port 4 --json", out, err), 0);
  const auto settings = nlohmann::json::parse(out);
  EXPECT_NE(settings["page"].get<std::string>().find("DefaultValue=\"A&quot;B\""),
            std::string::npos);
}

TEST(CliOutput, FailuresCarryTheDriversCodeAndText) {
  std::string out, err;
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 0", out, err), 1);
  EXPECT_NE(err.find("error 1001: Порт недоступен"), std::string::npos) << err;
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 0 --json", out, err), 1);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["ok"], false);
  EXPECT_EQ(j["error"]["code"], 1001);
  EXPECT_EQ(j["error"]["text"], "Порт недоступен");

  EXPECT_EQ(RunLine("weigh --model ZEV-AW --simulate --sim-silent", out, err), 1);
  EXPECT_NE(err.find("Произошла ошибка взвешивания."), std::string::npos) << err;
  EXPECT_EQ(RunLine("zero --model ZEV-NT(N) --simulate", out, err), 1);
  EXPECT_NE(err.find("Функция установки нуля <0> не поддерживается."), std::string::npos);
  EXPECT_EQ(RunLine("test --model ZEV-U --simulate --sim-missing 1", out, err), 1);
}

TEST(CliOutput, AMissingLibraryIsReported) {
  const Parsed p = Parse(Split("info --library /nonexistent/libZEVScale.so"));
  std::ostringstream o, e;
  EXPECT_EQ(zev::cli::Run(p.options, o, e), 1);
  EXPECT_NE(e.str().find("cannot load"), std::string::npos);
}

TEST(CliOutput, SettingsPageIsIndentedByNesting) {
  const std::string xml =
      "<?xml version=\"1.0\" ?><A x=\"1\"><B><Item Value=\"1\">COM1</Item></B></A>";
  EXPECT_EQ(IndentXml(xml),
            "<?xml version=\"1.0\" ?>\n<A x=\"1\">\n  <B>\n    <Item Value=\"1\">COM1</Item>\n"
            "  </B>\n</A>\n");
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

}  // namespace
}  // namespace zev::cli

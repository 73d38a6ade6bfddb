// zevscale tare and zero: what is sent to each model, and what is not.
#include "cli_fixture.h"

namespace zev::cli {
namespace {

TEST(CliTare, ItsArgumentsSayWhatTheModelCanDo) {
  struct Case {
    const char* line;
    const char* error;  // empty: accepted
  } cases[] = {
      {"tare --model ZEV-U --port 3",
       "tare needs --weight W (the scale tares the load on it) or "
       "--cancel"},
      {"tare --model ZEV-U --port 3 --weight 0", "give --cancel for that"},
      {"tare --model ZEV-U --port 3 --weight 1 --cancel", "exclude each other"},
      {"tare --model ZEV-AW --port 3 --cancel", "ZEV-AW has no command that cancels a tare"},
      {"tare --model ZEV-NT(N) --port 3 --cancel", "ZEV-NT(N) has no command that cancels"},
      {"tare --model ZEV-U --port 3 --cancel", ""},
      {"tare --model ZEV-AW --port 3 --weight 0", ""},
      {"zero --model ZEV-U --port 3 --cancel", "unknown option '--cancel'"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(Split(c.line));
    EXPECT_EQ(p.ok, *c.error == '\0') << c.line;
    EXPECT_NE(p.error.find(c.error), std::string::npos) << c.line << ": " << p.error;
  }
}

// Tare and zero send what the model has (or nothing), and say that the
// scale does not confirm it.
TEST(CliTare, TareAndZeroSayWhatWasSentAndOfferAWeighing) {
  using zev::sim::Model;
  zev::sim::PortDirectory ports;
  ports.Export();
  struct Case {
    Model model;
    bool silent;
    const char* line;
    int status;
    std::string received;
    std::vector<std::string> said;
  } cases[] = {
      {Model::ZevU,
       false,
       "tare --model ZEV-U --port 7 --weight 1.5",
       0,
       "T",
       {"tare command sent (54 |T|): the scale tares the load on it; the weight given (1.5 kg) "
        "is not sent",
        "does not confirm it; to check, weigh: zevscale weigh --model ZEV-U --port 7"}},
      {Model::ZevU,
       true,
       "tare --model ZEV-U --port 7 --cancel",
       0,
       "C",
       {"tare cancel command sent (43 |C|)", "does not confirm it"}},
      {Model::ZevU,
       true,
       "zero --model ZEV-U --port 7",
       0,
       "Z",
       {"zero command sent (5A |Z|)", "does not confirm it"}},
      {Model::ZevAW,
       false,
       "tare --model ZEV-AW --port 7 --weight 0",
       0,
       std::string("\0\0\1", 3),
       {"tare command sent (00 00 01 |...|)", "the weight given (0 kg) is not sent"}},
      {Model::ZevNT,
       false,
       "zero --model ZEV-NT(N) --port 7",
       1,
       "",
       {"Функция установки нуля <0> не поддерживается.",
        "ZEV-NT(N) has no zero command; nothing was sent"}},
  };
  for (const auto& c : cases) {
    zev::sim::Simulator scale(c.model, 2.0);
    ASSERT_TRUE(scale.Start());
    zev::sim::Faults faults;
    faults.silent = c.silent;
    scale.SetFaults(faults);
    ports.Map(7, scale.DevicePath());
    std::string out, err;
    EXPECT_EQ(RunLine(c.line, out, err), c.status) << c.line << "\n" << out << err;
    ASSERT_TRUE(scale.WaitQuiet());
    EXPECT_EQ(scale.Received(), c.received) << c.line;
    for (const auto& words : c.said) {
      EXPECT_NE((out + err).find(words), std::string::npos) << c.line << ": " << out << err;
    }
    EXPECT_EQ((out + err).find("tared"), std::string::npos);
  }
  std::string out, err;
  ASSERT_EQ(RunLine("tare --model ZEV-U --simulate --weight 2 --json", out, err), 0);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["sent"], "54 |T|");
  EXPECT_EQ(j["confirmed"], false);
  EXPECT_EQ(j["check"], "zevscale weigh --model ZEV-U --port 3");
}

}  // namespace
}  // namespace zev::cli

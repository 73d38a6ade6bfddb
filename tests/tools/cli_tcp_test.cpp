// zevscale and scales behind Ethernet-to-serial converters.
#include "cli_fixture.h"

namespace zev::cli {
namespace {

TEST(CliTcp, WeighsEachModelThroughAConverterWithTheAddressInTheTrace) {
  for (const char* model : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)"}) {
    zev::sim::Simulator scale(*zev::sim::ModelFromName(model), 1.5);
    const std::string address = Serve(scale);
    std::string out, err;
    EXPECT_EQ(
        RunLine(std::string("weigh --trace --model ") + model + " --tcp " + address, out, err), 0)
        << err;
    EXPECT_EQ(out, std::string(model) + ", tcp://" + address + "\n1.500 kg\n");
    // The tool's own COM<N> for the converter is shown as its address.
    EXPECT_NE(err.find(" tcp://" + address + " " + model + " open tcp://" + address + ": ok\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find(" <- "), std::string::npos) << err;
  }
  zev::sim::Simulator u(zev::sim::Model::ZevU, 2.0), aw(zev::sim::Model::ZevAW, 3.0);
  const std::string a = Serve(u), b = Serve(aw);
  std::string out, err;
  ASSERT_EQ(RunLine("scan --models ZEV-U,ZEV-AW --json --tcp " + a + "," + b, out, err), 0) << err;
  const auto found = nlohmann::json::parse(out);
  ASSERT_EQ(found.size(), 2u) << out;
  EXPECT_EQ(found[0]["tcp"], "tcp://" + a);
  EXPECT_EQ(found[0]["model"], "ZEV-U");
  EXPECT_EQ(found[0]["weight"], 2.0);
  EXPECT_EQ(found[1]["tcp"], "tcp://" + b);
  EXPECT_EQ(found[1]["model"], "ZEV-AW");
}

// check sets the converter's address in the equipment-library class's
// settings instead of a port.
TEST(CliTcp, CheckSetsTheConverterInTheSettings) {
  zev::sim::Simulator scale(zev::sim::Model::ZevNT, 2.5), refusing(zev::sim::Model::ZevNT, 1);
  const std::string address = Serve(scale);
  std::string out, err;
  ASSERT_EQ(RunLine("check --json --model ZEV-NT(N) --tcp " + address, out, err), 0) << out << err;
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["tcp"], "tcp://" + address);
  ASSERT_EQ(j["steps"].size(), 18u);  // no tare or zero sent to a scale that is not simulated
  for (const auto& step : j["steps"]) EXPECT_TRUE(step["ok"].get<bool>()) << step.dump();
  EXPECT_EQ(j["steps"][10]["result"], "Connection = TCP: true");
  EXPECT_EQ(j["steps"][12]["result"],
            "Весы ZEV-NT(N) на tcp://" + address +
                " ответили: 2,500 кг (порт открыт для проверки и закрыт)");
  EXPECT_EQ(j["steps"][15]["result"], "2.500 kg");
  const std::string refused = Serve(refusing, zev::sim::TcpMode::Refuse);
  EXPECT_EQ(RunLine("check --model ZEV-NT(N) --tcp " + refused, out, err), 1);
  EXPECT_NE(out.find("error 1001: tcp://" + refused + ": Connection refused."), std::string::npos)
      << out;
  EXPECT_NE(out.find("  Converter address: 127.0.0.1\n"), std::string::npos) << out;
}

TEST(CliTcp, ConvertersThatFailSayWhy) {
  zev::sim::Simulator refusing(zev::sim::Model::ZevU, 1), deaf(zev::sim::Model::ZevU, 1),
      silent(zev::sim::Model::ZevU, 1), cutting(zev::sim::Model::ZevU, 1);
  zev::sim::Faults quiet, cut;
  quiet.silent = true;
  cut.hangUpOnCommand = true;
  silent.SetFaults(quiet);
  cutting.SetFaults(cut);
  const std::string refused = Serve(refusing, zev::sim::TcpMode::Refuse), quietOne = Serve(silent),
                    hangsUp = Serve(cutting);
  // Each class in its own words, and the tool's reason after them.
  struct Case {
    std::string address;
    std::vector<std::string> expected;  // in the error output, in order
    const char* options = "";
  } cases[] = {
      {refused, {"error 1001: Порт недоступен", "connection refused"}},
      {Serve(deaf, zev::sim::TcpMode::NoAccept),
       {"error 1001: Порт недоступен", "no answer to the connection within 1 s"}},
      {quietOne, {"Произошла ошибка взвешивания.", "nothing arrived"}},
      {hangsUp, {"Произошла ошибка взвешивания.", "the converter closed the connection"}},
      {refused, {": Connection refused.", "connection refused"}, "--class 4001 "},
      {quietOne,
       {"did not answer: no byte arrived within 500 ms", "nothing arrived"},
       "--class 4001 "},
      {hangsUp, {"error 1001: ", "the converter closed the connection"}, "--class 4001 "},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(
        RunLine("weigh " + std::string(c.options) + "--model ZEV-U --tcp " + c.address, out, err),
        1)
        << c.options << c.address;
    size_t at = 0;
    for (const auto& e : c.expected) {
      at = err.find(e, at);
      EXPECT_NE(at, std::string::npos) << c.address << ": no \"" << e << "\" in\n" << err;
      if (at == std::string::npos) break;
    }
  }
  // The ports directory: entries that hold an address, reachable or not.
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.MapTcp(7, "tcp://" + cases[2].address);
  ports.MapTcp(8, "tcp://" + cases[0].address);
  std::string out, err;
  ASSERT_EQ(RunLine("ports", out, err), 0);
  EXPECT_NE(out.find("COM7  tcp://" + cases[2].address + "  converter, accepts connections"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("COM8  tcp://" + cases[0].address + "  converter: connection refused"),
            std::string::npos)
      << out;
  ASSERT_EQ(RunLine("ports --json", out, err), 0);
  const auto list = nlohmann::json::parse(out);
  ASSERT_GE(list.size(), 2u) << out;  // the machine's own serial ports follow
  EXPECT_EQ(list[0]["tcp"], "tcp://" + cases[2].address);
  EXPECT_EQ(list[0]["state"], "reachable");
  EXPECT_EQ(list[1]["state"], "unreachable");
  EXPECT_EQ(list[1]["reason"], "connection refused");
}

}  // namespace
}  // namespace zev::cli

namespace zev::cli {
namespace {

// The equipment library's class takes the converter's address in its
// settings: every command that takes --tcp works without a ports directory.
TEST(CliTcp, TheEquipmentClassDrivesEachCommandThroughAConverter) {
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 1.5);
  const std::string address = Serve(scale), url = "tcp://" + address;
  struct Case {
    std::string args;
    std::vector<std::string> out;  // in standard output, in order
  } cases[] = {
      {"weigh --model ZEV-U", {"ZEV-U, " + url + "\n", "1.500 kg\n"}},
      {"watch --model ZEV-U --count 2 --interval 0", {"1.500 kg\n", "1.500 kg\n"}},
      {"test --model ZEV-U", {"The ZEV-U scale on " + url + " answered: 1.500 kg"}},
      {"tare --model ZEV-U --weight 1", {"tare command sent (54 |T|)", "--class 4001 --tcp"}},
      {"tare --model ZEV-U --cancel", {"tare cancel command sent (43 |C|)"}},
      {"zero --model ZEV-U", {"zero command sent (5A |Z|)"}},
      {"weigh --model ZEV-U --json", {"\"tcp\":\"" + url + "\"", "\"weights\":[1.5]"}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunLine(c.args + " --class 4001 --tcp " + address, out, err), 0) << c.args << err;
    size_t at = 0;
    for (const auto& e : c.out) {
      at = out.find(e, at);
      EXPECT_NE(at, std::string::npos) << c.args << ": no \"" << e << "\" in\n" << out;
      if (at == std::string::npos) break;
    }
  }
  // As on Windows, where --tcp alone chooses the class: the class's own trace
  // names the converter.
  const Parsed p =
      Parse(Split("weigh --trace --model ZEV-U --tcp " + address + " --library " ZEV_ADDIN_PATH),
            Lang::En, System{false, false});
  ASSERT_TRUE(p.ok) << p.error;
  std::ostringstream out, err;
  EXPECT_EQ(zev::cli::Run(p.options, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "ZEV-U, " + url + "\n1.500 kg\n");
  EXPECT_NE(err.str().find(" " + url + " ZEV-U open " + url + ": ok\n"), std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace zev::cli

namespace zev::cli {
namespace {

// A command line run as on Windows: no ports directory, no simulated scales.
int RunAsOnWindows(const std::string& line, std::string& out, std::string& err) {
  const Parsed p =
      Parse(Split(line + " --library " ZEV_ADDIN_PATH), Lang::En, System{false, false});
  EXPECT_TRUE(p.ok) << line << ": " << p.error;
  if (!p.ok) return -1;
  std::ostringstream o, e;
  const int status = zev::cli::Run(p.options, o, e);
  out = o.str();
  err = e.str();
  return status;
}

// Without a ports directory scan tries each model through the equipment
// library's class, which takes the converter's address, and listen connects
// to the converter itself.
TEST(CliTcp, ScanAndListenReachAConverterWithoutAPortsDirectory) {
  zev::sim::Simulator u(zev::sim::Model::ZevU, 2.0), aw(zev::sim::Model::ZevAW, 3.0),
      nt(zev::sim::Model::ZevNT, 1.25), refusing(zev::sim::Model::ZevU, 1);
  const std::string a = Serve(u), b = Serve(aw), n = Serve(nt);
  const std::string r = Serve(refusing, zev::sim::TcpMode::Refuse);
  struct Case {
    std::string line;
    int status;
    std::vector<std::string> out;  // in standard output, in order
  } cases[] = {
      {"scan --tcp " + a + "," + b + "," + n + "," + r,
       0,
       {"tcp://" + a + " ZEV-U", "2.000 kg\n", "tcp://" + b + " ZEV-AW", "3.000 kg\n",
        "tcp://" + n + " ZEV-NT(N)", "1.250 kg\n", "tcp://" + r + " refused the connection",
        "Model \"ZEV-U\"", "Connection \"TCP\", Host \"127.0.0.1\""}},
      {"scan --models ZEV-U --tcp " + r, 1, {"tcp://" + r + " refused the connection"}},
      {"listen --model ZEV-AW --seconds 1 --tcp " + b,
       0,
       {"ZEV-AW, tcp://" + b + ": ", "a whole ZEV-AW reply"}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunAsOnWindows(c.line, out, err), c.status) << c.line << "\n" << out << err;
    size_t at = 0;
    for (const auto& e : c.out) {
      at = out.find(e, at);
      EXPECT_NE(at, std::string::npos) << c.line << ": no \"" << e << "\" in\n" << out << err;
      if (at == std::string::npos) break;
    }
  }
  std::string out, err;
  ASSERT_EQ(RunAsOnWindows("scan --json --models ZEV-U,ZEV-AW --tcp " + a, out, err), 0) << err;
  const auto found = nlohmann::json::parse(out);
  ASSERT_EQ(found.size(), 1u) << out;
  EXPECT_EQ(found[0]["tcp"], "tcp://" + a);
  EXPECT_EQ(found[0]["model"], "ZEV-U");
  EXPECT_EQ(found[0]["weight"], 2.0);
}

}  // namespace
}  // namespace zev::cli

namespace zev::cli {
namespace {

// A converter of RFC 2217 on the loopback address: its line starts at 9600
// 8N1, and `refused` names a setting it keeps.
std::string ServeRfc2217(zev::sim::Simulator& s, const std::string& refused = std::string()) {
  zev::sim::TcpOptions options;
  options.rfc2217 = true;
  options.refuseSetting = refused;
  std::string error;
  EXPECT_TRUE(s.StartTcp("127.0.0.1", 0, options, &error)) << error;
  return s.TcpUrl().substr(std::string("rfc2217://").size());
}

// --rfc2217 sets the model's line on the converter, through a ports
// directory's entry and as on Windows through Connection = RFC2217; a
// converter that keeps its parity gives no weight; scan tries RFC 2217 on a
// converter of --tcp that speaks Telnet.
TEST(CliTcp, Rfc2217ConvertersTakeTheLineFromTheTool) {
  struct Case {
    std::string model, refused, args;
    bool windows;
    int status;
    std::vector<std::string> out, err;  // in order
  } cases[] = {
      {"ZEV-U", "", "weigh --rfc2217", false, 0, {"ZEV-U, rfc2217://", "1.500 kg\n"}, {}},
      {"ZEV-AW", "", "weigh --rfc2217", false, 0, {"1.500 kg\n"}, {}},
      {"ZEV-NT(N)", "", "weigh --rfc2217", false, 0, {"1.500 kg\n"}, {}},
      {"ZEV-U", "", "weigh --rfc2217", true, 0, {"ZEV-U, rfc2217://", "1.500 kg\n"}, {}},
      {"ZEV-AW", "", "weigh --rfc2217", true, 0, {"1.500 kg\n"}, {}},
      {"ZEV-NT(N)", "", "weigh --rfc2217", true, 0, {"1.500 kg\n"}, {}},
      {"ZEV-AW", "parity", "weigh --rfc2217", false, 1, {}, {"refused the scale's line settings"}},
      {"ZEV-AW",
       "parity",
       "weigh --rfc2217",
       true,
       1,
       {},
       {"The converter kept 4800 8N1: parity odd refused."}},
      {"ZEV-AW",
       "",
       "scan --models ZEV-U,ZEV-AW --tcp",
       false,
       0,
       {"ZEV-AW ", "1.500 kg\n", "speaks Telnet: tried RFC 2217", "ZEV-AW answered",
        "Connection \"RFC2217\""},
       {}},
      {"ZEV-AW",
       "",
       "scan --models ZEV-AW --tcp",
       true,
       0,
       {"ZEV-AW ", "speaks Telnet: tried RFC 2217", "ZEV-AW answered"},
       {}},
  };
  for (const auto& c : cases) {
    zev::sim::Simulator scale(*zev::sim::ModelFromName(c.model), 1.5);
    const std::string address = ServeRfc2217(scale, c.refused);
    std::string line = c.args + " " + address;
    if (c.args.rfind("weigh", 0) == 0) line += " --model " + c.model;
    std::string out, err;
    EXPECT_EQ(c.windows ? RunAsOnWindows(line, out, err) : RunLine(line, out, err), c.status)
        << line << (c.windows ? " (as on Windows)\n" : "\n") << out << err;
    if (c.status != 0) {
      EXPECT_EQ(out.find(" kg"), std::string::npos) << line << "\n" << out;
    }
    for (const auto* texts : {&c.out, &c.err}) {
      const std::string& got = texts == &c.out ? out : err;
      size_t at = 0;
      for (const auto& e : *texts) {
        at = got.find(e, at);
        EXPECT_NE(at, std::string::npos) << line << ": no \"" << e << "\" in\n" << got;
        if (at == std::string::npos) break;
      }
    }
  }
}

}  // namespace
}  // namespace zev::cli

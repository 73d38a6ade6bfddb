// The console host: its arguments, its output formats and its exit status.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli.h"
#include "common.h"
#include "simulator.h"
#include "zev/platform/serial.h"
#include "zev/platform/text.h"

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
      {"check --model ZEV-U --port 3 --with-tare --with-zero --english", true},
      {"weigh --model ZEV-U --port 3 --with-tare", false},  // check's alone
      {"weigh --model ZEV-U --port 3 --trace", true},
      {"watch --model ZEV-AW --port 4 --json", true},
      {"ports", true},
      {"ports --json", true},
      {"ports --trace", false},
      {"scan", true},
      {"scan --ports 3,5,6 --models ZEV-U,ZEV-AW --trace --json", true},
      {"scan --ports 3,,6", false},
      {"scan --ports 3,256", false},
      {"scan --ports 1-4,COM7", true},
      {"scan --ports 4-1", false},
      {"weigh --model ZEV-U --port COM3", true},
      {"listen --model ZEV-U --port 3 --seconds 2", true},
      {"listen --model ZEV-U --port 3 --seconds 0", false},
      {"weigh --model ZEV-U --port 3 --seconds 2", false},
      {"scan --models ZEV-U,ZEV-X", false},
      {"scan --model ZEV-U", false},
      {"--version", true},
      {"weigh --model ZEV-U --simulate --sim-delay -5", false},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001", true},
      {"listen --model ZEV-U --tcp 127.0.0.1:4001", true},
      {"test --model ZEV-AW --tcp [::1]:4001 --trace", true},
      {"weigh --model ZEV-U --tcp 127.0.0.1", false},
      {"weigh --model ZEV-U --tcp 127.0.0.1:0", false},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001 --port 3", false},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001,127.0.0.1:4002", false},
      {"scan --tcp 127.0.0.1:4001,[::1]:4002 --ports 3", true},
      {"scan --tcp 127.0.0.1:4001,", false},
      {"ports --tcp 127.0.0.1:4001", false},
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

TEST(CliArguments, ModelNamesAreCheckedBeforeTheDriverSeesThem) {
  // "ZEV-У" carries the Cyrillic letter of the settings page's caption.
  for (const char* model : {"zev-u", "ZEV-NT", "ZEV-\xd0\xa3", "ZEV-AW "}) {
    const Parsed p = Parse({"weigh", "--model", model, "--port", "3"});
    EXPECT_FALSE(p.ok) << model;
    EXPECT_EQ(p.error, std::string("unknown model \"") + model +
                           "\"; the models are ZEV-U, ZEV-AW, ZEV-NT(N) (exactly so written)" +
                           (model[1] == 'e' ? "; did you mean ZEV-U?" : ""));
  }
  EXPECT_NE(Parse({"test", "--model", "zev-u", "--port", "3"}, Lang::Russian)
                .error.find("неизвестная модель «zev-u»"),
            std::string::npos);
}

int RunLine(const std::string& line, std::string& out, std::string& err, Lang lang = Lang::English,
            const std::atomic<bool>* interrupted = nullptr) {
  const Parsed p = Parse(Split(line + " --library " ZEV_ADDIN_PATH), lang);
  EXPECT_TRUE(p.ok) << p.error;
  std::ostringstream o, e;
  const int status = zev::cli::Run(p.options, o, e, interrupted);
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
  EXPECT_EQ(info["classNames"], "TZEV_SCALE_Class|TZEV_SCALE_4001_Class");
  EXPECT_EQ(info["componentName"], "ZEVScale");
  EXPECT_EQ(info["interfaceVersion"], 2000);
  EXPECT_EQ(info["equipmentType"], "ЭлектронныеВесы");
  ASSERT_EQ(info["methods"].size(), 13u);
  EXPECT_EQ(info["methods"][11]["russian"], "ПолучитьВес");
  EXPECT_EQ(info["methods"][11]["parameters"], 2);
  ASSERT_EQ(info["otherClasses"].size(), 1u);
  EXPECT_EQ(info["otherClasses"][0]["className"], "TZEV_SCALE_4001_Class");
  EXPECT_EQ(info["otherClasses"][0]["interfaceRevision"], 4001);
  EXPECT_EQ(info["otherClasses"][0]["methods"].size(), 14u);
  EXPECT_EQ(info["lineSettings"]["ZEV-U"], "4800 8N1");
  EXPECT_EQ(info["lineSettings"]["ZEV-NT(N)"], "4800 8O1");
  char* library = realpath(ZEV_ADDIN_PATH, nullptr);
  EXPECT_EQ(info["library"], std::string(library != nullptr ? library : ""));
  free(library);

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

TEST(CliOutput, LibrariesItCannotUseAreNamedAsSuch) {
  // An ELF header of the other word size, with the x86 processor of that size.
  char otherArch[] = "/tmp/zevscale-other-XXXXXX";
  const int fd = mkstemp(otherArch);
  ASSERT_GE(fd, 0);
  const bool is64 = sizeof(void*) == 8;
  const unsigned char header[20] = {
      0x7f, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 1 : 2),  1, 1, 0, 0, 0, 0, 0, 0, 0,
      0,    0,   3,   0,   static_cast<unsigned char>(is64 ? 3 : 62), 0};
  ASSERT_EQ(write(fd, header, sizeof header), static_cast<ssize_t>(sizeof header));
  close(fd);
  const std::string otherBits = is64 ? "is a 32-bit library and this zevscale is 64-bit"
                                     : "is a 64-bit library and this zevscale is 32-bit";
  struct Case {
    std::string library;
    std::string message;
  } cases[] = {
      {"/nonexistent/libZEVScale.so", "cannot load"},
      {otherArch, otherBits},
      {"libm.so.6",
       "lacks the exports GetClassNames, GetClassObject, DestroyObject, "
       "SetPlatformCapabilities"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse({"info", "--library", c.library});
    std::ostringstream o, e;
    EXPECT_EQ(zev::cli::Run(p.options, o, e), 1) << c.library;
    EXPECT_NE(e.str().find(c.message), std::string::npos) << e.str();
  }
  unlink(otherArch);
}

TEST(CliOutput, SettingsPageIsIndentedByNesting) {
  const std::string xml =
      "<?xml version=\"1.0\" ?><A x=\"1\"><B><Item Value=\"1\">COM1</Item></B></A>";
  EXPECT_EQ(IndentXml(xml),
            "<?xml version=\"1.0\" ?>\n<A x=\"1\">\n  <B>\n    <Item Value=\"1\">COM1</Item>\n"
            "  </B>\n</A>\n");
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

TEST(CliOutput, EveryFailureSaysWhy) {
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.Map(9, "/nonexistent/ttyUSB9");
  ports.Map(10, "/dev/null");  // not a serial line
  zev::sim::Simulator held(zev::sim::Model::ZevU, 1.0);
  ASSERT_TRUE(held.Start());
  ports.Map(11, held.DevicePath());
  zev::platform::SerialPort holder;
  ASSERT_EQ(holder.Open(11, 4800, zev::platform::Parity::None), zev::platform::OpenStatus::Opened);
  const std::string self = "PID " + std::to_string(getpid());
  struct Case {
    const char* line;
    std::vector<std::string> expected;  // in the error output, in order
  } cases[] = {
      {"weigh --model ZEV-U --port 9",
       {"error 1001: Порт недоступен", "COM9 is /nonexistent/ttyUSB9",
        "/nonexistent/ttyUSB9 does not exist"}},
      {"weigh --model ZEV-U --port 10", {"Порт недоступен", "/dev/null cannot be opened"}},
      {"test --model ZEV-AW --port 11", {"Порт недоступен", "is held by another program", self}},
      {"weigh --model ZEV-U --port 0", {"Порт недоступен", "COM0 stands for no device"}},
      {"weigh --model ZEV-AW --simulate --sim-silent",
       {"Произошла ошибка взвешивания.", "nothing arrived", "--trace"}},
      {"test --model ZEV-U --simulate --sim-silent",
       {"error 1001, with no text from the driver", "the device test got no weight",
        "nothing arrived", "--trace"}},
      {"weigh --model ZEV-U --simulate --sim-missing 1",
       {"Произошла ошибка взвешивания.", "bytes arrived that are not a ZEV-U reply: 20 20 30 2E",
        "|  0.500 kg  .|", "--trace"}},
      {"weigh --model ZEV-NT(N) --simulate --sim-hang-up",
       {"Произошла ошибка взвешивания.", "the line went away", "--trace"}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunLine(c.line, out, err), 1) << c.line;
    size_t at = 0;
    for (const auto& e : c.expected) {
      at = err.find(e, at);
      EXPECT_NE(at, std::string::npos) << c.line << ": no \"" << e << "\" in\n" << err;
      if (at == std::string::npos) break;
    }
  }
}

TEST(CliOutput, TraceShowsCommandAndReplyBytesWithTiming) {
  struct Case {
    const char* line;
    const char* command;
    const char* reply;
  } cases[] = {
      {"weigh --model ZEV-U --simulate --trace", "ZEV-U -> 50 |P| written 1 of 1",
       "ZEV-U <- 20 20 30 2E 35 30 30 20 6B 67 20 20 0D 0A |  0.500 kg  ..| +"},
      {"weigh --model ZEV-AW --simulate --trace", "ZEV-AW -> 00 00 03 |...| written 3 of 3",
       "ZEV-AW <- 30 30 35 30"},
      {"test --model ZEV-NT(N) --simulate --sim-silent --trace", "ZEV-NT(N) -> 00 00 03",
       "ZEV-NT(N) <- (nothing) +"},
  };
  for (const auto& c : cases) {
    std::string out, err;
    RunLine(c.line, out, err);
    EXPECT_NE(err.find(std::string(" COM3 ") + c.command), std::string::npos) << err;
    EXPECT_NE(err.find(std::string(" COM3 ") + c.reply), std::string::npos) << err;
    EXPECT_TRUE(err.find("interval time-out") != std::string::npos ||
                err.find("total time-out") != std::string::npos)
        << err;
    EXPECT_EQ(err.find("--trace to see"), std::string::npos) << "no hint while tracing";
  }
  // Without --trace nothing reaches the error output; an unwritable trace fails nothing.
  std::string out, err;
  EXPECT_EQ(RunLine("weigh --model ZEV-U --simulate", out, err), 0);
  EXPECT_EQ(err, "");
  setenv("ZEVSCALE_TRACE", "/nonexistent/dir/trace.log", 1);
  EXPECT_EQ(RunLine("weigh --model ZEV-AW --simulate --sim-weight 2", out, err), 0) << err;
  unsetenv("ZEVSCALE_TRACE");
  EXPECT_NE(out.find("2.000 kg"), std::string::npos);
  // ...but the tool says so, once.
  const std::string warning =
      "zevscale: ZEVSCALE_TRACE: the trace file /nonexistent/dir/trace.log cannot be written "
      "(No such file or directory); the add-in writes no trace there\n";
  EXPECT_EQ(err, warning);
}

TEST(CliOutput, JsonWeightsKeepEveryDecimal) {
  std::string out, err;
  ASSERT_EQ(RunLine("weigh --model ZEV-AW --simulate --sim-weight 1234.567 --json", out, err), 0);
  EXPECT_NE(out.find("\"weights\":[1234.567]"), std::string::npos) << out;
  ASSERT_EQ(RunLine("weigh --model ZEV-U --simulate --sim-weight 0.25", out, err, Lang::Russian),
            0);
  EXPECT_NE(out.find("0,250 кг"), std::string::npos) << out;
}

TEST(CliOutput, WatchGoesOnThroughFailuresAndStopsOnInterrupt) {
  std::string out, err;
  // A silent scale: the heading, then one failure per reading, and on.
  EXPECT_EQ(RunLine("watch --model ZEV-U --simulate --sim-silent --count 2 --interval 0", out, err),
            1);
  EXPECT_EQ(out.rfind("ZEV-U, COM3", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
  EXPECT_NE(out.find("Произошла ошибка взвешивания. (nothing arrived"), std::string::npos) << out;

  // NDJSON, one object per reading, until interrupted: status 130.
  std::atomic<bool> interrupted{false};
  std::thread stop([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    interrupted = true;
  });
  EXPECT_EQ(RunLine("watch --model ZEV-AW --simulate --sim-weight 3.5 --interval 0 --json", out,
                    err, Lang::English, &interrupted),
            130);
  stop.join();
  std::istringstream lines(out);
  int readings = 0;
  for (std::string line; std::getline(lines, line); ++readings) {
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["ok"], true);
    EXPECT_EQ(j["weight"], 3.5);
  }
  EXPECT_GE(readings, 2) << out;
}

TEST(CliOutput, ScanFindsEachModelOnItsPort) {
  std::string out, err;
  ASSERT_EQ(RunLine("scan --simulate --sim-weight 12.345 --ports 3,4,5,6 --json", out, err), 0)
      << err;
  const auto found = nlohmann::json::parse(out);
  const auto expected = nlohmann::json::parse(R"json([
    {"port":3,"status":"answer","model":"ZEV-U","weight":12.345,"recommended":true},
    {"port":4,"status":"answer","model":"ZEV-AW","weight":12.345,"recommended":true},
    {"port":4,"status":"answer","model":"ZEV-NT(N)","weight":12.345},
    {"port":5,"status":"answer","model":"ZEV-NT(N)","weight":12.345,"recommended":true},
    {"port":6,"status":"missing","reason":"COM6 is /dev/ttyS5; /dev/ttyS5 does not exist"}])json");
  EXPECT_EQ(found, expected);

  // Traced from four threads at once: every line whole.
  ASSERT_EQ(RunLine("scan --simulate --ports 3,4,5,6 --trace", out, err), 0);
  auto whole = [](const std::string& line) {
    std::istringstream in(line);
    std::string date, time, pid, port, model, what;
    in >> date >> time >> pid >> port >> model >> what;
    auto endsWith = [&](const std::string& end) {
      return line.size() >= end.size() &&
             line.compare(line.size() - end.size(), end.size(), end) == 0;
    };
    const bool ended = endsWith(" ms, 32 bytes") || endsWith(" ms, interval time-out") ||
                       endsWith(" ms, total time-out") || endsWith(" ms, line gone");
    return date.size() == 10 && date[4] == '-' && time.size() == 12 && time[2] == ':' &&
           time[8] == '.' && pid == "[" + std::to_string(getpid()) + "]" && port.size() == 4 &&
           port.rfind("COM", 0) == 0 && port[3] >= '3' && port[3] <= '6' &&
           (model == "ZEV-U" || model == "ZEV-AW" || model == "ZEV-NT(N)") &&
           ((what == "open" && line.find(": ") != std::string::npos) || what == "close:" ||
            (what == "->" && line.find(" written ") != std::string::npos) ||
            (what == "<-" && ended && line.find(" ms, ") == line.rfind(" ms, ")));
  };
  std::istringstream lines(err);
  int traced = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("(", 0) == 0) continue;  // the closing time line
    EXPECT_TRUE(whole(line)) << line;
    ++traced;
  }
  EXPECT_GT(traced, 12);

  ASSERT_EQ(RunLine("scan --simulate --ports 4,6 --models ZEV-AW,ZEV-NT(N)", out, err), 0);
  EXPECT_NE(out.find("COM4  ZEV-AW          0.500 kg\n"), std::string::npos) << out;
  EXPECT_NE(out.find("COM4: ZEV-NT(N) answers too; ZEV-AW fits best"), std::string::npos) << out;
  EXPECT_NE(out.find("settings for the platform: Model \"ZEV-AW\" (\"Весы: ZEV-AW\" in the list), "
                     "Port 4 (COM4)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("COM6  missing: COM6 is /dev/ttyS5; /dev/ttyS5 does not exist"),
            std::string::npos)
      << out;

  EXPECT_EQ(RunLine("scan --simulate --ports 6", out, err), 1);
  EXPECT_NE(out.find("no scale answered on COM6"), std::string::npos) << out;
}

// Every port asked for or mapped has its outcome, in words and in JSON.
TEST(CliOutput, ScanGivesEveryPortItsOutcome) {
  zev::sim::PortDirectory ports;
  ports.Export();
  using zev::sim::Model;
  zev::sim::Simulator fine(Model::ZevU, 1.0), silent(Model::ZevAW, 1.0), late(Model::ZevU, 2.0),
      held(Model::ZevAW, 1.0), high(Model::ZevAW, -1.5);
  for (auto* s : {&fine, &silent, &late, &held, &high}) ASSERT_TRUE(s->Start());
  zev::sim::Faults f;
  f.silent = true;
  silent.SetFaults(f);
  f = {};
  f.delayMs = 620;
  late.SetFaults(f);
  ports.Map(3, fine.DevicePath());
  ports.Map(4, silent.DevicePath());
  ports.Map(5, late.DevicePath());
  ports.Map(6, ports.Path() + "/unplugged");
  ports.Map(7, held.DevicePath());
  ports.Map(9, fine.DevicePath());
  ports.Map(11, high.DevicePath());
  zev::platform::SerialPort holder;
  ASSERT_EQ(holder.Open(7, 4800, zev::platform::Parity::Odd), zev::platform::OpenStatus::Opened);
  std::string out, err;
  ASSERT_EQ(RunLine("scan --ports 3-7,COM9 --json", out, err), 0) << err;
  std::map<int, std::string> status;
  for (const auto& j : nlohmann::json::parse(out)) {
    status[j["port"]] = j["status"];
    EXPECT_EQ(j.contains("weight"), j["status"] == "answer") << j;
    EXPECT_EQ(j.contains("reason"), j["status"] != "answer") << j;
  }
  const std::map<int, std::string> expected = {{3, "answer"}, {4, "no answer"},
                                               {5, "late"},   {6, "missing"},
                                               {7, "busy"},   {9, "same device"}};
  EXPECT_EQ(status, expected) << out;

  ASSERT_EQ(RunLine("scan --ports 3-6,9", out, err), 0) << err;
  for (const char* line :
       {"COM3  ZEV-U           1.000 kg\n", "COM4  no answer to ZEV-U, ZEV-AW, ZEV-NT(N)\n",
        "COM5  answers late (6", " ms, as ZEV-U): the driver stops waiting",
        "COM6  missing: COM6 is ", "COM9  same device as COM3 ("}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
  // A ZEV-AW scale tried only as ZEV-NT(N) answers without its sign, on a
  // port that the settings page does not offer.
  ASSERT_EQ(RunLine("scan --ports 11 --models ZEV-NT(N)", out, err), 0) << err;
  EXPECT_NE(out.find("COM11: the reply is a ZEV-AW frame; read as ZEV-NT(N) it loses its sign"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("COM11: the settings page offers Port 1 to 8 only"), std::string::npos) << out;
  // A frame of a model not tried is named.
  zev::sim::Simulator other(Model::ZevAW, 1.0);
  ASSERT_TRUE(other.Start());
  f = {};
  f.raw = zev::sim::Simulator::Frame(Model::ZevU, 1.0);
  other.SetFaults(f);
  ports.Map(8, other.DevicePath());
  EXPECT_EQ(RunLine("scan --ports 8 --models ZEV-AW,ZEV-NT(N)", out, err), 1);
  EXPECT_NE(out.find("COM8  not a reply: 20 20 31 2E"), std::string::npos) << out;
  EXPECT_NE(out.find("; it is a ZEV-U reply, a model not tried (--models)"), std::string::npos)
      << out;
}

TEST(CliOutput, ListenShowsEveryByteWithItsTime) {
  std::string out, err;
  ASSERT_EQ(RunLine("listen --model ZEV-U --simulate --sim-weight 2 --seconds 1 --json", out, err),
            0)
      << err;
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["bytes"], 14);
  EXPECT_EQ(j["frame"], "ZEV-U");
  EXPECT_LT(j["frameMs"], 500);
  size_t pairs = 0;  // the pieces hold the 14 bytes, as hex pairs before the bar
  for (const auto& piece : j["pieces"]) {
    const std::string bytes = piece["bytes"];
    pairs += bytes.find('|') / 3;
  }
  EXPECT_EQ(pairs, 14u) << out;
  // Late: the whole reply is there, after the driver's deadline.
  ASSERT_EQ(RunLine("listen --model ZEV-AW --simulate --sim-delay 650 --seconds 1", out, err), 0);
  const size_t but = out.find("a whole ZEV-AW reply, but ");
  ASSERT_NE(but, std::string::npos) << out;
  EXPECT_GT(std::stoi(out.substr(but + 26)), 530) << out;
  EXPECT_NE(out.find("ms after the command: the driver stops waiting"), std::string::npos) << out;
  EXPECT_EQ(RunLine("listen --model ZEV-U --simulate --sim-silent --seconds 1", out, err), 1);
  EXPECT_NE(out.find("nothing arrived in 1 s"), std::string::npos) << out;
}

TEST(CliOutput, PortsListsMappedEntriesFreeOrBusy) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator a(zev::sim::Model::ZevU, 1.0), b(zev::sim::Model::ZevAW, 1.0);
  ASSERT_TRUE(a.Start() && b.Start());
  ports.Map(3, a.DevicePath());
  ports.Map(4, b.DevicePath());
  zev::platform::SerialPort holder;
  ASSERT_EQ(holder.Open(4, 4800, zev::platform::Parity::Odd), zev::platform::OpenStatus::Opened);
  std::string out, err;
  ASSERT_EQ(RunLine("ports --json", out, err), 0);
  const auto list = nlohmann::json::parse(out);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0]["name"], "COM3");
  EXPECT_EQ(list[0]["com"], 3);
  EXPECT_EQ(list[0]["device"], a.DevicePath());
  EXPECT_EQ(list[0]["busy"], false);
  EXPECT_EQ(list[1]["name"], "COM4");
  EXPECT_EQ(list[1]["busy"], true);
  EXPECT_EQ(list[1]["holders"][0]["pid"], getpid());
  ASSERT_EQ(RunLine("ports", out, err), 0);
  EXPECT_NE(out.find("COM4  " + b.DevicePath() + "  busy: PID " + std::to_string(getpid())),
            std::string::npos)
      << out;
}

// Converters on the loopback address, one per case.
std::string Serve(zev::sim::Simulator& s, zev::sim::TcpMode mode = zev::sim::TcpMode::Serve) {
  std::string error;
  EXPECT_TRUE(s.StartTcp("127.0.0.1", 0, mode, &error)) << error;
  return s.TcpUrl().substr(6);  // HOST:PORT
}

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
  struct Case {
    std::string address;
    std::vector<std::string> expected;  // in the error output, in order
  } cases[] = {
      {Serve(refusing, zev::sim::TcpMode::Refuse),
       {"error 1001: Порт недоступен", "connection refused"}},
      {Serve(deaf, zev::sim::TcpMode::NoAccept),
       {"error 1001: Порт недоступен", "no answer to the connection within 1 s"}},
      {Serve(silent), {"Произошла ошибка взвешивания.", "nothing arrived"}},
      {Serve(cutting), {"Произошла ошибка взвешивания.", "the converter closed the connection"}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunLine("weigh --model ZEV-U --tcp " + c.address, out, err), 1) << c.address;
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

TEST(CliOutput, InfoAlignsColumnsByCharacters) {
  for (Lang lang : {Lang::English, Lang::Russian}) {
    std::string out, err;
    ASSERT_EQ(RunLine("info", out, err, lang), 0);
    std::istringstream lines(out);
    std::set<size_t> countColumns;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("  ", 0) != 0) continue;  // method lines only
      const std::u16string chars = zev::platform::Utf8ToUtf16(line);
      countColumns.insert(chars.find_last_of(u' '));
    }
    EXPECT_EQ(countColumns.size(), 1u) << out;
  }
  EXPECT_EQ(Text(Lang::Russian, M::Kg), "кг");
  EXPECT_EQ(LanguageOf("ru_RU.UTF-8"), Lang::Russian);
  EXPECT_EQ(LanguageOf("en_US.UTF-8"), Lang::English);
  EXPECT_EQ(LanguageOf("C"), Lang::English);
}

// A process named `name` that holds `device` open (and locked, as the driver
// would), until it is ended.
class Holder {
 public:
  // `inherited`: the holder also starts a child ("inheritor") that shares its descriptor.
  Holder(const std::string& name, const std::string& device, bool lock, bool inherited = false) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      for (int fd = 3; fd < 1024; ++fd) {
        if (fd != ready[1]) close(fd);  // only `device` is held
      }
      prctl(PR_SET_NAME, name.c_str());
      const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0 || (lock && flock(fd, LOCK_EX | LOCK_NB) != 0)) _exit(1);
      if (inherited && fork() == 0) {
        prctl(PR_SET_NAME, "inheritor");
        for (;;) pause();
      }
      (void)!write(ready[1], "x", 1);
      for (;;) pause();
    }
    close(ready[1]);
    char byte;
    ok_ = pid_ > 0 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
  }
  ~Holder() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool Ok() const { return ok_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool ok_ = false;
};

TEST(CliSafety, ScanLeavesTheConsoleAndLoginLinesAloneUnlessNamed) {
  zev::sim::PortDirectory ports;
  ports.Export();
  for (int n = 1; n <= 8; ++n) ports.Map(n, ports.Path() + "/no-device");
  zev::sim::Simulator console(zev::sim::Model::ZevU, 1), login(zev::sim::Model::ZevU, 2),
      scale(zev::sim::Model::ZevU, 3);
  ASSERT_TRUE(console.Start() && login.Start() && scale.Start());
  ports.Map(3, console.DevicePath());
  ports.Map(4, login.DevicePath());
  ports.Map(5, scale.DevicePath());
  // The kernel's list of consoles names the first one.
  const std::string proc = ports.Path() + "/proc";
  mkdir(proc.c_str(), 0700);
  FILE* consoles = std::fopen((proc + "/consoles").c_str(), "w");
  ASSERT_NE(consoles, nullptr);
  std::fprintf(consoles, "%s -W- (EC p a) 136:0\n", console.DevicePath().substr(5).c_str());
  std::fclose(consoles);
  setenv("ZEVSCALE_PROC", proc.c_str(), 1);
  const Holder getty("agetty", login.DevicePath(), false);
  ASSERT_TRUE(getty.Ok());

  std::string out, err;
  EXPECT_EQ(RunLine("scan --models ZEV-U", out, err), 0) << err;
  EXPECT_NE(out.find("COM5  ZEV-U           3.000 kg"), std::string::npos) << out;
  EXPECT_NE(out.find("COM3 (" + console.DevicePath() + ") not tried: the system console is on it"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("COM4 (" + login.DevicePath() + ") not tried: a login line (agetty) is on it"),
            std::string::npos)
      << out;
  EXPECT_EQ(console.Received(), "");
  EXPECT_EQ(login.Received(), "");
  // Named, it is tried.
  EXPECT_EQ(RunLine("scan --models ZEV-U --ports 3", out, err), 0) << err;
  EXPECT_EQ(console.Received(), "P");
  unsetenv("ZEVSCALE_PROC");
}

TEST(CliSafety, AHoldersNameIsShownWithItsControlCharactersEscaped) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator sim(zev::sim::Model::ZevU, 1);
  ASSERT_TRUE(sim.Start());
  ports.Map(3, sim.DevicePath());
  // A title for the terminal, then the screen cleared.
  const Holder hostile("\x1b]0;pwn\x07\x1b[2J", sim.DevicePath(), true);
  ASSERT_TRUE(hostile.Ok());
  const std::string shown = "\\u001b]0;pwn\\u0007\\u001b[2J";
  std::string out, err;
  ASSERT_EQ(RunLine("ports", out, err), 0);
  EXPECT_NE(out.find("busy: PID "), std::string::npos) << out;
  EXPECT_NE(out.find(shown), std::string::npos) << out;
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 3", out, err), 1);
  EXPECT_NE(err.find(shown), std::string::npos) << err;
  for (const std::string* text : {&out, &err}) {
    EXPECT_EQ(text->find_first_of("\x1b\x07"), std::string::npos) << *text;
  }
  EXPECT_EQ(Printable("ЗЕВ\x9b\xc2\x9b\x7f"), "ЗЕВ\\x9b\\u009b\\u007f");
}

TEST(CliSafety, TheTraceIsReadBackOnlyFromARegularFile) {
  zev::sim::PortDirectory scratch;
  const std::string fifo = scratch.Path() + "/fifo", link = scratch.Path() + "/link";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", link.c_str()), 0);
  for (const std::string& target : {fifo, std::string("/dev/zero"), link}) {
    setenv("ZEVSCALE_TRACE", target.c_str(), 1);
    std::string out, err;
    auto run = std::async(std::launch::async, [&] {
      return RunLine("weigh --model ZEV-U --simulate --sim-weight 1.25", out, err);
    });
    for (auto wait = std::chrono::seconds(20); run.wait_for(wait) != std::future_status::ready;
         wait = std::chrono::seconds(1)) {
      ADD_FAILURE() << "waiting on " << target;
      close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // an end to what it reads
    }
    EXPECT_EQ(run.get(), 0) << target << ": " << err;
    EXPECT_NE(out.find("1.250 kg"), std::string::npos) << target;
    EXPECT_EQ(std::string(getenv("ZEVSCALE_TRACE")), target) << "the variable is given back";
  }
  unsetenv("ZEVSCALE_TRACE");
  unlink(fifo.c_str());
  unlink(link.c_str());
}

// The program itself, ended by a signal while it scans a silent scale.
TEST(CliSafety, ASignalEndsAnyCommandAndTheNextRunRemovesWhatItLeft) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator silent(zev::sim::Model::ZevU, 1);
  ASSERT_TRUE(silent.Start());
  zev::sim::Faults faults;
  faults.silent = true;
  silent.SetFaults(faults);
  ports.Map(3, silent.DevicePath());
  zev::sim::PortDirectory tmp;  // the temporary folder of these runs
  const std::string own = tmp.Path() + "/zevscale-" + std::to_string(getuid());
  const auto files = [&own] {
    std::vector<std::string> names;
    if (DIR* d = opendir(own.c_str())) {
      while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  };
  const auto start = [&](std::vector<const char*> args) {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TMPDIR", tmp.Path().c_str(), 1);
      unsetenv("ZEVSCALE_TRACE");
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      args.insert(args.begin(), ZEVSCALE_PATH);
      args.push_back(nullptr);
      execv(ZEVSCALE_PATH, const_cast<char* const*>(args.data()));
      _exit(127);
    }
    return pid;
  };
  for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
    const pid_t pid = start({"scan", "--ports", "3"});
    ASSERT_GT(pid, 0);
    // Once its trace file is there, it is scanning.
    for (int i = 0; i < 1000 && files().empty(); ++i) usleep(10000);
    usleep(200000);
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
    const pid_t next = start({"info"});
    ASSERT_EQ(waitpid(next, &status, 0), next);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(files(), std::vector<std::string>()) << signal;
  }
  // Nothing beside the folder either.
  std::vector<std::string> left;
  if (DIR* d = opendir(tmp.Path().c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.' && own.substr(own.rfind('/') + 1) != e->d_name) {
        left.push_back(e->d_name);
      }
    }
    closedir(d);
  }
  EXPECT_EQ(left, std::vector<std::string>());
  rmdir(own.c_str());
}

// Report.

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text of the report's section under `heading`, up to the next one.
std::string Section(const std::string& report, const std::string& heading) {
  const size_t at = report.find("\n== " + heading + " ==\n");
  if (at == std::string::npos) return "(no section " + heading + ")";
  const size_t from = report.find('\n', at + 1) + 1;
  return report.substr(from, report.find("\n== ", from) - from);
}

TEST(CliReport, AScaleIsNamedWholeOrNotAtAll) {
  const std::pair<const char*, bool> cases[] = {
      {"report", true},
      {"report --output r.txt", true},
      {"report --model ZEV-U --port 3", true},
      {"report --model ZEV-U --simulate", true},
      {"report --model ZEV-U --tcp 127.0.0.1:4001", true},
      {"report --port 3", false},
      {"report --model ZEV-U", false},
      {"report --tcp 127.0.0.1:4001", false},
      {"report --model ZEV-U --port 3 --tcp 127.0.0.1:4001", false},
      {"report --model zev-u --port 3", false},
      {"report --output", false},
      {"report --json", false},
      {"report --trace", false},
  };
  for (const auto& [line, ok] : cases) EXPECT_EQ(Parse(Split(line)).ok, ok) << line;
}

TEST(CliReport, HoldsWhatEachCommandFoundAndTheTraceFilesLastLines) {
  zev::sim::PortDirectory ports, scratch;
  ports.Export();
  zev::sim::Simulator aw(zev::sim::Model::ZevAW, 12.345);
  ASSERT_TRUE(aw.Start());
  ports.Map(3, aw.DevicePath());
  // The user's trace file, longer than the report keeps.
  const std::string trace = scratch.Path() + "/trace.log", file = scratch.Path() + "/r.txt";
  {
    std::ofstream t(trace);
    for (int n = 1; n <= 60; ++n) t << "traced line " << n << "\n";
  }
  setenv("ZEVSCALE_TRACE", trace.c_str(), 1);
  std::string out, err;
  const int status = RunLine("report --model ZEV-AW --port 3 --output " + file, out, err);
  unsetenv("ZEVSCALE_TRACE");
  ASSERT_EQ(status, 0) << err;
  EXPECT_EQ(out, "Report written to " + file + "; send it to support.\n");
  const std::string report = ReadAll(file);
  EXPECT_EQ(report.rfind("ZEVScale: a report for support, 20", 0), 0u) << report;
  struct Expected {
    const char* heading;
    std::vector<std::string> holds;
  } expected[] = {
      {"The tool", {"zevscale 2."}},
      {"The add-in", {"library:             " ZEV_ADDIN_PATH, "driver version:      2."}},
      {"The system", {"system: Linux ", "C library: glibc 2."}},
      {"The ports directory",
       {ports.Path() + " (from ZEVSCALE_PORTS)\n  COM3 -> " + aw.DevicePath() + "\n"}},
      {"Ports (zevscale ports)", {"COM3  " + aw.DevicePath() + "  free"}},
      {"Scan (zevscale scan)",
       {"COM3  ZEV-AW         12.345 kg\n", "Model \"ZEV-AW\"", "(scanned 1 port(s)"}},
      {"Weighing with the line trace (zevscale weigh --trace)",
       {"ZEV-AW, COM3\n", " COM3 ZEV-AW -> 00 00 03 |...| written 3 of 3\n", "\n12.345 kg\n",
        " COM3 ZEV-AW close: ok\n"}},
  };
  size_t last = 0;
  for (const auto& e : expected) {
    const size_t at = report.find(std::string("\n== ") + e.heading + " ==\n");
    EXPECT_TRUE(at != std::string::npos && at > last) << e.heading << " in its place:\n" << report;
    last = at;
    const std::string section = Section(report, e.heading);
    for (const auto& text : e.holds)
      EXPECT_NE(section.find(text), std::string::npos) << text << " in\n" << section;
  }
  // The file as it was before the report's own scan added to it: its last 50 lines.
  std::string lines = trace + ": its last 50 line(s):\n";
  for (int n = 11; n <= 60; ++n) lines += "traced line " + std::to_string(n) + "\n";
  EXPECT_EQ(Section(report, "The trace file (ZEVSCALE_TRACE)"), lines);
  unlink(trace.c_str());
  unlink(file.c_str());
}

TEST(CliReport, WhatCannotBeDoneIsToldAndTheReportGoesOn) {
  zev::sim::PortDirectory ports, scratch;
  ports.Export();
  zev::sim::Simulator silent(zev::sim::Model::ZevU, 1), tcp(zev::sim::Model::ZevU, 1.5);
  ASSERT_TRUE(silent.Start());
  zev::sim::Faults faults;
  faults.silent = true;
  silent.SetFaults(faults);
  ports.Map(3, silent.DevicePath());
  const std::string address = Serve(tcp), fifo = scratch.Path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string line, trace;
    int status;
    std::vector<std::string> holds;  // in the report (--output -) or on standard error
  } cases[] = {
      {"report --model ZEV-U --port 3 --output -",
       fifo,
       0,
       {" COM3 ZEV-U <- (nothing) +", "error ", "COM3  no answer to ZEV-U, ZEV-AW, ZEV-NT(N)",
        fifo + ": cannot be read: not a regular file\n"}},
      {"report --model ZEV-U --tcp " + address + " --output -",
       "",
       0,
       {"ZEV-U, tcp://" + address + "\n", "\n1.500 kg\n", "tcp://" + address + " ZEV-U ",
        "ZEVSCALE_TRACE is not set"}},
      {"report --library /nonexistent/libZEVScale.so --output -",
       "stderr",
       0,
       {"COM3  " + silent.DevicePath() + "  free",
        "not done: the add-in is not loaded (cannot load", "not done: no scale named",
        "ZEVSCALE_TRACE=stderr: the trace goes to standard error"}},
      {"report --output /nonexistent/dir/r.txt",
       "",
       1,
       {"zevscale: cannot write the report to /nonexistent/dir/r.txt: No such file or "
        "directory\n"}},
      {"report --output " + scratch.Path(),
       "",
       1,
       {"zevscale: cannot write the report to " + scratch.Path() + ": Is a directory\n"}},
  };
  for (const auto& c : cases) {
    if (!c.trace.empty()) setenv("ZEVSCALE_TRACE", c.trace.c_str(), 1);
    Parsed p = Parse(Split(c.line));
    ASSERT_TRUE(p.ok) << c.line << ": " << p.error;
    if (p.options.library.empty()) p.options.library = ZEV_ADDIN_PATH;
    std::ostringstream out, err;
    auto run = std::async(std::launch::async, [&] { return zev::cli::Run(p.options, out, err); });
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << c.line;
    unsetenv("ZEVSCALE_TRACE");
    EXPECT_EQ(run.get(), c.status) << c.line << "\n" << err.str();
    const std::string shown = c.status == 0 ? out.str() : err.str();
    for (const auto& text : c.holds)
      EXPECT_NE(shown.find(text), std::string::npos) << text << " in\n" << shown;
    if (c.status != 0) {
      EXPECT_EQ(out.str(), "") << c.line;
    }
    // The tool's own COM<N> for a converter is no port to give another number.
    EXPECT_EQ(shown.find("offers Port 1 to 8"), std::string::npos) << shown;
  }
  unlink(fifo.c_str());
}

// Watch, tare, zero, test and replies.

// A run with options no command line gives (a terminal and its width).
int RunWith(const std::string& line, const std::function<void(Options&)>& tweak, std::string& out,
            const std::atomic<bool>* interrupted = nullptr) {
  Parsed p = Parse(Split(line + " --library " ZEV_ADDIN_PATH));
  EXPECT_TRUE(p.ok) << p.error;
  tweak(p.options);
  std::ostringstream o, e;
  const int status = zev::cli::Run(p.options, o, e, interrupted);
  out = o.str() + e.str();
  return status;
}

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

TEST(CliTest, TheDriversEmptyTextStaysEmptyBesideTheToolsWords) {
  std::string out, err;
  ASSERT_EQ(RunLine("test --model ZEV-U --simulate --sim-silent --json", out, err), 1);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["error"]["text"], "");
  EXPECT_EQ(j["error"]["explanation"], "the device test got no weight from the scale");
  ASSERT_EQ(RunLine("test --model ZEV-U --simulate --sim-silent", out, err, Lang::Russian), 1);
  EXPECT_EQ(err.rfind("ошибка 1001, драйвер не дал текста\n  тест устройства не получил вес от "
                      "весов\n",
                      0),
            0u)
      << err;
}

TEST(CliReplies, FailuresNameTheReplysLengthAndForm) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator comma(zev::sim::Model::ZevU, 1.0);
  ASSERT_TRUE(comma.Start());
  zev::sim::Faults f;
  f.raw = std::string("  0,500 kg  \r\n");
  comma.SetFaults(f);
  ports.Map(8, comma.DevicePath());
  struct Case {
    const char* line;
    Lang lang;
    const char* said;
  } cases[] = {
      {"weigh --model ZEV-AW --simulate --sim-missing 3", Lang::English,
       "15 of 18 bytes: the reply was cut short"},
      {"weigh --model ZEV-NT(N) --simulate --sim-missing 3", Lang::Russian,
       "15 из 18 байт: ответ оборван"},
      {"weigh --model ZEV-U --simulate --sim-extra 5", Lang::English,
       "a whole reply and 5 more bytes"},
      {"weigh --model ZEV-U --port 8", Lang::English,
       "weight with a comma (\"0,500\"): the driver reads a full stop"},
  };
  for (const auto& c : cases) {
    ports.Export();  // a simulated run sets a directory of its own
    std::string out, err;
    EXPECT_EQ(RunLine(c.line, out, err, c.lang), 1) << c.line;
    EXPECT_NE(err.find(c.said), std::string::npos) << c.line << ": " << err;
  }
  // The system's words in Russian output are Russian, with the error's name.
  setenv("ZEVSCALE_TRACE", "/nonexistent/dir/trace.log", 1);
  std::string out, err;
  EXPECT_EQ(RunLine("weigh --model ZEV-U --simulate", out, err, Lang::Russian), 0);
  unsetenv("ZEVSCALE_TRACE");
  EXPECT_NE(err.find("(Нет такого файла или каталога (ENOENT))"), std::string::npos) << err;
  std::ostringstream o, e;
  EXPECT_EQ(zev::cli::Run(
                Parse({"info", "--library", "/nonexistent/lib.so"}, Lang::Russian).options, o, e),
            1);
  EXPECT_NE(e.str().find(": Нет такого файла или каталога (ENOENT)"), std::string::npos) << e.str();
}

TEST(CliWatch, ReadingsThatMayBeLateRepliesAreMarked) {
  std::string out, err;
  // A scale answering later than the driver waits (about twice as late, so
  // that no slowness of this machine lets a reply in on time): its replies
  // come in after the next command, and each such reading says so.
  EXPECT_EQ(RunLine("watch --model ZEV-U --simulate --sim-delay 1000 --interval 0 --count 4 --json",
                    out, err),
            0)
      << err;
  std::istringstream lines(out);
  int weights = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto j = nlohmann::json::parse(line);
    if (!j["ok"].get<bool>()) continue;
    ++weights;
    EXPECT_EQ(j["late"], true) << line;
    EXPECT_EQ(j["warning"].get<std::string>().rfind("the scale answers late", 0), 0u);
  }
  EXPECT_GE(weights, 1) << out;
  // A slow scale that answers in time: no marks.
  EXPECT_EQ(
      RunLine("watch --model ZEV-U --simulate --sim-delay 300 --interval 0 --count 3", out, err),
      0);
  EXPECT_EQ(out.find("answers late"), std::string::npos) << out;
}

TEST(CliWatch, TerminalLinesAreNumberedFitTheWidthAndEndInASummary) {
  std::string out;
  // A failure's long line on a 40-column terminal.
  ASSERT_EQ(RunWith(
                "watch --model ZEV-U --simulate --sim-silent --count 2 --interval 0",
                [](Options& o) {
                  o.terminal = true;
                  o.columns = 40;
                },
                out),
            1);
  size_t shown = 0;
  for (size_t at = out.find('\r'); at != std::string::npos; at = out.find('\r', at + 1)) {
    const std::string line = out.substr(at + 1, out.find("\033[K", at) - at - 1);
    EXPECT_EQ(line.rfind("#" + std::to_string(++shown) + " ", 0), 0u) << line;
    EXPECT_LE(CharCount(line), 39u) << line;
  }
  EXPECT_EQ(shown, 2u) << out;
  EXPECT_NE(out.find("\n2 readings, 2 failures\n"), std::string::npos) << out;
  // Redirected: each line begins with its time; interrupted, the summary.
  std::string err;
  ASSERT_EQ(RunLine("watch --model ZEV-AW --simulate --count 1", out, err), 0);
  // "HH:MM:SS.mmm 0.500 kg": the reading's line with its time before it.
  const size_t at = out.find(" 0.500 kg\n");
  ASSERT_TRUE(at != std::string::npos && at >= 13 && out[at - 13] == '\n') << out;
  const std::string time = out.substr(at - 12, 12);
  for (size_t i = 0; i < time.size(); ++i) {
    EXPECT_TRUE(i == 2 || i == 5 ? time[i] == ':'
                : i == 8         ? time[i] == '.'
                                 : isdigit(time[i]) != 0)
        << time;
  }
  const std::atomic<bool> stopped{true};
  EXPECT_EQ(RunLine("watch --model ZEV-AW --simulate", out, err, Lang::Russian, &stopped), 130);
  EXPECT_NE(out.find("показаний: 0, сбоев: 0"), std::string::npos) << out;
}

// Ports and access.

std::string GroupName(gid_t gid) {
  const group* g = getgrgid(gid);
  return g != nullptr ? g->gr_name : std::to_string(gid);
}

TEST(CliPorts, EachEntrySaysWhatStandsBehindIt) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator a(zev::sim::Model::ZevU, 1), b(zev::sim::Model::ZevU, 1);
  ASSERT_TRUE(a.Start() && b.Start());
  const std::string plain = ports.Path() + "/plain";
  ASSERT_EQ(close(open(plain.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
  ports.Map(3, a.DevicePath());
  ports.Map(4, "/dev/null");
  ports.Map(5, plain);
  ports.Map(6, a.DevicePath());  // a second entry for COM3's device
  ports.Map(7, b.DevicePath());
  const Holder terminal("picocom", b.DevicePath(), false);
  ASSERT_TRUE(terminal.Ok());
  const std::string pid = std::to_string(terminal.Pid());
  struct Case {
    std::string name, state, shown;
  } cases[] = {
      {"COM3", "free", "free"},
      {"COM4", "not a serial port", "not a serial port"},
      {"COM5", "not a serial port", "not a serial port"},
      {"COM6", "same device", "same device as COM3 (" + a.DevicePath() + ")"},
      {"COM7", "shared", "open by PID " + pid + " (picocom) without a lock"},
  };
  std::string out, err, json;
  ASSERT_EQ(RunLine("ports --json", json, err), 0) << err;
  ASSERT_EQ(RunLine("ports", out, err), 0) << err;
  const auto list = nlohmann::json::parse(json);
  for (const auto& c : cases) {
    nlohmann::json entry;
    for (const auto& j : list) {
      if (j["name"] == c.name) entry = j;
    }
    EXPECT_EQ(entry["state"], c.state) << c.name << ": " << json;
    const size_t line = out.find(c.name + "  ");
    ASSERT_NE(line, std::string::npos) << out;
    EXPECT_NE(out.substr(line, out.find('\n', line) - line).find(c.shown), std::string::npos)
        << c.name << ":\n"
        << out;
    if (c.name == "COM6") {
      EXPECT_EQ(entry["sameAs"], "COM3");
    }
    if (c.name == "COM7") {
      EXPECT_EQ(entry["holders"], nlohmann::json::parse("[{\"pid\":" + pid +
                                                        ",\"name\":\"picocom\",\"lock\":false}]"));
    }
    if (c.name == "COM3") {
      struct stat st {};
      ASSERT_EQ(stat(a.DevicePath().c_str(), &st), 0);
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
      EXPECT_EQ(entry["owner"], getpwuid(st.st_uid)->pw_name);
      EXPECT_EQ(entry["group"], GroupName(st.st_gid));
      EXPECT_EQ(entry["mode"], mode);
    }
  }
  ASSERT_EQ(RunLine("ports", out, err, Lang::Russian), 0) << err;
  EXPECT_NE(out.find("открыт без блокировки программой PID " + pid + " (picocom)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("то же устройство, что COM3"), std::string::npos) << out;
  EXPECT_NE(out.find("не последовательный порт"), std::string::npos) << out;
  unlink(plain.c_str());
}

// The driver opens a port beside a program that has it open without a lock;
// the tools name that program wherever a scale's replies may go astray.
TEST(CliPorts, AProgramWithThePortOpenWithoutALockIsNamed) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 1);
  zev::sim::Faults silent;
  silent.silent = true;
  scale.SetFaults(silent);
  ASSERT_TRUE(scale.Start());
  ports.Map(3, scale.DevicePath());
  std::string out, err;
  {
    const Holder terminal("picocom", scale.DevicePath(), false);
    ASSERT_TRUE(terminal.Ok());
    const std::string named = "COM3 is open by PID " + std::to_string(terminal.Pid()) +
                              " (picocom) without a lock: both read the scale's replies";
    for (const char* line : {"weigh --model ZEV-U --port 3", "test --model ZEV-U --port 3",
                             "check --model ZEV-U --port 3", "scan --ports 3 --models ZEV-U"}) {
      EXPECT_EQ(RunLine(line, out, err), 1) << line;
      EXPECT_NE((out + err).find(named), std::string::npos) << line << ":\n" << out << err;
    }
    EXPECT_EQ(RunLine("scan --ports 3 --models ZEV-U --json", out, err), 1);
    EXPECT_EQ(nlohmann::json::parse(out)[0]["holders"][0]["name"], "picocom") << out;
    EXPECT_EQ(RunLine("weigh --model ZEV-U --port 3", out, err, Lang::Russian), 1);
    EXPECT_NE(err.find("(picocom) без блокировки: ответы весов читают обе"), std::string::npos)
        << err;
  }
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 3", out, err), 1);
  EXPECT_EQ(err.find("without a lock"), std::string::npos) << err;
  // A child that inherited the locked descriptor shares the lock.
  const Holder locking("flock", scale.DevicePath(), true, true);
  ASSERT_TRUE(locking.Ok());
  EXPECT_EQ(RunLine("scan --ports 3 --models ZEV-U", out, err), 1);
  EXPECT_NE(out.find("PID " + std::to_string(locking.Pid()) + " (flock)"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("inheritor"), std::string::npos) << out;
}

TEST(CliPorts, APortsDirectoryThatMapsNothingIsNamedWithTheRemedy) {
  zev::sim::PortDirectory scratch;
  const std::string missing = scratch.Path() + "/mistyped", file = scratch.Path() + "/file",
                    empty = scratch.Path() + "/empty";
  ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
  ASSERT_EQ(mkdir(empty.c_str(), 0700), 0);
  const std::string typo =
      "check ZEVSCALE_PORTS for a typing error, or map a port to its device so: ";
  struct Case {
    std::string dir, state, remedy;  // the remedy less the port's number
  } cases[] = {
      {missing, "does not exist",
       typo + "mkdir -p " + missing + " && ln -s /dev/ttyUSB0 " + missing + "/COM"},
      {file, "is not a directory", typo + "ln -s /dev/ttyUSB0 " + file + "/COM"},
      {empty, "holds no COM<N> entry",
       "map a port to its device so: ln -s /dev/ttyUSB0 " + empty + "/COM"},
  };
  std::string out, err;
  for (const auto& c : cases) {
    setenv("ZEVSCALE_PORTS", c.dir.c_str(), 1);
    const std::string state =
        "the ports directory " + c.dir + " (set by ZEVSCALE_PORTS) " + c.state + "\n";
    ASSERT_EQ(RunLine("ports", out, err), 0) << err;
    EXPECT_NE(out.find(state + c.remedy + "3\n"), std::string::npos) << out;
    ASSERT_EQ(RunLine("ports --json", out, err), 0) << err;
    EXPECT_TRUE(nlohmann::json::accept(out)) << out;
    EXPECT_NE(err.find(state), std::string::npos) << err;
    for (const char* line : {"weigh --model ZEV-U --port 200", "check --model ZEV-U --port 200"}) {
      EXPECT_EQ(RunLine(line, out, err), 1);
      EXPECT_NE(err.find("  " + state + "  " + c.remedy + "200\n"), std::string::npos)
          << line << ":\n"
          << err;
    }
  }
  setenv("ZEVSCALE_PORTS", missing.c_str(), 1);
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 200", out, err, Lang::Russian), 1);
  EXPECT_NE(err.find("каталога портов " + missing + " (задан в ZEVSCALE_PORTS) не существует"),
            std::string::npos)
      << err;
  // A directory that maps a port adds nothing.
  zev::sim::PortDirectory usable;
  usable.Export();
  usable.Map(3, "/dev/null");
  ASSERT_EQ(RunLine("ports", out, err), 0);
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 200", out, err), 1);
  EXPECT_EQ((out + err).find("ports directory"), std::string::npos) << out << err;
  unsetenv("ZEVSCALE_PORTS");
  unlink(file.c_str());
  rmdir(empty.c_str());
}

// Runs `lines` in a child process as the user nobody (65534) with `gid` as
// its only group, and gives what they printed.
std::string RunAsNobody(gid_t gid, const std::vector<std::string>& lines) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    if (setgroups(1, &gid) != 0 || setgid(gid) != 0 || setuid(65534) != 0) _exit(3);
    for (const auto& line : lines) {
      std::string out, err;
      RunLine(line, out, err);
      const std::string both = out + err;
      (void)!write(pipeFds[1], both.data(), both.size());
    }
    _exit(0);
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  return text;
}

// Device nodes this user may not open: files of a given group and mode, seen
// by an unprivileged user (root runs the checks as "nobody" in a child).
TEST(CliPorts, APortTheUserMayNotOpenGetsTheRemedyThatFits) {
  zev::sim::PortDirectory ports;
  ports.Export();
  chmod(ports.Path().c_str(), 0755);
  const gid_t unjoined = 4242, session = 4243, nobodys = 65534;  // nobody's own group
  struct Case {
    std::string device;
    gid_t group;
    mode_t mode;
    std::string remedy;
  } cases[] = {
      {"ttyGROUP", unjoined, 0660,
       "add the user to the group \"" + GroupName(unjoined) +
           "\", which may read and write it: sudo usermod -aG " + GroupName(unjoined) +
           " $USER, then log in again"},
      {"ttyNEWGROUP", nobodys, 0660,
       "the user is in the group \"" + GroupName(nobodys) +
           "\" already, but this session began before that: log out and in again (or, in this "
           "terminal only: newgrp " +
           GroupName(nobodys) + ")"},
      {"ttyROOT", 0, 0600, "udev rule, e.g. the line SUBSYSTEM==\"tty\", KERNEL==\"ttyROOT\""},
      {"ttyREADONLY", unjoined, 0640, "KERNEL==\"ttyREADONLY\", GROUP=\"dialout\", MODE=\"0660\""},
  };
  if (geteuid() != 0) {
    // As this user: a file of its own without any permission.
    const std::string device = ports.Path() + "/ttyOWN";
    ASSERT_EQ(close(open(device.c_str(), O_CREAT | O_WRONLY, 0)), 0);
    ports.Map(9, device);
    std::string out, err;
    EXPECT_EQ(RunLine("weigh --model ZEV-U --port 9", out, err), 1);
    EXPECT_NE(err.find("may not open " + device + " (" + getpwuid(getuid())->pw_name + ":" +
                       GroupName(getgid()) + " 0000)"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("KERNEL==\"ttyOWN\""), std::string::npos) << err;
    unlink(device.c_str());
    GTEST_SKIP() << "the group cases need root, to act as a user of chosen groups";
  }
  std::vector<std::string> lines = {"ports"};
  int port = 3;
  for (const auto& c : cases) {
    const std::string device = ports.Path() + "/" + c.device;
    ASSERT_EQ(close(open(device.c_str(), O_CREAT | O_WRONLY, 0)), 0);
    ASSERT_EQ(chown(device.c_str(), 0, c.group), 0);
    ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
    ports.Map(port, device);
    lines.push_back("weigh --model ZEV-U --port " + std::to_string(port++));
  }
  const std::string text = RunAsNobody(session, lines);
  port = 3;
  for (const auto& c : cases) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", c.mode);
    const std::string device = ports.Path() + "/" + c.device;
    const std::string shown = "root:" + GroupName(c.group) + " " + mode;
    EXPECT_NE(text.find("  no access (" + shown + ")"), std::string::npos) << c.device << text;
    const size_t at = text.find("may not open " + device + " (" + shown + "): read and write");
    EXPECT_NE(at, std::string::npos) << c.device << ":\n" << text;
    EXPECT_NE(text.find(c.remedy, at), std::string::npos) << c.device << ":\n" << text;
    unlink(device.c_str());
  }
}

}  // namespace
}  // namespace zev::cli

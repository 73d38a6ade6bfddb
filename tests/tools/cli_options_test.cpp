// zevscale's command line: what it accepts and what it refuses, and why.
#include "cli_fixture.h"

namespace zev::cli {
namespace {

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
  EXPECT_NE(Parse({"test", "--model", "zev-u", "--port", "3"}, Lang::Ru)
                .error.find("неизвестная модель «zev-u»"),
            std::string::npos);
}

}  // namespace
}  // namespace zev::cli

namespace zev::cli {
namespace {

// Each command's usage on Linux and on Windows (no ports directory, no
// pseudo-terminals): --tcp where the command takes it there, and the class
// the command drives.
TEST(CliArguments, EveryUsageListsTcpAndItsClassOnEachSystem) {
  const System linux{true, true}, windows{false, false};
  const std::string either = "Drives TZEV_SCALE_Class; with --class 4001 TZEV_SCALE_4001_Class.\n";
  const std::string eitherWin =
      "Drives TZEV_SCALE_Class; with --tcp or --class 4001 TZEV_SCALE_4001_Class.\n";
  struct Case {
    const char* command;
    bool tcpLinux, tcpWindows;
    std::string drivesLinux, drivesWindows;
  } cases[] = {
      {"weigh", true, true, either, eitherWin},
      {"watch", true, true, either, eitherWin},
      {"tare", true, true, either, eitherWin},
      {"zero", true, true, either, eitherWin},
      {"test", true, true, either, eitherWin},
      {"report", true, true, either, eitherWin},
      {"settings", false, false, either, either},
      {"check", true, true, "Drives TZEV_SCALE_4001_Class.\n", "Drives TZEV_SCALE_4001_Class.\n"},
      {"scan", true, true, "Drives TZEV_SCALE_Class.\n",
       "Drives TZEV_SCALE_Class; with --tcp TZEV_SCALE_4001_Class.\n"},
      {"listen", true, true, "", ""},
      {"info", false, false, "Drives both classes: TZEV_SCALE_Class and TZEV_SCALE_4001_Class.\n",
       "Drives both classes: TZEV_SCALE_Class and TZEV_SCALE_4001_Class.\n"},
  };
  for (const auto& c : cases) {
    for (const bool win : {false, true}) {
      const std::string usage = Usage(c.command, Lang::En, win ? windows : linux);
      const std::string& drives = win ? c.drivesWindows : c.drivesLinux;
      for (const char* option : {"  --tcp ", "  --rfc2217 "}) {
        EXPECT_EQ(usage.find(option) != std::string::npos, win ? c.tcpWindows : c.tcpLinux)
            << c.command << option << (win ? " on Windows:\n" : " on Linux:\n") << usage;
      }
      if (!drives.empty()) {
        EXPECT_EQ(usage.substr(usage.size() - std::min(usage.size(), drives.size())), drives)
            << c.command << (win ? " on Windows:\n" : " on Linux:\n") << usage;
      }
    }
  }
  EXPECT_NE(Usage("weigh", Lang::Ru, windows)
                .find("Работает через класс TZEV_SCALE_Class, с --tcp или --class 4001 — через "
                      "TZEV_SCALE_4001_Class.\n"),
            std::string::npos);
  // check says what it does to a real scale.
  for (const Lang lang : {Lang::En, Lang::Ru}) {
    const std::string usage = Usage("check", lang, linux);
    EXPECT_NE(usage.find(lang == Lang::En ? "a real scale gets real tare and zero"
                                          : "реальным весам отправляются настоящие команды"),
              std::string::npos)
        << usage;
    EXPECT_NE(usage.find(lang == Lang::En
                             ? "sends the scale no\ncommand that changes it"
                             : "check не отправляет\nвесам ни одной команды, которая их меняет"),
              std::string::npos)
        << usage;
  }
}

// --class, and the class that --tcp chooses where there is no ports directory.
TEST(CliArguments, TheClassIsChosenByClassAndOnWindowsByTcp) {
  const System linux{true, true}, windows{false, false};
  struct Case {
    const char* line;
    bool windows;
    bool ok;
    DriverClass driver;
  } cases[] = {
      {"weigh --model ZEV-U --port 3", false, true, DriverClass::First},
      {"weigh --model ZEV-U --port 3 --class 4001", false, true, DriverClass::Equipment},
      {"tare --model ZEV-U --port 3 --cancel --class TZEV_SCALE_4001_Class", false, true,
       DriverClass::Equipment},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001", false, true, DriverClass::First},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001", true, true, DriverClass::Equipment},
      {"watch --model ZEV-U --tcp 127.0.0.1:4001", true, true, DriverClass::Equipment},
      {"report --model ZEV-U --tcp 127.0.0.1:4001", true, true, DriverClass::Equipment},
      {"weigh --model ZEV-U --port 3", true, true, DriverClass::First},
      {"settings --class 4001", false, true, DriverClass::Equipment},
      {"weigh --model ZEV-U --tcp 127.0.0.1:4001 --class 1", true, false, DriverClass::First},
      {"scan --tcp 127.0.0.1:4001", true, true, DriverClass::Equipment},
      {"scan --tcp 127.0.0.1:4001", false, true, DriverClass::First},
      {"listen --model ZEV-U --tcp 127.0.0.1:4001", true, true, DriverClass::First},
      {"weigh --model ZEV-U --port 3 --class 2", false, false, DriverClass::First},
      {"weigh --model ZEV-U --port 3 --class", false, false, DriverClass::First},
      {"check --model ZEV-U --port 3 --class 4001", false, false, DriverClass::First},
      {"scan --class 4001", false, false, DriverClass::First},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(Split(c.line), Lang::En, c.windows ? windows : linux);
    EXPECT_EQ(p.ok, c.ok) << c.line << (c.windows ? " (Windows): " : ": ") << p.error;
    if (p.ok) {
      EXPECT_EQ(p.options.driverClass, c.driver) << c.line;
    }
  }
}

}  // namespace
}  // namespace zev::cli

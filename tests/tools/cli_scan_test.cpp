// zevscale scan: which model answers on which port.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "cli_fixture.h"
#include "zev/platform/serial.h"

namespace zev::cli {
namespace {

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

// A port that sends noise without end is given up as soon as a silent one:
// the noise never lets the line fall quiet, and waiting for that would only
// take longer. The bound tells an end from a wait, not a speed.
TEST(CliScan, ANoisyPortIsGivenUpAsSoonAsASilentOne) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator silent(zev::sim::Model::ZevU, 1.0), noisy(zev::sim::Model::ZevU, 1.0);
  ASSERT_TRUE(silent.Start() && noisy.Start());
  zev::sim::Faults f;
  f.silent = true;
  silent.SetFaults(f);
  f = {};
  f.noise = true;
  noisy.SetFaults(f);
  ports.Map(3, silent.DevicePath());
  ports.Map(4, noisy.DevicePath());
  std::string out, err;
  const auto timed = [&](const std::string& line) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunLine(line, out, err), 1) << err;
    return std::chrono::steady_clock::now() - start;
  };
  const auto quiet = timed("scan --ports 3 --json");
  EXPECT_EQ(nlohmann::json::parse(out)[0]["status"], "no answer") << out;
  for (const char* models : {"", " --models ZEV-AW"}) {
    const auto noise = timed(std::string("scan --ports 4 --json") + models);
    const auto j = nlohmann::json::parse(out);
    ASSERT_EQ(j.size(), 1u) << out;
    EXPECT_EQ(j[0]["status"], "noise") << out;
    EXPECT_NE(j[0]["reason"].get<std::string>().find("without a pause"), std::string::npos) << out;
    const auto ms = [](auto d) {
      return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    EXPECT_LT(noise, 2 * quiet) << models << ": noise " << ms(noise) << " ms, silence " << ms(quiet)
                                << " ms";
  }
  EXPECT_EQ(RunLine("scan --ports 3,4", out, err), 1);
  EXPECT_NE(out.find("COM4  noise: "), std::string::npos) << out;
}

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

}  // namespace
}  // namespace zev::cli

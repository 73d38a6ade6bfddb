// zevscale report: a report for support, section by section.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>

#include "cli_fixture.h"

namespace zev::cli {
namespace {

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
      {"report --json", true},
      {"report --model ZEV-U --tcp 127.0.0.1:4001 --class 4001", true},
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

// report --json says where the report went and how each part ended; the
// equipment library's class weighs through a converter and its trace file
// (the one its settings page names) has a part of its own.
TEST(CliReport, JsonAndTheEquipmentClass) {
  zev::sim::PortDirectory ports, scratch;
  ports.Export();
  zev::sim::Simulator tcp(zev::sim::Model::ZevU, 1.5);
  const std::string address = Serve(tcp), url = "tcp://" + address;
  const std::string file = scratch.Path() + "/r.txt";
  std::string out, err;
  ASSERT_EQ(RunLine("report --json --output " + file, out, err), 0) << err;
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["command"], "report");
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["file"], file);
  ASSERT_EQ(j["sections"].size(), 9u) << out;
  EXPECT_EQ(j["sections"][0]["section"], "The tool");
  EXPECT_EQ(j["sections"][6]["section"], "Weighing with the line trace (zevscale weigh --trace)");
  EXPECT_EQ(j["sections"][6]["done"], false);
  EXPECT_EQ(j["sections"][8]["section"], "The trace file of TZEV_SCALE_4001_Class (TraceFile)");
  // The class's default trace file, as its settings page gives it.
  const auto library = std::make_unique<host::Library>(ZEV_ADDIN_PATH);
  Session s(*library, DriverClass::Equipment);
  const std::string traceFile = AttributeOf(s.Page(), "TraceFile", "DefaultValue");
  ASSERT_FALSE(traceFile.empty());
  const std::string report = ReadAll(file);
  EXPECT_EQ(Section(report, "The trace file of TZEV_SCALE_4001_Class (TraceFile)")
                .rfind(Printable(traceFile) + ": ", 0),
            0u)
      << report;
  unlink(file.c_str());

  ASSERT_EQ(RunLine("report --json --class 4001 --model ZEV-U --tcp " + address + " --output -",
                    out, err),
            0)
      << err;
  const auto k = nlohmann::json::parse(out);
  EXPECT_EQ(k["file"], "-");
  EXPECT_EQ(k["sections"][6]["exit"], 0);
  const std::string weighing = Section(k["report"].get<std::string>(),
                                       "Weighing with the line trace (zevscale weigh --trace)");
  for (const std::string& text :
       {"ZEV-U, " + url + "\n", " " + url + " ZEV-U open " + url + ": ok\n",
        std::string("\n1.500 kg\n")})
    EXPECT_NE(weighing.find(text), std::string::npos) << text << " in\n" << weighing;
}

}  // namespace
}  // namespace zev::cli

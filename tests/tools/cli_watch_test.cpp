// zevscale watch: readings one after another, on a terminal or redirected.
#include <algorithm>
#include <cctype>
#include <functional>
#include <thread>

#include "cli_fixture.h"

namespace zev::cli {
namespace {

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
                    err, Lang::En, &interrupted),
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

// Whatever the interval, a scale that answers late still gives readings,
// and every reading that may be a late reply says so: after a command that
// got nothing in time, and after one that got only part of its reply.
TEST(CliWatch, LateReadingsAreMarkedWhateverTheInterval) {
  zev::sim::PortDirectory ports;
  ports.Export();
  struct Behaviour {
    const char* name;
    zev::sim::Faults faults;
    bool late;  // readings are expected to be marked
  };
  zev::sim::Faults late, cut, slow;
  // Later than the driver waits (about 530 ms), as the scale of the report
  // (600 ms): its reply comes early in the next command's wait.
  late.delayMs = 620;
  // The first reply stops after 5 bytes for 0.6 s; the later ones are whole.
  cut.pauseAfterBytes = 5;
  cut.pauseMs = 600;
  cut.faultyReplies = 1;
  slow.delayMs = 300;  // slow, and in time
  const Behaviour behaviours[] = {
      {"late", late, true}, {"cut short", cut, true}, {"slow", slow, false}};
  for (const char* interval : {" --interval 0", ""}) {
    for (const auto& b : behaviours) {
      const std::string what = std::string(b.name) + interval;
      zev::sim::Simulator scale(zev::sim::Model::ZevU, 2.5);
      ASSERT_TRUE(scale.Start());
      scale.SetFaults(b.faults);
      ports.Map(3, scale.DevicePath());
      std::string out, err;
      RunLine(std::string("watch --model ZEV-U --port 3 --count 4 --json") + interval, out, err);
      std::istringstream lines(out);
      int weights = 0, marked = 0;
      bool failed = false;  // a reading before failed
      for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line);
        if (!j["ok"].get<bool>()) {
          failed = true;
          continue;
        }
        ++weights;
        EXPECT_EQ(j["weight"], 2.5) << what << ": " << line;
        const bool mark = j.value("late", false);
        marked += mark ? 1 : 0;
        // A reading after a failure may always be a late reply.
        EXPECT_TRUE(mark || !failed || !b.late) << what << ": " << out;
        if (mark) {
          EXPECT_EQ(j["warning"].get<std::string>().rfind("the scale answers late", 0), 0u)
              << what << ": " << line;
        }
      }
      EXPECT_GE(weights, b.late ? 1 : 4) << what << ": " << out;
      // A late scale's every reading may be a late reply; an on-time one's none.
      EXPECT_EQ(marked, b.name == std::string("late") ? weights
                        : b.late                      ? marked
                                                      : 0)
          << what << ": " << out;
    }
  }
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
  EXPECT_EQ(RunLine("watch --model ZEV-AW --simulate", out, err, Lang::Ru, &stopped), 130);
  EXPECT_NE(out.find("показаний: 0, сбоев: 0"), std::string::npos) << out;
}

}  // namespace
}  // namespace zev::cli

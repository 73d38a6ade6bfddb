// The line trace as a person reads it: how each read attempt ended, the date,
// the process and the device on every line, and a trace file that cannot be
// written. A loaded machine is stood in for by a poll() that wakes late.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "first_class_link.h"
#include "simulator.h"

namespace {
// This thread's poll() returns 120 ms after its time-out, as on a busy machine.
thread_local bool lateWakeups = false;

void WakeLate(int rc) {
  if (rc == 0 && lateWakeups) ::usleep(120000);
}
}  // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeout) {
  using Poll = int (*)(pollfd*, nfds_t, int);
  static const auto next = reinterpret_cast<Poll>(dlsym(RTLD_NEXT, "poll"));
  const int rc = next(fds, count, timeout);
  WakeLate(rc);
  return rc;
}

extern "C" int __poll_chk(pollfd* fds, nfds_t count, int timeout, size_t) {
  return poll(fds, count, timeout);
}

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Standard error of this process, caught in a file while the object lives.
class CaughtStderr {
 public:
  CaughtStderr() {
    char name[] = "/tmp/zevscale-stderr-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    saved_ = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  ~CaughtStderr() {
    Release();
    unlink(path_.c_str());
  }
  std::vector<std::string> Release() {
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
      saved_ = -1;
    }
    return Lines(path_);
  }

 private:
  std::string path_;
  int saved_ = -1;
};

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    ports.Export();
    ASSERT_TRUE(sim.Start());
    ports.Map(3, sim.DevicePath());
    file = ports.Path() + "/trace.log";
    setenv("ZEVSCALE_TRACE", file.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZEVSCALE_TRACE");
    unlink(file.c_str());
  }
  // The read lines ("<-") of the trace.
  std::vector<std::string> Reads() const {
    std::vector<std::string> reads;
    for (const auto& line : Lines(file)) {
      if (line.find(" <- ") != std::string::npos) reads.push_back(line);
    }
    return reads;
  }

  zev::sim::PortDirectory ports;
  zev::sim::Simulator sim{zev::sim::Model::ZevU, 0.5};
  std::string file;
  TZEV_U adapter;
};

TEST_F(Trace, AnAttemptIsLabelledByTheTimeOutThatEndedIt) {
  ASSERT_EQ(adapter.OpenPort(3), -1);
  // The interval time-out ends the attempt, but the thread wakes only after
  // the attempt's total time (264 ms) has passed.
  lateWakeups = true;
  EXPECT_EQ(adapter.Weigh(), -1);
  lateWakeups = false;
  // A reply 100 ms after the command is still arriving when the interval
  // would end: the total time-out ends the attempt, which holds it whole.
  zev::sim::Faults late;
  late.delayMs = 100;
  sim.SetFaults(late);
  EXPECT_EQ(adapter.Weigh(), -1);
  const auto reads = Reads();
  ASSERT_EQ(reads.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(reads[0], m, std::regex(R"(\+(\d+) ms, (.*)$)"))) << reads[0];
  EXPECT_GE(std::stoi(m[1]), 264) << "the wake-up was not late";
  EXPECT_EQ(m[2].str(), "interval time-out");
  EXPECT_NE(reads[1].find("|  0.500 kg  ..| +"), std::string::npos) << reads[1];
  EXPECT_EQ(reads[1].substr(reads[1].size() - 14), "total time-out") << reads[1];
}

TEST_F(Trace, EveryLineCarriesTheDateAndTheProcessAndTheOpenNamesTheDevice) {
  ASSERT_EQ(adapter.OpenPort(3), -1);
  EXPECT_EQ(adapter.Weigh(), -1);
  EXPECT_EQ(adapter.ClosePort(), -1);
  ports.Map(5, ports.Path() + "/unplugged");
  EXPECT_EQ(adapter.OpenPort(5), 0);
  EXPECT_EQ(adapter.ClosePort(), 0);
  const auto lines = Lines(file);
  ASSERT_EQ(lines.size(), 6u);
  const std::regex head(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] COM[35] ZEV-U )");
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, head)) << line;
    EXPECT_EQ(std::stol(m[1]), static_cast<long>(getpid())) << line;
  }
  char* real = realpath(sim.DevicePath().c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  const std::string device = real;
  free(real);
  EXPECT_NE(lines[0].find("open " + ports.Path() + "/COM3 (" + device + ") 4800 8N1: ok"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[3].find("close: ok"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("cannot open the device (No such file or directory)"), std::string::npos)
      << lines[4];
  EXPECT_NE(lines[5].find("close: no port open"), std::string::npos) << lines[5];
}

TEST_F(Trace, AFileThatCannotBeWrittenIsSaidOnceOnStandardError) {
  const std::string unwritable = ports.Path() + "/no-such-folder/trace.log";
  setenv("ZEVSCALE_TRACE", unwritable.c_str(), 1);
  CaughtStderr caught;
  ASSERT_EQ(adapter.OpenPort(3), -1) << "the port opens without a trace";
  EXPECT_EQ(adapter.Weigh(), -1);
  EXPECT_EQ(adapter.ClosePort(), -1);
  const auto said = caught.Release();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find(unwritable + ": No such file or directory"), std::string::npos) << said[0];

  // "stderr" in any letter case is standard error, not a file of that name.
  setenv("ZEVSCALE_TRACE", "StdErr", 1);
  CaughtStderr traced;
  ASSERT_EQ(adapter.OpenPort(3), -1);
  EXPECT_EQ(adapter.ClosePort(), -1);
  const auto lines = traced.Release();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" open "), std::string::npos);
  EXPECT_NE(access("StdErr", F_OK), 0);
}

}  // namespace

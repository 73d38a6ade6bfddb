// The line trace never harms the process it runs in: targets that would make
// a write wait, raise a signal, follow a link or reach the scale itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "first_class_link.h"
#include "simulator.h"

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kPort = 3;

std::string ReadAll(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  return text;
}

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ports.Export();
    ASSERT_TRUE(sim.Start());
    ports.Map(kPort, sim.DevicePath());
  }
  void TearDown() override { unsetenv("ZEVSCALE_TRACE"); }

  // Opens the port with the trace at `target` and weighs `weighings` times;
  // false when that did not end in time (it was waiting on the trace), after
  // `unblock` has let it end.
  bool OpenAndWeigh(const std::string& target, int weighings,
                    const std::function<void()>& unblock) {
    setenv("ZEVSCALE_TRACE", target.c_str(), 1);
    auto done = std::async(std::launch::async, [&] {
      int ok = adapter.OpenPort(kPort) == -1;
      for (int i = 0; i < weighings; ++i) ok += adapter.Weigh() == -1;
      return ok;
    });
    bool ended = done.wait_for(20s) == std::future_status::ready;
    while (!ended) {
      unblock();
      ended = done.wait_for(100ms) == std::future_status::ready;
      if (ended) ADD_FAILURE() << "waited on the trace at " << target;
    }
    EXPECT_EQ(done.get(), weighings + 1) << target;
    return ended;
  }

  zev::sim::PortDirectory ports;
  zev::sim::Simulator sim{zev::sim::Model::ZevU, 0.5};
  TZEV_U adapter;
};

TEST_F(TraceTest, OnlyARegularFileOfItsOwnIsWritten) {
  const std::string dir = ports.Path();
  const std::string fifo = dir + "/fifo", aimed = dir + "/aimed", link = dir + "/link";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  {
    std::FILE* f = std::fopen(aimed.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  ASSERT_EQ(symlink(aimed.c_str(), link.c_str()), 0);

  // A FIFO nobody reads: opening it for writing would wait for a reader.
  int lateReader = -1;
  EXPECT_TRUE(OpenAndWeigh(fifo, 2, [&] {
    if (lateReader < 0) lateReader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  }));
  adapter.ClosePort();
  if (lateReader >= 0) close(lateReader);
  // A FIFO that is read: not a file, so nothing goes to it.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(OpenAndWeigh(fifo, 2, [] {}));
  adapter.ClosePort();
  char byte;
  EXPECT_EQ(read(reader, &byte, 1), 0) << "a line reached the FIFO";
  close(reader);
  // A link, wherever it points: another user may have laid it.
  EXPECT_TRUE(OpenAndWeigh(link, 1, [] {}));
  adapter.ClosePort();
  EXPECT_EQ(ReadAll(aimed), "");
  // A new file: the owner's alone, and the trace is in it.
  const std::string file = dir + "/trace.txt";
  const mode_t mask = umask(0);
  EXPECT_TRUE(OpenAndWeigh(file, 1, [] {}));
  umask(mask);
  adapter.ClosePort();
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(ReadAll(file).find("COM3 ZEV-U -> 50 |P| written 1 of 1"), std::string::npos);
  for (const auto& path : {fifo, aimed, link, file}) unlink(path.c_str());
}

TEST_F(TraceTest, AStandardErrorNobodyReadsLosesLinesAndSaysSo) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  fcntl(pipeFds[1], F_SETPIPE_SZ, 4096);
  const int savedErr = dup(2);
  dup2(pipeFds[1], 2);
  std::string read;
  const auto drain = [&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  };
  // The pipe full: every line now would have to wait.
  fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, '.');
  while (write(pipeFds[1], block.data(), block.size()) > 0) {
  }
  fcntl(pipeFds[1], F_SETFL, 0);
  const bool ended = OpenAndWeigh("stderr", 3, drain);
  drain();
  EXPECT_EQ(adapter.Weigh(), -1);
  drain();
  dup2(savedErr, 2);
  close(savedErr);
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_TRUE(ended);
  EXPECT_NE(read.find(" trace lines lost\n"), std::string::npos) << read;
  EXPECT_NE(read.rfind("COM3 ZEV-U <- "), std::string::npos);
}

// Each case in a process of its own: a signal would end it.
TEST_F(TraceTest, AWriteThatWouldRaiseASignalEndsTheTraceInstead) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string file = ports.Path() + "/limited.txt";
  int readEnd = -1;
  const struct {
    const char* what;
    std::function<std::string()> before;  // the target
    std::function<void()> after;          // once the port is open
  } cases[] = {
      {"standard error, a pipe whose reader went away",
       [&] {
         int fds[2];
         if (pipe(fds) != 0) _exit(3);
         dup2(fds[1], 2);
         close(fds[1]);
         readEnd = fds[0];
         return std::string("stderr");
       },
       [&] { close(readEnd); }},
      {"a file at its size limit",
       [&] {
         const rlimit limit{300, 300};
         setrlimit(RLIMIT_FSIZE, &limit);
         return file;
       },
       [] {}},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          // The weighings' outcome is not the point: living through them is.
          setenv("ZEVSCALE_TRACE", c.before().c_str(), 1);
          adapter.OpenPort(kPort);
          c.after();
          for (int i = 0; i < 5; ++i) adapter.Weigh();
          _exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << c.what;
  }
  unlink(file.c_str());
}

TEST_F(TraceTest, AClosedStandardErrorNeverLetsTheTraceReachTheScale) {
  const struct {
    const char* what;
    int first;  // descriptors first..2 are closed
  } cases[] = {{"descriptor 2 closed", 2}, {"descriptors 0 to 2 closed", 0}};
  setenv("ZEVSCALE_TRACE", "stderr", 1);
  for (const auto& c : cases) {
    sim.ClearReceived();
    int saved[3];
    for (int fd = c.first; fd <= 2; ++fd) {
      saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
      close(fd);
    }
    int ok = adapter.OpenPort(kPort) == -1;
    for (int i = 0; i < 5; ++i) ok += adapter.Weigh() == -1;
    bool taken = false;  // did the port or the trace take a standard descriptor?
    for (int fd = c.first; fd <= 2; ++fd) taken |= fcntl(fd, F_GETFD) != -1;
    adapter.ClosePort();
    for (int fd = c.first; fd <= 2; ++fd) {
      dup2(saved[fd], fd);
      close(saved[fd]);
    }
    EXPECT_EQ(ok, 6) << c.what;
    EXPECT_FALSE(taken) << c.what;
    EXPECT_EQ(sim.Received(), "PPPPP") << c.what;
  }
}

}  // namespace

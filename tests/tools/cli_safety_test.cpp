// zevscale leaves alone what it was not asked to touch: trace files that are
// not regular files, and what a run ended by a signal left behind.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <future>

#include "cli_fixture.h"

namespace zev::cli {
namespace {

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

}  // namespace
}  // namespace zev::cli

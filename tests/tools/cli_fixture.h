// What the tests of zevscale's commands share: a command line run in this
// process, simulated converters on the loopback address, and a process that
// holds a port open.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "common.h"
#include "simulator.h"

namespace zev::cli {

inline std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

inline int RunLine(const std::string& line, std::string& out, std::string& err,
                   Lang lang = Lang::En, const std::atomic<bool>* interrupted = nullptr) {
  const Parsed p = Parse(Split(line + " --library " ZEV_ADDIN_PATH), lang);
  EXPECT_TRUE(p.ok) << p.error;
  std::ostringstream o, e;
  const int status = zev::cli::Run(p.options, o, e, interrupted);
  out = o.str();
  err = e.str();
  return status;
}

// Converters on the loopback address, one per case.
inline std::string Serve(zev::sim::Simulator& s,
                         zev::sim::TcpMode mode = zev::sim::TcpMode::Serve) {
  std::string error;
  EXPECT_TRUE(s.StartTcp("127.0.0.1", 0, mode, &error)) << error;
  return s.TcpUrl().substr(6);  // HOST:PORT
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

}  // namespace zev::cli

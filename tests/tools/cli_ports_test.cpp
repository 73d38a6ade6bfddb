// zevscale ports: what stands behind each port, and the access a user needs.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli_fixture.h"
#include "zev/platform/serial.h"

namespace zev::cli {
namespace {

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
  ASSERT_EQ(RunLine("ports", out, err, Lang::Ru), 0) << err;
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
    EXPECT_EQ(RunLine("weigh --model ZEV-U --port 3", out, err, Lang::Ru), 1);
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
  EXPECT_EQ(RunLine("weigh --model ZEV-U --port 200", out, err, Lang::Ru), 1);
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

// zevscale weigh and test: weighings, their failures and the line trace.
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "cli_fixture.h"
#include "zev/platform/serial.h"

namespace zev::cli {
namespace {

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
  ASSERT_EQ(RunLine("weigh --model ZEV-U --simulate --sim-weight 0.25", out, err, Lang::Ru), 0);
  EXPECT_NE(out.find("0,250 кг"), std::string::npos) << out;
}

TEST(CliTest, TheDriversEmptyTextStaysEmptyBesideTheToolsWords) {
  std::string out, err;
  ASSERT_EQ(RunLine("test --model ZEV-U --simulate --sim-silent --json", out, err), 1);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["error"]["text"], "");
  EXPECT_EQ(j["error"]["explanation"], "the device test got no weight from the scale");
  ASSERT_EQ(RunLine("test --model ZEV-U --simulate --sim-silent", out, err, Lang::Ru), 1);
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
      {"weigh --model ZEV-AW --simulate --sim-missing 3", Lang::En,
       "15 of 18 bytes: the reply was cut short"},
      {"weigh --model ZEV-NT(N) --simulate --sim-missing 3", Lang::Ru,
       "15 из 18 байт: ответ оборван"},
      {"weigh --model ZEV-U --simulate --sim-extra 5", Lang::En, "a whole reply and 5 more bytes"},
      {"weigh --model ZEV-U --port 8", Lang::En,
       "weight with a comma (\"0,500\"): under the locale C the driver reads the decimal "
       "separator '.'"},
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
  EXPECT_EQ(RunLine("weigh --model ZEV-U --simulate", out, err, Lang::Ru), 0);
  unsetenv("ZEVSCALE_TRACE");
  EXPECT_NE(err.find("(Нет такого файла или каталога (ENOENT))"), std::string::npos) << err;
  std::ostringstream o, e;
  EXPECT_EQ(
      zev::cli::Run(Parse({"info", "--library", "/nonexistent/lib.so"}, Lang::Ru).options, o, e),
      1);
  EXPECT_NE(e.str().find(": Нет такого файла или каталога (ENOENT)"), std::string::npos) << e.str();
}

// zevscale as a program, in an environment of its own: exit status, and
// standard output and error together.
int RunProgram(const std::vector<std::pair<const char*, const char*>>& env,
               std::vector<std::string> args, std::string& output) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_MESSAGES", "LANG", "LANGUAGE"})
      unsetenv(name);
    for (const auto& [name, value] : env) setenv(name, value, 1);
    dup2(pipefd[1], 1);
    dup2(pipefd[1], 2);
    close(pipefd[0]);
    args.insert(args.begin(), ZEVSCALE_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(ZEVSCALE_PATH, argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  output.clear();
  char buffer[4096];
  for (ssize_t n; (n = read(pipefd[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The add-in reads the weight with the separator of the locale the platform's
// process takes from the environment; the tool's own numbers follow its
// language alone.
TEST(CliReplies, TheWeightIsReadUnderTheUsersLocaleAsThePlatformReadsIt) {
  if (locale_t ru = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", nullptr)) {
    freelocale(ru);
  } else {
    GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed (tools/deps.sh makes it)";
  }
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator comma(zev::sim::Model::ZevU, 1.0), stop(zev::sim::Model::ZevU, 1.5);
  ASSERT_TRUE(comma.Start() && stop.Start());
  zev::sim::Faults f;
  f.raw = std::string("  0,500 kg  \r\n");
  comma.SetFaults(f);
  ports.Map(8, comma.DevicePath());
  ports.Map(9, stop.DevicePath());
  struct Case {
    std::vector<std::pair<const char*, const char*>> env;
    const char* port;
    int status;
    const char* said;
  } cases[] = {
      {{{"LC_ALL", "C"}},
       "8",
       1,
       "weight with a comma (\"0,500\"): under the locale C the driver reads the decimal "
       "separator '.'"},
      {{{"LANG", "C.UTF-8"}},
       "8",
       1,
       "under the locale C.UTF-8 the driver reads the decimal separator '.'"},
      {{{"LANG", "ru_RU.UTF-8"}}, "8", 0, "0,500 кг"},
      {{{"LANG", "ru_RU.UTF-8"}}, "9", 0, "1,500 кг"},
      // A Russian numeric locale under an English language: the weight read,
      // the tool's own number with its full stop.
      {{{"LANG", "C.UTF-8"}, {"LC_NUMERIC", "ru_RU.UTF-8"}}, "8", 0, "\n0.500 kg\n"},
      {{{"LC_ALL", "ru_RU.UTF-8"}}, "9", 0, "1,500 кг"},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(
        RunProgram(c.env,
                   {"weigh", "--model", "ZEV-U", "--port", c.port, "--library", ZEV_ADDIN_PATH},
                   output),
        c.status)
        << c.env.front().second << " COM" << c.port << ": " << output;
    EXPECT_NE(output.find(c.said), std::string::npos)
        << c.env.front().second << " COM" << c.port << ": " << output;
  }
  // JSON keeps the full stop under any locale.
  std::string output;
  ASSERT_EQ(RunProgram(
                {{"LC_ALL", "ru_RU.UTF-8"}},
                {"weigh", "--model", "ZEV-U", "--port", "8", "--json", "--library", ZEV_ADDIN_PATH},
                output),
            0)
      << output;
  EXPECT_EQ(nlohmann::json::parse(output)["weights"], nlohmann::json::parse("[0.5]")) << output;
}

}  // namespace
}  // namespace zev::cli

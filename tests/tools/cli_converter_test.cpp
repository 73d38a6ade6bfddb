// zevscale and Ethernet-to-serial converters that do not behave: refused or
// unanswered connections, entries that are almost an address, a converter
// busy with another connection, one in Telnet mode, and the report that must
// never make a converter busy itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli_fixture.h"

namespace zev::cli {
namespace {

// Runs a command line; standard output and standard error apart.
int RunTool(const std::string& line, std::string& out, std::string& err, Lang lang = Lang::En) {
  const Parsed p = Parse(Split(line + " --library " ZEV_ADDIN_PATH), lang);
  EXPECT_TRUE(p.ok) << line << ": " << p.error;
  std::ostringstream o, e;
  auto run = std::async(std::launch::async, [&] { return zev::cli::Run(p.options, o, e); });
  // A bound that tells a hang from an end.
  EXPECT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready) << line;
  const int status = run.get();
  out = o.str();
  err = e.str();
  return status;
}

// The line of `text` that begins with `start`, or empty.
std::string LineOf(const std::string& text, const std::string& start) {
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    if (line.rfind(start, 0) == 0) return line;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return std::string();
}

// A converter of the test's own on the loopback address: each connection gets
// `greeting` at once and `answer` for every piece that it receives; with
// `hangUp` the connection is closed right after the greeting (a converter
// busy with another connection does so).
class FakeConverter {
 public:
  FakeConverter(std::string greeting, bool hangUp, std::string answer = std::string())
      : greeting_(std::move(greeting)), answer_(std::move(answer)), hangUp_(hangUp) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), length), 0);
    EXPECT_EQ(listen(listener_, 8), 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~FakeConverter() {
    stop_ = true;
    thread_.join();
    for (const int fd : open_) close(fd);
    close(listener_);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  void Loop() {
    while (!stop_) {
      std::vector<pollfd> fds{{listener_, POLLIN, 0}};
      for (const int fd : open_) fds.push_back({fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        char buffer[256];
        const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n > 0 && !answer_.empty())
          send(fds[i].fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
        if (n <= 0) {
          close(fds[i].fd);
          open_.erase(std::find(open_.begin(), open_.end(), fds[i].fd));
        }
      }
      if (fds[0].revents == 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      send(fd, greeting_.data(), greeting_.size(), MSG_NOSIGNAL);
      if (hangUp_) {
        close(fd);
      } else {
        open_.push_back(fd);
      }
    }
  }

  std::string greeting_, answer_;
  bool hangUp_;
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> open_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A converter that refuses the connection or never answers it is named so,
// by its address, never as a port without access.
TEST(CliConverter, AConnectionRefusedOrUnansweredIsNamedSo) {
  zev::sim::Simulator refusing(zev::sim::Model::ZevU, 1), deaf(zev::sim::Model::ZevU, 1),
      entry(zev::sim::Model::ZevU, 1);
  const std::string refused = Serve(refusing, zev::sim::TcpMode::Refuse);
  const std::string unanswered = Serve(deaf, zev::sim::TcpMode::NoAccept);
  const std::string refusedToo = Serve(entry, zev::sim::TcpMode::Refuse);
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.MapTcp(7, "tcp://" + refusedToo);
  struct Case {
    std::string name, address;
    const char *status, *english, *russian;
  } cases[] = {
      {"tcp://" + refused, refused, "refused", "refused the connection", "отказ в соединении"},
      {"tcp://" + unanswered, unanswered, "no answer to connection",
       "no answer to the connection within 1 s", "нет ответа на соединение за 1 с"},
      {"COM7", refusedToo, "refused", "refused the connection", "отказ в соединении"},
  };
  const std::string scan = "scan --models ZEV-U --ports 7 --tcp " + refused + "," + unanswered;
  for (const Lang lang : {Lang::En, Lang::Ru}) {
    std::string out, err;
    EXPECT_EQ(RunTool(scan, out, err, lang), 1);
    for (const auto& c : cases) {
      const std::string line = LineOf(out, c.name + " ");
      EXPECT_NE(line.find(lang == Lang::En ? c.english : c.russian), std::string::npos)
          << c.name << " in\n"
          << out;
      EXPECT_EQ(line.find(lang == Lang::En ? "no access" : "нет доступа"), std::string::npos)
          << line;
    }
  }
  // JSON: a converter of --tcp by its address, never by the tool's own number.
  std::string out, err;
  EXPECT_EQ(RunTool(scan + " --json", out, err), 1);
  const auto list = nlohmann::json::parse(out);
  ASSERT_EQ(list.size(), 3u) << out;
  EXPECT_EQ(list[0]["port"], 7);
  for (size_t i = 0; i < 3; ++i) {
    const auto& c = cases[i == 0 ? 2 : i - 1];
    const auto& j = list[i];
    EXPECT_EQ(j["status"], c.status) << j.dump();
    EXPECT_EQ(j["tcp"], "tcp://" + c.address) << j.dump();
    if (i == 0) continue;
    EXPECT_FALSE(j.contains("port")) << j.dump();
    EXPECT_EQ(j["host"], "127.0.0.1") << j.dump();
    EXPECT_EQ(j["tcpPort"], std::stoi(c.address.substr(10))) << j.dump();
  }
}

// A scale found behind a converter of --tcp gets the settings of the
// equipment library's class, which takes the address itself.
TEST(CliConverter, AScaleBehindAConverterGetsTheEquipmentLibrarysSettings) {
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 2.5);
  const std::string address = Serve(scale);
  const std::string port = address.substr(10);
  const std::string scan = "scan --models ZEV-U --tcp " + address;
  std::string out, err;
  ASSERT_EQ(RunTool(scan, out, err), 0) << err;
  EXPECT_NE(out.find("settings for the equipment library (TZEV_SCALE_4001_Class): Model \"ZEV-U\""
                     " (\"Весы: ZEV-У\" in the list), Connection \"TCP\", Host \"127.0.0.1\", "
                     "TCPPort " +
                     port + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("ports directory"), std::string::npos) << out;
  ASSERT_EQ(RunTool(scan, out, err, Lang::Ru), 0) << err;
  EXPECT_NE(out.find("Подключение (Connection) «TCP», Адрес преобразователя (Host) «127.0.0.1», "
                     "TCP-порт (TCPPort) " +
                     port + "\n"),
            std::string::npos)
      << out;
  ASSERT_EQ(RunTool(scan + " --json", out, err), 0) << err;
  const auto list = nlohmann::json::parse(out);
  ASSERT_EQ(list.size(), 1u) << out;
  EXPECT_FALSE(list[0].contains("port")) << out;
  EXPECT_EQ(list[0]["host"], "127.0.0.1");
  EXPECT_EQ(list[0]["tcpPort"], std::stoi(port));
  EXPECT_EQ(list[0]["weight"], 2.5);
}

// The add-in reads an entry's first line strictly; the tool says what keeps a
// line that is almost a converter's address from being one.
TEST(CliConverter, AnEntryThatIsAlmostAnAddressSaysWhatIsWrong) {
  zev::sim::PortDirectory ports;
  ports.Export();
  struct Case {
    int com;
    std::string line;
    const char* what;  // in the entry's line of ports and in weigh's reasons
  } cases[] = {
      {11, "\xEF\xBB\xBFtcp://127.0.0.1:4001", "byte order mark"},
      {12, "TCP://127.0.0.1:4001", "small letters"},
      {13, "tcp://127.0.0.1", "no TCP port"},
      {14, " tcp://127.0.0.1:4001", "blank"},
      {15, "127.0.0.1:4001", "without tcp://"},
      {16, "hello", nullptr},  // nothing like an address: only not a serial port
  };
  for (const auto& c : cases) ASSERT_TRUE(ports.MapTcp(c.com, c.line));
  std::string out, err;
  ASSERT_EQ(RunTool("ports", out, err), 0) << err;
  for (const auto& c : cases) {
    const std::string line = LineOf(out, "COM" + std::to_string(c.com) + "  ");
    EXPECT_NE(line.find("not a serial port"), std::string::npos) << line;
    EXPECT_EQ(line.find("tcp://HOST:PORT") != std::string::npos, c.what != nullptr) << line;
    if (c.what == nullptr) continue;
    EXPECT_NE(line.find(c.what), std::string::npos) << line;
    std::string weighed, why;
    EXPECT_EQ(RunTool("weigh --model ZEV-U --port " + std::to_string(c.com), weighed, why), 1);
    EXPECT_NE(why.find(c.what), std::string::npos) << why;
    EXPECT_NE(why.find("tcp://HOST:PORT"), std::string::npos) << why;
  }
  ASSERT_EQ(RunTool("ports", out, err, Lang::Ru), 0) << err;
  EXPECT_NE(LineOf(out, "COM12  ").find("строчными"), std::string::npos) << out;
  for (const auto& c : cases) ports.Unmap(c.com);
}

// ser2net answers a second connection with a line of text and closes it.
TEST(CliConverter, AConverterBusyWithAnotherConnectionIsNamedSo) {
  FakeConverter busy("Port already in use\r\n", true);
  const std::string a = busy.Address();
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.MapTcp(7, "tcp://" + a);
  struct Case {
    std::string line;
    int status;
    Lang lang;
    const char* expected;
  } cases[] = {
      {"ports", 0, Lang::En, "busy with another connection"},
      {"scan --models ZEV-AW --tcp " + a, 1, Lang::En, "busy with another connection"},
      {"weigh --model ZEV-AW --tcp " + a, 1, Lang::En, "busy with another connection"},
      {"weigh --model ZEV-AW --tcp " + a, 1, Lang::Ru, "преобразователь занят другим соединением"},
      {"listen --model ZEV-AW --seconds 1 --tcp " + a, 1, Lang::En, "busy with another connection"},
      {"check --model ZEV-AW --tcp " + a, 1, Lang::En, "busy with another connection"},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunTool(c.line, out, err, c.lang), c.status) << c.line << "\n" << out << err;
    const std::string shown = out + err;
    EXPECT_NE(shown.find(c.expected), std::string::npos) << c.line << ":\n" << shown;
    EXPECT_NE(shown.find("Port already in use"), std::string::npos) << c.line << ":\n" << shown;
    for (const char* wrong : {"accepts connections", "whole reply", "not a reply", "cut short"})
      EXPECT_EQ(shown.find(wrong), std::string::npos) << c.line << ":\n" << shown;
  }
}

// A converter that closes the connection in the middle of a reply is named,
// not the reply.
TEST(CliConverter, AConverterThatClosesMidReplyIsNamedSo) {
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 1);
  zev::sim::Faults faults;
  faults.hangUpAfterBytes = 5;
  scale.SetFaults(faults);
  const std::string a = Serve(scale);
  for (const std::string& line :
       {"weigh --model ZEV-U --tcp " + a, "listen --model ZEV-U --seconds 1 --tcp " + a}) {
    std::string out, err;
    RunTool(line, out, err);
    const std::string shown = out + err;
    EXPECT_NE(shown.find("the converter closed the connection"), std::string::npos) << line << ":\n"
                                                                                    << shown;
    EXPECT_EQ(shown.find("cut short"), std::string::npos) << shown;
  }
}

// The report reaches the converter of --tcp, and an entry of the user's that
// holds the same address, one connection at a time.
TEST(CliConverter, TheReportTriesOneConverterOnceAtATime) {
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 1.5);
  const std::string a = Serve(scale);
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.MapTcp(7, "tcp://" + a);
  std::string out, err;
  ASSERT_EQ(RunTool("report --model ZEV-U --tcp " + a + " --output -", out, err), 0) << err;
  const size_t scan = out.find("== Scan (zevscale scan) ==");
  ASSERT_NE(scan, std::string::npos) << out;
  const std::string section = out.substr(scan, out.find("\n== ", scan + 1) - scan);
  EXPECT_NE(section.find("ZEV-U           1.500 kg"), std::string::npos) << section;
  EXPECT_NE(section.find("same converter as"), std::string::npos) << section;
  for (const char* wrong : {"closed", "not a reply", "no answer", "busy"})
    EXPECT_EQ(section.find(wrong), std::string::npos) << wrong << " in\n" << section;
}

// Telnet negotiation from a converter is shown as such, never as the scale's data.
TEST(CliConverter, TelnetFromAConverterIsShownAsTelnet) {
  // WILL ECHO, WILL SUPPRESS-GO-AHEAD on connecting; DO TERMINAL-TYPE to
  // whatever is sent: a converter waiting for a Telnet client's answers.
  FakeConverter telnet("\xFF\xFB\x01\xFF\xFB\x03", false, "\xFF\xFD\x18");
  const std::string a = telnet.Address();
  zev::sim::PortDirectory ports;
  ports.Export();
  ports.MapTcp(7, "tcp://" + a);
  struct Case {
    std::string line;
    std::vector<std::string> expected;
  } cases[] = {
      {"listen --model ZEV-U --seconds 1 --tcp " + a,
       {"telnet: WILL ECHO, WILL SUPPRESS-GO-AHEAD", "telnet: DO TERMINAL-TYPE", "Telnet mode"}},
      {"weigh --model ZEV-U --tcp " + a, {"in Telnet mode (telnet: WILL ECHO"}},
      {"ports", {"Telnet mode"}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    RunTool(c.line, out, err);
    const std::string shown = out + err;
    for (const auto& e : c.expected)
      EXPECT_NE(shown.find(e), std::string::npos) << c.line << ": " << e << " in\n" << shown;
    for (const char* wrong : {"FF FB", "FF FD", "not a ZEV-U reply"})
      EXPECT_EQ(shown.find(wrong), std::string::npos) << c.line << ":\n" << shown;
  }
  std::string out, err;
  RunTool("listen --model ZEV-U --seconds 1 --json --tcp " + a, out, err);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["telnet"], true) << out;
  EXPECT_EQ(j["before"]["telnet"],
            nlohmann::json::parse(R"(["WILL ECHO","WILL SUPPRESS-GO-AHEAD"])"))
      << out;
}

}  // namespace
}  // namespace zev::cli

// The link through a simulated converter that takes its line settings over
// the connection (RFC 2217) on the loopback address: each model's line set
// and read back before it weighs, a converter that keeps a setting refused
// with its words and no command sent, one without the serial-port control
// told, data bytes FF doubled and undoubled, a purge before each command and
// a reconnection that sets the line again.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TCommunication.h"
#include "TRfc2217.h"
#include "models.h"
#include "simulator.h"
#include "zev/platform/locale.h"
#include "zev/platform/tcp.h"

namespace {

using zev::platform::TcpStatus;
using zev::scales::Command;
using zev::scales::Fault;
using zev::scales::ModelRow;
using zev::scales::TCommunication;
using zev::scales::TEndpoint;
using zev::sim::Simulator;
using zev::sim::TcpOptions;

const ModelRow& Row(const char* name) {
  return *zev::scales::FindModel(std::string_view(name));
}

TEndpoint Endpoint(const Simulator& sim) {
  return TEndpoint::Tcp(*zev::platform::ParseTcpAddress(sim.TcpUrl()));
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A trace file of its own for each link, read back whole.
class TraceFile {
 public:
  TraceFile() : path_(testing::TempDir() + "rfc2217_trace_" + std::to_string(++serial_)) {
    std::remove(path_.c_str());
  }
  ~TraceFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  std::string Text() const {
    std::ifstream in(path_);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  static inline int serial_ = 0;
  std::string path_;
};

TEST(Rfc2217Link, EachModelWeighsAtItsOwnLineSetOverTheConnection) {
  for (const char* name : {"ZEV-U", "ZEV-AW", "ZEV-NT(N)"}) {
    SCOPED_TRACE(name);
    const ModelRow& row = Row(name);
    const zev::sim::Model model = *zev::sim::ModelFromName(name);
    Simulator sim(model, 1.234);
    TcpOptions options;
    options.rfc2217 = true;
    ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
    ASSERT_EQ(sim.ConverterLine().Text(), "9600 8N1");
    TraceFile trace;
    TCommunication link(row);
    link.SetTraceTarget(trace.Path());
    ASSERT_TRUE(link.Open(Endpoint(sim))) << trace.Text();
    EXPECT_EQ(sim.ConverterLine(), Simulator::ScaleLine(model));
    const std::string expected =
        row.parse(Simulator::Frame(model, 1.234), zev::platform::DecimalSeparator());
    ASSERT_FALSE(expected.empty());
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(link.Run(Command::Weigh)) << trace.Text();
      EXPECT_EQ(link.WeightText(), expected);
    }
    // The commands alone reached the scale; each went after a purge.
    EXPECT_EQ(sim.Received(), std::string(row.weigh) + std::string(row.weigh));
    EXPECT_EQ(Count(sim.TelnetReceived(), zev::scales::TRfc2217::PurgeRequest()), 2u);
    const std::string text = trace.Text();
    EXPECT_NE(text.find("set baud 4800: converter answered 4800"), std::string::npos) << text;
    const std::string parity = row.line.parity == zev::platform::Parity::Odd ? "odd" : "none";
    EXPECT_NE(text.find("set parity " + parity + ": converter answered " + parity),
              std::string::npos)
        << text;
    EXPECT_TRUE(link.Close());
  }
}

TEST(Rfc2217Link, AConverterThatKeepsASettingIsRefusedAndNothingIsSent) {
  struct Case {
    const char* model;
    const char* refuse;  // the setting the converter keeps; empty: no RFC 2217 at all
    bool telnet;         // without RFC 2217: speaks Telnet (or raw TCP)
    TcpStatus status;
    const char* words;  // the refusal in English
  } cases[] = {
      {"ZEV-AW", "parity", true, TcpStatus::LineRefused,
       "the converter kept 4800 8N1: parity odd refused"},
      {"ZEV-U", "baud", true, TcpStatus::LineRefused,
       "the converter kept 9600 8N1: baud 4800 refused"},
      {"ZEV-NT(N)", "", true, TcpStatus::NoLineControl, ""},
      {"ZEV-U", "", false, TcpStatus::NoLineControl, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.refuse);
    Simulator sim(*zev::sim::ModelFromName(c.model), 1.0);
    TcpOptions options;
    options.rfc2217 = *c.refuse != '\0';
    options.telnet = c.telnet;
    options.refuseSetting = c.refuse;
    ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
    TEndpoint endpoint = Endpoint(sim);
    endpoint.tcp.rfc2217 = true;
    TCommunication link(Row(c.model));
    EXPECT_FALSE(link.Open(endpoint));
    EXPECT_EQ(link.Error().fault, Fault::LinkFailed);
    EXPECT_EQ(link.Error().link, c.status);
    EXPECT_EQ(link.Error().systemText, c.words);
    EXPECT_FALSE(link.Run(Command::Weigh));
    EXPECT_EQ(sim.Commands(), 0);
  }
}

TEST(Rfc2217Link, BytesFFAreUndoubledAndAReconnectionSetsTheLineAgain) {
  // A ZEV-NT(N) reply whose twelve bytes after the weight are FF.
  const ModelRow& row = Row("ZEV-NT(N)");
  Simulator sim(zev::sim::Model::ZevNT, 0);
  zev::sim::Faults faults;
  faults.raw = "432100" + std::string(12, '\xFF');
  sim.SetFaults(faults);
  TcpOptions options;
  options.rfc2217 = true;
  ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
  TraceFile trace;
  TCommunication link(row);
  link.SetTraceTarget(trace.Path());
  ASSERT_TRUE(link.Open(Endpoint(sim)));
  const std::string expected = row.parse(*faults.raw, zev::platform::DecimalSeparator());
  ASSERT_TRUE(link.Run(Command::Weigh)) << trace.Text();
  EXPECT_EQ(link.WeightText(), expected);
  EXPECT_EQ(link.RawReply(), *faults.raw);

  sim.HangUp();
  ASSERT_TRUE(sim.WaitQuiet());
  bool weighed = false;
  for (int i = 0; i < 3 && !weighed; ++i) weighed = link.Run(Command::Weigh);
  EXPECT_TRUE(weighed) << trace.Text();
  EXPECT_EQ(Count(trace.Text(), "set baud 4800: converter answered 4800"), 2u) << trace.Text();
}

// A converter restarted with other ways while the link is up: the
// reconnection that it refuses is told with its words as the first
// connection's refusal would be.
TEST(Rfc2217Link, AReconnectionThatIsRefusedKeepsTheConvertersWords) {
  Simulator sim(zev::sim::Model::ZevAW, 1.0);
  TcpOptions options;
  options.rfc2217 = true;
  ASSERT_TRUE(sim.StartTcp("127.0.0.1", 0, options));
  const int port = sim.TcpPort();
  TCommunication link(Row("ZEV-AW"));
  ASSERT_TRUE(link.Open(Endpoint(sim)));
  ASSERT_TRUE(link.Run(Command::Weigh));
  const int commands = sim.Commands();

  sim.Stop();
  options.refuseSetting = "parity";
  ASSERT_TRUE(sim.StartTcp("127.0.0.1", port, options));
  // The first command may find the old connection closed; the next connects.
  for (int i = 0; i < 3 && link.Error().link != TcpStatus::LineRefused; ++i)
    EXPECT_FALSE(link.Run(Command::Weigh));
  EXPECT_EQ(link.Error().fault, Fault::LinkFailed);
  EXPECT_EQ(link.Error().link, TcpStatus::LineRefused);
  EXPECT_EQ(link.Error().systemText, "the converter kept 4800 8N1: parity odd refused");
  EXPECT_EQ(link.Error().kept, "4800 8N1");
  EXPECT_EQ(sim.Commands(), commands);
}

}  // namespace

// zevscale listen: every byte on the line with its time.
#include "cli_fixture.h"

namespace zev::cli {
namespace {

TEST(CliOutput, ListenShowsEveryByteWithItsTime) {
  std::string out, err;
  ASSERT_EQ(RunLine("listen --model ZEV-U --simulate --sim-weight 2 --seconds 1 --json", out, err),
            0)
      << err;
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["bytes"], 14);
  EXPECT_EQ(j["frame"], "ZEV-U");
  EXPECT_LT(j["frameMs"], 500);
  size_t pairs = 0;  // the pieces hold the 14 bytes, as hex pairs before the bar
  for (const auto& piece : j["pieces"]) {
    const std::string bytes = piece["bytes"];
    pairs += bytes.find('|') / 3;
  }
  EXPECT_EQ(pairs, 14u) << out;
  // Late: the whole reply is there, after the driver's deadline.
  ASSERT_EQ(RunLine("listen --model ZEV-AW --simulate --sim-delay 650 --seconds 1", out, err), 0);
  const size_t but = out.find("a whole ZEV-AW reply, but ");
  ASSERT_NE(but, std::string::npos) << out;
  EXPECT_GT(std::stoi(out.substr(but + 26)), 530) << out;
  EXPECT_NE(out.find("ms after the command: the driver stops waiting"), std::string::npos) << out;
  EXPECT_EQ(RunLine("listen --model ZEV-U --simulate --sim-silent --seconds 1", out, err), 1);
  EXPECT_NE(out.find("nothing arrived in 1 s"), std::string::npos) << out;
}

}  // namespace
}  // namespace zev::cli

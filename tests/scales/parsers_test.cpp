// The three reply checks and the whole-frame rules, as pure functions of the
// reply bytes; Telnet as a converter speaks it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zev_aw.h"
#include "zev_nt.h"
#include "zev_u.h"
#include "TTelnet.h"

namespace {

// Bytes from hex pairs; "x12" repeats the byte before it 12 times in all.
std::string Hex(const char* text) {
  std::string out;
  const std::string s(text);
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ') {
      ++i;
    } else if (s[i] == 'x') {
      size_t end = i + 1;
      while (end < s.size() && isdigit(static_cast<unsigned char>(s[end]))) ++end;
      const int count = std::stoi(s.substr(i + 1, end - i - 1));
      out.append(static_cast<size_t>(count - 1), out.back());
      i = end;
    } else {
      out += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

struct Case {
  const char* reply;  // hex
  const char* point;  // weight text with "." as separator; "" when rejected
};

void CheckBothSeparators(std::string (*parse)(std::string_view, char), const Case& c) {
  const std::string reply = Hex(c.reply);
  EXPECT_EQ(parse(reply, '.'), c.point) << c.reply;
  std::string comma = c.point;
  for (char& ch : comma) {
    if (ch == '.') ch = ',';
  }
  EXPECT_EQ(parse(reply, ','), comma) << c.reply;
}

TEST(ZevUReply, AcceptsOnlyTheFourteenByteFrame) {
  const std::string frame = std::string("  0.500 kg  ") + "\r\n";
  EXPECT_EQ(zev::zev_u::ParseReply(frame, ','), "  0.500 kg  ");
  EXPECT_EQ(zev::zev_u::ParseReply(std::string(12, ' ') + "\r\n", '.'), std::string(12, ' '));
  const std::string rejected[] = {
      std::string("  0.500 kg ") + "\r\n",      // 13 bytes
      std::string("  0.500 kg   ") + "\r\n",    // 15 bytes
      std::string("  0.500 kg  ") + "\n\r",     // LF CR
      std::string("  0.5\r\n0 kg  ") + "\r\n",  // CR LF before byte 13
      std::string("  0.500 kg  \r") + "\r",     // no LF
      std::string(),
  };
  for (const auto& r : rejected) EXPECT_EQ(zev::zev_u::ParseReply(r, '.'), "") << r;
}

TEST(ZevAwReply, ReadsTheDigitsBackwards) {
  const Case cases[] = {
      // The examples the protocol description works through.
      {"35 34 33 32 31 30 30 x12", "12.345"},
      {"35 34 33 32 31 30 30 30 30 30 30 30 2D 20 20 20 0D 0A", "-12.345"},
      {"30 35 32 37 30 30 FF x12", ""},
      {"35 34 33 32 31", ""},
      // Length.
      {"30 x17", ""},
      {"30 x19", ""},
      // Zero is a weight; blanks alone are not.
      {"30 x18", "0.000"},
      {"20 x18", ""},
      {"00 x18", ""},
      {"20 00 0D x16", ""},
      // Blanks at either end are ignored, a reply ending in CR LF included.
      {"35 32 37 20 x15", "0.725"},
      {"00 00 35 32 37 30 00 x12", "0.725"},
      {"20 20 35 34 33 32 31 2B 20 20 20 20 20 20 20 20 0D 0A", "12.345"},
      // A blank or a NUL between digits is a corrupted frame.
      {"35 34 20 33 32 31 20 x12", ""},
      {"35 34 00 33 32 31 20 x12", ""},
      // The sign comes after the digits on the line.
      {"2D 35 34 33 32 31 20 x12", ""},
      {"35 2D 20 x16", "-0.005"},
      // 32-bit range.
      {"37 34 36 33 38 34 37 34 31 32 20 x8", "2147483.647"},
      {"38 34 36 33 38 34 37 34 31 32 20 x8", ""},
      {"38 34 36 33 38 34 37 34 31 32 2D 20 x7", "-2147483.648"},
      {"31 x18", ""},
      // Hexadecimal forms are not weights.
      {"30 31 78 20 x15", ""},
      {"46 46 24 20 x15", ""},
      {"35 32 37 78 30 20 x13", ""},
  };
  for (const auto& c : cases) CheckBothSeparators(&zev::zev_aw::ParseReply, c);
}

TEST(ZevNtReply, ReadsTheSixWeightBytes) {
  const Case cases[] = {
      // The examples the protocol description works through.
      {"30 35 32 37 30 30 FF x12", "7.250"},
      {"35 34 33 32 31 30 30 30 30 30 30 30 2D 20 20 20 0D 0A", "12.345"},
      {"20 20 20 20 20 20 3D 20 x11", "0.000"},
      {"20 x18", ""},
      // Length, whatever the first six bytes.
      {"30 x17", ""},
      {"30 x19", ""},
      // Blank bytes at the start shift the digits.
      {"20 35 34 33 32 31 20 x12", "12.345"},
      {"00 00 35 32 37 30 41 x12", "0.725"},
      // Anything else among the six is a corrupted frame.
      {"35 34 20 33 32 31 20 x12", ""},
      {"35 34 33 32 20 20 20 x12", ""},
      {"35 34 33 32 31 2D 20 x12", ""},
      {"35 34 33 32 31 2B 20 x12", ""},
      // A NUL among the digits is corrupt, not the end of the number.
      {"31 00 x17", ""},
      {"35 34 33 32 31 00 20 x12", ""},
      // Bytes 7 to 18 never matter.
      {"35 34 33 32 31 30 41 42 43 0D 0A 00 01 02 FF 7F 2D 2B", "12.345"},
      {"39 x6 00 x12", "999.999"},
  };
  for (const auto& c : cases) CheckBothSeparators(&zev::zev_nt::ParseReply, c);
}

// The 4001 class takes a reply only when every byte stands where the model's
// layout allows it: bytes in front or a byte lost shift the frame out of it.
TEST(WholeFrame, EveryByteWhereTheLayoutAllowsIt) {
  const struct {
    bool (*whole)(std::string_view);
    const char* reply;  // hex
    bool expected;
  } cases[] = {
      {&zev::zev_u::WholeFrame, "20 20 31 2E 32 35 30 20 6B 67 20 20 0D 0A", true},
      {&zev::zev_u::WholeFrame, "20 20 61 62 63 20 6B 67 20 20 0D 0A", false},       // 12 bytes
      {&zev::zev_u::WholeFrame, "20 20 61 62 63 20 6B 67 20 20 20 20 0D 0A", true},  // read later
      {&zev::zev_u::WholeFrame, "0A 20 20 31 2E 32 35 30 20 6B 67 20 20 0D", false},
      {&zev::zev_u::WholeFrame, "20 20 31 2E 32 35 30 20 6B 67 20 23 0D 0A", false},
      {&zev::zev_u::WholeFrame, "20 20 31 0D 32 35 30 20 6B 67 20 20 0D 0A", false},
      {&zev::zev_aw::WholeFrame, "35 34 33 32 31 30 30 30 30 30 30 30 2D 20 20 20 0D 0A", true},
      {&zev::zev_aw::WholeFrame, "31 00 x17", true},
      {&zev::zev_aw::WholeFrame, "30 x18", true},
      {&zev::zev_aw::WholeFrame, "0D 0A 34 33 32 31 30 30 30 30 30 30 30 20 20 20 20 0D", false},
      {&zev::zev_aw::WholeFrame, "35 34 33 32 31 20 30 30 30 30 30 30 2D 20 20 20 0D 0A", false},
      {&zev::zev_aw::WholeFrame, "35 34 33 32 31 30 30 30 30 30 30 30 2D 2D 20 20 0D 0A", false},
      {&zev::zev_nt::WholeFrame, "30 35 32 37 30 30 FF x12", true},
      {&zev::zev_nt::WholeFrame, "0A 36 35 34 33 32 31 20 20 20 6B 67 20 x5 0D", false},
      {&zev::zev_nt::WholeFrame, "20 35 34 33 32 31 20 x12", false},
      {&zev::zev_nt::WholeFrame, "30 x17", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.whole(Hex(c.reply)), c.expected) << c.reply;
}

TEST(Telnet, CommandsAreRefusedAndTakenOutOfTheData) {
  const struct {
    std::vector<const char*> pieces;  // hex, as they arrive
    const char* data;                 // hex
    const char* answers;              // hex
  } cases[] = {
      {{"35 34 0D 0A"}, "35 34 0D 0A", ""},
      {{"30 FF FF FF FF 31"}, "30 FF FF 31", ""},  // FF doubled is one data byte
      {{"FF FB 01 FF FB 03 35"}, "35", "FF FE 01 FF FE 03"},
      {{"FF FD 00 FF FE 01 FF FC 03"}, "", "FF FC 00"},     // refusals need no answer
      {{"FF FA 2C 01 FF FF 02 FF F0 36"}, "36", ""},        // a subnegotiation, FF inside
      {{"35 FF", "FB", "01 36"}, "35 36", "FF FE 01"},      // cut between reads
      {{"FF FD 18 FF FD 18", "FF FD 18"}, "", "FF FC 18"},  // asked again: answered once
      {{"FF F1 37 FF F9"}, "37", ""},                       // NOP, GA
  };
  for (const auto& c : cases) {
    zev::scales::TTelnet telnet;
    std::string data, answers, seen;
    for (const char* piece : c.pieces) {
      std::string bytes = Hex(piece);
      data.append(bytes.data(), telnet.Filter(bytes.data(), bytes.size(), answers, seen));
    }
    EXPECT_EQ(data, Hex(c.data)) << c.pieces.front();
    EXPECT_EQ(answers, Hex(c.answers)) << c.pieces.front();
  }
  EXPECT_EQ(zev::scales::TTelnet::Escape(Hex("30 FF 31")), Hex("30 FF FF 31"));
  EXPECT_TRUE(zev::scales::TTelnet::Opens(Hex("FF FB 01")));
  EXPECT_FALSE(zev::scales::TTelnet::Opens(Hex("FF FF 01")));
  EXPECT_FALSE(zev::scales::TTelnet::Opens(Hex("35 FF FB")));
}

}  // namespace

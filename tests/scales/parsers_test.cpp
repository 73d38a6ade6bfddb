// The three reply checks and the whole-frame rules, as pure functions of the
// reply bytes; Telnet as a converter speaks it, and its serial-port control
// (RFC 2217) as the driver speaks it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TRfc2217.h"
#include "TTelnet.h"
#include "models.h"
#include "zev_aw.h"
#include "zev_nt.h"
#include "zev_u.h"

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

TEST(Telnet, WantedOptionsAreAgreedOnceAndTheirSubnegotiationsKept) {
  using Side = zev::scales::TTelnet::Side;
  struct Case {
    const char* received;  // hex, after the driver's WILL 44, WILL 0, DO 0
    const char* answers;   // hex
    bool comPort, binaryOurs, binaryTheirs, comPortDeclined;
    std::vector<const char*> subs;  // hex
  } cases[] = {
      // ser2net: DO BINARY, WILL BINARY, DO COM-PORT-OPTION agree to the requests.
      {"FF FB 03 FF FD 00 FF FB 00 FF FD 2C", "FF FE 03", true, true, true, false, {}},
      {"FF FE 2C FF FC 00", "", false, false, false, true, {}},  // refused: no answer
      // Agreed, then turned off: acknowledged.
      {"FF FD 2C FF FE 2C", "FF FC 2C", false, false, false, false, {}},
      // A subnegotiation of the option, FF FF inside as FF; another option's dropped.
      {"FF FD 2C FF FA 2C 65 FF FF FF F0 FF FA 18 01 FF F0",
       "",
       true,
       false,
       false,
       false,
       {"2C 65 FF"}},
      // Too long to be an answer: dropped, and the stream goes on.
      {"FF FA 2C 65 00 x80 FF F0 FF FA 2C 70 03 FF F0",
       "",
       false,
       false,
       false,
       false,
       {"2C 70 03"}},
  };
  for (const Case& c : cases) {
    zev::scales::TTelnet telnet;
    const std::string requests = telnet.Request(Side::Ours, 44) + telnet.Request(Side::Ours, 0) +
                                 telnet.Request(Side::Theirs, 0);
    EXPECT_EQ(requests, Hex("FF FB 2C FF FB 00 FF FD 00"));
    std::string bytes = Hex(c.received), answers, seen;
    EXPECT_EQ(telnet.Filter(bytes.data(), bytes.size(), answers, seen), 0u) << c.received;
    EXPECT_EQ(answers, Hex(c.answers)) << c.received;
    EXPECT_EQ(telnet.On(Side::Ours, 44), c.comPort) << c.received;
    EXPECT_EQ(telnet.On(Side::Ours, 0), c.binaryOurs) << c.received;
    EXPECT_EQ(telnet.On(Side::Theirs, 0), c.binaryTheirs) << c.received;
    EXPECT_EQ(telnet.Declined(Side::Ours, 44), c.comPortDeclined) << c.received;
    std::vector<std::string> subs;
    for (const char* sub : c.subs) subs.push_back(Hex(sub));
    EXPECT_EQ(telnet.TakeSubnegotiations(), subs) << c.received;
  }
}

TEST(Rfc2217, RequestsSetTheModelsLineAndAnswersDecideWhetherItIsKept) {
  const zev::scales::ModelRow& u = *zev::scales::FindModel(std::string_view("ZEV-U"));
  const zev::scales::ModelRow& aw = *zev::scales::FindModel(std::string_view("ZEV-AW"));
  // Baud 4800 (00 00 12 C0), 8 bits, parity odd (2), stop 1, no flow control
  // both ways, DTR on, RTS on.
  EXPECT_EQ(zev::scales::TRfc2217(aw.line).Requests(),
            Hex("FF FA 2C 01 00 00 12 C0 FF F0 FF FA 2C 02 08 FF F0 FF FA 2C 03 02 FF F0 "
                "FF FA 2C 04 01 FF F0 FF FA 2C 05 01 FF F0 FF FA 2C 05 0E FF F0 "
                "FF FA 2C 05 08 FF F0 FF FA 2C 05 0B FF F0"));
  EXPECT_EQ(zev::scales::TRfc2217::PurgeRequest(), Hex("FF FA 2C 0C 03 FF F0"));
  struct Case {
    const zev::scales::ModelRow& model;
    std::vector<const char*> answers;  // hex, each after 2C
    const char* refusal;               // empty: the line was taken
    const char* firstWords;
  } cases[] = {
      {u,
       {"65 00 00 12 C0", "66 08", "67 01", "68 01"},
       "",
       "set baud 4800: converter answered 4800"},
      {aw,
       {"65 00 00 12 C0", "66 08", "67 01", "68 01"},
       "the converter kept 4800 8N1: parity odd refused",
       "set baud 4800: converter answered 4800"},
      {aw,
       {"65 00 00 25 80", "66 07", "67 02", "68 02"},
       "the converter kept 9600 7O2: baud 4800, data size 8, stop size 1 refused",
       "set baud 4800: converter answered 9600"},
      // Unanswered settings, and answers that say nothing of them.
      {u,
       {"65 00", "66", "01 02", "6A 01"},
       "the converter kept ? ???: baud 4800, data size 8, "
       "parity none, stop size 1 refused",
       "converter answer 101 malformed: ignored"},
  };
  for (const Case& c : cases) {
    zev::scales::TRfc2217 control(c.model.line);
    std::string first;
    for (const char* answer : c.answers) {
      const std::string words = control.Take(Hex("2C") + Hex(answer));
      if (first.empty()) first = words;
    }
    EXPECT_EQ(first, c.firstWords);
    EXPECT_EQ(control.Refusal().value_or(""), c.refusal);
    EXPECT_EQ(control.Settled(), std::string(c.refusal).find('?') == std::string::npos);
  }
  zev::scales::TRfc2217 control(u.line);
  EXPECT_EQ(control.Take(Hex("2C 70 03")), "");
  EXPECT_EQ(control.Purges(), 1);
}

}  // namespace

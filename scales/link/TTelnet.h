// Telnet as a converter in Telnet mode speaks it in front of a serial line:
// commands (IAC, byte FF, then a verb) mixed into the data, a data byte FF
// sent as FF FF. The driver wants no option of the converter's: it refuses
// every one it is offered and keeps the line's bytes as they are.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zev::scales {

class TTelnet {
 public:
  // Takes the bytes received and keeps the data among them at the front of
  // `bytes`; returns their count. The answers to the converter's requests are
  // appended to `answers`, the commands seen to `seen` in words ("WILL ECHO").
  // A command cut between two calls is taken up where it was left.
  size_t Filter(char* bytes, size_t count, std::string& answers, std::string& seen);
  // Data bytes as they go out on a Telnet connection: each FF doubled.
  static std::string Escape(std::string_view data);
  // True when `bytes` begin with a negotiation (IAC and WILL, WONT, DO, DONT
  // or SB): the converter speaks Telnet.
  static bool Opens(std::string_view bytes);
  // The verb of a negotiation in words, "WILL" for FB; null for other bytes.
  static const char* VerbName(uint8_t verb);
  // An option in words ("ECHO"), or "OPTION-<n>" for one without a name here.
  static std::string OptionName(uint8_t option);

 private:
  enum class State : uint8_t { Data, Command, Option, Sub, SubCommand };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  // Options already refused, WILL and DO apart: a converter that asks again
  // and again is answered once, so the two never loop.
  std::bitset<256> refusedWill_, refusedDo_;
};

}  // namespace zev::scales

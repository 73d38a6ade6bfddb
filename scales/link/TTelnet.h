// Telnet as a converter in Telnet mode speaks it in front of a serial line:
// commands (IAC, byte FF, then a verb) mixed into the data, a data byte FF
// sent as FF FF. The driver refuses every option it is offered unless it
// wants it (binary transmission and the serial-port control of RFC 2217 on a
// connection that sets the converter's line), and keeps the line's bytes as
// they are.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

  static constexpr uint8_t kBinary = 0;
  static constexpr uint8_t kComPort = 44;

  // Which end of the connection an option works on: Ours is the driver's
  // (it says WILL, the converter DO), Theirs the converter's.
  enum class Side : uint8_t { Ours, Theirs };
  // The option on `side` is taken when the converter offers or asks for it,
  // not refused; its subnegotiations are kept (TakeSubnegotiations).
  void Want(Side side, uint8_t option);
  // The request that turns a wanted option on (IAC WILL or IAC DO), sent by
  // the caller; the converter's agreement is then not answered again.
  std::string Request(Side side, uint8_t option);
  // The option is on, both ends agreed.
  bool On(Side side, uint8_t option) const { return state_of(side)[option] == Agreement::Yes; }
  // The converter refused the option when it was requested.
  bool Declined(Side side, uint8_t option) const {
    return (side == Side::Ours ? declinedOurs_ : declinedTheirs_).test(option);
  }
  // The subnegotiations of wanted options received since the last call, each
  // the option byte and its parameters (FF FF taken as FF), in order. A
  // subnegotiation longer than kSubMost is dropped, and so are those beyond
  // kSubsKept waiting.
  std::vector<std::string> TakeSubnegotiations();
  static constexpr size_t kSubMost = 64;
  static constexpr size_t kSubsKept = 32;

 private:
  enum class State : uint8_t { Data, Command, Option, SubOption, Sub, SubCommand };
  enum class Agreement : uint8_t { No, Asked, Yes };
  using Agreements = std::array<Agreement, 256>;

  const Agreements& state_of(Side side) const { return side == Side::Ours ? ours_ : theirs_; }
  // One negotiation received (verb and option); its answer, if any, appended.
  void Negotiate(uint8_t verb, uint8_t option, std::string& answers);
  void EndSub();

  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::bitset<256> wantOurs_, wantTheirs_, declinedOurs_, declinedTheirs_;
  Agreements ours_{}, theirs_{};
  std::string sub_;  // the subnegotiation under way, option byte first
  bool subKept_ = false;
  std::vector<std::string> subs_;
  // Options already refused, WILL and DO apart: a converter that asks again
  // and again is answered once, so the two never loop.
  std::bitset<256> refusedWill_, refusedDo_;
};

}  // namespace zev::scales

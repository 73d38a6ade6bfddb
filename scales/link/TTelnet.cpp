#include "TTelnet.h"

namespace zev::scales {
namespace {

constexpr uint8_t kIac = 0xFF;
constexpr uint8_t kWill = 0xFB;
constexpr uint8_t kWont = 0xFC;
constexpr uint8_t kDo = 0xFD;
constexpr uint8_t kDont = 0xFE;
constexpr uint8_t kSb = 0xFA;
constexpr uint8_t kSe = 0xF0;

}  // namespace

std::string TTelnet::OptionName(uint8_t option) {
  switch (option) {
    case 0:
      return "BINARY";
    case 1:
      return "ECHO";
    case 3:
      return "SUPPRESS-GO-AHEAD";
    case 5:
      return "STATUS";
    case 6:
      return "TIMING-MARK";
    case 24:
      return "TERMINAL-TYPE";
    case 31:
      return "NAWS";
    case 32:
      return "TERMINAL-SPEED";
    case 33:
      return "TOGGLE-FLOW-CONTROL";
    case 34:
      return "LINEMODE";
    case 36:
      return "ENVIRON";
    case 39:
      return "NEW-ENVIRON";
    case 44:
      return "COM-PORT-OPTION";
  }
  return "OPTION-" + std::to_string(option);
}

const char* TTelnet::VerbName(uint8_t verb) {
  switch (verb) {
    case kWill:
      return "WILL";
    case kWont:
      return "WONT";
    case kDo:
      return "DO";
    case kDont:
      return "DONT";
    case kSb:
      return "SB";
    default:
      return nullptr;
  }
}

bool TTelnet::Opens(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == kIac &&
         static_cast<uint8_t>(bytes[1]) >= kSb && static_cast<uint8_t>(bytes[1]) != kIac;
}

std::string TTelnet::Escape(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  for (const char c : data) {
    out += c;
    if (static_cast<uint8_t>(c) == kIac) out += c;
  }
  return out;
}

void TTelnet::Want(Side side, uint8_t option) {
  (side == Side::Ours ? wantOurs_ : wantTheirs_).set(option);
}

std::string TTelnet::Request(Side side, uint8_t option) {
  Want(side, option);
  Agreement& a = (side == Side::Ours ? ours_ : theirs_)[option];
  if (a != Agreement::No) return std::string();
  a = Agreement::Asked;
  const char bytes[] = {static_cast<char>(kIac),
                        static_cast<char>(side == Side::Ours ? kWill : kDo),
                        static_cast<char>(option)};
  return std::string(bytes, sizeof bytes);
}

std::vector<std::string> TTelnet::TakeSubnegotiations() {
  std::vector<std::string> taken;
  taken.swap(subs_);
  return taken;
}

void TTelnet::Negotiate(uint8_t verb, uint8_t option, std::string& answers) {
  // WILL and WONT are about the converter's end, DO and DONT about ours.
  const bool theirs = verb == kWill || verb == kWont;
  const bool on = verb == kWill || verb == kDo;
  const bool wanted = (theirs ? wantTheirs_ : wantOurs_).test(option);
  Agreement& a = (theirs ? theirs_ : ours_)[option];
  auto answer = [&](uint8_t reply) {
    answers += static_cast<char>(kIac);
    answers += static_cast<char>(reply);
    answers += static_cast<char>(option);
  };
  if (on && wanted) {
    // Agreed: answered unless it agrees to our own request, or is on already.
    if (a == Agreement::No) answer(theirs ? kDo : kWill);
    a = Agreement::Yes;
  } else if (on) {
    // Every other option offered or asked for is refused, once.
    auto& refused = theirs ? refusedWill_ : refusedDo_;
    if (!refused.test(option)) {
      refused.set(option);
      answer(theirs ? kDont : kWont);
    }
  } else {
    // Turned off: acknowledged when it was on; a refusal of our request
    // needs no answer. A refusal of what was never on needs none either.
    if (a == Agreement::Yes) answer(theirs ? kDont : kWont);
    if (a == Agreement::Asked) (theirs ? declinedTheirs_ : declinedOurs_).set(option);
    a = Agreement::No;
  }
}

void TTelnet::EndSub() {
  if (subKept_ && sub_.size() <= kSubMost && subs_.size() < kSubsKept) subs_.push_back(sub_);
  sub_.clear();
  subKept_ = false;
}

size_t TTelnet::Filter(char* bytes, size_t count, std::string& answers, std::string& seen) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = static_cast<uint8_t>(bytes[i]);
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Command;
        } else {
          bytes[kept++] = static_cast<char>(b);
        }
        break;
      case State::Command:
        if (b == kIac) {  // FF FF: one data byte FF
          bytes[kept++] = static_cast<char>(b);
          state_ = State::Data;
        } else if (b == kSb) {
          if (!seen.empty()) seen += ", ";
          seen += "SB";
          state_ = State::SubOption;
        } else if (b >= kWill) {
          verb_ = b;
          state_ = State::Option;
        } else {  // a command of two bytes (NOP, GA, ...): nothing to keep
          state_ = State::Data;
        }
        break;
      case State::Option:
        if (!seen.empty()) seen += ", ";
        seen += std::string(VerbName(verb_)) + " " + OptionName(b);
        Negotiate(verb_, b, answers);
        state_ = State::Data;
        break;
      case State::SubOption:
        sub_.assign(1, static_cast<char>(b));
        subKept_ = wantOurs_.test(b) || wantTheirs_.test(b);
        state_ = b == kIac ? State::SubCommand : State::Sub;
        break;
      case State::Sub:
        if (b == kIac) {
          state_ = State::SubCommand;
        } else if (sub_.size() <= kSubMost) {
          sub_ += static_cast<char>(b);
        }
        break;
      case State::SubCommand:
        if (b == kSe) {
          EndSub();
          state_ = State::Data;
        } else {
          if (b == kIac && sub_.size() <= kSubMost) sub_ += static_cast<char>(b);
          state_ = State::Sub;
        }
        break;
    }
  }
  return kept;
}

}  // namespace zev::scales

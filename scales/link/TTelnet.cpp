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
          state_ = State::Sub;
        } else if (b >= kWill) {
          verb_ = b;
          state_ = State::Option;
        } else {  // a command of two bytes (NOP, GA, ...): nothing to keep
          state_ = State::Data;
        }
        break;
      case State::Option: {
        if (!seen.empty()) seen += ", ";
        seen += std::string(VerbName(verb_)) + " " + OptionName(b);
        // Every option offered or asked for is refused; a refusal needs no answer.
        if (verb_ == kWill || verb_ == kDo) {
          auto& refused = verb_ == kWill ? refusedWill_ : refusedDo_;
          if (!refused.test(b)) {
            refused.set(b);
            answers += static_cast<char>(kIac);
            answers += static_cast<char>(verb_ == kWill ? kDont : kWont);
            answers += static_cast<char>(b);
          }
        }
        state_ = State::Data;
        break;
      }
      case State::Sub:
        if (b == kIac) state_ = State::SubCommand;
        break;
      case State::SubCommand:
        state_ = b == kSe ? State::Data : State::Sub;
        break;
    }
  }
  return kept;
}

}  // namespace zev::scales

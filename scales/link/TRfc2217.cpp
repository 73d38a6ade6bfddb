#include "TRfc2217.h"

#include "TTelnet.h"

namespace zev::scales {
namespace {

constexpr char kIac = '\xFF';
constexpr char kSb = '\xFA';
constexpr char kSe = '\xF0';

// Parity as RFC 2217 numbers it.
constexpr uint8_t kParityNone = 1, kParityOdd = 2;

std::string Request(uint8_t code, std::string_view value) {
  std::string out{kIac, kSb, static_cast<char>(TTelnet::kComPort), static_cast<char>(code)};
  out += TTelnet::Escape(value);
  out += kIac;
  out += kSe;
  return out;
}

std::string Byte(uint8_t value) {
  return std::string(1, static_cast<char>(value));
}

uint8_t ParityCode(platform::Parity parity) {
  return parity == platform::Parity::Odd ? kParityOdd : kParityNone;
}

const char* ParityWord(uint8_t code) {
  static const char* const kWords[] = {"?", "none", "odd", "even", "mark", "space"};
  return code < 6 ? kWords[code] : "?";
}

char ParityLetter(uint8_t code) {
  return code < 6 ? "?NOEMS"[code] : '?';
}

std::string StopWord(uint8_t code) {
  switch (code) {
    case 1:
      return "1";
    case 2:
      return "2";
    case 3:
      return "1.5";
  }
  return "?";
}

std::string ControlWord(uint8_t value) {
  switch (value) {
    case 1:
      return "no flow control";
    case 2:
      return "XON/XOFF flow control";
    case 3:
      return "hardware flow control";
    case 8:
      return "DTR on";
    case 9:
      return "DTR off";
    case 11:
      return "RTS on";
    case 12:
      return "RTS off";
    case 14:
      return "no inbound flow control";
    case 15:
      return "XON/XOFF inbound flow control";
    case 16:
      return "hardware inbound flow control";
  }
  return "control value " + std::to_string(value);
}

std::string Hex(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[value >> 4], kDigits[value & 15]};
}

}  // namespace

std::string TRfc2217::Requests() const {
  const uint32_t baud = line_.baudRate;
  const char rate[] = {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                       static_cast<char>(baud >> 8), static_cast<char>(baud)};
  const uint8_t stop = line_.stopBits == 2 ? 2 : 1;
  return Request(kSetBaudRate, std::string_view(rate, sizeof rate)) +
         Request(kSetDataSize, Byte(line_.dataBits)) +
         Request(kSetParity, Byte(ParityCode(line_.parity))) + Request(kSetStopSize, Byte(stop)) +
         Request(kSetControl, Byte(kNoFlowControl)) + Request(kSetControl, Byte(kInboundNoFlow)) +
         Request(kSetControl, Byte(kDtrOn)) + Request(kSetControl, Byte(kRtsOn));
}

std::string TRfc2217::PurgeRequest() {
  return Request(kPurgeData, Byte(kPurgeBoth));
}

std::string TRfc2217::Take(std::string_view sub) {
  if (sub.size() < 2 || static_cast<uint8_t>(sub[0]) != TTelnet::kComPort) return std::string();
  const uint8_t code = static_cast<uint8_t>(sub[1]);
  const std::string_view value = sub.substr(2);
  if (code < kAnswer) return "converter sent command " + std::to_string(code) + ": ignored";
  if (code == kAnswer + kSignature) {
    std::string text(value);
    for (char& c : text) {
      if (static_cast<uint8_t>(c) < 0x20 || static_cast<uint8_t>(c) >= 0x7F) c = '.';
    }
    return "converter signature: " + text;
  }
  const bool baud = code == kAnswer + kSetBaudRate;
  if (value.size() != (baud ? 4u : 1u))
    return "converter answer " + std::to_string(code) + " malformed: ignored";
  if (baud) {
    uint32_t rate = 0;
    for (const char c : value) rate = (rate << 8) | static_cast<uint8_t>(c);
    baud_ = rate;
    return "set baud " + std::to_string(line_.baudRate) + ": converter answered " +
           std::to_string(rate);
  }
  const uint8_t v = static_cast<uint8_t>(value[0]);
  switch (code) {
    case kAnswer + kSetDataSize:
      dataSize_ = v;
      return "set data size " + std::to_string(line_.dataBits) + ": converter answered " +
             std::to_string(v);
    case kAnswer + kSetParity:
      parity_ = v;
      return std::string("set parity ") + ParityWord(ParityCode(line_.parity)) +
             ": converter answered " + ParityWord(v);
    case kAnswer + kSetStopSize:
      stopSize_ = v;
      return "set stop size " + std::to_string(line_.stopBits) + ": converter answered " +
             StopWord(v);
    case kAnswer + kSetControl:
      return "set control: converter answered " + ControlWord(v);
    case kAnswer + kNotifyLineState:
      return "converter line state " + Hex(v);
    case kAnswer + kNotifyModemState:
      return "converter modem state " + Hex(v);
    case kAnswer + kFlowSuspend:
      return "converter asks to suspend data: ignored";
    case kAnswer + kFlowResume:
      return "converter resumes data";
    case kAnswer + kPurgeData:
      ++purges_;
      return std::string();
  }
  return "converter answer " + std::to_string(code) + ": ignored";
}

std::string TRfc2217::KeptText() const {
  std::string text = baud_ ? std::to_string(*baud_) : std::string("?");
  text += ' ';
  text += dataSize_ ? std::to_string(*dataSize_) : std::string("?");
  text += parity_ ? ParityLetter(*parity_) : '?';
  text += stopSize_ ? StopWord(*stopSize_) : std::string("?");
  return text;
}

std::optional<std::string> TRfc2217::Refusal() const {
  std::string refused;
  auto check = [&refused](bool same, const std::string& asked) {
    if (same) return;
    if (!refused.empty()) refused += ", ";
    refused += asked;
  };
  check(baud_ == line_.baudRate, "baud " + std::to_string(line_.baudRate));
  check(dataSize_ == line_.dataBits, "data size " + std::to_string(line_.dataBits));
  check(parity_ == ParityCode(line_.parity),
        std::string("parity ") + ParityWord(ParityCode(line_.parity)));
  check(stopSize_ == (line_.stopBits == 2 ? 2 : 1), "stop size " + std::to_string(line_.stopBits));
  if (refused.empty()) return std::nullopt;
  return "the converter kept " + KeptText() + ": " + refused + " refused";
}

}  // namespace zev::scales

// Telnet with wanted options (COM-PORT-OPTION ours, binary transmission both
// ways) and the serial-port control's answers on arbitrary bytes, cut into
// arbitrary pieces: never a crash; what is kept as data is no more than came;
// each answer is one negotiation, an agreement only to a wanted option; every
// subnegotiation kept is a wanted option's and within its bound; the answers
// read back in words, and a converter that answered every setting with the
// one asked for is never refused. Then a converter that answers exactly what
// the requests asked (a baud rate from the input, FF bytes doubled) is read
// back as having taken the line, through the same arbitrary cuts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "TRfc2217.h"
#include "TTelnet.h"
#include "models.h"

namespace {

using zev::scales::TRfc2217;
using zev::scales::TTelnet;

constexpr uint8_t kIac = 0xFF, kSb = 0xFA, kWill = 0xFB, kDo = 0xFD;

// A Telnet end as the port sets it up for an RFC 2217 converter.
TTelnet Wanting() {
  TTelnet telnet;
  telnet.Want(TTelnet::Side::Ours, TTelnet::kComPort);
  telnet.Request(TTelnet::Side::Ours, TTelnet::kComPort);
  telnet.Request(TTelnet::Side::Ours, TTelnet::kBinary);
  telnet.Request(TTelnet::Side::Theirs, TTelnet::kBinary);
  return telnet;
}

void CheckAnswers(const std::string& answers) {
  if (answers.size() % 3 != 0) std::abort();
  for (size_t i = 0; i < answers.size(); i += 3) {
    const uint8_t verb = static_cast<uint8_t>(answers[i + 1]);
    const uint8_t option = static_cast<uint8_t>(answers[i + 2]);
    if (static_cast<uint8_t>(answers[i]) != kIac || verb < kWill) std::abort();
    // WILL agrees to work an option on our end, DO on the converter's: only
    // to what is wanted there.
    if (verb == kWill && option != TTelnet::kComPort && option != TTelnet::kBinary) std::abort();
    if (verb == kDo && option != TTelnet::kBinary) std::abort();
  }
}

// Feeds `bytes` in pieces whose sizes come from `cuts` (1 to 16 each) and
// gives each kept subnegotiation to `control`; returns the data kept.
std::string Feed(TTelnet& telnet, TRfc2217& control, std::string bytes, std::string_view cuts) {
  std::string data;
  size_t at = 0, cut = 0;
  while (at < bytes.size()) {
    const size_t piece =
        cuts.empty() ? bytes.size() : 1 + static_cast<uint8_t>(cuts[cut++ % cuts.size()]) % 16;
    const size_t n = std::min(piece, bytes.size() - at);
    std::string answers, seen;
    const size_t kept = telnet.Filter(bytes.data() + at, n, answers, seen);
    if (kept > n) std::abort();
    CheckAnswers(answers);
    data.append(bytes.data() + at, kept);
    const std::vector<std::string> subs = telnet.TakeSubnegotiations();
    if (subs.size() > TTelnet::kSubsKept) std::abort();
    for (const std::string& sub : subs) {
      if (sub.empty() || sub.size() > TTelnet::kSubMost) std::abort();
      const uint8_t option = static_cast<uint8_t>(sub[0]);
      if (option != TTelnet::kComPort && option != TTelnet::kBinary) std::abort();
      control.Take(sub);
    }
    at += n;
  }
  return data;
}

// What a converter that takes the line sends back for `requests`: each of
// its subnegotiations with the command's code raised to the answer's.
std::string Echoed(const std::string& requests) {
  std::string out = requests;
  size_t i = 0;
  while (i + 1 < out.size()) {
    if (static_cast<uint8_t>(out[i]) != kIac) {
      ++i;
    } else if (static_cast<uint8_t>(out[i + 1]) == kSb && i + 3 < out.size() &&
               static_cast<uint8_t>(out[i + 2]) == TTelnet::kComPort) {
      out[i + 3] = static_cast<char>(static_cast<uint8_t>(out[i + 3]) + TRfc2217::kAnswer);
      i += 4;
    } else {
      i += 2;  // IAC IAC (a value's FF), IAC SE
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  // The first byte picks the line, the next four its baud rate; the rest,
  // split at its middle, is the converter's bytes and the pieces' sizes.
  zev::scales::LineSettings line;
  line.parity = (data[0] & 1) != 0 ? zev::platform::Parity::Odd : zev::platform::Parity::None;
  line.stopBits = (data[0] & 2) != 0 ? 2 : 1;
  line.dataBits = static_cast<uint8_t>(5 + (data[0] >> 2) % 4);
  line.baudRate = static_cast<uint32_t>(data[1]) << 24 | static_cast<uint32_t>(data[2]) << 16 |
                  static_cast<uint32_t>(data[3]) << 8 | data[4];
  const std::string_view rest(reinterpret_cast<const char*>(data) + 5, size - 5);
  const std::string_view bytes = rest.substr(0, rest.size() / 2 + rest.size() % 2);
  const std::string_view cuts = rest.substr(bytes.size());

  TTelnet telnet = Wanting();
  TRfc2217 control(line);
  const std::string kept = Feed(telnet, control, std::string(bytes), cuts);
  if (kept.size() > bytes.size()) std::abort();
  const auto refusal = control.Refusal();
  if (!refusal && !control.Settled()) std::abort();
  if (refusal && refusal->find(control.KeptText()) == std::string::npos) std::abort();

  // A converter that answers every request with the value asked for.
  TTelnet agreeing = Wanting();
  TRfc2217 taken(line);
  const std::string echoed = Echoed(TRfc2217(line).Requests());
  if (!Feed(agreeing, taken, echoed, cuts).empty()) std::abort();
  if (!taken.Settled() || taken.Refusal()) std::abort();
  return 0;
}

// The serial-port control of RFC 2217 (Telnet option COM-PORT-OPTION, 44) as
// the driver speaks it to a converter: the requests that set the converter's
// line to a model's settings, and the converter's answers read back, so that
// a converter that keeps other settings is told before a weighing reads
// garbage. Bytes only: the connection is the port's (TPort.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "models.h"

namespace zev::scales {

class TRfc2217 {
 public:
  // The client's commands; the converter answers each with its code + 100.
  enum Code : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowSuspend = 8,
    kFlowResume = 9,
    kPurgeData = 12,
    kAnswer = 100,
  };
  // SET-CONTROL's values that the driver sends.
  static constexpr uint8_t kNoFlowControl = 1, kDtrOn = 8, kRtsOn = 11, kInboundNoFlow = 14;
  // PURGE-DATA's value: both of the converter's buffers.
  static constexpr uint8_t kPurgeBoth = 3;

  explicit TRfc2217(const LineSettings& line) : line_(line) {}

  // The requests that set the line: baud rate, data size, parity, stop size,
  // no flow control either way, DTR and RTS on, as on a local port. Each is
  // IAC SB 44 ... IAC SE, a value's byte FF doubled.
  std::string Requests() const;
  // The request that discards what waits in the converter's buffers.
  static std::string PurgeRequest();

  // Takes one subnegotiation of the option from the converter (the option
  // byte 44 first, as TTelnet keeps it) and returns it in words for the trace
  // ("set baud 4800: converter answered 4800"); empty for one that says
  // nothing of use. Any bytes are safe.
  std::string Take(std::string_view sub);

  // The four settings have all been answered.
  bool Settled() const { return baud_ && dataSize_ && parity_ && stopSize_; }
  // The converter's answers to PURGE-DATA so far.
  int Purges() const { return purges_; }
  // Why the line cannot be used as the converter keeps it, in English
  // ("the converter kept 9600 8N1: parity odd refused"); none when every
  // setting was answered with the one asked for.
  std::optional<std::string> Refusal() const;
  // The line as the converter answered it ("9600 8N1", "?" for a setting it
  // did not answer).
  std::string KeptText() const;

 private:
  LineSettings line_;
  std::optional<uint32_t> baud_;
  std::optional<uint8_t> dataSize_, parity_, stopSize_;
  int purges_ = 0;
};

}  // namespace zev::scales

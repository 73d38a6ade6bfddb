// The time-outs of one read or write attempt (SerialTimeouts, the Windows
// meaning) as times and deadlines on the monotonic clock, for every backend.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::platform {

// The total time-out of reading `size` bytes, in milliseconds.
inline int64_t ReadTotalMillis(const SerialTimeouts& t, size_t size) {
  return int64_t{t.readTotalMultiplier} * static_cast<int64_t>(size) + t.readTotalConstant;
}

// The deadline of writing `size` bytes from now.
inline MonoTime WriteDeadline(const SerialTimeouts& t, size_t size) {
  return Now() + Millis(int64_t{t.writeTotalMultiplier} * static_cast<int64_t>(size) +
                        t.writeTotalConstant);
}

// The deadlines of one read attempt: the total one from its start and, once
// a byte came, the interval one after the last byte while that comes first.
class ReadDeadlines {
 public:
  ReadDeadlines(const SerialTimeouts& t, size_t size)
      : interval_(t.readInterval), total_(lastByte_ + Millis(ReadTotalMillis(t, size))) {}

  // Bytes came just now.
  void Arrived() { lastByte_ = Now(); }

  // The deadline of the next wait once `received` bytes came; `interval`
  // tells whether it is the interval one.
  MonoTime Next(size_t received, bool& interval) const {
    interval = received > 0 && interval_ != 0 && lastByte_ + Millis(interval_) < total_;
    return interval ? lastByte_ + Millis(interval_) : total_;
  }

 private:
  MonoTime lastByte_ = Now();  // the start until a byte comes
  uint32_t interval_;
  MonoTime total_;
};

}  // namespace zev::platform

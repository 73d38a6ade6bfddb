// Monotonic time for deadlines and time-outs: never the wall clock, so a clock
// change can neither cut a wait short nor stretch it.
#pragma once

#include <chrono>
#include <cstdint>

namespace zev::platform {

using MonoClock = std::chrono::steady_clock;
using MonoTime = MonoClock::time_point;
using Millis = std::chrono::milliseconds;

inline MonoTime Now() {
  return MonoClock::now();
}

// Whole milliseconds from `from` to `to`, rounded toward zero (negative when `to` is earlier).
inline int64_t MillisBetween(MonoTime from, MonoTime to) {
  return std::chrono::duration_cast<Millis>(to - from).count();
}

// Milliseconds left until `deadline`, rounded up, never negative.
inline int64_t MillisUntil(MonoTime deadline, MonoTime now = Now()) {
  if (deadline <= now) return 0;
  return std::chrono::ceil<Millis>(deadline - now).count();
}

}  // namespace zev::platform

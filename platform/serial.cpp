// What every serial backend shares.
#include "zev/platform/serial.h"

namespace zev::platform {

ReadResult SerialPort::ReadWithin(void* buffer, size_t size, uint32_t ms) {
  SerialTimeouts within;
  within.readInterval = 0;
  within.readTotalMultiplier = 0;
  within.readTotalConstant = ms;
  return ReadAttempt(buffer, size, within);
}

}  // namespace zev::platform

// Waiting and reading on a non-blocking descriptor with poll() on the
// monotonic clock, shared by the serial and TCP backends of POSIX systems.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "zev/platform/clock.h"
#include "zev/platform/serial.h"

namespace zev::platform::posix {

// Waits until `fd` is ready for `events` or the monotonic clock reaches
// `deadline`. A signal only shortens one poll(): the next one waits for what
// is left. Returns the poll revents, 0 on time-out, -1 on error.
int WaitFor(int fd, short events, MonoTime deadline);

// One read attempt with the Windows time-out semantics: it ends when `size`
// bytes arrived, when the total time-out for `size` bytes passed, or when the
// interval time-out passed after a byte (`byInterval`). `receive` reads like
// read(2). When the descriptor reports its end (0 bytes) or an error,
// `*ended` is set to 0 or to that errno (it stays -1 otherwise); the bytes
// that came before stay the attempt's. `hangupEnds`: a hang-up or an error
// event without data ends the attempt (a serial line gone).
ReadResult ReadAttempt(int fd, void* buffer, size_t size, const SerialTimeouts& timeouts,
                       ssize_t (*receive)(int fd, void* buffer, size_t size), bool hangupEnds,
                       int* ended);

}  // namespace zev::platform::posix

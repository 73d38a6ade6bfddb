#include "poll_posix.h"

#include "timeouts.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace zev::platform::posix {

int WaitFor(int fd, short events, MonoTime deadline) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int64_t left = MillisUntil(deadline);
    if (left <= 0) return 0;
    const int rc = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 60000)));
    if (rc > 0) return p.revents;
    if (rc < 0 && errno != EINTR) return -1;
  }
}

ReadResult ReadAttempt(int fd, void* buffer, size_t size, const SerialTimeouts& timeouts,
                       ssize_t (*receive)(int fd, void* buffer, size_t size), bool hangupEnds,
                       int* ended) {
  ReadResult result;
  *ended = -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  ReadDeadlines deadlines(timeouts, size);
  while (result.count < size) {
    bool interval = false;
    const MonoTime deadline = deadlines.Next(result.count, interval);
    const int ready = WaitFor(fd, POLLIN, deadline);
    if (ready == 0) {
      result.byInterval = interval;
      break;
    }
    const short ends = hangupEnds ? (POLLERR | POLLNVAL) : POLLNVAL;
    if (ready < 0 || (ready & ends) != 0 ||
        (hangupEnds && (ready & POLLHUP) != 0 && (ready & POLLIN) == 0)) {
      result.failed = result.count == 0;
      break;
    }
    const ssize_t n = receive(fd, bytes + result.count, size - result.count);
    if (n > 0) {
      result.count += static_cast<size_t>(n);
      deadlines.Arrived();
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
    // End of file or an error: the line is gone.
    *ended = n == 0 ? 0 : errno;
    result.failed = result.count == 0;
    break;
  }
  return result;
}

}  // namespace zev::platform::posix

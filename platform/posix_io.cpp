// Writing all of a buffer to a descriptor, for the POSIX console and the POSIX file half (which
// WebAssembly's build uses too).
#include "platform/posix_io.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/blocked_time.hpp"
#include "platform/platform.hpp"

namespace platform::posix {

// Waits until a descriptor left in non-blocking mode (by the program's parent) is ready; false
// when the wait was given up for an interrupt.
bool wait_until_ready(int fd, short events) {
  pollfd entry{fd, events, 0};
  while (::poll(&entry, 1, -1) < 0) {
    if (errno != EINTR || interrupt_pending()) return false;
  }
  return true;
}

// A write that blocks returns EINTR when a signal comes: with an interrupt pending (or the run
// ending) the stream is given up, else the write goes on. An interrupt that comes just before
// the call is caught by the alarm the handler sets, so no write blocks for long once one came.
int write_all(int fd, const char* bytes, std::size_t count) {
  const BlockedCall blocked;
  EintrRetry retry;
  while (count > 0) {
    const ssize_t done = ::write(fd, bytes, count);
    if (done < 0) {
      if (errno == EINTR) {
        if (!retry.again()) return EINTR;
        continue;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!wait_until_ready(fd, POLLOUT)) return EINTR;
        continue;
      }
      return errno;
    }
    if (done == 0) return EIO;
    bytes += done;
    count -= static_cast<std::size_t>(done);
  }
  return 0;
}

}  // namespace platform::posix

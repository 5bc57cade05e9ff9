// What the POSIX console, clock and file halves share (and WebAssembly's build, whose files are
// POSIX files): writing all of a buffer to a descriptor, waiting on one left non-blocking, and a
// clock or file time in nanoseconds.
#pragma once

#include <time.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/blocked_time.hpp"
#include "platform/platform.hpp"

namespace platform::posix {

inline int64_t nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + static_cast<int64_t>(t.tv_nsec);
}

// What a call that failed with EINTR does next. With an interrupt pending the EINTR is that
// interrupt, and the call is given up. A stop and continue (a caught SIGCONT) cut it short:
// it is made again. Otherwise no signal was caught: the file system returned EINTR itself (a
// network or FUSE file system does), and the call is made again a few times, then fails with
// EINTR, which is then no interrupt but the failure it is.
class EintrRetry {
 public:
  bool again() {
    if (interrupt_pending()) return false;
    if (const uint32_t seen = continues_seen(); seen != continues_) {
      continues_ = seen;
      return true;
    }
    return ++spurious_ <= MAX_SPURIOUS;
  }

 private:
  static constexpr int MAX_SPURIOUS = 5;
  uint32_t continues_ = continues_seen();
  int spurious_ = 0;
};

// Makes a call that returns -1 and sets errno on failure until it succeeds, fails otherwise, or
// EintrRetry gives up.
template <class Call>
auto retrying(Call call) {
  EintrRetry retry;
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR || !retry.again()) return result;
  }
}

// Writes every byte, retrying partial writes and waiting on a descriptor left in non-blocking
// mode. 0, or the error: EINTR when the write was given up because an interrupt is pending, or
// after EINTRs that no signal explains.
int write_all(int fd, const char* bytes, std::size_t count);

// Waits until a descriptor left in non-blocking mode (by the program's parent) is ready; false
// when the wait was given up for an interrupt.
bool wait_until_ready(int fd, short events);

}  // namespace platform::posix

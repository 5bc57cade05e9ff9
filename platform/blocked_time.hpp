// The time the program spends blocked in its own console and file calls, for process_time: a
// write to a slow terminal is the run's own work, not time it did not have.
#pragma once

#include <cstdint>

namespace platform {

// Counts the time from its making to its end as blocked, unless the process was stopped and
// continued meanwhile (a SIGCONT came): then the call's time is time the process did not have.
class BlockedCall {
 public:
  BlockedCall();
  ~BlockedCall();
  BlockedCall(const BlockedCall&) = delete;
  BlockedCall& operator=(const BlockedCall&) = delete;

 private:
  int64_t start_ns_;
  uint32_t continues_;
};

int64_t blocked_ns();

// How often the process has been continued after a stop (a caught SIGCONT); 0 where there are
// no such signals. Async-signal-safe to keep.
uint32_t continues_seen();

}  // namespace platform

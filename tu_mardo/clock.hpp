// The two readings of the local time that bound the timed interval.
#pragma once

#include <cstdint>

namespace tu_mardo {

struct ClockReading {
  int16_t hour = 0;
  int16_t minute = 0;
  int16_t second = 0;
  int16_t hundredths = 0;
  // Never printed: the calendar day number, for runs that pass midnight, and the seconds the
  // local time is ahead of UTC, for runs over a change of the zone's offset (daylight saving).
  int64_t day = 0;
  int32_t utc_offset = 0;
  // Never printed either: a clock that no one sets, in nanoseconds, read at the same instant,
  // to see whether the wall clock was changed during the run.
  int64_t monotonic_ns = 0;
};

// Reads the local time once. The shipped program reads the system clock; the test build links
// a scripted clock in its place.
void read_clock(ClockReading& reading);

}  // namespace tu_mardo

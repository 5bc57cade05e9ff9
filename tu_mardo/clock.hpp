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
  // to see whether the wall clock was changed during the run; how far the two readings may lie
  // apart (half the distance of the monotonic readings around the wall clock's), and the step in
  // which the wall clock moves.
  int64_t monotonic_ns = 0;
  int64_t uncertainty_ns = 0;
  int64_t resolution_ns = 0;
  // Seconds the time of day shown lags the clock beyond the zone's offset (leap seconds).
  int32_t leap_seconds = 0;
  // What the process did with its time up to this reading: processor time used (in steps of
  // cpu_resolution_ns) and time blocked in its own console and file calls.
  int64_t cpu_ns = 0;
  int64_t blocked_ns = 0;
  int64_t cpu_resolution_ns = 0;
};

// Reads the local time and the process's time once, at one instant. The shipped program reads
// the system's clocks; the test build links a scripted clock in its place.
void read_clock(ClockReading& reading);

}  // namespace tu_mardo

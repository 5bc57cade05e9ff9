// The duration of the timed interval and the benchmark value.
#pragma once

#include <cstdint>

#include "tu_mardo/clock.hpp"

namespace tu_mardo {

// Seconds from start to end, as a 32-bit float. Whole days between the readings count, so a
// run over midnight is not negative, and neither a change of the zone's offset between them
// (daylight saving) nor a leap second counts; otherwise this is the time-of-day difference. A
// change of the clock itself still counts in full.
float duration_between(const ClockReading& start, const ClockReading& end);

// Only a run longer than one second gets a value.
inline bool has_bench_value(float duration) { return duration > 1.0f; }

// Whether the duration agrees with the monotonic clock's interval between the same two
// readings, within what the readings themselves cannot tell (clock_allowance): a wall clock set
// forward or back during the run does not.
bool clock_agrees(const ClockReading& start, const ClockReading& end, float duration);
// The hundredths each reading shows and the wall clock's own step, how far each reading's two
// clocks may lie apart, the rounding of the duration to a float, and CLOCK_DRIFT of the
// interval: a wall clock that a time server slews while the monotonic clock is not slewed (as
// on Windows; on Linux both are slewed together).
inline constexpr double CLOCK_DRIFT = 0.001;
double clock_allowance(const ClockReading& start, const ClockReading& end, float duration);

// What the process did with the timed interval.
struct TimeHad {
  double interval = 0.0;     // seconds by the monotonic clock
  double lost = 0.0;         // of them, the time it was stopped or waited for a processor
  double allowed = 0.0;      // how much it may lose and still earn a value
  bool clocks_slow = false;  // it used more processor time than the clocks counted
};

// A value is the computer's only if the run had the processor: at most LOST_SHARE of the
// interval and LOST_GRACE may go to other programs, to the system's own work or to a stop,
// beyond what the process clock's resolution hides. An undisturbed run loses at most about 1 %
// and a few milliseconds; a program beside it on each core takes half, a stop its length. More
// processor time than the interval means the clocks themselves ran slow.
inline constexpr double LOST_SHARE = 0.02;
inline constexpr double LOST_GRACE = 0.05;
TimeHad time_had(const ClockReading& start, const ClockReading& end);
inline bool value_counts(const TimeHad& had) { return !had.clocks_slow && had.lost <= had.allowed; }

// The accepted digit count squared, times 0.0006 (as a float), over the duration.
float bench_value(int32_t naccepted, float duration);

}  // namespace tu_mardo

// The duration of the timed interval and the benchmark value.
#pragma once

#include <cstdint>

#include "tu_mardo/clock.hpp"

namespace tu_mardo {

// Seconds from start to end, as a 32-bit float. Whole days between the readings count, so a
// run over midnight is not negative, and a change of the zone's offset between them (daylight
// saving) does not count; otherwise this is the time-of-day difference. A change of the clock
// itself still counts in full.
float duration_between(const ClockReading& start, const ClockReading& end);

// Only a run longer than one second gets a value.
inline bool has_bench_value(float duration) { return duration > 1.0f; }

// Whether the duration agrees with the monotonic clock's interval between the same two
// readings: within the local clock's resolution (0.01 s) and a margin (CLOCK_MARGIN, and
// CLOCK_DRIFT of the interval, for a wall clock that a time server slews while the monotonic
// clock is not slewed, as on Windows). A wall clock set forward or back during the run does not.
inline constexpr double CLOCK_MARGIN = 0.05;
inline constexpr double CLOCK_DRIFT = 0.001;
bool clock_agrees(const ClockReading& start, const ClockReading& end, float duration);

// The accepted digit count squared, times 0.0006 (as a float), over the duration.
float bench_value(int32_t naccepted, float duration);

}  // namespace tu_mardo

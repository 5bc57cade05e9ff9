#include "tu_mardo/timing.hpp"

#include <algorithm>
#include <cmath>

namespace tu_mardo {

float duration_between(const ClockReading& start, const ClockReading& end) {
  const int64_t days = end.day - start.day;
  const int32_t hours = int32_t{end.hour} - int32_t{start.hour};
  const int32_t minutes = int32_t{end.minute} - int32_t{start.minute};
  const int32_t seconds = int32_t{end.second} - int32_t{start.second};
  const int32_t hundredths = int32_t{end.hundredths} - int32_t{start.hundredths};
  const int32_t offset_change = end.utc_offset - start.utc_offset;
  const int32_t leap_change = end.leap_seconds - start.leap_seconds;
  // In double, in this order; the hundredths before the seconds. Only the result is rounded.
  // The changes of the zone's offset and of the leap seconds shown are taken out, so the
  // duration is that between the two instants; without them, zero changes nothing.
  double x = ((static_cast<double>(days) * 24.0 + hours) * 60.0 + minutes) * 60.0;
  x = x - offset_change + leap_change;
  x = x + hundredths / 100.0;
  x = x + seconds;
  return static_cast<float>(x);
}

double seconds(int64_t ns) { return static_cast<double>(ns) * 1e-9; }

double clock_allowance(const ClockReading& start, const ClockReading& end, float duration) {
  const double interval = seconds(end.monotonic_ns - start.monotonic_ns);
  const double float_step = std::fabs(static_cast<double>(duration)) * 0x1p-24;
  return 0.01 + seconds(std::max(start.resolution_ns, end.resolution_ns)) +
         seconds(start.uncertainty_ns + end.uncertainty_ns) + float_step +
         CLOCK_DRIFT * std::fabs(interval);
}

bool clock_agrees(const ClockReading& start, const ClockReading& end, float duration) {
  const double interval = seconds(end.monotonic_ns - start.monotonic_ns);
  return std::fabs(static_cast<double>(duration) - interval) <=
         clock_allowance(start, end, duration);
}

TimeHad time_had(const ClockReading& start, const ClockReading& end) {
  TimeHad had;
  had.interval = seconds(end.monotonic_ns - start.monotonic_ns);
  const double cpu = seconds(end.cpu_ns - start.cpu_ns);
  const double blocked = seconds(end.blocked_ns - start.blocked_ns);
  const double hidden = 2 * seconds(std::max(start.cpu_resolution_ns, end.cpu_resolution_ns)) +
                        seconds(start.uncertainty_ns + end.uncertainty_ns) + LOST_GRACE;
  had.lost = std::max(0.0, had.interval - cpu - blocked);
  had.allowed = LOST_SHARE * had.interval + hidden;
  had.clocks_slow = cpu > had.interval + had.allowed;
  return had;
}

float bench_value(int32_t naccepted, float duration) {
  constexpr float FACTOR = 0.0006f;  // the float nearest 0.0006, not the exact decimal
  const float digits = static_cast<float>(naccepted);
  const double value = static_cast<double>(digits) * static_cast<double>(digits) *
                       static_cast<double>(FACTOR) / static_cast<double>(duration);
  return static_cast<float>(value);
}

}  // namespace tu_mardo

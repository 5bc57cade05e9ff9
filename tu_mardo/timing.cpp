#include "tu_mardo/timing.hpp"

#include <cmath>

namespace tu_mardo {

float duration_between(const ClockReading& start, const ClockReading& end) {
  const int64_t days = end.day - start.day;
  const int32_t hours = int32_t{end.hour} - int32_t{start.hour};
  const int32_t minutes = int32_t{end.minute} - int32_t{start.minute};
  const int32_t seconds = int32_t{end.second} - int32_t{start.second};
  const int32_t hundredths = int32_t{end.hundredths} - int32_t{start.hundredths};
  const int32_t offset_change = end.utc_offset - start.utc_offset;
  // In double, in this order; the hundredths before the seconds. Only the result is rounded.
  // The change of the zone's offset is taken out, so the duration is that between the two
  // instants; without one, subtracting zero changes nothing.
  double x = ((static_cast<double>(days) * 24.0 + hours) * 60.0 + minutes) * 60.0;
  x = x - offset_change;
  x = x + hundredths / 100.0;
  x = x + seconds;
  return static_cast<float>(x);
}

bool clock_agrees(const ClockReading& start, const ClockReading& end, float duration) {
  const double interval = static_cast<double>(end.monotonic_ns - start.monotonic_ns) * 1e-9;
  const double allowed = 0.01 + CLOCK_MARGIN + CLOCK_DRIFT * std::fabs(interval);
  return std::fabs(static_cast<double>(duration) - interval) <= allowed;
}

float bench_value(int32_t naccepted, float duration) {
  constexpr float FACTOR = 0.0006f;  // the float nearest 0.0006, not the exact decimal
  const float digits = static_cast<float>(naccepted);
  const double value = static_cast<double>(digits) * static_cast<double>(digits) *
                       static_cast<double>(FACTOR) / static_cast<double>(duration);
  return static_cast<float>(value);
}

}  // namespace tu_mardo

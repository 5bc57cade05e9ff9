#include "tu_mardo/clock.hpp"
#include "platform/platform.hpp"

namespace tu_mardo {

void read_clock(ClockReading& reading) {
  const platform::InterruptsHeld held;  // the time zone's conversion keeps state
  const platform::LocalTime now = platform::local_time();
  reading.hour = now.hour;
  reading.minute = now.minute;
  reading.second = now.second;
  reading.hundredths = static_cast<int16_t>(static_cast<uint16_t>(now.millisecond) / 10u);
  reading.day = now.day;
  reading.utc_offset = now.utc_offset;
  reading.monotonic_ns = now.monotonic_ns;
  reading.uncertainty_ns = now.uncertainty_ns;
  reading.resolution_ns = now.resolution_ns;
  reading.leap_seconds = now.leap_seconds;
  const platform::ProcessTime process = platform::process_time();
  reading.cpu_ns = process.cpu_ns;
  reading.blocked_ns = process.blocked_ns;
  reading.cpu_resolution_ns = process.resolution_ns;
}

}  // namespace tu_mardo

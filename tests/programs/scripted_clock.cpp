// The test build's clock: readings come from TU_MARDO_SCRIPTED_CLOCK, a list of entries
// separated by blanks, one per reading (the last one repeats). An entry is a time
// "[day/]hh:mm:ss.cc" followed by any of:
//   +hhmm or -hhmm  the zone's offset from UTC (default +0000)
//   @seconds        the monotonic clock (default: it follows the wall clock, so "@" scripts a
//                   clock set during the run)
//   c<seconds>      processor time used so far (default: the monotonic clock's reading, a
//                   process that had the processor throughout)
//   b<seconds>      time blocked in the program's own calls so far (default 0)
//   u<seconds>      how far the reading's two clocks may lie apart (default 0)
//   L<count>        leap seconds the time of day lags the clock (default 0)
// Without it every run reads 10:00:00.00 and then 10:00:00.50, as the golden runs do.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.hpp"
#include "tu_mardo/clock.hpp"

namespace tu_mardo {
namespace {

// The number after `marker` in the entry, if the marker is there.
bool field(const char* entry, const char* end, char marker, double& value) {
  const char* at = std::strchr(entry, marker);
  if (at == nullptr || at >= end) return false;
  value = std::strtod(at + 1, nullptr);
  return true;
}

int64_t nanoseconds(double seconds) { return static_cast<int64_t>(seconds * 1e9 + 0.5); }

}  // namespace

void read_clock(ClockReading& reading) {
  const platform::InterruptsHeld held;  // as the real clock: sscanf keeps state
  static const char* script = nullptr;
  static int taken = 0;
  if (script == nullptr) {
    script = std::getenv("TU_MARDO_SCRIPTED_CLOCK");
    if (script == nullptr) script = "10:00:00.00 10:00:00.50";
  }
  // Find the entry for this reading.
  const char* entry = script;
  for (int i = 0; i < taken; ++i) {
    const char* next = std::strchr(entry, ' ');
    if (next == nullptr) break;
    entry = next + 1;
  }
  ++taken;
  const char* end = std::strchr(entry, ' ');
  if (end == nullptr) end = entry + std::strlen(entry);
  long day = 0;
  int hour = 0, minute = 0, second = 0, hundredths = 0;
  const char* slash = std::strchr(entry, '/');
  if (slash != nullptr && slash < std::strchr(entry, ':')) {
    std::sscanf(entry, "%ld/%d:%d:%d.%d", &day, &hour, &minute, &second, &hundredths);
  } else {
    std::sscanf(entry, "%d:%d:%d.%d", &hour, &minute, &second, &hundredths);
  }
  int offset = 0;
  const char* time_end = std::strchr(entry, '.');
  const char* sign = time_end != nullptr ? time_end + 3 : end;
  if (sign < end && (*sign == '+' || *sign == '-')) {
    const int hhmm = std::atoi(sign + 1);
    offset = (hhmm / 100 * 3600 + hhmm % 100 * 60) * (*sign == '-' ? -1 : 1);
  }
  const int64_t hundredths_since =
      (((int64_t{day} * 24 + hour) * 60 + minute) * 60 + second) * 100 + hundredths - offset * 100;
  double value = 0.0;
  reading.monotonic_ns =
      field(entry, end, '@', value) ? nanoseconds(value) : hundredths_since * 10000000;
  reading.cpu_ns = field(entry, end, 'c', value) ? nanoseconds(value) : reading.monotonic_ns;
  reading.blocked_ns = field(entry, end, 'b', value) ? nanoseconds(value) : 0;
  reading.uncertainty_ns = field(entry, end, 'u', value) ? nanoseconds(value) : 0;
  reading.leap_seconds = field(entry, end, 'L', value) ? static_cast<int32_t>(value) : 0;
  reading.resolution_ns = 1000000;
  reading.cpu_resolution_ns = 1000;
  reading.day = day;
  reading.utc_offset = offset;
  reading.hour = static_cast<int16_t>(hour);
  reading.minute = static_cast<int16_t>(minute);
  reading.second = static_cast<int16_t>(second);
  reading.hundredths = static_cast<int16_t>(hundredths);
}

}  // namespace tu_mardo

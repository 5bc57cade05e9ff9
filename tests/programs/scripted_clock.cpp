// The test build's clock: readings come from TU_MARDO_SCRIPTED_CLOCK, a list of times
// "[day/]hh:mm:ss.cc[+hhmm|-hhmm][@seconds]" separated by blanks, one per reading (the last one
// repeats); the first suffix is the zone's offset from UTC, the second the monotonic clock's
// reading, which otherwise follows the wall clock (so "@" scripts a clock set during the run).
// Without it every run reads 10:00:00.00 and then 10:00:00.50, as the golden runs do.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tu_mardo/clock.hpp"

namespace tu_mardo {

void read_clock(ClockReading& reading) {
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
  long day = 0;
  int hour = 0, minute = 0, second = 0, hundredths = 0;
  if (std::strchr(entry, '/') != nullptr && std::strchr(entry, '/') < std::strchr(entry, ':')) {
    std::sscanf(entry, "%ld/%d:%d:%d.%d", &day, &hour, &minute, &second, &hundredths);
  } else {
    std::sscanf(entry, "%d:%d:%d.%d", &hour, &minute, &second, &hundredths);
  }
  int offset = 0;
  const char* time_end = entry;
  while (*time_end != '\0' && *time_end != ' ' && *time_end != '+' && *time_end != '-' &&
         *time_end != '@') {
    ++time_end;
  }
  if (*time_end == '+' || *time_end == '-') {
    const int hhmm = std::atoi(time_end + 1);
    offset = (hhmm / 100 * 3600 + hhmm % 100 * 60) * (*time_end == '-' ? -1 : 1);
  }
  const int64_t hundredths_since =
      (((int64_t{day} * 24 + hour) * 60 + minute) * 60 + second) * 100 + hundredths - offset * 100;
  int64_t monotonic_ns = hundredths_since * 10000000;
  const char* at = std::strchr(entry, '@');
  const char* next_entry = std::strchr(entry, ' ');
  if (at != nullptr && (next_entry == nullptr || at < next_entry)) {
    monotonic_ns = static_cast<int64_t>(std::strtod(at + 1, nullptr) * 1e9);
  }
  reading.monotonic_ns = monotonic_ns;
  reading.day = day;
  reading.utc_offset = offset;
  reading.hour = static_cast<int16_t>(hour);
  reading.minute = static_cast<int16_t>(minute);
  reading.second = static_cast<int16_t>(second);
  reading.hundredths = static_cast<int16_t>(hundredths);
}

}  // namespace tu_mardo

// The local time and a monotonic clock, from the C library's POSIX calls: for POSIX systems and
// for WebAssembly, whose C library gives the same calls (on JavaScript's clocks).
#include <time.h>

#include <algorithm>

#include "platform/platform.hpp"
#include "platform/posix_io.hpp"

namespace platform {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t day_number(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// Seconds since 1970 that a broken-down time shows, taken as UTC.
int64_t shown_seconds(const tm& fields) {
  return day_number(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday) * 86400 +
         fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec;
}

}  // namespace

LocalTime local_time() {
  // The wall clock between two readings of the monotonic clock, again (a few times at most) if
  // more than a millisecond came between them: a preemption, not the clocks.
  constexpr int64_t CLOSE_NS = 1000000;
  timespec before{}, wall{}, after{};
  for (int attempt = 0; attempt < 5; ++attempt) {
    ::clock_gettime(CLOCK_MONOTONIC, &before);
    ::clock_gettime(CLOCK_REALTIME, &wall);
    ::clock_gettime(CLOCK_MONOTONIC, &after);
    if (posix::nanoseconds(after) - posix::nanoseconds(before) <= CLOSE_NS) break;
  }
  const time_t clock_seconds = wall.tv_sec;
  tm fields{};
  tm utc{};
  ::localtime_r(&clock_seconds, &fields);
  ::gmtime_r(&clock_seconds, &utc);
  LocalTime time;
  time.day = day_number(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
  time.utc_offset = static_cast<int32_t>(shown_seconds(fields) - shown_seconds(utc));
  time.hour = static_cast<int16_t>(fields.tm_hour);
  time.minute = static_cast<int16_t>(fields.tm_min);
  // A leap second shows as 60; the clock fields hold 0..59.
  time.second = static_cast<int16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  time.leap_seconds = static_cast<int32_t>(
      static_cast<int64_t>(clock_seconds) -
      (time.day * 86400 + time.hour * 3600 + time.minute * 60 + time.second - time.utc_offset));
  time.millisecond = static_cast<int16_t>(wall.tv_nsec / 1000000);
  time.monotonic_ns =
      posix::nanoseconds(before) + (posix::nanoseconds(after) - posix::nanoseconds(before)) / 2;
  time.uncertainty_ns = (posix::nanoseconds(after) - posix::nanoseconds(before) + 1) / 2;
  timespec step{};
  ::clock_getres(CLOCK_REALTIME, &step);
  time.resolution_ns = std::max<int64_t>(posix::nanoseconds(step), 1000000);
  return time;
}

}  // namespace platform

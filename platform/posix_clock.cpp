// The local time and a monotonic clock, from the C library's POSIX calls: for POSIX systems and
// for WebAssembly, whose C library gives the same calls (on JavaScript's clocks).
#include <time.h>

#include <chrono>

#include "platform/platform.hpp"

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

}  // namespace

LocalTime local_time() {
  using namespace std::chrono;
  const system_clock::duration since_epoch = system_clock::now().time_since_epoch();
  const seconds whole = floor<seconds>(since_epoch);
  const time_t clock_seconds = static_cast<time_t>(whole.count());
  tm fields{};
  tm utc{};
  ::localtime_r(&clock_seconds, &fields);
  ::gmtime_r(&clock_seconds, &utc);
  LocalTime time;
  time.day = day_number(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
  const int64_t utc_day = day_number(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
  time.utc_offset =
      static_cast<int32_t>((time.day - utc_day) * 86400 + (fields.tm_hour - utc.tm_hour) * 3600 +
                           (fields.tm_min - utc.tm_min) * 60 + (fields.tm_sec - utc.tm_sec));
  time.hour = static_cast<int16_t>(fields.tm_hour);
  time.minute = static_cast<int16_t>(fields.tm_min);
  // A leap second shows as 60; the clock fields hold 0..59.
  time.second = static_cast<int16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  time.millisecond = static_cast<int16_t>(duration_cast<milliseconds>(since_epoch - whole).count());
  timespec monotonic{};
  ::clock_gettime(CLOCK_MONOTONIC, &monotonic);
  time.monotonic_ns = static_cast<int64_t>(monotonic.tv_sec) * 1000000000 + monotonic.tv_nsec;
  return time;
}

}  // namespace platform

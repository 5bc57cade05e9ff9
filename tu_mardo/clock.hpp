// The two readings of the local time that bound the timed interval.
#pragma once

#include <cstdint>

namespace tu_mardo {

struct ClockReading {
  int16_t hour = 0;
  int16_t minute = 0;
  int16_t second = 0;
  int16_t hundredths = 0;
  int64_t day = 0;  // calendar day number; never printed, only for runs that pass midnight
};

// Reads the local time once. The shipped program reads the system clock; the test build links
// a scripted clock in its place.
void read_clock(ClockReading& reading);

}  // namespace tu_mardo

// The duration of the timed interval and the benchmark value.
#include <gtest/gtest.h>

#include "tu_mardo/timing.hpp"

namespace {

using tu_mardo::ClockReading;

ClockReading at(int64_t day, int hour, int minute, int second, int hundredths,
                int32_t utc_offset = 0) {
  ClockReading r;
  r.day = day;
  r.utc_offset = utc_offset;
  r.hour = static_cast<int16_t>(hour);
  r.minute = static_cast<int16_t>(minute);
  r.second = static_cast<int16_t>(second);
  r.hundredths = static_cast<int16_t>(hundredths);
  return r;
}

struct Interval {
  ClockReading start;
  ClockReading end;
  float duration;
  bool value;
};

// Names the case in test listings.
void PrintTo(const Interval& c, std::ostream* os) {
  *os << c.start.hour << ":" << c.start.minute << ":" << c.start.second << "." << c.start.hundredths
      << " to " << c.end.hour << ":" << c.end.minute << ":" << c.end.second << "."
      << c.end.hundredths;
}

class DurationTest : public testing::TestWithParam<Interval> {};

TEST_P(DurationTest, FromTwoReadings) {
  const Interval& c = GetParam();
  const float duration = tu_mardo::duration_between(c.start, c.end);
  EXPECT_EQ(duration, c.duration);
  EXPECT_EQ(tu_mardo::has_bench_value(duration), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, DurationTest,
    testing::Values(Interval{at(0, 10, 0, 0, 0), at(0, 10, 1, 30, 50), 90.5f, true},
                    // +1 hour, -59 minutes, -59 seconds, -80 hundredths: the float nearest 0.2.
                    Interval{at(0, 10, 59, 59, 90), at(0, 11, 0, 0, 10), 0.2f, false},
                    // Strictly above one second gets a value.
                    Interval{at(0, 12, 0, 0, 0), at(0, 12, 0, 1, 0), 1.0f, false},
                    Interval{at(0, 12, 0, 0, 0), at(0, 12, 0, 1, 1), 1.01f, true},
                    Interval{at(0, 10, 0, 0, 0), at(0, 10, 0, 0, 50), 0.5f, false},
                    // Over midnight the whole days between the readings count.
                    Interval{at(20000, 23, 59, 59, 0), at(20001, 0, 0, 1, 0), 2.0f, true},
                    Interval{at(20000, 23, 0, 0, 0), at(20002, 1, 0, 0, 0), 93600.0f, true},
                    // A clock set back within the day still enters in full: no value.
                    Interval{at(0, 12, 0, 5, 0), at(0, 12, 0, 0, 0), -5.0f, false},
                    // Daylight saving begins (01:59:59 CET, 03:00:01.50 CEST) and ends (02:59:59
                    // CEST, 02:00:02 CET): only the seconds between the two instants count.
                    Interval{at(0, 1, 59, 59, 0, 3600), at(0, 3, 0, 1, 50, 7200), 2.5f, true},
                    Interval{at(0, 2, 59, 59, 0, 7200), at(0, 2, 0, 2, 0, 3600), 3.0f, true}));

TEST(BenchValueTest, SquareOfTheDigitsTimesTheFloatFactorOverTheDuration) {
  // The factor is the float nearest 0.0006, which shows in the last bits.
  EXPECT_EQ(tu_mardo::bench_value(16000, 2.5f), 61440.00390625f);
  EXPECT_EQ(tu_mardo::bench_value(64000, 100.0f), 24576.001953125f);
  EXPECT_EQ(tu_mardo::bench_value(8, 2.0f), static_cast<float>(64.0 * 0.0006f / 2.0));
}

}  // namespace

// The duration of the timed interval, the checks of the clock and of the time the run had, and
// the benchmark value.
#include <gtest/gtest.h>

#include <string>

#include "rows.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::PrintTo;

using tu_mardo::ClockReading;

ClockReading at(int64_t day, int hour, int minute, int second, int hundredths,
                int32_t utc_offset = 0, int32_t leap_seconds = 0) {
  ClockReading r;
  r.day = day;
  r.utc_offset = utc_offset;
  r.leap_seconds = leap_seconds;
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

// Shows the case in test listings.
void describe(const Interval& c, std::ostream* os) {
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
                    Interval{at(0, 2, 59, 59, 0, 7200), at(0, 2, 0, 2, 0, 3600), 3.0f, true},
                    // A leap second (23:59:60 shown as 23:59:59, or counted by a "right/" zone):
                    // the two seconds that passed count.
                    Interval{at(20000, 23, 59, 59, 50), at(20001, 0, 0, 0, 50, 0, 1), 2.0f, true}));

// Seconds as the readings' nanoseconds.
int64_t ns(double seconds) { return static_cast<int64_t>(seconds * 1e9 + 0.5); }

// A reading of `wall` seconds after 10:00 whose monotonic clock reads `monotonic`, its two
// clocks `uncertainty` apart at most, with `cpu` and `blocked` seconds of the process's time.
ClockReading reading(double wall, double monotonic, double uncertainty = 0.0, double cpu = -1,
                     double blocked = 0.0) {
  const int hundredths = static_cast<int>(wall * 100 + 0.5);
  ClockReading r = at(0, 10, hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
  r.monotonic_ns = ns(monotonic);
  r.uncertainty_ns = ns(uncertainty);
  r.resolution_ns = ns(0.001);
  r.cpu_ns = ns(cpu < 0 ? monotonic : cpu);
  r.blocked_ns = ns(blocked);
  r.cpu_resolution_ns = ns(0.000001);
  return r;
}

struct Readings {
  std::string name;
  ClockReading start;
  ClockReading end;
  bool clock_agrees;
  bool value_counts;
};

class ReadingsTest : public testing::TestWithParam<Readings> {};

TEST_P(ReadingsTest, TheClockAndTheTimeHad) {
  const Readings& c = GetParam();
  const float duration = tu_mardo::duration_between(c.start, c.end);
  EXPECT_EQ(tu_mardo::clock_agrees(c.start, c.end, duration), c.clock_agrees);
  EXPECT_EQ(tu_mardo::value_counts(tu_mardo::time_had(c.start, c.end)), c.value_counts);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ReadingsTest,
    testing::Values(
        Readings{"undisturbed", reading(0, 0), reading(1.4, 1.4), true, true},
        // The hundredths shown and the wall clock's millisecond steps.
        Readings{"within_the_resolution", reading(0, 0), reading(1.40, 1.4109), true, true},
        // A wall clock set back 0.06 s in a run of 1.4 s: the value would be 4 % off.
        Readings{"set_back", reading(0, 0), reading(1.34, 1.40), false, true},
        // Preempted while reading: the two clocks of each reading lie up to 0.15 s apart.
        Readings{"split_reading", reading(0, 0, 0.15), reading(1.70, 1.40, 0.15), true, true},
        // Stopped for 5 s of 6.3; sharing the processor with another program (half of it).
        Readings{"stopped", reading(0, 0), reading(6.3, 6.3, 0, 1.3), true, false},
        Readings{"starved", reading(0, 0), reading(4.0, 4.0, 0, 2.0), true, false},
        // Just inside and just beyond 2 % and 0.05 s lost.
        Readings{"lost_2_percent", reading(0, 0), reading(10, 10, 0, 9.75), true, true},
        Readings{"lost_more", reading(0, 0), reading(10, 10, 0, 9.74), true, false},
        // Writing to a slow reader is the run's own work: blocked, not lost.
        Readings{"slow_console_reader", reading(0, 0), reading(10, 10, 0, 2.0, 7.9), true, true},
        // Both clocks slowed by half: more processor time than the interval.
        Readings{"clocks_slowed", reading(0, 0), reading(5, 5, 0, 10.0), true, false}),
    test::row_name);

TEST(BenchValueTest, SquareOfTheDigitsTimesTheFloatFactorOverTheDuration) {
  // The factor is the float nearest 0.0006, which shows in the last bits.
  EXPECT_EQ(tu_mardo::bench_value(16000, 2.5f), 61440.00390625f);
  EXPECT_EQ(tu_mardo::bench_value(64000, 100.0f), 24576.001953125f);
  EXPECT_EQ(tu_mardo::bench_value(8, 2.0f), 0.0192f);
}

}  // namespace

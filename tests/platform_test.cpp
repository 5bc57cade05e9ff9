// The operating-system seam: the floating-point environment and the exit routine.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>

#include "child_process.hpp"
#include "platform/platform.hpp"

namespace {

volatile double zero = 0.0;
volatile double big = DBL_MAX;
volatile double tiny = DBL_MIN;

TEST(PlatformTest, DivisionByZeroEndsTheRunWithStatusOne) {
  EXPECT_EXIT(
      {
        platform::start_up();
        big = 1.0 / zero;
      },
      testing::ExitedWithCode(1), "floating-point error: division by zero");
}

TEST(PlatformTest, OverflowAndInvalidOperationsTrap) {
  EXPECT_EXIT(
      {
        platform::start_up();
        big = big * 10.0;
      },
      testing::ExitedWithCode(1), "floating-point error: overflow");
  EXPECT_EXIT(
      {
        platform::start_up();
        big = zero / zero;
      },
      testing::ExitedWithCode(1), "floating-point error: invalid operation");
}

TEST(PlatformTest, UnderflowAndInexactResultsDoNotTrap) {
  EXPECT_EXIT(
      {
        platform::start_up();
        tiny = tiny / 1e10;
        tiny = 1.0 / 3.0 + tiny;
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(PlatformTest, TheExitRoutineRunsOnceAndMaySetTheStatus) {
  EXPECT_EXIT(
      {
        static int runs = 0;
        platform::register_exit_routine([](int32_t status) -> int32_t {
          ++runs;
          return status == 0 && runs == 1 ? 42 : 99;
        });
        platform::exit_process(0);
      },
      testing::ExitedWithCode(test::status_seen(42)), "");
}

}  // namespace

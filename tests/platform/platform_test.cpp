// The operating-system seam: the floating-point environment and the exit routine.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <string>
#include <tuple>

#include "child_process.hpp"
#include "platform/platform.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

volatile double zero = 0.0;
volatile double big = DBL_MAX;
volatile double tiny = DBL_MIN;

struct FloatingPointError {
  std::string name;
  void (*raise)();
  std::string message;
};

// With the traps armed (true) or left off as where the system cannot arm them (false).
class FloatingPointErrorTest : public testing::TestWithParam<std::tuple<FloatingPointError, bool>> {
};

// Where a trap is armed the error ends the run at once; where none is, the check after it
// does, with the same line and status.
TEST_P(FloatingPointErrorTest, EndsTheRunWithStatusOneAndItsKind) {
  const auto& [error, arm] = GetParam();
#if defined(__powerpc64__)
  // qemu-user's POWER traps 0/0 as a division by zero (FPE_FLTDIV, no flags); Linux on POWER
  // itself reports an invalid operation.
  if (arm && error.name == "invalid" && test::under_cpu_emulator()) GTEST_SKIP() << "qemu's trap";
#endif
  EXPECT_EXIT(
      {
        platform::start_up(arm);
        error.raise();
        platform::check_floating_point_errors();
        std::exit(0);
      },
      testing::ExitedWithCode(1), "^floating-point error: " + error.message + "\r?\n$");
}

std::string kind_and_path(
    const testing::TestParamInfo<std::tuple<FloatingPointError, bool>>& param_info) {
  return std::get<0>(param_info.param).name +
         (std::get<1>(param_info.param) ? "_trapped" : "_flagged");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FloatingPointErrorTest,
    testing::Combine(
        testing::Values(
            FloatingPointError{"division_by_zero", [] { big = 1.0 / zero; }, "division by zero"},
            FloatingPointError{"overflow", [] { big = big * 10.0; }, "overflow"},
            FloatingPointError{"invalid", [] { big = zero / zero; }, "invalid operation"}),
        testing::Bool()),
    kind_and_path);

TEST(PlatformTest, UnderflowAndInexactResultsDoNotCount) {
  for (const bool arm : {true, false}) {
    EXPECT_EXIT(
        {
          platform::start_up(arm);
          tiny = tiny / 1e10;
          tiny = 1.0 / 3.0 + tiny;
          platform::check_floating_point_errors();
          std::exit(0);
        },
        testing::ExitedWithCode(0), "");
  }
}

TEST(PlatformTest, StartUpSaysWhetherTheTrapsAreArmed) {
  platform::start_up(false);
  EXPECT_FALSE(platform::floating_point_traps_armed());
  platform::start_up(true);
  // Most ARM cores and every RISC-V core cannot trap floating-point errors; x86, IBM Z and
  // POWER can.
#if defined(__aarch64__) || defined(__arm__) || defined(__riscv)
  EXPECT_FALSE(platform::floating_point_traps_armed());
#else
  EXPECT_TRUE(platform::floating_point_traps_armed());
#endif
  platform::start_up(false);  // the other tests of this process do not expect traps
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

// A window the system opened for the program alone (a double-click) waits for Enter at the end;
// a console shared with a shell, or redirected streams, never.
TEST(PlatformTest, OnlyAWindowOfItsOwnWaitsForEnter) {
  const struct {
    platform::ConsoleOwnership console;
    bool waits;
  } rows[] = {
      {{1, true, true}, true},    // double-clicked
      {{2, true, true}, false},   // a Command Prompt's console
      {{1, false, true}, false},  // input redirected
      {{1, true, false}, false},  // output redirected
      {{0, true, true}, false},   // not known (Wine)
  };
  for (const auto& row : rows) {
    EXPECT_EQ(platform::waits_before_window_closes(row.console), row.waits)
        << row.console.processes << row.console.input_is_console << row.console.output_is_console;
  }
}

}  // namespace

// The choice of kernel set, end to end: the program run as three generations of x86-64 CPU
// (qemu-user's models) picks the set each can run, and writes the same bytes every time.
#include <gtest/gtest.h>

#include "child_process.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"

namespace {

using test::PrintTo;

struct Cpu {
  std::string model;
  std::string kernel_set;
};

// Shows the case in test listings.
void describe(const Cpu& c, std::ostream* os) { *os << c.model; }

class DispatchTest : public testing::TestWithParam<Cpu> {};

TEST_P(DispatchTest, PicksTheSetOfTheCpuAndWritesTheGoldenBytes) {
  if (!test::file_exists("/usr/bin/qemu-x86_64")) GTEST_SKIP() << "needs qemu-user";
  const std::vector<std::string> cpu{"/usr/bin/qemu-x86_64", "-cpu", GetParam().model};
  test::ChildOptions options;
  options.emulator = cpu;
  const test::ChildResult choice = test::run_child(KERNEL_CHOICE_BINARY, options);
  EXPECT_EQ(choice.out, GetParam().kernel_set + "\n") << choice.err;

  test::ProgramRun run;
  run.options.emulator = cpu;
  run.start("64001\n3\n1000\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.out, test::golden("run-1000-pipe.stdout"));
  EXPECT_EQ(run.file("PI.OUT"), test::golden("run-1000.PI.OUT"));
}

INSTANTIATE_TEST_SUITE_P(Models, DispatchTest,
                         testing::Values(Cpu{"qemu64", "portable"}, Cpu{"Nehalem", "x86-64-v2"},
                                         Cpu{"Haswell", "x86-64-v3"}),
                         [](const auto& param_info) { return param_info.param.model; });

}  // namespace

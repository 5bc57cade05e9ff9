// Nothing lost, on every system: concurrent runs in one directory, daylight-saving changes and
// names in another case. The POSIX-only cases are in safety_posix_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "child_process.hpp"
#include "run_helpers.hpp"
#include "safety_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::Console;
using test::EARLIER;
using test::golden;
using test::LONG_RUN;
using test::NAME_LINE;
using test::ProgramRun;
using test::table_line;

// ---- Concurrent runs ----------------------------------------------------------------------

// Several runs at once in one directory, each with a value of its own: the table ends as one
// of them left it, every run ends well, and each echoes what it wrote.
void run_at_once(int runs) {
  test::TempDir dir;
  std::string earlier;  // long enough that the runs' reading passes overlap
  for (int i = 0; i < 20000; ++i) earlier += EARLIER;
  // A last line longer than the new one: its tail is cut only after the new line is written.
  const std::string before = earlier + NAME_LINE + std::string(150, '#') + "\r\n";
  test::write_file(dir.file("tu_mardo.dat"), before);
  std::vector<test::ChildResult> results(static_cast<std::size_t>(runs));
  std::vector<std::thread> threads;
  std::vector<std::string> lines;
  for (int i = 0; i < runs; ++i) {
    const float duration = static_cast<float>(2 + i);
    lines.push_back(table_line(tu_mardo::bench_value(4, duration)));
    threads.emplace_back([&, i] {
      test::ChildOptions options;
      options.directory = dir.path();
      options.input = "4\n";
      options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=10:00:00.00 10:00:0" +
                                    std::to_string(2 + i) + ".00");
      results[static_cast<std::size_t>(i)] = test::run_child(TU_MARDO_SCRIPTED_BINARY, options);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const test::ChildResult& result : results) {
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }
  const std::string after = test::read_file(dir.file("tu_mardo.dat"));
  ASSERT_GE(after.size(), earlier.size());
  ASSERT_EQ(after.compare(0, earlier.size(), earlier), 0);
  const std::string last = after.substr(earlier.size());
  EXPECT_NE(std::find(lines.begin(), lines.end(), last), lines.end()) << last;
}

TEST(ConcurrentRunTest, TwoAndFourRunsInOneDirectoryKeepTheTableWhole) {
  for (int round = 0; round < 8; ++round) {
    run_at_once(2);
    run_at_once(4);
    if (HasFailure()) break;
  }
}

// ---- Daylight saving ----------------------------------------------------------------------

TEST(DaylightSavingTest, TheScriptedClockOverBothChanges) {
  for (const std::string& clock : {std::string("01:59:59.00+0100 03:00:01.50+0200"),
                                   std::string("02:59:59.00+0200 02:00:01.50+0100")}) {
    ProgramRun run;
    run.clock = clock;
    test::write_file(run.path("tu_mardo.dat"), "MY PC\r\n");
    run.start("4\n", Console::pipe);
    ASSERT_EQ(run.result.exit_code, 0) << clock;
    EXPECT_NE(run.result.out.find("Duration is       2.500000 sec\r\n"), std::string::npos)
        << clock;
    EXPECT_EQ(run.file("tu_mardo.dat"), table_line(tu_mardo::bench_value(4, 2.5f))) << clock;
  }
}

// ---- Names in another case ----------------------------------------------------------------

// The table is found in another case, as the screen spells it; the run files are not: a file
// that only differs in case is someone else's (pi.out with notes in it).
TEST(NameCaseTest, OnlyTheTableIsFoundInAnotherCase) {
  ProgramRun run;
  run.clock = LONG_RUN;
  test::write_file(run.path("Tu_Mardo.Dat"), "MY PC\r\n");
  test::write_file(run.path("pi.tst"), "old log\r\n");
  test::write_file(run.path("Pi.Out"), "notes");
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.file("Tu_Mardo.Dat"), table_line(tu_mardo::bench_value(4, 90.5f)));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
  EXPECT_NE(run.file("PI.Tst").find(" Duration is      90.500000 sec\r\n"), std::string::npos);
  // Where the file system tells case apart, the other files stay as they were.
  if (!run.exists("TU_MARDO.DAT")) {
    EXPECT_FALSE(run.exists("tu_mardo.dat"));
    EXPECT_EQ(run.file("pi.tst"), "old log\r\n");
    EXPECT_EQ(run.file("Pi.Out"), "notes");
  }
}

}  // namespace

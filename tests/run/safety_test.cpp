// Nothing lost, on every system: concurrent runs in one directory, daylight-saving changes,
// names in another case, names that lead to one file, and file systems without locks. The
// POSIX-only cases are in safety_posix_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "child_process.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "safety_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::PrintTo;

using test::Console;
using test::EARLIER;
using test::golden;
using test::LONG_RUN;
using test::LONG_RUN_LINE;
using test::NAME_LINE;
using test::ProgramRun;

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
  // 0.0006 x 4^2 over 2, 3, 4 and 5 s.
  const std::string values[] = {"   .4800000E-02", "   .3200000E-02", "   .2400000E-02",
                                "   .1920000E-02"};
  for (int i = 0; i < runs; ++i) {
    lines.push_back(test::value_line(values[i]));
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

// One run per directory: a run that starts while another lists its digits waits for it, says
// so, and then runs; both are whole and right, and the files are the later run's.
TEST(ConcurrentRunTest, ASecondRunWaitsForTheFirst) {
  test::TempDir dir;
  const std::string long_input = test::under_cpu_emulator() ? "4000\n" : "16000\n";
  ProgramRun plain_long;
  plain_long.start(long_input, Console::pipe);
  test::ChildOptions options;
  options.directory = dir.path();
  test::ChildResult first, second;
  std::thread earlier([&] {
    test::ChildOptions own = options;
    own.input = long_input;
    first = test::run_child(TU_MARDO_SCRIPTED_BINARY, own);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  test::ChildOptions own = options;
  own.input = "4\n";
  second = test::run_child(TU_MARDO_SCRIPTED_BINARY, own);
  earlier.join();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  ASSERT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(first.out, plain_long.result.out);
  EXPECT_EQ(second.out, golden("run-4-pipe.stdout"));
  const std::string waiting = "Waiting for the run that holds PI.Tst to end.";
  // Which one waited depends on which came first to its files; the waiter ran last.
  const bool second_waited = second.err.find(waiting) == 0;
  EXPECT_NE(second_waited, first.err.find(waiting) == 0) << first.err << second.err;
  if (second_waited) {
    EXPECT_EQ(test::read_file(dir.file("PI.OUT")), golden("run-4.PI.OUT"));
  } else {
    EXPECT_EQ(test::read_file(dir.file("PI.OUT")), plain_long.file("PI.OUT"));
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
    EXPECT_EQ(run.file("tu_mardo.dat"), test::value_line("   .3840000E-02")) << clock;
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
  EXPECT_EQ(run.file("Tu_Mardo.Dat"), LONG_RUN_LINE);
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
  EXPECT_NE(run.file("PI.Tst").find(" Duration is      90.500000 sec\r\n"), std::string::npos);
  // Where the file system tells case apart, the other files stay as they were.
  if (!run.exists("TU_MARDO.DAT")) {
    EXPECT_FALSE(run.exists("tu_mardo.dat"));
    EXPECT_EQ(run.file("pi.tst"), "old log\r\n");
    EXPECT_EQ(run.file("Pi.Out"), "notes");
  }
}

// A name that only begins like the table's is not the table: the program itself copied into
// the folder as tu_mardo is not taken for it.
TEST(NameCaseTest, ANameThatOnlyBeginsLikeTheTablesIsAnotherFile) {
  for (const std::string name : {"tu_mardo", "TU_MARDO.DA"}) {
    ProgramRun run;
    run.clock = LONG_RUN;
    test::write_file(run.path(name), "a program");
    run.start("4\n", Console::pipe);
    ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_EQ(run.file(name), "a program");
    EXPECT_EQ(run.file("tu_mardo.dat"), std::string(51, ' ') + LONG_RUN_LINE.substr(51));
  }
}

// ---- Three names, three files ------------------------------------------------------------

enum class Link { hard, symbolic };

struct Alias {
  std::string name;
  std::string link;    // the name made to lead to
  std::string target;  // this existing file
  Link kind;
  std::string message;
  int status;
};

class AliasTest : public testing::TestWithParam<Alias> {};

// The run stops before it writes anything, with the open failure of the second name.
TEST_P(AliasTest, StopsBeforeWritingAnything) {
  const Alias& c = GetParam();
#if defined(_WIN32)
  if (c.kind == Link::symbolic) GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
  ProgramRun run;
  run.clock = LONG_RUN;
  const std::string before = "MY PC\r\n";
  test::write_file(run.path(c.target), before);
  std::error_code error;
  if (c.kind == Link::hard) {
    std::filesystem::create_hard_link(run.path(c.target), run.path(c.link), error);
  } else {
    std::filesystem::create_symlink(c.target, run.path(c.link), error);
  }
  ASSERT_FALSE(error) << error.message();
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(c.status));
  EXPECT_TRUE(test::ends_with(
      run.result.out, c.message + "\r\nReturn code " + std::to_string(c.status) + "\r\n\r\n"))
      << run.result.out;
  EXPECT_EQ(run.file(c.target), before);
}

INSTANTIATE_TEST_SUITE_P(
    Links, AliasTest,
    testing::Values(Alias{"run_log_is_the_table", "PI.Tst", "tu_mardo.dat", Link::hard,
                          "Error opening Tu_Mardo.Dat", 1002},
                    Alias{"listing_is_the_run_log", "PI.OUT", "PI.Tst", Link::symbolic,
                          "Error opening Pi.Out", 1001},
                    Alias{"listing_is_the_run_log_hard", "PI.OUT", "PI.Tst", Link::hard,
                          "Error opening Pi.Out", 1001},
                    Alias{"table_is_the_listing", "tu_mardo.dat", "PI.OUT", Link::symbolic,
                          "Error opening Tu_Mardo.Dat", 1002},
                    // The table's name in another case is the table.
                    Alias{"run_log_is_the_table_in_another_case", "PI.Tst", "Tu_Mardo.Dat",
                          Link::hard, "Error opening Tu_Mardo.Dat", 1002},
                    Alias{"table_in_another_case_is_the_listing", "TU_MARDO.DAT", "PI.OUT",
                          Link::symbolic, "Error opening Tu_Mardo.Dat", 1002}),
    test::row_name);

// ---- A file system without record locks --------------------------------------------------

// The lock call fails as on a network mount without a lock service (through the sweep's
// file system): the run says so once and records its value all the same.
TEST(NoLockTest, TheTableIsUpdatedWithoutTheLock) {
  ProgramRun run(TU_MARDO_SWEEP_BINARY);
  run.clock = LONG_RUN;
  test::write_file(run.path("tu_mardo.dat"), "MY PC\r\n");
  run.options.environment.push_back("TU_MARDO_FILE_FAULT=lock 3 not_supported");  // the table's
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0);
  EXPECT_EQ(run.result.err.rfind("tu_mardo.dat cannot be locked here (", 0), 0u) << run.result.err;
  EXPECT_TRUE(test::ends_with(run.result.err, "); the run goes on without the lock.\n") ||
              test::ends_with(run.result.err, "); the run goes on without the lock.\r\n"));
  EXPECT_EQ(run.file("tu_mardo.dat"), LONG_RUN_LINE);
}

}  // namespace

// Hostile conditions, end to end: files that cannot be opened, read or written, full disks,
// a console that cannot be written or read, hostile answers and a huge table. Every run must
// end with its message and status and leave each file as complete as it was written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "child_process.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "temp_dir.hpp"

namespace {

using test::PrintTo;

using test::Console;
using test::golden;
using test::Input;
using test::Output;
using test::ProgramRun;

// The scripted clock of a run long enough for a benchmark value.
const std::string LONG_RUN = "10:00:00.00 10:01:30.50";

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(FaultTest, AWriteOnlyPiTstIsWritten) {
  ProgramRun run;
  test::write_file(run.path("PI.Tst"),
                   "old log, longer than the new one will be\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  ::chmod(run.path("PI.Tst").c_str(), 0222);
  run.options.unprivileged = true;
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  ::chmod(run.path("PI.Tst").c_str(), 0644);
  EXPECT_EQ(run.file("PI.Tst"), golden("run-4.PI.Tst"));
}

TEST(FaultTest, AWriteOnlyTableCannotBeReadAndStaysAsItWas) {
  ProgramRun run;
  run.clock = LONG_RUN;
  test::write_file(run.path("tu_mardo.dat"), "MY PC\r\n");
  ::chmod(run.path("tu_mardo.dat").c_str(), 0222);
  run.options.unprivileged = true;
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(912));
  EXPECT_TRUE(ends_with(run.result.out,
                        "Error reading/writing benchmark file.\r\nReturn code 912\r\n\r\n"));
  ::chmod(run.path("tu_mardo.dat").c_str(), 0644);
  EXPECT_EQ(run.file("tu_mardo.dat"), "MY PC\r\n");
}

TEST(FaultTest, AFullDeviceInTheMiddleOfAListing) {
  ProgramRun run;
  ASSERT_EQ(::symlink("/dev/full", run.path("PI.OUT").c_str()), 0);
  run.start("64001\n3\n1000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(903));
  // The console listing came first and is whole; the file's first block did not fit.
  const std::string whole = golden("run-1000-pipe.stdout");
  const std::string expected = whole.substr(0, whole.find("\r\nCalculating arctg(1/239).")) +
                               "\r\nWrite error.\r\nReturn code 903\r\n\r\n";
  EXPECT_EQ(run.result.out, expected);
  EXPECT_EQ(run.file("PI.Tst"),
            " Speed test data: dimension is   251\r\n Start time 10:00:00.00\r\n");
}

TEST(FaultTest, AFullDeviceAtTheFinalWriteOutIsReported) {
  ProgramRun run;
  ASSERT_EQ(::symlink("/dev/full", run.path("PI.Tst").c_str()), 0);
  run.start("4\n", Console::pipe);
  // The calculation went through: its records were all held until the log was written out.
  const std::string whole = golden("run-4-pipe.stdout");
  EXPECT_EQ(run.result.out,
            whole.substr(0, whole.find("Stop - ")) + "Write error.\r\nReturn code 903\r\n\r\n");
  EXPECT_EQ(run.result.err, "Error writing PI.Tst: No space left on device\n");
  EXPECT_EQ(run.result.exit_code, test::status_seen(903));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

struct SizeLimit {
  std::string name;
  long limit;  // bytes any file may reach
  std::string stdout_tail;
  std::string stderr_text;
  std::size_t pi_out_kept;  // bytes of the golden PI.OUT on disk afterwards
};

class SizeLimitTest : public testing::TestWithParam<SizeLimit> {};

TEST_P(SizeLimitTest, KeepsWhatWasWritten) {
  const SizeLimit& c = GetParam();
  ProgramRun run;
  run.options.file_size_limit = c.limit;
  run.start("64001\n3\n1000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(903));
  EXPECT_TRUE(ends_with(run.result.out, c.stdout_tail)) << run.result.out;
  EXPECT_EQ(run.result.err, c.stderr_text);
  EXPECT_EQ(run.file("PI.OUT"), golden("run-1000.PI.OUT").substr(0, c.pi_out_kept));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SizeLimitTest,
    testing::Values(
        // Nothing fits: the first block of PI.OUT fails during the first
        // listing, and the run log cannot be written out at the stop.
        SizeLimit{"nothing", 0, "Write error.\r\nReturn code 903\r\n\r\n",
                  "Error writing PI.Tst: File too large\n", 0},
        // The second block finds no room in the middle of the first listing:
        // room is reserved before a block is written, so none of it is.
        SizeLimit{"in_a_listing", 2000, "Write error.\r\nReturn code 903\r\n\r\n", "", 1024},
        // Three blocks fit; the last 568 bytes do not, when the listings
        // are written out to be read back.
        SizeLimit{"at_the_end", 3072, "Write error.\r\nReturn code 903\r\n\r\n",
                  "Error writing PI.OUT: File too large\n", 3072}),
    test::row_name);

struct BrokenConsole {
  std::string name;
  Output output;
  std::string message;
};

class BrokenConsoleTest : public testing::TestWithParam<BrokenConsole> {};

TEST_P(BrokenConsoleTest, EndsWith902AndAMessage) {
  ProgramRun run;
  run.options.stdout_kind = GetParam().output;
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(902));
  EXPECT_EQ(run.result.err, "Error writing to standard output: " + GetParam().message + "\n");
  EXPECT_FALSE(run.exists("PI.Tst"));  // the description is the first thing written
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, BrokenConsoleTest,
    testing::Values(BrokenConsole{"full", Output::dev_full, "No space left on device"},
                    BrokenConsole{"broken_pipe", Output::broken_pipe, "Broken pipe"}),
    test::row_name);

TEST(FaultTest, APipeThatBreaksDuringTheRunLosesNoFileRecord) {
  ProgramRun run;
  // The reader goes away once it has the start time record. The run log has that record by
  // then; the next console record (or the listing after arctan(1/5), computed meanwhile)
  // meets the broken pipe.
  const std::string shown =
      "than 1 second.\r\nEnter number of digits for pi (\xF2"
      "4; \xF3"
      "64000)  \r\n"
      "      12000 has been entered.\r\n      12000 has been accepted.\r\n"
      "Speed test data: dimension is  3001\r\nStart time 10:00:00.00";
  const std::string before =
      golden("run-4-pipe.stdout").substr(0, golden("run-4-pipe.stdout").find("than 1 second."));
  run.options.stdout_close_after = before.size() + shown.size();
  run.start("12000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(902));
  EXPECT_EQ(run.result.out.substr(0, before.size() + shown.size()), before + shown);
  EXPECT_EQ(run.result.err, "Error writing to standard output: Broken pipe\n");
  EXPECT_EQ(run.file("PI.Tst"),
            " Speed test data: dimension is  3001\r\n Start time 10:00:00.00\r\n");
}

struct ClosedInput {
  std::string name;
  Input input;
};

class ClosedInputTest : public testing::TestWithParam<ClosedInput> {};

TEST_P(ClosedInputTest, EndsWith901) {
  ProgramRun run;
  run.options.stdin_kind = GetParam().input;
  run.start("", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(901));
  EXPECT_TRUE(ends_with(run.result.out, "\r\nReturn code 901\r\n\r\n"));
  EXPECT_FALSE(run.exists("PI.Tst"));
}

INSTANTIATE_TEST_SUITE_P(Inputs, ClosedInputTest,
                         testing::Values(ClosedInput{"closed", Input::closed},
                                         ClosedInput{"dev_null", Input::dev_null}),
                         test::row_name);

// Peak memory of a plain run started from this process as it is now. A child's peak counts
// what its parent held when it started it (more so under valgrind or a sanitizer), so runs
// with large inputs are measured against this rather than against a fixed number.
long baseline_rss_kb() {
  ProgramRun run;
  run.start("4\n", Console::pipe);
  return run.result.max_rss_kb;
}

// What a run with a large input may use beyond the baseline: far less than the input.
constexpr long MARGIN_KB = 5 * 1024;

TEST(FaultTest, ATenMegabyteAnswerLineIsReadInBoundedMemory) {
  ProgramRun run;
  {
    const std::string line = std::string(5'000'000, ' ') + std::string(4'000'000, '0') + "4 " +
                             std::string(1'000'000, 'x') + "\n";
    test::write_file(run.path("answer"), line);
  }
  run.options.stdin_kind = Input::file;
  run.options.input_file = run.path("answer");
  const long baseline = baseline_rss_kb();
  run.start("", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0);
  EXPECT_NE(run.result.out.find("          4 has been accepted.\r\n"), std::string::npos);
  EXPECT_LT(run.result.max_rss_kb, baseline + MARGIN_KB);
}

TEST(FaultTest, RandomBinaryAnswersAreRejected) {
  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    std::string line(1 << 16, '\0');
    for (char& c : line) c = static_cast<char>(random() % 256);
    line[0] = '\xFF';  // never a blank, a separator or a digit: the answer is no integer
    ProgramRun run;
    run.start(line, Console::pipe);
    EXPECT_EQ(run.result.exit_code, test::status_seen(901)) << "round " << round;
    EXPECT_EQ(run.result.signal, 0);
  }
}

TEST(FaultTest, AHundredMegabyteTableWithALongLastLine) {
  ProgramRun run;
  run.clock = LONG_RUN;
  const std::string row = "Some computer of the past                          12345.67    \r\n";
  const std::size_t rows = 100 * 1024 * 1024 / row.size() + 1;
  {
    std::string table;
    table.reserve(rows * row.size() + 1'000'010);
    for (std::size_t i = 0; i < rows; ++i) table += row;
    table += "MY PC" + std::string(1'000'000, '-');  // a last line of a megabyte, no line end
    test::write_file(run.path("tu_mardo.dat"), table);
  }
  const long baseline = baseline_rss_kb();
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_LT(run.result.max_rss_kb, baseline + MARGIN_KB);
  const std::string after = run.file("tu_mardo.dat");
  const std::size_t kept = rows * row.size();
  ASSERT_EQ(after.size(), kept + 68);
  for (std::size_t at = 0; at < kept; at += row.size()) {
    ASSERT_EQ(after.compare(at, row.size(), row), 0) << "at byte " << at;
  }
  EXPECT_EQ(after.substr(kept), "MY PC" + std::string(45, '-') + "    .1060774E-03\r\n");
}

}  // namespace

// The results table: the last line rewritten with the benchmark value, everything else kept,
// on real files; and whole runs that do or do not reach the table.
#include <gtest/gtest.h>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "records/records.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/table.hpp"

namespace {

using test::PrintTo;

using test::read_file;
using test::write_file;
using tu_mardo::NAME_LENGTH;
using tu_mardo::TableUpdate;

const std::string VALUE_FIELD = "   123.4567    ";  // g15.7 of 123.4567
const std::string EARLIER1 = "DEC 3000-600s AXP alpha station                      61440.00    ";
const std::string EARLIER2 = "Another machine                                    .6400000E-02";

std::string padded(const std::string& name) { return name + std::string(50 - name.size(), ' '); }
std::string written(const std::string& name) { return padded(name) + " " + VALUE_FIELD + "\r\n"; }

struct TableCase {
  std::string name;
  std::string before;
  std::string after;
  std::string echoed;  // the 50-character name the console echo shows
};

// Runs the update on a table of the given bytes (none: no table) and returns the table after.
class TableTest : public testing::TestWithParam<TableCase> {
 protected:
  TableUpdate update(const std::string* before, std::string& echoed) {
    if (before != nullptr) write_file("tu_mardo.dat", *before);
    test::start_fake_console(false, false);
    char name[NAME_LENGTH];
    const TableUpdate outcome = tu_mardo::rewrite_last_line(123.4567f, name);
    if (outcome == TableUpdate::done) echoed.assign(name, NAME_LENGTH);
    EXPECT_EQ(records::close_all_units(0), 0);
    return outcome;
  }
  test::InTempDir here_;
};

TEST_P(TableTest, RewritesTheLastRecordOnly) {
  const TableCase& c = GetParam();
  std::string echoed;
  ASSERT_EQ(update(&c.before, echoed), TableUpdate::done);
  EXPECT_EQ(read_file("tu_mardo.dat"), c.after);
  EXPECT_EQ(echoed, c.echoed);
}

const std::string BIG_LINE(2000, 'z');
const std::string BLOCK_FILLER = std::string(1020, 'f') + "\r\n";  // 1022 bytes

INSTANTIATE_TEST_SUITE_P(
    Tables, TableTest,
    testing::Values(
        TableCase{"three_lines_crlf", EARLIER1 + "\r\n" + EARLIER2 + "\r\nMY PC\r\n",
                  EARLIER1 + "\r\n" + EARLIER2 + "\r\n" + written("MY PC"), padded("MY PC")},
        // A rerun rewrites the same line: its first 50 characters stay, the value is new.
        TableCase{"rerun", EARLIER1 + "\r\n" + padded("MY PC") + "    99.00000    \r\n",
                  EARLIER1 + "\r\n" + written("MY PC"), padded("MY PC")},
        // The last line without a line end is a record all the same.
        TableCase{"no_final_line_end", EARLIER1 + "\r\n" + EARLIER2 + "\r\nMY PC",
                  EARLIER1 + "\r\n" + EARLIER2 + "\r\n" + written("MY PC"), padded("MY PC")},
        TableCase{"lf_only", EARLIER1 + "\n" + EARLIER2 + "\nMY PC\n",
                  EARLIER1 + "\n" + EARLIER2 + "\n" + written("MY PC"), padded("MY PC")},
        // An empty last line is the last record: it gets the value, the name above does not.
        TableCase{"empty_last_line", "MY PC\r\n\r\n", "MY PC\r\n" + written(""), padded("")},
        // A CR that no LF follows ends a record (files written with CR alone); CR LF is one
        // line end, here split across the first block's end.
        TableCase{"cr_inside_a_line", "AB\rCD\r\n", "AB\r" + written("CD"), padded("CD")},
        TableCase{"cr_line_ends", "HISTORY 1\rHISTORY 2\rMY PC\r",
                  "HISTORY 1\rHISTORY 2\r" + written("MY PC"), padded("MY PC")},
        TableCase{"cr_lf_across_blocks", std::string(1023, 'h') + "\r\nMY PC\r\n",
                  std::string(1023, 'h') + "\r\n" + written("MY PC"), padded("MY PC")},
        // Ctrl-Z and NUL are ordinary bytes: a Ctrl-Z behind the last line is a record.
        TableCase{"ctrl_z_record", "MY PC\r\n\x1a", "MY PC\r\n" + written("\x1a"), padded("\x1a")},
        TableCase{"nul_bytes", std::string("MY\0PC\r\n", 7), written(std::string("MY\0PC", 5)),
                  padded(std::string("MY\0PC", 5))},
        TableCase{"long_single_line", BIG_LINE + "\r\n", written(BIG_LINE.substr(0, 50)),
                  BIG_LINE.substr(0, 50)},
        TableCase{"longer_than_50",
                  "A very long computer name that runs well past fifty columns\r\n",
                  written("A very long computer name that runs well past fift"),
                  "A very long computer name that runs well past fift"},
        // 2048 bytes, the last line without an end: still a record.
        TableCase{"block_multiple_no_line_end", BLOCK_FILLER + std::string(1026, 'q'),
                  BLOCK_FILLER + written(std::string(50, 'q')), std::string(50, 'q')},
        TableCase{"one_line", "MY PC\r\n", written("MY PC"), padded("MY PC")},
        // Nothing to keep: the name field is blank.
        TableCase{"empty_table", "", written(""), padded("")}),
    test::row_name);

TEST_F(TableTest, AMissingTableIsCreatedWithOneRecord) {
  std::string echoed;
  ASSERT_EQ(update(nullptr, echoed), TableUpdate::done);
  EXPECT_EQ(read_file("tu_mardo.dat"), written(""));
  EXPECT_EQ(echoed, padded(""));
}

TEST_F(TableTest, ATableThatCannotBeOpened) {
  test::make_directory("tu_mardo.dat");
  std::string echoed;
  EXPECT_EQ(update(nullptr, echoed), TableUpdate::open_failed);
}

// Opened for reading only: counting and rewinding work, the write fails, nothing changes.
TEST_F(TableTest, AReadOnlyTableIsLeftByteForByte) {
  const std::string before = EARLIER1 + "\r\nMY PC\r\n";
  write_file("tu_mardo.dat", before);
  test::make_read_only("tu_mardo.dat");
  if (!test::read_only_holds("tu_mardo.dat")) GTEST_SKIP() << "read-only files can be written here";
  EXPECT_EQ(test::run_restricted([] {
              test::start_fake_console(false, false);
              char name[NAME_LENGTH];
              const TableUpdate outcome = tu_mardo::rewrite_last_line(1.0f, name);
              records::close_all_units(0);
              return outcome == TableUpdate::transfer_failed ? 0 : 4;
            }),
            0);
  EXPECT_EQ(read_file("tu_mardo.dat"), before);
}

// Whole runs with the scripted clock.
using test::Console;
using test::ProgramRun;

const std::string PADDED_PC = padded("MY PC");

TEST(TableRunTest, ARunAboveOneSecondUpdatesTheTableAndEchoesTheLine) {
  ProgramRun run;
  run.clock = "10:00:00.00 10:01:30.50";
  write_file(run.path("tu_mardo.dat"), EARLIER1 + "\r\nMY PC\r\n");
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  // 4 digits in 90.5 s: 16 * 0.0006 / 90.5 = 1.06077353E-04.
  EXPECT_EQ(run.file("tu_mardo.dat"), EARLIER1 + "\r\n" + PADDED_PC + "    .1060774E-03\r\n");
  const std::string tail =
      "End time   10:01:30.50\r\nDuration is      90.500000 sec\r\nPi = 3.1415\r\n" + PADDED_PC +
      "   1.060774E-04\r\nStop - Program terminated.\r\n\r\n";
  const std::string& out = run.result.out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_NE(run.file("PI.Tst").find(" Duration is      90.500000 sec\r\n"), std::string::npos);
}

TEST(TableRunTest, SixteenThousandDigitsInTwoAndAHalfSeconds) {
  ProgramRun run;
  run.clock = "10:00:00.00 10:00:02.50";
  write_file(run.path("tu_mardo.dat"), "MY PC\n");
  run.start("16000\n", test::terminal_supported() ? Console::terminal : Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.file("tu_mardo.dat"), PADDED_PC + "    61440.00    \r\n");
  // Seven significant digits, the rest of the six decimals zeros.
  const std::string tail =
      "\r\n" + PADDED_PC + "   61440.000000\r\nStop - Program terminated.\r\n\r\n";
  EXPECT_EQ(run.result.out.substr(run.result.out.size() - tail.size()), tail);
}

struct NoValue {
  std::string name;
  std::string clock;
  std::string duration_record;
};

class NoValueTest : public testing::TestWithParam<NoValue> {};

TEST_P(NoValueTest, OneSecondOrLessNeverOpensTheTable) {
  ProgramRun run;
  run.clock = GetParam().clock;
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0);
  EXPECT_FALSE(run.exists("tu_mardo.dat"));
  const std::string tail =
      GetParam().duration_record + "Pi = 3.1415\r\nStop - Program terminated.\r\n\r\n";
  EXPECT_EQ(run.result.out.substr(run.result.out.size() - tail.size()), tail);
}

INSTANTIATE_TEST_SUITE_P(Durations, NoValueTest,
                         testing::Values(NoValue{"exactly_one", "12:00:00.00 12:00:01.00",
                                                 "Duration is       1.000000 sec\r\n"},
                                         NoValue{"hour_boundary", "10:59:59.90 11:00:00.10",
                                                 "Duration is   2.000000E-01 sec\r\n"},
                                         NoValue{"clock_set_back", "12:00:05.00 12:00:00.00",
                                                 "Duration is      -5.000000 sec\r\n"}),
                         test::row_name);

TEST(TableRunTest, OverMidnightTheDurationStaysPositive) {
  ProgramRun run;
  run.clock = "1/23:59:59.00 2/00:00:01.00";
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0);
  EXPECT_NE(run.result.out.find("Duration is       2.000000 sec"), std::string::npos);
  EXPECT_TRUE(run.exists("tu_mardo.dat"));  // above one second: a value
}

}  // namespace

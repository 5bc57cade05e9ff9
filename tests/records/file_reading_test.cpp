// Reading file units: records, the end of the file, rewinding, and the cut when output
// follows reading.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_console.hpp"
#include "records/records.hpp"
#include "rows.hpp"
#include "temp_dir.hpp"

namespace {

using test::PrintTo;

using test::read_file;
using test::write_file;

constexpr int16_t UNIT = 2;

// One "(a50)"-style read: the format's A edit into a variable of `length` bytes.
int32_t read_text(std::string_view format, std::string& variable, int32_t length = 50) {
  variable.assign(static_cast<std::size_t>(length), '?');
  int32_t status = records::begin_read(UNIT, format, true);
  if (status == 0) status = records::get_text(variable.data(), length);
  return status != 0 ? status : records::end_read();
}

int32_t pass_record() {
  const int32_t status = records::begin_read(UNIT, records::LIST_DIRECTED, true);
  return status != 0 ? status : records::end_read();
}

int32_t write_line(std::string_view text) {
  int32_t status = records::begin_write(UNIT, "(A)", true);
  if (status == 0) status = records::put_text(text);
  return status != 0 ? status : records::end_write();
}

std::string padded(const std::string& text, std::size_t length = 50) {
  return text + std::string(length - text.size(), ' ');
}

class FileReadingTest : public testing::Test {
 protected:
  void SetUp() override { test::start_fake_console(false, false); }
  void TearDown() override { records::close_all_units(0); }
  void open(const std::string* bytes) {
    if (bytes != nullptr) write_file("table", *bytes);
    ASSERT_EQ(records::open_unit(UNIT, "table", "UNKNOWN", "FORMATTED"), 0);
  }
  test::InTempDir here_;
};

TEST_F(FileReadingTest, ACreatedFileIsAtItsEndAtOnce) {
  open(nullptr);
  std::string name;
  EXPECT_EQ(read_text("(a50)", name), -1);
  EXPECT_EQ(name, std::string(50, '?'));  // the variable keeps its value
}

TEST_F(FileReadingTest, AfterTheEndEverythingWaitsForTheRewind) {
  const std::string bytes = "one\r\ntwo\r\n";
  open(&bytes);
  std::string name;
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(read_text("(a50)", name), -1);
  EXPECT_EQ(read_text("(a50)", name), -1);
  EXPECT_EQ(pass_record(), -1);
  EXPECT_EQ(write_line("never"), -1);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("table"), bytes);  // untouched

  open(nullptr);
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(read_text("(a50)", name), -1);
  EXPECT_EQ(records::rewind_unit(UNIT), 0);
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, padded("one"));
}

TEST_F(FileReadingTest, OutputAfterReadingKeepsWhatWasReadAndCutsTheRest) {
  const std::string bytes = "one\r\ntwo\r\nthree\r\n";
  open(&bytes);
  ASSERT_EQ(pass_record(), 0);
  ASSERT_EQ(write_line("new"), 0);
  ASSERT_EQ(write_line("end"), 0);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("table"), "one\r\nnew\r\nend\r\n");
}

TEST_F(FileReadingTest, OutputRightAfterARewindEmptiesTheFile) {
  const std::string bytes = "one\r\ntwo\r\n";
  open(&bytes);
  std::string name;
  ASSERT_EQ(read_text("(a50)", name), 0);
  ASSERT_EQ(records::rewind_unit(UNIT), 0);
  ASSERT_EQ(write_line("only"), 0);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("table"), "only\r\n");
}

TEST_F(FileReadingTest, ReadingAfterOutputWritesItOutFirst) {
  open(nullptr);
  ASSERT_EQ(write_line("first"), 0);
  ASSERT_EQ(write_line("second"), 0);
  std::string name;
  EXPECT_EQ(read_text("(a50)", name), -1);  // reading goes on at the end of the output
  EXPECT_EQ(read_file("table"), "first\r\nsecond\r\n");
  EXPECT_EQ(records::rewind_unit(UNIT), 0);
  EXPECT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, padded("first"));
}

// The unit knows where the system's file offset stands after a write-out: a rewind then reads
// from the start.
TEST_F(FileReadingTest, ARecordWrittenRewoundAndReadBackIsTheSame) {
  open(nullptr);
  ASSERT_EQ(write_line("the only record"), 0);
  ASSERT_EQ(records::flush_unit(UNIT), 0);
  ASSERT_EQ(records::rewind_unit(UNIT), 0);
  std::string name;
  ASSERT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, padded("the only record"));
}

TEST_F(FileReadingTest, RecordsAcrossBlockBoundariesAndOfAnyLength) {
  // The second line straddles the first block's end; the third is 5000 bytes long.
  const std::string bytes =
      std::string(1020, 'a') + "\n" + "straddling\r\n" + std::string(5000, 'b') + "\n" + "last";
  open(&bytes);
  std::string name;
  ASSERT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, std::string(50, 'a'));
  ASSERT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, padded("straddling"));
  ASSERT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, std::string(50, 'b'));
  ASSERT_EQ(read_text("(a50)", name), 0);
  EXPECT_EQ(name, padded("last"));
  EXPECT_EQ(read_text("(a50)", name), -1);
}

TEST_F(FileReadingTest, EmptyRecordsCount) {
  const std::string bytes = "\r\n\n\r\nx";
  open(&bytes);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pass_record(), 0) << i;
  EXPECT_EQ(pass_record(), -1);
}

struct AEdit {
  std::string format;
  int32_t length;
  std::string expected;
};

// Shows the case in test listings.
void describe(const AEdit& c, std::ostream* os) {
  *os << c.format << " into " << c.length << " bytes";
}

class AEditTest : public FileReadingTest, public testing::WithParamInterface<AEdit> {};

TEST_P(AEditTest, FillsTheVariable) {
  const std::string bytes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
  open(&bytes);
  std::string variable;
  ASSERT_EQ(read_text(GetParam().format, variable, GetParam().length), 0);
  EXPECT_EQ(variable, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, AEditTest,
    testing::Values(AEdit{"(a50)", 50, padded("ABCDEFGHIJKLMNOPQRSTUVWXYZ")},
                    AEdit{"(A)", 5, "ABCDE"}, AEdit{"(A5)", 8, "ABCDE   "},
                    // A field wider than the variable keeps its last bytes.
                    AEdit{"(A8)", 3, "FGH"},
                    // The line end ends the field early; the field is blank beyond it.
                    AEdit{"(A30)", 10, "UVWXYZ    "}));

// A whole-or-nothing rewrite does not write over a file that grew since it was read to its end
// (a program that takes no lock appended a line): the caller reads it again.
TEST_F(FileReadingTest, AWholeOrNothingRewriteLeavesAFileThatChanged) {
  const std::string bytes = "one\r\ntwo\r\n";
  write_file("table", bytes);
  records::UnitRules rules;
  rules.whole_or_nothing = true;
  ASSERT_EQ(records::open_unit(UNIT, "table", {}, {}, rules), 0);
  ASSERT_EQ(pass_record(), 0);
  ASSERT_EQ(pass_record(), 0);
  ASSERT_EQ(pass_record(), -1);
  ASSERT_EQ(records::rewind_unit(UNIT), 0);
  ASSERT_EQ(pass_record(), 0);
  write_file("table", bytes + "three\r\n");
  ASSERT_EQ(write_line("new"), 0);  // held until the unit is flushed
  EXPECT_EQ(records::flush_unit(UNIT), records::STATUS_FILE_CHANGED);
  EXPECT_EQ(read_file("table"), bytes + "three\r\n");
  // Read again to its end, the same rewrite goes through.
  ASSERT_EQ(records::rewind_unit(UNIT), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pass_record(), 0);
  ASSERT_EQ(pass_record(), -1);
  ASSERT_EQ(records::rewind_unit(UNIT), 0);
  ASSERT_EQ(pass_record(), 0);
  ASSERT_EQ(write_line("new"), 0);
  EXPECT_EQ(records::flush_unit(UNIT), 0);
  EXPECT_EQ(read_file("table"), "one\r\nnew\r\n");
}

// A whole-or-nothing rewrite must fit the block buffer with its line end: a record of 1022
// bytes and CR LF do, one of 1023 is refused. A record that cannot fit must never make the
// statement spin; where a child can be started, one that still runs after ten seconds fails.
TEST_F(FileReadingTest, AWholeOrNothingRewriteMustFitTheBufferWithItsLineEnd) {
  for (const int32_t length : {1021, 1022, 1023, 1500}) {
    auto rewrite = [length] {
      write_file("table", "one\r\ntwo\r\n");
      records::UnitRules rules;
      rules.whole_or_nothing = true;
      if (records::open_unit(UNIT, "table", {}, {}, rules) != 0) return 1;
      while (pass_record() == 0) {
      }
      if (records::rewind_unit(UNIT) != 0 || pass_record() != 0) return 2;
      const std::string text(static_cast<std::size_t>(length), 'x');
      int32_t status = write_line(text);
      if (status == 0) status = records::flush_unit(UNIT);
      records::close_all_units(0);
      if (status == records::STATUS_RECORD_TOO_LONG) return 3;
      return status == 0 && read_file("table") == "one\r\n" + text + "\r\n" ? 0 : 4;
    };
    const int expected = length <= 1022 ? 0 : 3;
#if GTEST_HAS_DEATH_TEST
    EXPECT_EXIT(
        {
          std::thread([] {
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::_Exit(99);
          }).detach();
          std::_Exit(rewrite());
        },
        testing::ExitedWithCode(expected), "")
        << "a record of " << length << " bytes";
#else
    EXPECT_EQ(rewrite(), expected) << "a record of " << length << " bytes";
#endif
  }
}

// A repeat count gives each item its own A edit.
TEST_F(FileReadingTest, ARepeatedEditReadsOneFieldForEachItem) {
  const std::string bytes = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n";
  open(&bytes);
  std::string first(25, '?'), second(25, '?');
  int32_t status = records::begin_read(UNIT, "(2A25)", true);
  if (status == 0) status = records::get_text(first.data(), 25);
  if (status == 0) status = records::get_text(second.data(), 25);
  ASSERT_EQ(status != 0 ? status : records::end_read(), 0);
  EXPECT_EQ(first, "ABCDEFGHIJKLMNOPQRSTUVWXY");
  EXPECT_EQ(second, padded("Z", 25));
}

TEST_F(FileReadingTest, RewindingAnUnconnectedUnitIsFine) {
  EXPECT_EQ(records::rewind_unit(42), 0);
}

}  // namespace

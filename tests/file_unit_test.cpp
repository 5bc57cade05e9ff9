// File units on real files: opening, the cut at the first output statement, the block buffer
// and the write-out at exit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fake_console.hpp"
#include "records/records.hpp"
#include "temp_dir.hpp"

namespace {

using test::read_file;
using test::write_file;

// One record: a blank and the text.
int32_t write_record(int16_t unit, std::string_view text) {
  int32_t status = records::begin_write(unit, "(1X,A)", true);
  if (status == 0) status = records::put_text(text);
  return status != 0 ? status : records::end_write();
}

class FileUnitTest : public testing::Test {
 protected:
  void SetUp() override { test::start_fake_console(false, false); }
  void TearDown() override { records::close_all_units(0); }
  test::InTempDir here_;
};

TEST_F(FileUnitTest, AMissingFileIsCreatedEmptyAndGetsTheRecords) {
  ASSERT_EQ(records::open_unit(1, "PI.Tst"), 0);
  EXPECT_TRUE(test::file_exists("PI.Tst"));
  EXPECT_EQ(read_file("PI.Tst"), "");
  ASSERT_EQ(write_record(1, "first"), 0);
  ASSERT_EQ(write_record(1, "second"), 0);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("PI.Tst"), " first\r\n second\r\n");
}

TEST_F(FileUnitTest, ALongerOldFileIsCutAtTheFirstOutputStatement) {
  write_file("PI.Tst", std::string(5000, 'o'));
  ASSERT_EQ(records::open_unit(1, "PI.Tst"), 0);
  EXPECT_EQ(read_file("PI.Tst").size(), 5000u);  // never cut at open
  ASSERT_EQ(write_record(1, "new"), 0);
  EXPECT_EQ(read_file("PI.Tst"), "");  // cut; the record waits in the buffer
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("PI.Tst"), " new\r\n");
}

TEST_F(FileUnitTest, AnOpenWithoutOutputLeavesTheFileAlone) {
  write_file("PI.OUT", "old\r\n");
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("PI.OUT"), "old\r\n");
}

TEST_F(FileUnitTest, FullBlocksGoToTheFileAsTheyFill) {
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  const std::string record(100, 'd');  // 103 bytes a line with the blank and CR LF
  for (int i = 0; i < 9; ++i) ASSERT_EQ(write_record(8, record), 0);
  EXPECT_EQ(read_file("PI.OUT"), "");  // 927 bytes wait in the buffer
  ASSERT_EQ(write_record(8, record), 0);
  EXPECT_EQ(read_file("PI.OUT").size(), 1024u);  // the tenth filled the block
  EXPECT_EQ(records::close_all_units(0), 0);
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += " " + record + "\r\n";
  EXPECT_EQ(read_file("PI.OUT"), expected);
}

TEST_F(FileUnitTest, KeywordsAndTheUnitTable) {
  EXPECT_EQ(records::open_unit(2, "tu_mardo.dat", "unknown  ", "Formatted"), 0);
  EXPECT_EQ(records::open_unit(3, "a", "OLD"), records::STATUS_BAD_KEYWORD);
  EXPECT_EQ(records::open_unit(3, "a", {}, "UNFORMATTED"), records::STATUS_BAD_KEYWORD);
  EXPECT_EQ(records::open_unit(2, "other"), records::STATUS_UNIT_IN_USE);
  for (int16_t unit = 10; unit < 10 + records::MAX_UNITS - 1; ++unit) {
    ASSERT_EQ(records::open_unit(unit, "f" + std::to_string(unit)), 0);
  }
  EXPECT_EQ(records::open_unit(99, "one-too-many"), records::STATUS_TOO_MANY_UNITS);
  EXPECT_EQ(write_record(77, "nowhere"), records::STATUS_NOT_CONNECTED);
}

TEST_F(FileUnitTest, NamesThatDoNotOpen) {
  ::mkdir("PI.Tst", 0755);
  EXPECT_GT(records::open_unit(1, "PI.Tst"), 0);
  ::symlink("missing/target", "dangling");
  EXPECT_GT(records::open_unit(1, "dangling"), 0);
  EXPECT_FALSE(test::file_exists("missing"));
  EXPECT_GT(records::open_unit(1, ""), 0);
}

// A read-only file is connected for reading; its first output statement fails and the file
// stays as it was. Root ignores permissions, so the check runs as an unprivileged user.
TEST_F(FileUnitTest, AReadOnlyFileOpensButItsFirstWriteFails) {
  write_file("PI.Tst", "kept\r\n");
  ::chmod("PI.Tst", 0444);
  EXPECT_EXIT(
      {
        if (test::privileged() && ::setuid(test::unprivileged_uid()) != 0) std::exit(3);
        if (records::open_unit(1, "PI.Tst") != 0) std::exit(4);
        const int32_t status = write_record(1, "new");
        std::exit(status > 0 ? 0 : 5);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file("PI.Tst"), "kept\r\n");
}

TEST_F(FileUnitTest, AWriteOnlyFileIsConnectedForWriting) {
  write_file("PI.OUT", "old");
  ::chmod("PI.OUT", 0222);
  EXPECT_EXIT(
      {
        if (test::privileged() && ::setuid(test::unprivileged_uid()) != 0) std::exit(3);
        if (records::open_unit(8, "PI.OUT") != 0) std::exit(4);
        if (write_record(8, "new") != 0) std::exit(5);
        std::exit(records::close_all_units(0));
      },
      testing::ExitedWithCode(0), "");
  ::chmod("PI.OUT", 0644);
  EXPECT_EQ(read_file("PI.OUT"), " new\r\n");
}

TEST_F(FileUnitTest, AFullDeviceFailsTheStatementThatFillsTheBlock) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  EXPECT_EQ(write_record(8, std::string(500, 'x')), 0);
  EXPECT_EQ(write_record(8, std::string(600, 'x')), records::STATUS_NO_SPACE);
  // The failure was reported; the exit processing has nothing left to lose.
  EXPECT_EQ(records::close_all_units(0), 0);
}

TEST_F(FileUnitTest, ALostTailAtExitIsReportedAndFailsTheRun) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  ASSERT_EQ(write_record(8, "tail"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(records::close_all_units(0), records::WRITE_OUT_FAILED);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error writing PI.OUT: No space left on device\n");
}

TEST_F(FileUnitTest, ALostTailKeepsAFailingRunsOwnStatus) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  ASSERT_EQ(write_record(8, "tail"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(records::close_all_units(1001), 1001);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST_F(FileUnitTest, TheExitRoutineWritesOutEveryUnit) {
  EXPECT_EXIT(
      {
        test::start_fake_console(false, false);
        records::open_unit(1, "PI.Tst");
        records::open_unit(8, "PI.OUT");
        write_record(1, "log");
        write_record(8, "digits");
        platform::exit_process(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file("PI.Tst"), " log\r\n");
  EXPECT_EQ(read_file("PI.OUT"), " digits\r\n");
}

}  // namespace

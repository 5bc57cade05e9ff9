// File units on real files: opening, the cut at the first output statement, the block buffer
// and the write-out at exit.
#include <gtest/gtest.h>

#include "child_process.hpp"
#include "file_unit_fixture.hpp"
#include "temp_dir.hpp"

namespace {

using test::read_file;
using test::write_file;
using test::write_record;

class FileUnitTest : public test::FileUnitFixture {};

TEST_F(FileUnitTest, AMissingFileIsCreatedEmptyAndGetsTheRecords) {
  ASSERT_EQ(records::open_unit(1, "PI.Tst"), 0);
  EXPECT_TRUE(test::file_exists("PI.Tst"));
  EXPECT_EQ(read_file("PI.Tst"), "");
  ASSERT_EQ(write_record(1, "first"), 0);
  ASSERT_EQ(write_record(1, "second"), 0);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(read_file("PI.Tst"), " first\r\n second\r\n");
}

// The first output statement cuts the old content, so that no crash or failure can leave old
// bytes behind new ones; its record waits in the buffer.
TEST_F(FileUnitTest, ALongerOldFileIsCutAtTheFirstOutputStatement) {
  write_file("PI.Tst", std::string(5000, 'o'));
  ASSERT_EQ(records::open_unit(1, "PI.Tst"), 0);
  EXPECT_EQ(read_file("PI.Tst").size(), 5000u);  // never cut at open
  ASSERT_EQ(write_record(1, "new"), 0);
  EXPECT_EQ(read_file("PI.Tst"), "");
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
  test::make_directory("PI.Tst");
  EXPECT_GT(records::open_unit(1, "PI.Tst"), 0);
  EXPECT_GT(records::open_unit(1, ""), 0);
  EXPECT_GT(records::open_unit(1, "no/such/directory/PI.Tst"), 0);
}

// A read-only file is connected for reading; its first output statement fails and the file
// stays as it was.
TEST_F(FileUnitTest, AReadOnlyFileOpensButItsFirstWriteFails) {
  write_file("PI.Tst", "kept\r\n");
  test::make_read_only("PI.Tst");
  if (!test::read_only_holds("PI.Tst")) GTEST_SKIP() << "read-only files can be written here";
  EXPECT_EQ(test::run_restricted([] {
              if (records::open_unit(1, "PI.Tst") != 0) return 4;
              const int32_t status = write_record(1, "new");
              records::close_all_units(0);
              return status > 0 ? 0 : 5;
            }),
            0);
  EXPECT_EQ(read_file("PI.Tst"), "kept\r\n");
}

}  // namespace

// File units on what only a POSIX system offers for tests: links to devices, write-only
// permissions, and a child process that ends through the exit routine.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.hpp"
#include "file_unit_fixture.hpp"
#include "temp_dir.hpp"

namespace {

using test::read_file;
using test::write_file;
using test::write_record;

class FileUnitPosixTest : public test::FileUnitFixture {};

TEST_F(FileUnitPosixTest, ADanglingLinkDoesNotOpen) {
  ASSERT_EQ(::symlink("missing/target", "dangling"), 0);
  EXPECT_GT(records::open_unit(1, "dangling"), 0);
  EXPECT_FALSE(test::file_exists("missing"));
}

TEST_F(FileUnitPosixTest, AWriteOnlyFileIsConnectedForWriting) {
  write_file("PI.OUT", "old");
  ::chmod("PI.OUT", 0222);
  EXPECT_EQ(test::run_restricted([] {
              if (records::open_unit(8, "PI.OUT") != 0) return 4;
              if (write_record(8, "new") != 0) return 5;
              return records::close_all_units(0);
            }),
            0);
  ::chmod("PI.OUT", 0644);
  EXPECT_EQ(read_file("PI.OUT"), " new\r\n");
}

TEST_F(FileUnitPosixTest, AFullDeviceFailsTheStatementThatFillsTheBlock) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  EXPECT_EQ(write_record(8, std::string(500, 'x')), 0);
  EXPECT_EQ(write_record(8, std::string(600, 'x')), records::STATUS_NO_SPACE);
  // The failure was reported; the exit processing has nothing left to lose.
  EXPECT_EQ(records::close_all_units(0), 0);
}

TEST_F(FileUnitPosixTest, ALostTailAtExitIsReportedAndFailsTheRun) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  ASSERT_EQ(write_record(8, "tail"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(records::close_all_units(0), records::WRITE_FAILED);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error writing PI.OUT: No space left on device\n");
}

TEST_F(FileUnitPosixTest, ALostTailKeepsAFailingRunsOwnStatus) {
  ASSERT_EQ(::symlink("/dev/full", "PI.OUT"), 0);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  ASSERT_EQ(write_record(8, "tail"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(records::close_all_units(1001), 1001);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST_F(FileUnitPosixTest, TheExitRoutineWritesOutEveryUnit) {
  EXPECT_EQ(test::run_restricted([]() -> int {
              test::start_fake_console(false, false);
              records::open_unit(1, "PI.Tst");
              records::open_unit(8, "PI.OUT");
              write_record(1, "log");
              write_record(8, "digits");
              platform::exit_process(0);
            }),
            0);
  EXPECT_EQ(read_file("PI.Tst"), " log\r\n");
  EXPECT_EQ(read_file("PI.OUT"), " digits\r\n");
}

// A write past the file size limit is the full-disk status, like any other lack of room.
TEST_F(FileUnitPosixTest, TheFileSizeLimitIsNoSpace) {
  EXPECT_EQ(test::run_restricted([] {
              ::signal(SIGXFSZ, SIG_IGN);
              rlimit limit{2000, 2000};
              ::setrlimit(RLIMIT_FSIZE, &limit);
              if (records::open_unit(8, "PI.OUT") != 0) return 4;
              int32_t status = 0;
              for (int i = 0; i < 3 && status == 0; ++i) {
                status = write_record(8, std::string(1000, 'x'));
              }
              return status == records::STATUS_NO_SPACE ? 0 : 5;
            }),
            0);
}

// A file connected for writing only cannot be read.
TEST_F(FileUnitPosixTest, AnUnreadableFileGivesAReadStatus) {
  write_file("table", "secret\r\n");
  ::chmod("table", 0222);
  EXPECT_EQ(test::run_restricted([] {
              if (records::open_unit(2, "table") != 0) return 4;
              char name[50];
              int32_t status = records::begin_read(2, "(a50)", true);
              if (status == 0) status = records::get_text(name, 50);
              if (status == 0) status = records::end_read();
              return status == records::STATUS_READ_FAILED ? 0 : 5;
            }),
            0);
}

}  // namespace

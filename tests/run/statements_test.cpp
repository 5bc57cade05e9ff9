// The program's own statement helpers keep the record service's contract: a statement without
// status that fails ends the run with its line, whichever call fails; one with status returns
// the failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "records/records.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/statements.hpp"

namespace {

const std::vector<int32_t> TOO_MANY(records::MAX_ITEMS + 1, 7);

TEST(StatementsTest, AConsoleStatementWithAnUnusableFormatEndsTheRun) {
  EXPECT_EXIT(
      {
        test::start_fake_console(false, false);
        tu_mardo::console_formatted("(Q5)", int32_t{1});
        std::_Exit(0);
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "^Record error on standard output: a format the service cannot use: \"\\(Q5\\)\", stopped "
      "at offset 1\r?\n$");
}

TEST(StatementsTest, AConsoleListingWithTooManyItemsEndsTheRun) {
  EXPECT_EXIT(
      {
        test::start_fake_console(false, false);
        tu_mardo::write_words(records::CONSOLE_OUT, "(I5)", false, TOO_MANY.data(),
                              static_cast<int32_t>(TOO_MANY.size()));
        std::_Exit(0);
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "^Record error on standard output: more items than a statement holds\r?\n$");
}

TEST(StatementsTest, AFileStatementReturnsItsFailureAndWritesNothing) {
  const test::InTempDir here;
  test::start_fake_console(false, false);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  EXPECT_EQ(tu_mardo::to_file(8, "(Q5)", int32_t{1}), records::STATUS_BAD_FORMAT);
  EXPECT_EQ(tu_mardo::write_words(8, "(I5)", true, TOO_MANY.data(),
                                  static_cast<int32_t>(TOO_MANY.size())),
            records::STATUS_TOO_MANY_ITEMS);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(test::read_file("PI.OUT"), "");
}

}  // namespace

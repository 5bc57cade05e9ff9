// The program's own statement helpers keep the record service's contract: a statement without
// status that fails ends the run with its line, whichever call fails; one with status returns
// the failure. And every exit status the program declares is in the README.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "records/records.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/statements.hpp"
#include "tu_mardo/stop.hpp"

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

// Calls out of order fail like every other failure: with no statement in progress the run
// ends; inside one that asked for a status, the status comes back.
TEST(StatementsTest, CallsOutOfOrderAreFailures) {
  EXPECT_EXIT(
      {
        test::start_fake_console(false, false);
        records::put_int32(7);  // no statement begun
        std::_Exit(0);
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "^Record error: statement calls out of order\r?\n$");
  const test::InTempDir here;
  test::start_fake_console(false, false);
  ASSERT_EQ(records::open_unit(8, "PI.OUT"), 0);
  ASSERT_EQ(records::begin_write(8, "(I5)", true), 0);
  EXPECT_EQ(records::end_read(), records::STATUS_OUT_OF_ORDER);   // a write is in progress
  EXPECT_EQ(records::end_write(), records::STATUS_OUT_OF_ORDER);  // and is abandoned with it
  EXPECT_EQ(records::close_all_units(0), 0);
}

// Every status the program ends with is in the README's table of exit statuses, with the low
// byte a POSIX shell sees, and the table has no other (the manual page's table is compared with
// the README's by doc_check); the page has words for each, and for its Stop (130).
TEST(StatementsTest, TheReadmeAndThePageKnowEveryExitStatus) {
  std::ifstream readme(README_FILE);
  std::set<int32_t> listed;
  for (std::string line; std::getline(readme, line);) {
    if (line.size() > 2 && line[0] == '|' && line[2] >= '0' && line[2] <= '9') {
      const int32_t status = std::stoi(line.substr(2));
      listed.insert(status);
      const std::size_t shell = line.rfind('|', line.size() - 2);
      EXPECT_EQ(std::stoi(line.substr(shell + 1)), status & 0xFF) << line;
    }
  }
  std::set<int32_t> ended(std::begin(tu_mardo::EXIT_STATUSES), std::end(tu_mardo::EXIT_STATUSES));
  EXPECT_EQ(listed, ended);
  std::ifstream page(PAGE_SCRIPT_FILE);
  std::set<int32_t> worded;
  bool in_words = false;
  for (std::string line; std::getline(page, line);) {
    if (line.rfind("const STATUS_WORDS = {", 0) == 0) in_words = true;
    if (line.rfind("};", 0) == 0) in_words = false;
    std::size_t digits = line.find_first_not_of(' ');
    if (in_words && digits != std::string::npos && line.size() > digits && line[digits] >= '0' &&
        line[digits] <= '9') {
      worded.insert(std::stoi(line.substr(digits)));
    }
  }
  ended.insert(130);  // the page's Stop
  EXPECT_EQ(worded, ended);
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

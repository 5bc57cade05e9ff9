// The run's check of its result against the true decimals of pi: right results pass, results
// outside the bound fail, the bound is tight, and the comparison is of whole numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "machin.hpp"
#include "run_helpers.hpp"
#include "tu_mardo/pi_truth.hpp"
#include "tu_mardo/verify.hpp"

namespace {

using test::Words;
using tu_mardo::check_pi;
using tu_mardo::result_bound;

// The true n words, with `units` of the last word added as one whole number (carries and
// borrows through the words).
Words truth_plus(int32_t n, int64_t units) {
  Words words(tu_mardo::PI_TRUTH_WORDS, tu_mardo::PI_TRUTH_WORDS + n);
  for (int32_t i = n - 1; i >= 0 && units != 0; --i) {
    const int64_t sum = words[static_cast<std::size_t>(i)] + units;
    const int64_t word = ((sum % 10000) + 10000) % 10000;
    words[static_cast<std::size_t>(i)] = static_cast<iter::Word>(word);
    units = (sum - word) / 10000;
  }
  return words;
}

TEST(VerifyTest, TheTruthIsTheKnownDecimals) {
  std::ifstream in(PI_DECIMALS_FILE);
  std::string digits, line;
  while (std::getline(in, line)) digits += line;
  ASSERT_EQ(static_cast<std::size_t>(tu_mardo::PI_TRUTH_WORD_COUNT), digits.size() / 4);
  for (int32_t i = 0; i < tu_mardo::PI_TRUTH_WORD_COUNT; ++i) {
    ASSERT_EQ(tu_mardo::PI_TRUTH_WORDS[i],
              std::stoi(digits.substr(4 * static_cast<std::size_t>(i), 4)))
        << "word " << i + 1;
  }
}

// Every digit count from 4 to 2000 (vectors of 2 to 501 words), as the program computes it.
TEST(VerifyTest, EveryRightResultUpTo2000DigitsPasses) {
  test::start_fake_console(false, false);
  // Under a CPU emulator every seventh length, the largest included.
  const int32_t step = test::under_cpu_emulator() ? 7 : 1;
  for (int32_t n = 501; n >= 2; n -= step) {
    const Words pi = test::pi_decimals(n);
    ASSERT_TRUE(check_pi(pi.data(), n).right) << "n " << n;
  }
}

TEST(VerifyTest, TheBoundFromTheSeriesLengths) {
  // 16 (K5 + 1) + 4 (K239 + 1), K half the series length.
  EXPECT_EQ(result_bound(2), 16 * (3 + 1) + 4 * (1 + 1));
  EXPECT_EQ(result_bound(251), 16 * (358 + 1) + 4 * (106 + 1));
  EXPECT_EQ(result_bound(16001), 16 * (22891 + 1) + 4 * (6727 + 1));
}

// Near the end of the result the smallest error above the bound fails, on either side.
TEST(VerifyTest, TheBoundIsTight) {
  for (int32_t n : {2, 3, 4, 251, 4447, 16001}) {
    const int64_t bound = result_bound(n);
    EXPECT_TRUE(check_pi(truth_plus(n, bound).data(), n).right) << "n " << n;
    EXPECT_FALSE(check_pi(truth_plus(n, bound + 1).data(), n).right) << "n " << n;
    EXPECT_TRUE(check_pi(truth_plus(n, -(bound - 1)).data(), n).right) << "n " << n;
    EXPECT_FALSE(check_pi(truth_plus(n, -bound).data(), n).right) << "n " << n;
  }
}

// An error within the bound that carries into the last listed word still passes: the words are
// compared as one number, not digit by digit.
TEST(VerifyTest, SmallErrorsThatCarryAcrossWordsPass) {
  const int32_t n = 16001;
  const int32_t last = tu_mardo::PI_TRUTH_WORDS[n - 1];
  const Words up = truth_plus(n, 10000 - last);   // the last word becomes 0, a carry goes up
  const Words down = truth_plus(n, -(last + 1));  // it becomes 9999, a borrow goes up
  EXPECT_NE(up[n - 2], tu_mardo::PI_TRUTH_WORDS[n - 2]);
  EXPECT_NE(down[n - 2], tu_mardo::PI_TRUTH_WORDS[n - 2]);
  EXPECT_TRUE(check_pi(up.data(), n).right);
  EXPECT_TRUE(check_pi(down.data(), n).right);
}

TEST(VerifyTest, TheFirstWrongDecimalIsReported) {
  const int32_t n = 251;
  Words words = truth_plus(n, 0);
  words[0] += 1;  // 1415 becomes 1416
  EXPECT_EQ(check_pi(words.data(), n).first_wrong_decimal, 4);
  words = truth_plus(n, 0);
  words[99] = (words[99] + 1000) % 10000;  // the first digit of word 100
  EXPECT_EQ(check_pi(words.data(), n).first_wrong_decimal, 397);
}

// A test-only build of the program that computes wrongly on purpose (tests/faulty_kernels.cpp).
struct Fault {
  std::string name;
  int first_wrong_decimal;  // 0: anywhere, not checked
};

// Names the case in test listings.
void PrintTo(const Fault& c, std::ostream* os) { *os << c.name; }

class WrongResultTest : public testing::TestWithParam<Fault> {};

const std::string TABLE = "MY PC\r\n";

TEST_P(WrongResultTest, EndsWith904AndLeavesTheTableAlone) {
  const Fault& c = GetParam();
  test::ProgramRun right;
  right.clock = "10:00:00.00 10:01:30.50";
  right.start("1000\n", test::Console::pipe);
  ASSERT_EQ(right.result.exit_code, 0);

  test::ProgramRun run(TU_MARDO_FAULTY_BINARY);
  run.clock = right.clock;
  run.options.environment.push_back("TU_MARDO_FAULT=" + c.name);
  test::write_file(run.path("tu_mardo.dat"), TABLE);
  run.start("1000\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(904));
  std::string err = run.result.err;
  err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());  // Windows ends lines with CR LF
  const std::string prefix = "The computed digits of pi are wrong from decimal ";
  ASSERT_EQ(err.compare(0, prefix.size(), prefix), 0) << err;
  const int decimal = std::stoi(err.substr(prefix.size()));
  if (c.first_wrong_decimal != 0) {
    EXPECT_EQ(decimal, c.first_wrong_decimal);
  }
  EXPECT_EQ(err.substr(err.find(" on;")), " on; no benchmark value is recorded.\n");
  const std::string tail = "\r\nReturn code 904\r\n\r\n";
  const std::string& out = run.result.out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(run.file("tu_mardo.dat"), TABLE);
  // The log and the listings are as a right run leaves them, but for the wrong digits.
  EXPECT_EQ(run.file("PI.Tst"), right.file("PI.Tst"));
  EXPECT_EQ(run.file("PI.OUT").size(), right.file("PI.OUT").size());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WrongResultTest,
    testing::Values(Fault{"first_word", 4},         // one unit more in word 1
                    Fault{"middle_word", 0},        // one unit more in word 126 of 251
                    Fault{"above_bound", 0},        // the truth plus the bound plus one unit
                    Fault{"below_bound", 0},        // the truth minus as much
                    Fault{"lost_carry", 0},         // a carry lost in one addition of the series
                    Fault{"dropped_division", 0}),  // one division pass not made
    [](const auto& param_info) { return param_info.param.name; });

}  // namespace

// The run's checks of its listings against their true decimals: right results pass, results
// outside the bounds fail, the bounds are tight, the comparison is of whole numbers of
// normalised words, and the clock is cross-checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "machin.hpp"
#include "run_helpers.hpp"
#include "tu_mardo/truth.hpp"
#include "tu_mardo/verify.hpp"

namespace {

using test::Words;
using tu_mardo::check_pi;
using tu_mardo::result_bound;

// The true n words, with `units` of the last word added as one whole number (carries and
// borrows through the words).
Words truth_plus(int32_t n, int64_t units, const uint16_t* truth = tu_mardo::PI_TRUTH_WORDS) {
  Words words(truth, truth + n);
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

// Every digit count from 4 to 2000 (vectors of 2 to 501 words), as the program computes it:
// all three listings pass, and arctan(1/5) follows from the other two. Prints how close each
// difference came to its bound.
TEST(VerifyTest, EveryRightResultUpTo2000DigitsPasses) {
  test::start_fake_console(false, false);
  // Under a CPU emulator every seventh length, the largest included.
  const int32_t step = test::under_cpu_emulator() ? 7 : 1;
  double worst[3] = {0, 0, 0};
  for (int32_t n = 501; n >= 2; n -= step) {
    const Words a5 = test::arctg(n, 5);
    const Words b = test::arctg(n, 239);
    const Words pi = test::pi_decimals(n);
    Words recovered(static_cast<std::size_t>(n));
    ASSERT_TRUE(tu_mardo::recover_arctan5(pi.data(), b.data(), n, recovered.data()));
    ASSERT_EQ(recovered, a5) << "n " << n;
    const tu_mardo::Verdict verdicts[3] = {tu_mardo::check_arctangent(a5.data(), n, 5),
                                           tu_mardo::check_arctangent(b.data(), n, 239),
                                           check_pi(pi.data(), n)};
    const int64_t bounds[3] = {tu_mardo::arctangent_bound(n, 5), tu_mardo::arctangent_bound(n, 239),
                               result_bound(n)};
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(verdicts[i].right) << "n " << n << ", listing " << i;
      worst[i] = std::max(worst[i], std::abs(static_cast<double>(verdicts[i].difference)) /
                                        static_cast<double>(bounds[i]));
    }
  }
  std::cout << "worst |D|/bound: arctan(1/5) " << worst[0] << ", arctan(1/239) " << worst[1]
            << ", pi " << worst[2] << std::endl;
}

// A word outside 0..9999 makes a listing wrong even when the number is right (it is listed as
// asterisks), and arctan(1/5) is recovered only from a pi and an arctan(1/239) that fit.
TEST(VerifyTest, WordsOutsideTheirRangeFail) {
  const int32_t n = 251;
  Words words = truth_plus(n, 0);
  words[100] += 10000;
  words[99] -= 1;
  EXPECT_FALSE(check_pi(words.data(), n).right);
  EXPECT_EQ(check_pi(words.data(), n).first_wrong_decimal, 400);  // the word before, one less
  Words arctan5(static_cast<std::size_t>(n));
  const Words b = truth_plus(n, 0, tu_mardo::ARCTAN239_TRUTH_WORDS);
  Words odd = truth_plus(n, 2);  // pi - 3 is always a multiple of 4 units
  EXPECT_FALSE(tu_mardo::recover_arctan5(odd.data(), b.data(), n, arctan5.data()));
}

TEST(VerifyTest, TheBoundFromTheSeriesLengths) {
  // 16 (K5 + 1) + 4 (K239 + 1), K half the series length.
  EXPECT_EQ(result_bound(2), 16 * (3 + 1) + 4 * (1 + 1));
  EXPECT_EQ(result_bound(251), 16 * (358 + 1) + 4 * (106 + 1));
  EXPECT_EQ(result_bound(16001), 16 * (22891 + 1) + 4 * (6727 + 1));
}

// Near the end of each listing the smallest error above its bound fails, on either side.
TEST(VerifyTest, TheBoundsAreTight) {
  for (int32_t n : {2, 3, 4, 251, 4447, 16001}) {
    const struct {
      const uint16_t* truth;
      int64_t bound;
      std::function<bool(const Words&)> right;
    } listings[] = {
        {tu_mardo::PI_TRUTH_WORDS, result_bound(n),
         [n](const Words& w) { return check_pi(w.data(), n).right; }},
        {tu_mardo::ARCTAN5_TRUTH_WORDS, tu_mardo::arctangent_bound(n, 5),
         [n](const Words& w) { return tu_mardo::check_arctangent(w.data(), n, 5).right; }},
        {tu_mardo::ARCTAN239_TRUTH_WORDS, tu_mardo::arctangent_bound(n, 239),
         [n](const Words& w) { return tu_mardo::check_arctangent(w.data(), n, 239).right; }}};
    for (const auto& listing : listings) {
      const int64_t bound = listing.bound;
      EXPECT_TRUE(listing.right(truth_plus(n, bound, listing.truth))) << "n " << n;
      EXPECT_FALSE(listing.right(truth_plus(n, bound + 1, listing.truth))) << "n " << n;
      EXPECT_TRUE(listing.right(truth_plus(n, -(bound - 1), listing.truth))) << "n " << n;
      EXPECT_FALSE(listing.right(truth_plus(n, -bound, listing.truth))) << "n " << n;
    }
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

// A floating-point error in the calculation ends the run as the platform reports it (a trap, or
// the flags tested at the end of the timed interval), with what was written written out.
TEST(FloatingPointRunTest, ADivisionByZeroEndsTheRunWithStatusOne) {
  test::ProgramRun run(TU_MARDO_FAULTY_BINARY);
  run.options.environment.push_back("TU_MARDO_FAULT=division_by_zero");
  run.start("4\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, 1);
  std::string err = run.result.err;
  err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());
  EXPECT_EQ(err, "floating-point error: division by zero\n");
  EXPECT_EQ(run.file("PI.Tst"),
            " Speed test data: dimension is     2\r\n Start time 10:00:00.00\r\n");
}

// Runs that cannot vouch for their value: a test-only build that computes wrongly on purpose
// (tests/faulty_kernels.cpp), and a scripted wall clock set during the run. Each must end with
// its line and status, leave the table alone, and leave the files as a right run does.
struct Refused {
  std::string name;
  std::string fault;  // TU_MARDO_FAULT, or empty for the scripted build
  std::string clock;
  std::string digits;
  int status;
  std::string line;         // standard error, up to the decimal
  int first_wrong_decimal;  // 0: not checked
};

// Names the case in test listings.
void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

class RefusedValueTest : public testing::TestWithParam<Refused> {};

const std::string TABLE = "MY PC\r\n";
const std::string LONG = "10:00:00.00 10:01:30.50";
const std::string PI_WRONG = "The computed digits of pi are wrong from decimal ";
const std::string CLOCK_SET =
    "The clock was changed during the run; no benchmark value is recorded.\n";

TEST_P(RefusedValueTest, EndsWithItsStatusAndLeavesTheTableAlone) {
  const Refused& c = GetParam();
  if (c.digits == "16000" && test::under_cpu_emulator()) GTEST_SKIP() << "a long calculation";
  test::ProgramRun right;
  right.clock = c.clock;
  right.start(c.digits + "\n", test::Console::pipe);
  test::ProgramRun run(c.fault.empty() ? TU_MARDO_SCRIPTED_BINARY : TU_MARDO_FAULTY_BINARY);
  run.clock = c.clock;
  if (!c.fault.empty()) run.options.environment.push_back("TU_MARDO_FAULT=" + c.fault);
  test::write_file(run.path("tu_mardo.dat"), TABLE);
  run.start(c.digits + "\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(c.status));
  std::string err = run.result.err;
  err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());  // Windows ends lines with CR LF
  ASSERT_EQ(err.compare(0, c.line.size(), c.line), 0) << err;
  if (c.first_wrong_decimal != 0) {
    EXPECT_EQ(std::stoi(err.substr(c.line.size())), c.first_wrong_decimal);
  }
  if (c.status == 904) {
    EXPECT_EQ(err.substr(err.find(" on;")), " on; no benchmark value is recorded.\n");
  }
  const std::string tail = "\r\nReturn code " + std::to_string(c.status) + "\r\n\r\n";
  const std::string& out = run.result.out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(run.file("tu_mardo.dat"), TABLE);
  // The log and the listings are as a right run leaves them, but for the wrong digits.
  EXPECT_EQ(run.file("PI.Tst"), right.file("PI.Tst"));
  EXPECT_EQ(run.file("PI.OUT").size(), right.file("PI.OUT").size());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RefusedValueTest,
    testing::Values(
        // One unit more in word 1, in word 126 of 251; the truth plus or minus pi's bound and
        // one unit; a carry lost in one addition of the series; one division pass not made.
        Refused{"first_word", "first_word", LONG, "1000", 904, PI_WRONG, 4},
        Refused{"middle_word", "middle_word", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"above_bound", "above_bound", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"below_bound", "below_bound", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"lost_carry", "lost_carry", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"dropped_division", "dropped_division", LONG, "1000", 904, PI_WRONG, 0},
        // The right number with a word of 10000 or more: listed as asterisks.
        Refused{"non_normalised", "non_normalised", LONG, "1000", 904, PI_WRONG, 500},
        // One unit of the last listed word of arctan(1/239) moves pi by less than its bound at
        // 16000 digits; the listing's own bound does not allow it.
        Refused{"arctan239_up", "arctan239_up", LONG, "16000", 904,
                "The computed digits of arctan(1/239) are wrong from decimal ", 16000},
        Refused{"arctan239_down", "arctan239_down", LONG, "16000", 904,
                "The computed digits of arctan(1/239) are wrong from decimal ", 0},
        Refused{"arctan5_beyond_bound", "arctan5_beyond_bound", LONG, "1000", 904,
                "The computed digits of arctan(1/5) are wrong", 0},
        // The wall clock set an hour forward, and a second and a half back (the monotonic
        // clock counts 0.5 s and 4.5 s).
        Refused{"clock_set_forward", "", "10:00:00.00 11:00:00.50@36000.50", "1000", 905, CLOCK_SET,
                0},
        Refused{"clock_set_back", "", "10:00:00.00 10:00:03.00@36004.50", "1000", 905, CLOCK_SET,
                0}),
    [](const auto& param_info) { return param_info.param.name; });

}  // namespace

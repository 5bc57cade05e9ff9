// The run's checks of its listings against their true decimals: right results are exactly the
// truth plus the difference their series predict, anything else fails, and whole runs that
// compute, count or list wrongly on purpose, or whose clock was set, record no value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "machin.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "tu_mardo/truth.hpp"
#include "tu_mardo/verify.hpp"

namespace {

using test::PrintTo;

using test::Words;
using tu_mardo::check_pi;

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
// each series' tally predicts its difference from the truth, and all three vectors are exactly
// the truth plus the predicted differences.
TEST(VerifyTest, EveryRightResultUpTo2000DigitsIsTheTruthPlusItsPredictedDifference) {
  test::start_fake_console(false, false);
  // Under a CPU emulator every seventh length, the largest included.
  const int32_t step = test::under_cpu_emulator() ? 7 : 1;
  int64_t largest = 0;
  for (int32_t n = 501; n >= 2; n -= step) {
    iter::SeriesTally tally5, tally239;
    const Words a5 = test::arctg(n, 5);
    const Words b = test::arctg(n, 239);
    const Words pi = test::pi_decimals(n, &tally5, &tally239);
    int64_t d5 = 0, d239 = 0, d_pi = 0;
    ASSERT_TRUE(tu_mardo::expected_arctangent_difference(tally5, d5)) << "n " << n;
    ASSERT_TRUE(tu_mardo::expected_arctangent_difference(tally239, d239)) << "n " << n;
    ASSERT_TRUE(tu_mardo::expected_pi_difference(n, d5, d239, d_pi)) << "n " << n;
    EXPECT_TRUE(tu_mardo::check_arctangent(a5.data(), n, 5, d5).right) << "n " << n;
    EXPECT_TRUE(tu_mardo::check_arctangent(b.data(), n, 239, d239).right) << "n " << n;
    EXPECT_TRUE(check_pi(pi.data(), n, d_pi).right) << "n " << n;
    Words expected(static_cast<std::size_t>(n));
    tu_mardo::expected_arctangent(n, 5, d5, expected.data());
    ASSERT_EQ(expected, a5) << "n " << n;
    largest = std::max({largest, std::abs(d5), std::abs(d239), std::abs(d_pi)});
  }
  std::cout << "largest difference from the truth: " << largest << " units" << std::endl;
}

// Exactly the truth plus D passes; one unit either way fails, so does a word outside 0..9999
// that leaves the number as it is (listed as asterisks). D carries across words both ways.
TEST(VerifyTest, OnlyTheExpectedNumberPasses) {
  for (int32_t n : {2, 3, 251, 16001}) {
    for (int64_t d : {-123456, -10001, -1, 0, 1, 9999, 123456}) {
      const Words words = truth_plus(n, d);
      EXPECT_TRUE(check_pi(words.data(), n, d).right) << "n " << n << " D " << d;
      EXPECT_FALSE(check_pi(words.data(), n, d + 1).right) << "n " << n << " D " << d;
      EXPECT_FALSE(check_pi(words.data(), n, d - 1).right) << "n " << n << " D " << d;
      Words unnormalised = words;
      unnormalised[static_cast<std::size_t>(n - 1)] += 10000;
      unnormalised[static_cast<std::size_t>(n - 2)] -= 1;
      EXPECT_FALSE(check_pi(unnormalised.data(), n, d).right) << "n " << n << " D " << d;
      Words raised = words;  // one word BASE more: listed as asterisks
      raised[static_cast<std::size_t>(n / 2)] += 10000;
      EXPECT_FALSE(check_pi(raised.data(), n, d).right) << "n " << n << " D " << d;
    }
  }
}

TEST(VerifyTest, TheFirstWrongDecimalIsReported) {
  const int32_t n = 251;
  Words words = truth_plus(n, 0);
  words[0] += 1;  // 1415 becomes 1416
  EXPECT_EQ(check_pi(words.data(), n, 0).first_wrong_decimal, 4);
  words = truth_plus(n, 0);
  words[99] = (words[99] + 1000) % 10000;  // the first digit of word 100
  EXPECT_EQ(check_pi(words.data(), n, 0).first_wrong_decimal, 397);
  words = truth_plus(n, 0);
  words[100] += 10000;  // the same number, listed with asterisks: the word before is one less
  words[99] -= 1;
  EXPECT_EQ(check_pi(words.data(), n, 0).first_wrong_decimal, 400);
}

// A tally whose deviation is not a whole number away from the truth's fraction says the
// calculation went wrong: one unit more in the power vector moves it by 1 / (2j+1); so does one
// with a division its remainder does not prove, or a deviation more than its terms can cut off.
TEST(VerifyTest, ATallyThatDoesNotComeOutWholeFails) {
  test::start_fake_console(false, false);
  iter::SeriesTally tally;
  test::arctg(251, 5, &tally);
  int64_t d = 0;
  ASSERT_TRUE(tu_mardo::expected_arctangent_difference(tally, d));
  iter::SeriesTally lying = tally;  // a remainder out of range, a whole deviation beyond the terms
  lying.unproven = 1;
  EXPECT_FALSE(tu_mardo::expected_arctangent_difference(lying, d));
  lying = tally;
  lying.deviation += 10000;
  EXPECT_FALSE(tu_mardo::expected_arctangent_difference(lying, d));
  tally.deviation += 1.0 / 91565;
  EXPECT_FALSE(tu_mardo::expected_arctangent_difference(tally, d));
  tally.n = 16030;  // beyond the truth
  EXPECT_FALSE(tu_mardo::expected_arctangent_difference(tally, d));
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
// (tests/faulty_kernels.cpp), the in-memory file system changing a file or a count after the
// checks (tests/sweep/memory_files.cpp), and a scripted wall clock set during the run. Each
// must end with its line and status, leave the table alone, and leave the files as a right run
// does (as far as they were written, for a run refused within its interval).
struct Refused {
  std::string name;
  std::string fault;  // TU_MARDO_FAULT, TU_MARDO_FILE_FAULT=..., or empty for the scripted build
  std::string clock;
  std::string digits;
  int status;
  std::string line;         // standard error, up to the decimal
  int first_wrong_decimal;  // 0: not checked
  bool in_interval = false;
};

class RefusedValueTest : public testing::TestWithParam<Refused> {};

const std::string TABLE = "MY PC\r\n";
const std::string LONG = "10:00:00.00 10:01:30.50";
const std::string PI_WRONG = "The computed digits of pi are wrong from decimal ";
const std::string ARCTAN239_WRONG = "The computed digits of arctan(1/239) are wrong from decimal ";
const std::string COUNTS_DISAGREE = "The counts of the run disagree; ";
const std::string CLOCK_SET =
    "The clock was changed during the run; no benchmark value is recorded.\n";

TEST_P(RefusedValueTest, EndsWithItsStatusAndLeavesTheTableAlone) {
  const Refused& c = GetParam();
  test::ProgramRun right;
  right.clock = c.clock;
  right.start(c.digits + "\n", test::Console::pipe);
  const bool file_fault = c.fault.find('=') != std::string::npos;
  test::ProgramRun run(c.fault.empty() ? TU_MARDO_SCRIPTED_BINARY
                       : file_fault    ? TU_MARDO_SWEEP_BINARY
                                       : TU_MARDO_FAULTY_BINARY);
  run.clock = c.clock;
  if (!c.fault.empty()) {
    run.options.environment.push_back(file_fault ? c.fault : "TU_MARDO_FAULT=" + c.fault);
  }
  test::write_file(run.path("tu_mardo.dat"), TABLE);
  run.start(c.digits + "\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(c.status));
  std::string err = run.result.err;
  err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());  // Windows ends lines with CR LF
  ASSERT_EQ(err.compare(0, c.line.size(), c.line), 0) << err;
  if (c.first_wrong_decimal != 0) {
    EXPECT_EQ(std::stoi(err.substr(c.line.size())), c.first_wrong_decimal);
  }
  const std::string refused = "; no benchmark value is recorded.\n";
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
  EXPECT_EQ(err.substr(err.size() - std::min(err.size(), refused.size())), refused);
  const std::string tail = "\r\nReturn code " + std::to_string(c.status) + "\r\n\r\n";
  const std::string& out = run.result.out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(run.file("tu_mardo.dat"), TABLE);
  // The log and the listings are as a right run leaves them, but for the wrong digits.
  const std::string log = run.file("PI.Tst"), right_log = right.file("PI.Tst");
  if (c.in_interval) {
    EXPECT_EQ(right_log.compare(0, log.size(), log), 0) << log;
    EXPECT_LT(run.file("PI.OUT").size(), right.file("PI.OUT").size());
  } else {
    // Byte for byte but for one the row changed on its way to the disk.
    std::size_t apart = log.size() == right_log.size() ? 0 : log.size() + 1;
    for (std::size_t i = 0; i < log.size() && apart <= log.size(); ++i) {
      apart += log[i] != right_log[i];
    }
    EXPECT_LE(apart, c.fault.ends_with(" changed") ? 1u : 0u) << log;
    EXPECT_EQ(run.file("PI.OUT").size(), right.file("PI.OUT").size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RefusedValueTest,
    testing::Values(
        // In pi - 3: one unit more in word 1 and in word 126 of 251, one and nine units in
        // the last listed word; the right number with a word of 10000 or more (asterisks).
        Refused{"first_word", "first_word", LONG, "1000", 904, PI_WRONG, 4},
        Refused{"middle_word", "middle_word", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"last_word_1", "last_word_1", LONG, "1000", 904, PI_WRONG, 999},
        Refused{"last_word_9", "last_word_9", LONG, "1000", 904, PI_WRONG, 999},
        Refused{"non_normalised", "non_normalised", LONG, "1000", 904, PI_WRONG, 500},
        // In the series: a carry lost, a division pass not made, a bit of the guard word, the
        // last listed word of arctan(1/5) (which pi shows); one unit in the power vector near
        // the end, which leaves the remainders no whole number.
        Refused{"lost_carry", "lost_carry", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"dropped_division", "dropped_division", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"guard_bit", "guard_bit", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"arctan5_last_word_1", "arctan5_last_word_1", LONG, "1000", 904, PI_WRONG, 0},
        Refused{"arctan5_last_word_9", "arctan5_last_word_9", LONG, "1000", 904, PI_WRONG, 0},
        // A wrong result in a run too short for a value, and one unit in pi's guard word.
        Refused{"short_run", "last_word_1", "", "1000", 904, PI_WRONG, 999},
        Refused{"guard_word", "guard_word", LONG, "1000", 904,
                "The computed digits of pi are wrong beyond the listed decimals; ", 0},
        // A term division of each series BASE too low in its last word, its remainder BASE d
        // too high: consistent, but no floor.
        Refused{"lying_division_5", "lying_division_5", LONG, "1000", 904,
                "The computed digits of arctan(1/5) are wrong; ", 0},
        Refused{"lying_division_239", "lying_division_239", LONG, "1000", 904,
                "The computed digits of arctan(1/239) are wrong; ", 0},
        Refused{"power_unit", "power_unit", LONG, "1000", 904,
                "The computed digits of arctan(1/5) are wrong; ", 0},
        // The last listed word of arctan(1/239), by units that move pi less than a unit.
        Refused{"arctan239_up", "arctan239_up", LONG, "1000", 904, ARCTAN239_WRONG, 1000},
        Refused{"arctan239_down", "arctan239_down", LONG, "1000", 904, ARCTAN239_WRONG, 0},
        Refused{"arctan239_last_word_9", "arctan239_last_word_9", LONG, "1000", 904,
                ARCTAN239_WRONG, 999},
        // What pi cannot tell: arctan(1/5) a sixteenth off, or with a word out of range, as
        // listed; a word of arctan(1/239) that differs only while it is listed.
        Refused{"arctan5_sixteenth", "arctan5_sixteenth", LONG, "1000", 904,
                "The listed digits of arctan(1/5) are not the computed ones", 0},
        Refused{"arctan5_out_of_range", "arctan5_out_of_range", LONG, "1000", 904,
                "The listed digits of arctan(1/5) are not the computed ones", 0},
        Refused{"listed_byte", "listed_byte", LONG, "1000", 904,
                "The listed digits of arctan(1/239) are not the computed ones", 0},
        // A bit of the word count or of the accepted digit count flipped in memory, as the
        // calculation starts and between two terms of arctan(1/239); the digit count changed
        // after the checks.
        Refused{"word_count", "word_count", LONG, "1000", 904, COUNTS_DISAGREE, 0, true},
        Refused{"digit_count", "digit_count", LONG, "1000", 904, COUNTS_DISAGREE, 0, true},
        Refused{"word_count_between_terms", "word_count_between_terms", LONG, "1000", 904,
                COUNTS_DISAGREE, 0, true},
        Refused{"count_after_checks", "TU_MARDO_FILE_FAULT=read 3 count", LONG, "1000", 904,
                COUNTS_DISAGREE, 0},
        // A byte of each file changed on its way to the disk, before it is read back.
        Refused{"pi_tst_changed", "TU_MARDO_FILE_FAULT=read 1 changed", LONG, "1000", 904,
                "PI.Tst does not hold what was written to it", 0},
        Refused{"pi_out_changed", "TU_MARDO_FILE_FAULT=read 3 changed", LONG, "1000", 904,
                "PI.OUT does not hold what was written to it", 0},
        // The wall clock set an hour forward, and a second and a half back (the monotonic
        // clock counts 0.5 s and 4.5 s).
        Refused{"clock_set_forward", "", "10:00:00.00 11:00:00.50@36000.50", "1000", 905, CLOCK_SET,
                0},
        Refused{"clock_set_back", "", "10:00:00.00 10:00:03.00@36004.50", "1000", 905, CLOCK_SET,
                0},
        // The process had the processor for 40.5 s of 90.5 (stopped, or starved by other
        // programs); it used 181 s of processor time in 90.5 s (both clocks slowed).
        // The 60 s blocked before the interval (the prompt's wait) count for nothing in it.
        Refused{"stopped_or_starved", "", "10:00:00.00b60 10:01:30.50c36040.50b60", "1000", 906,
                "The run was stopped or kept waiting for the processor for 50.0 s of 90.5 s; no "
                "benchmark value is recorded.",
                0},
        Refused{"clocks_slowed", "", "10:00:00.00 10:01:30.50c36181.00", "1000", 906,
                "The process used more processor time than the clocks counted; ", 0}),
    test::row_name);

struct Honest {
  std::string name;
  std::string clock;
  std::string duration;  // the duration record's number
};

class HonestRunTest : public testing::TestWithParam<Honest> {};

// Runs whose clocks only look disturbed record their value.
TEST_P(HonestRunTest, RecordsItsValue) {
  const Honest& c = GetParam();
  test::ProgramRun run;
  run.clock = c.clock;
  test::write_file(run.path("tu_mardo.dat"), TABLE);
  run.start("1000\n", test::Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.err, "");
  EXPECT_NE(run.file("PI.Tst").find(" Duration is" + c.duration + " sec\r\n"), std::string::npos)
      << run.file("PI.Tst");
  EXPECT_EQ(run.file("tu_mardo.dat").size(), 68u);  // the name line with its value
}

INSTANTIATE_TEST_SUITE_P(
    Runs, HonestRunTest,
    testing::Values(
        // 80 of 90.5 s blocked writing to a console that reads slowly: the run's own work.
        Honest{"slow_console_reader", "10:00:00.00 10:01:30.50c36010.00b80.00", "      90.500000"},
        // Each reading's clocks 0.15 s apart (preempted between them), the wall clock 0.3 s on.
        Honest{"split_reading", "10:00:00.00u0.15 10:00:10.30@36010.00u0.15", "      10.300000"},
        // A leap second: the time of day moves one second, two passed.
        Honest{"leap_second", "0/23:59:59.50 1/00:00:00.50L1@86401.50", "       2.000000"},
        // A wall clock slewed 0.05 % fast against the monotonic one by a time server.
        Honest{"slewed_clock", "10:00:00.00 10:16:40.50@37000.00", "    1000.500000"},
        // A coarse process clock: 0.02 s more processor time than the interval.
        Honest{"coarse_process_clock", "10:00:00.00 10:01:30.50c36090.52", "      90.500000"}),
    test::row_name);

}  // namespace

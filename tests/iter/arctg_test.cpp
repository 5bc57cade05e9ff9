// The arctangent series: its length estimate, its passes, its result against the exact
// truncated series, and pi to 64000 digits against independently known decimals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "iter/iter.hpp"
#include "iter/kernels.hpp"
#include "machin.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

using iter::Word;
using test::arctg;
using test::pi_decimals;
using test::Words;

class ArctgTest : public testing::Test {
 protected:
  // arctg writes its series length to the console.
  void SetUp() override { test::start_fake_console(false, false); }
};

struct Estimate {
  int32_t n;
  int32_t x;
  float target_log;
  float first;   // t after the first evaluation of the map
  float second;  // t after the second
  int32_t length;
};

// Shows the case in test listings.
void describe(const Estimate& c, std::ostream* os) { *os << "n " << c.n << ", x " << c.x; }

class EstimateTest : public testing::TestWithParam<Estimate> {};

TEST_P(EstimateTest, MatchesTheWorkedValues) {
  const Estimate& e = GetParam();
  EXPECT_EQ(iter::series_length(e.n, e.x), e.length);
  EXPECT_EQ(iter::solve_status, 0);
  EXPECT_FLOAT_EQ(iter::target_log, e.target_log);
  const float first = iter::series_length_map(iter::target_log);
  EXPECT_FLOAT_EQ(first, e.first);
  EXPECT_FLOAT_EQ(iter::series_length_map(first), e.second);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EstimateTest,
    testing::Values(Estimate{2, 5, 18.420679f, 5.317584f, 5.703574f, 6},
                    Estimate{2, 239, 18.420679f, 1.915805f, 2.122447f, 3},
                    Estimate{251, 5, 2311.7952f, 716.29315f, 716.65717f, 717},
                    Estimate{251, 239, 2311.7952f, 210.85924f, 211.07787f, 212},
                    Estimate{16001, 5, 147374.64f, 45781.309f, 45781.672f, 45782},
                    Estimate{16001, 239, 147374.64f, 13454.688f, 13454.906f, 13455}));

TEST(EstimateTest, InverseLogarithms) {
  iter::series_length(2, 5);
  EXPECT_FLOAT_EQ(iter::inv_log_x, 0.62133491f);
  iter::series_length(2, 239);
  EXPECT_FLOAT_EQ(iter::inv_log_x, 0.18259959f);
}

TEST(EstimateTest, SinglePrecisionDecidesTheLength) {
  // 17784 digits: n = 4447. The second iterate is 12721.999 in single precision; in double
  // precision throughout it would pass 12722 and the length would be 12723.
  EXPECT_EQ(iter::series_length(4447, 5), 12722);
  const float second = iter::series_length_map(iter::series_length_map(iter::target_log));
  EXPECT_LT(second, 12722.0f);
  EXPECT_GT(second, 12721.99f);
}

// Every vector length the program can use, against the table recomputed independently (with
// correctly rounded logarithms) by tests/data/make_series_lengths.py: the work is the same on
// every target, whatever its C library's log and its floating-point unit.
TEST(EstimateTest, EveryLengthMatchesTheIndependentTable) {
  std::ifstream table(SERIES_LENGTHS_FILE);
  ASSERT_TRUE(table) << SERIES_LENGTHS_FILE;
  std::string line;
  int32_t rows = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    int32_t n = 0, lengths[2] = {}, statuses[2] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %d %d %d", &n, &lengths[0], &statuses[0],
                          &lengths[1], &statuses[1]),
              5)
        << line;
    const int32_t xs[2] = {5, 239};
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(iter::series_length(n, xs[i]), lengths[i]) << "n " << n << ", x " << xs[i];
      ASSERT_EQ(iter::solve_status, statuses[i]) << "n " << n << ", x " << xs[i];
    }
    ++rows;
  }
  EXPECT_EQ(rows, 16000);
}

// A map that hands out a scripted sequence of iterates.
std::vector<float> script;
std::size_t calls = 0;
float scripted(const float&) { return script[std::min(calls++, script.size() - 1)]; }

TEST(EstimateTest, TheSolverGivesUpAfterSixNonShrinkingStepsWithoutCountingDown) {
  // Steps 10, 20, 40, 30, 60, 120, 240, 480: the shrinking step (30) does not reset the count,
  // so the sixth non-shrinking step is the eighth evaluation.
  script = {10, -10, 30, 0, 60, -60, 180, -300};
  calls = 0;
  const float t = iter::fixpoint_solve(scripted, 0.0f, 1e-6f);
  EXPECT_EQ(iter::solve_status, iter::SOLVE_GAVE_UP);
  EXPECT_EQ(calls, 8u);
  EXPECT_EQ(t, -300.0f);
}

TEST(EstimateTest, TheSolverConvergesRelativeToTheIterate) {
  script = {100, 150, 160};  // steps 100, 50, 10: 10 <= 0.1 * 160
  calls = 0;
  EXPECT_EQ(iter::fixpoint_solve(scripted, 0.0f, 0.1f), 160.0f);
  EXPECT_EQ(iter::solve_status, 0);
  EXPECT_EQ(calls, 3u);
}

TEST_F(ArctgTest, WritesTheSeriesLengthAndAnEmptyRecordFirst) {
  arctg(251, 5);
  EXPECT_EQ(test::FakeConsole::output, "Expansion length is considered:        717\r\n");
}

// Counts the passes of each kind that arctg makes, with the divisors and lengths they get.
struct Passes {
  static inline int divisions = 0, additions = 0, subtractions = 0, multiplications = 0;
  static inline std::vector<int32_t> divisors;
  static inline bool every_pass_whole = true;
  static inline int32_t n = 0;
};

const iter::kernels::KernelSet COUNTING{"counting",
                                        [] { return true; },
                                        [](Word* v, int32_t n, int32_t m, int32_t base) {
                                          ++Passes::multiplications;
                                          Passes::every_pass_whole &= n == Passes::n;
                                          iter::kernels::PORTABLE.mul(v, n, m, base);
                                        },
                                        [](Word* a, const Word* b, int32_t n, int32_t base) {
                                          ++Passes::additions;
                                          Passes::every_pass_whole &= n == Passes::n;
                                          iter::kernels::PORTABLE.add(a, b, n, base);
                                        },
                                        [](Word* a, const Word* b, int32_t n, int32_t base) {
                                          ++Passes::subtractions;
                                          Passes::every_pass_whole &= n == Passes::n;
                                          iter::kernels::PORTABLE.sub(a, b, n, base);
                                        },
                                        [](Word* v, int32_t n, int32_t d, int32_t base) {
                                          ++Passes::divisions;
                                          Passes::divisors.push_back(d);
                                          Passes::every_pass_whole &= n == Passes::n;
                                          return iter::kernels::PORTABLE.div(v, n, d, base);
                                        }};

struct PassCase {
  int32_t x;
  int32_t power_divisor;
  int power_divisions_per_term;
};

// Shows the case in test listings.
void describe(const PassCase& c, std::ostream* os) { *os << "x " << c.x; }

class PassTest : public testing::TestWithParam<PassCase> {};

TEST_P(PassTest, EveryIterationMakesAllItsPassesOverAllWords) {
  test::start_fake_console(false, false);
  const PassCase& c = GetParam();
  Passes::divisions = Passes::additions = Passes::subtractions = Passes::multiplications = 0;
  Passes::divisors.clear();
  Passes::every_pass_whole = true;
  // Few words, many terms: the terms become zero long before the series ends.
  Passes::n = 3;
  const int32_t iterations = iter::series_length(Passes::n, c.x) / 2;
  iter::kernels::select(COUNTING);
  arctg(Passes::n, c.x);
  iter::kernels::select(iter::kernels::best_for_this_cpu());

  EXPECT_TRUE(Passes::every_pass_whole);
  EXPECT_EQ(Passes::multiplications, 0);
  EXPECT_EQ(Passes::additions, iterations);
  EXPECT_EQ(Passes::subtractions, iterations);
  const int per_iteration = 2 * c.power_divisions_per_term + 2;
  ASSERT_EQ(Passes::divisions, 1 + iterations * per_iteration);
  EXPECT_EQ(Passes::divisors[0], c.x);
  for (int i = 0; i < iterations; ++i) {
    const std::size_t at = 1 + static_cast<std::size_t>(i * per_iteration);
    const int32_t q = 4 * (i + 1) - 1;
    for (int k = 0; k < c.power_divisions_per_term; ++k) {
      EXPECT_EQ(Passes::divisors[at + static_cast<std::size_t>(k)], c.power_divisor);
    }
    EXPECT_EQ(Passes::divisors[at + static_cast<std::size_t>(c.power_divisions_per_term)], q);
    EXPECT_EQ(Passes::divisors[at + static_cast<std::size_t>(per_iteration - 1)], q + 2);
  }
}

// Below the root of BASE (100) x*x divides once per term; from 100 on, x divides twice.
INSTANTIATE_TEST_SUITE_P(Divisors, PassTest,
                         testing::Values(PassCase{5, 25, 1}, PassCase{99, 9801, 1},
                                         PassCase{100, 100, 2}, PassCase{239, 239, 2}));

TEST_F(ArctgTest, FourAndOneThousandDigits) {
  EXPECT_EQ(arctg(2, 5), (Words{1973, 9557}));
  EXPECT_EQ(arctg(2, 239), (Words{41, 8408}));
  EXPECT_EQ(pi_decimals(2), (Words{1415, 9280}));
  const Words a = arctg(251, 5);
  EXPECT_EQ(Words(a.begin(), a.begin() + 6), (Words{1973, 9555, 9849, 8807, 5837, 49}));
  const Words pi = pi_decimals(251);
  EXPECT_EQ(Words(pi.begin(), pi.begin() + 5), (Words{1415, 9265, 3589, 7932, 3846}));
}

}  // namespace

// The arithmetic against exact big-integer computations (GMP): every kernel set on random and
// extreme vectors, and arctg against the exact truncated series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "big_vectors.hpp"
#include "child_process.hpp"
#include "fake_console.hpp"
#include "iter/iter.hpp"
#include "iter/kernels.hpp"
#include "kernel_sets.hpp"
#include "machin.hpp"
#include "tu_mardo/verify.hpp"

namespace {

using iter::Word;
using test::arctg;
using test::Words;

class ExactKernelTest : public test::KernelTest {};

INSTANTIATE_TEST_SUITE_P(Kernels, ExactKernelTest, testing::ValuesIn(test::kernel_sets()),
                         test::kernel_set_name);

Words random_words(std::mt19937& random, int32_t n) {
  std::uniform_int_distribution<Word> word(0, 9999);
  Words words(static_cast<std::size_t>(n));
  for (Word& w : words) w = word(random);
  return words;
}

TEST_P(ExactKernelTest, AgreesWithExactArithmetic) {
  std::mt19937 random(20261207);
  for (int32_t n : {1, 2, 3, 17, 1001}) {
    const test::Big mod = test::modulus(n);
    for (int round = 0; round < 20; ++round) {
      const Words a = random_words(random, n);
      const Words b = random_words(random, n);
      // Extremes matter most: all nines and zeros drive the carries and borrows.
      const Words nines(static_cast<std::size_t>(n), 9999);
      for (const Words& left : {a, nines}) {
        test::Big expected;
        Words sum = left;
        iter::mp_add(sum.data(), b.data(), n);
        mpz_add(expected.get(), test::to_big(left).get(), test::to_big(b).get());
        EXPECT_EQ(sum, test::to_words(expected, n));

        Words difference = b;
        iter::mp_sub(difference.data(), left.data(), n);
        mpz_sub(expected.get(), test::to_big(b).get(), test::to_big(left).get());
        mpz_mod(expected.get(), expected.get(), mod.get());
        EXPECT_EQ(difference, test::to_words(expected, n));

        for (int32_t m : {0, 1, 4, 9999, 214748}) {
          Words product = left;
          iter::mp_mul(product.data(), n, m);
          mpz_mul_ui(expected.get(), test::to_big(left).get(), static_cast<unsigned long>(m));
          EXPECT_EQ(product, test::to_words(expected, n)) << "m " << m;
        }
        for (int32_t d : {1, 3, 25, 239, 9801, 9999, 10000, 91565, 214748}) {
          Words quotient = left;
          iter::mp_div(quotient.data(), n, d);
          mpz_fdiv_q_ui(expected.get(), test::to_big(left).get(), static_cast<unsigned long>(d));
          EXPECT_EQ(quotient, test::to_words(expected, n)) << "d " << d;
        }
      }
    }
  }
}

// The exact truncated series: the alternating sum of floor(BASE^n / ((2j+1) x^(2j+1))) for
// j = 0..2K, modulo BASE^n.
Words exact_series(int32_t n, int32_t x, int32_t length) {
  const test::Big scale = test::modulus(n);
  test::Big power = scale, term, sum,
            x_squared(static_cast<unsigned long>(x) * static_cast<unsigned long>(x));
  mpz_fdiv_q_ui(power.get(), power.get(), static_cast<unsigned long>(x));
  const int32_t last = 2 * (length / 2);
  for (int32_t j = 0; j <= last; ++j) {
    if (j > 0) mpz_fdiv_q(power.get(), power.get(), x_squared.get());
    mpz_fdiv_q_ui(term.get(), power.get(), static_cast<unsigned long>(2 * j + 1));
    if (j % 2 == 0) {
      mpz_add(sum.get(), sum.get(), term.get());
    } else {
      mpz_sub(sum.get(), sum.get(), term.get());
    }
  }
  mpz_mod(sum.get(), sum.get(), scale.get());
  return test::to_words(sum, n);
}

TEST_P(ExactKernelTest, ArctgEqualsTheExactTruncatedSeries) {
  test::start_fake_console(false, false);  // arctg reports its series length
  for (int32_t n : {1, 2, 3, 13, 100, 251}) {
    for (int32_t x : {2, 5, 57, 99, 100, 239}) {
      const int32_t length = iter::series_length(n, x);
      EXPECT_EQ(arctg(n, x), exact_series(n, x, length)) << "n " << n << " x " << x;
    }
  }
}

TEST(ExactArctgTest, TheLastListedWordCanDifferByOneUnit) {
  test::start_fake_console(false, false);
  // arctan(1/239) to 20000 digits ends in 3384; its true decimals end in 3385.
  const Words b = arctg(5001, 239);
  EXPECT_EQ(b[4999], 3384);
  test::Big scale = test::modulus(5002), exact = scale, term;
  // The true value, with one word of margin, from the exact series summed far enough.
  mpz_fdiv_q_ui(exact.get(), scale.get(), 239);
  test::Big power = exact;
  for (unsigned long j = 1; mpz_sgn(power.get()) != 0; ++j) {
    mpz_fdiv_q_ui(power.get(), power.get(), 239UL * 239UL);
    mpz_fdiv_q_ui(term.get(), power.get(), 2 * j + 1);
    (j % 2 ? mpz_sub : mpz_add)(exact.get(), exact.get(), term.get());
  }
  mpz_fdiv_q_ui(exact.get(), exact.get(), 10000 * 10000UL);  // drop the margin and the guard
  EXPECT_EQ(mpz_fdiv_ui(exact.get(), 10000), 3385u);
}

// arctan(1/x) BASE^n 10^30, from the series of exact floors summed until they vanish: short of
// the truth by less than one unit for each term, that is by less than 10^-25 of a unit of word n.
test::Big scaled_arctangent(int32_t n, int32_t x) {
  test::Big power, term, sum;
  mpz_ui_pow_ui(term.get(), 10, 30);
  mpz_mul(power.get(), test::modulus(n).get(), term.get());
  mpz_fdiv_q_ui(power.get(), power.get(), static_cast<unsigned long>(x));
  for (unsigned long j = 0; mpz_sgn(power.get()) != 0; ++j) {
    if (j > 0) mpz_fdiv_q_ui(power.get(), power.get(), static_cast<unsigned long>(x * x));
    mpz_fdiv_q_ui(term.get(), power.get(), 2 * j + 1);
    (j % 2 ? mpz_sub : mpz_add)(sum.get(), sum.get(), term.get());
  }
  return sum;
}

// How far each series says its result lies from arctan(1/x) BASE^n (worked out from the
// remainders of its divisions) against how far it does lie, from the result and the truth in
// exact arithmetic: for every vector of 2 to 501 words and a longer sample. The run's check
// rounds the first to a whole number within WHOLE_TOLERANCE; the largest error is printed.
TEST(ExactArctgTest, EachSeriesKnowsHowFarItLiesFromTheTruth) {
  test::start_fake_console(false, false);
  // Under a CPU emulator every seventh length up to 501 only.
  std::vector<int32_t> lengths;
  for (int32_t n = 2; n <= 501; n += test::under_cpu_emulator() ? 7 : 1) lengths.push_back(n);
  if (!test::under_cpu_emulator()) lengths.insert(lengths.end(), {1001, 4447});
  test::Big scale;
  mpz_ui_pow_ui(scale.get(), 10, 30);
  double worst = 0.0;
  for (int32_t n : lengths) {
    for (int32_t x : {5, 239}) {
      iter::SeriesTally tally;
      test::Big difference = test::to_big(arctg(n, x, &tally));
      mpz_mul(difference.get(), difference.get(), scale.get());
      mpz_sub(difference.get(), difference.get(), scaled_arctangent(n, x).get());
      const double deviation = mpz_get_d(difference.get()) / 1e30;
      const double error = std::fabs(tally.deviation - deviation);
      worst = std::max(worst, error);
      ASSERT_LT(error, tu_mardo::WHOLE_TOLERANCE / 100) << "n " << n << " x " << x;
      ASSERT_EQ(tally.n, n);
      ASSERT_EQ(tally.terms, iter::series_length(n, x) / 2 * 2 + 1);
    }
  }
  std::cout << "largest |predicted - exact deviation|: " << worst << " units" << std::endl;
}

}  // namespace

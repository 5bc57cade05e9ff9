// The digit-vector operations: the worked values, and every kernel set against exact
// big-integer arithmetic.
#include <gtest/gtest.h>

#include <random>

#include "big_vectors.hpp"
#include "iter/iter.hpp"
#include "iter/kernels.hpp"

namespace {

using iter::Word;
using Words = std::vector<Word>;

std::vector<const iter::kernels::KernelSet*> kernel_sets() {
  std::vector<const iter::kernels::KernelSet*> sets{&iter::kernels::PORTABLE};
  if (&iter::kernels::best_for_this_cpu() != &iter::kernels::PORTABLE) {
    sets.push_back(&iter::kernels::best_for_this_cpu());
  }
  return sets;
}

class KernelTest : public testing::TestWithParam<const iter::kernels::KernelSet*> {
 protected:
  void SetUp() override { iter::kernels::select(*GetParam()); }
  void TearDown() override { iter::kernels::select(iter::kernels::best_for_this_cpu()); }
};

INSTANTIATE_TEST_SUITE_P(Kernels, KernelTest, testing::ValuesIn(kernel_sets()),
                         [](const auto& param_info) {
                           std::string name = param_info.param->name;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

TEST_P(KernelTest, WorkedValues) {
  Words one{10000, 0, 0, 0};  // 1.0: the power vector's start, word 1 at its full value
  iter::mp_div(one.data(), 4, 239);
  EXPECT_EQ(one, (Words{41, 8410, 418, 4100}));
  Words other{10000, 0, 0, 0};
  iter::mp_div(other.data(), 4, 25);
  EXPECT_EQ(other, (Words{400, 0, 0, 0}));

  Words quarter_pi{7853, 9816, 3397};
  iter::mp_mul(quarter_pi.data(), 3, 4);  // the carry 3 out of word 1 is dropped
  EXPECT_EQ(quarter_pi, (Words{1415, 9265, 3588}));

  Words zero{0, 0, 0};
  const Words unit{0, 0, 1};
  iter::mp_sub(zero.data(), unit.data(), 3);  // wraps: the borrow out of word 1 is dropped
  EXPECT_EQ(zero, (Words{9999, 9999, 9999}));

  Words almost{9999, 9999};
  const Words tiny{0, 1};
  iter::mp_add(almost.data(), tiny.data(), 2);
  EXPECT_EQ(almost, (Words{0, 0}));
}

Words random_words(std::mt19937& random, int32_t n) {
  std::uniform_int_distribution<Word> word(0, 9999);
  Words words(static_cast<std::size_t>(n));
  for (Word& w : words) w = word(random);
  return words;
}

TEST_P(KernelTest, AgreesWithExactArithmetic) {
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

TEST(MpOpsTest, CopyAndZeroTail) {
  const Words source{1, 2, 3, 4, 5};
  Words target(5, 7);
  iter::mp_copy(source.data(), target.data(), 3);
  EXPECT_EQ(target, (Words{1, 2, 3, 7, 7}));
  iter::mp_zero_tail(target.data(), 5, 4);
  EXPECT_EQ(target, (Words{1, 2, 3, 0, 0}));
  iter::mp_zero_tail(target.data(), 5, 6);  // k beyond n: nothing
  EXPECT_EQ(target, (Words{1, 2, 3, 0, 0}));
}

}  // namespace

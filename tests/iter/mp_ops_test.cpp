// The digit-vector operations: the worked values with every kernel set.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "iter/iter.hpp"
#include "iter/kernels.hpp"
#include "kernel_sets.hpp"

namespace {

using iter::Word;
using Words = std::vector<Word>;
using test::KernelTest;

INSTANTIATE_TEST_SUITE_P(Kernels, KernelTest, testing::ValuesIn(test::kernel_sets()),
                         test::kernel_set_name);

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

// Every set this CPU can run against the portable one, on random vectors with every divisor and
// factor the program uses and the extremes of the words.
TEST(KernelSetsTest, EverySetComputesWhatThePortableOneComputes) {
  std::mt19937 random(11);
  std::uniform_int_distribution<Word> word(0, 9999);
  const int32_t n = 1001;
  for (const iter::kernels::KernelSet* set : test::kernel_sets()) {
    for (int round = 0; round < 20; ++round) {
      Words a(n), b(n);
      for (Word& w : a) w = round == 0 ? 9999 : word(random);
      for (Word& w : b) w = round == 1 ? 9999 : word(random);
      const int32_t divisor = round < 2 ? 91565 : 1 + static_cast<int32_t>(random() % 91565);
      const int32_t factor = static_cast<int32_t>(random() % 17);
      Words expected = a, got = a;
      auto both = [&](auto&& operation) {
        operation(iter::kernels::PORTABLE, expected);
        operation(*set, got);
        ASSERT_EQ(got, expected) << set->name << ", round " << round;
      };
      both(
          [&](const iter::kernels::KernelSet& s, Words& v) { s.div(v.data(), n, divisor, 10000); });
      both([&](const iter::kernels::KernelSet& s, Words& v) { s.mul(v.data(), n, factor, 10000); });
      both([&](const iter::kernels::KernelSet& s, Words& v) {
        s.add(v.data(), b.data(), n, 10000);
      });
      both([&](const iter::kernels::KernelSet& s, Words& v) {
        s.sub(v.data(), b.data(), n, 10000);
      });
    }
  }
}

// Every set built is in the README's table of kernel sets, which users read to know their
// computer's.
TEST(KernelSetsTest, TheTableEndsWithThePortableSetAndTheBestIsTheFirstThatRuns) {
  const auto sets = iter::kernels::all_sets();
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(sets.back(), &iter::kernels::PORTABLE);
  EXPECT_EQ(&iter::kernels::best_for_this_cpu(), test::kernel_sets().front());
  std::ifstream in(README_FILE);
  const std::string readme{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const iter::kernels::KernelSet* set : sets) {
    EXPECT_NE(readme.find(std::string("\n| `") + set->name + "` |"), std::string::npos)
        << set->name;
  }
}

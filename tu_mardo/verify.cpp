// The computed decimals of pi against the true ones.
//
// The bound. Read as an integer of n words, the program's result is
//   A = 4 (4 S5 - S239)  mod BASE^n,   S_x = sum over j = 0..2K of (-1)^j T_j,
// where T_j = floor(BASE^n / ((2j+1) x^(2j+1))): the power vector's repeated divisions nest
// floors of exact quotients, so each term is truncated once, losing less than one unit of the
// guard word, and the multiplications and the subtraction are exact. The K + 1 added terms
// thus make S_x smaller by less than K + 1 units, the K subtracted ones larger by less than K.
// The series stops with its term 2K + 1, which for every n the program uses is below 0.02
// units (tests/data/series_lengths.txt), so the omitted tail lies in (-1, 0]. Hence
// S_x - arctan(1/x) BASE^n lies in (-(K + 1), K + 1), and the result differs from
// (pi - 3) BASE^n by less than 16 (K5 + 1) + 4 (K239 + 1) units: K = L div 2 for the series
// length L. The true value is held as its integer part P, so an integer difference D = A - P
// within that bound, with D in (-bound, bound], is what a right computation gives; anything
// else is wrong. For 64000 digits the bound is 393184 units, the last two words.
#include "tu_mardo/verify.hpp"

#include "tu_mardo/pi_truth.hpp"

namespace tu_mardo {
namespace {

constexpr int32_t LOW_WORDS = 3;  // the bound fits in three words with room to spare

int32_t truth(int32_t word) { return PI_TRUTH_WORDS[word]; }

}  // namespace

int64_t result_bound(int32_t n) {
  const int64_t k5 = iter::series_length(n, 5) / 2;
  const int64_t k239 = iter::series_length(n, 239) / 2;
  return 16 * (k5 + 1) + 4 * (k239 + 1);
}

Verdict check_pi(const iter::Word* words, int32_t n) {
  Verdict verdict;
  if (n > PI_TRUTH_WORD_COUNT) {
    verdict.right = false;
    return verdict;
  }
  const int32_t base = iter::BASE;
  // D = A - P mod BASE^n, word by word from the last with borrows. Its high words are all 0
  // for a small positive D and all BASE - 1 for a small negative one.
  const int32_t low = n < LOW_WORDS ? n : LOW_WORDS;
  int64_t low_value = 0;
  int64_t low_scale = 1;
  bool high_zero = true;
  bool high_full = true;
  int32_t borrow = 0;
  for (int32_t i = n - 1; i >= 0; --i) {
    int32_t d = words[i] - truth(i) - borrow;
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += base;
    if (i >= n - low) {
      low_value += d * low_scale;
      low_scale *= base;
    } else {
      high_zero = high_zero && d == 0;
      high_full = high_full && d == base - 1;
    }
  }
  const int64_t bound = result_bound(n);
  const bool small_positive = high_zero && low_value <= bound;
  const bool small_negative = high_full && low_scale - low_value < bound;
  if (small_positive || small_negative) return verdict;

  verdict.right = false;
  for (int32_t i = 0; i < n; ++i) {
    if (words[i] == truth(i)) continue;
    // The first differing digit of the first differing word.
    int32_t divisor = base / 10;
    int32_t digit = 1;
    while (divisor > 1 && words[i] / divisor % 10 == truth(i) / divisor % 10) {
      divisor /= 10;
      ++digit;
    }
    verdict.first_wrong_decimal = 4 * i + digit;
    break;
  }
  return verdict;
}

}  // namespace tu_mardo

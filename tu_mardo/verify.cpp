// The computed listings against the true decimals.
//
// The bounds. Read as an integer of n words, the program's series result is
//   S_x = sum over j = 0..2K of (-1)^j T_j,   T_j = floor(BASE^n / ((2j+1) x^(2j+1))),
// since the power vector's repeated divisions nest floors of exact quotients, so that each term
// is truncated once and loses less than one unit of the guard word. The K + 1 added terms thus
// make S_x smaller by less than K + 1 units, the K subtracted ones larger by less than K. The
// series stops with its term 2K + 1, which for every n the program uses is below 0.02 units
// (tests/data/series_lengths.txt), so the omitted tail lies in (-1, 0]. Hence S_x differs from
// arctan(1/x) BASE^n by less than K + 1 units, K = L div 2 for the series length L; and pi - 3,
// computed as 4 (4 S5 - S239) mod BASE^n with exact multiplications and subtraction, by less
// than 16 (K5 + 1) + 4 (K239 + 1). The truth is held as its integer part P, so an integer
// difference D = A - P in (-bound, bound] is what a right computation gives; anything else is
// wrong. For 64000 digits the bounds are 22892 (arctan(1/5)), 6728 (arctan(1/239)) and 393184
// units (pi), the last two words at most.
#include "tu_mardo/verify.hpp"

#include "tu_mardo/truth.hpp"

namespace tu_mardo {
namespace {

constexpr int32_t LOW_WORDS = 3;  // every bound fits in three words with room to spare

int64_t series_bound(int32_t n, int32_t x) { return iter::series_length(n, x) / 2 + 1; }

// The first differing decimal (1-based) of two word vectors, or 0 if they do not differ.
int32_t first_difference(const iter::Word* words, const uint16_t* truth, int32_t n) {
  const int32_t base = iter::BASE;
  for (int32_t i = 0; i < n; ++i) {
    if (words[i] == truth[i]) continue;
    // The first differing digit of the first differing word; a word outside 0..BASE-1 differs
    // from its first digit on.
    if (words[i] < 0 || words[i] >= base) return 4 * i + 1;
    int32_t divisor = base / 10;
    int32_t digit = 1;
    while (divisor > 1 && words[i] / divisor % 10 == truth[i] / divisor % 10) {
      divisor /= 10;
      ++digit;
    }
    return 4 * i + digit;
  }
  return 0;
}

}  // namespace

int64_t result_bound(int32_t n) { return 16 * series_bound(n, 5) + 4 * series_bound(n, 239); }

int64_t arctangent_bound(int32_t n, int32_t x) { return series_bound(n, x); }

Verdict check_words(const iter::Word* words, const uint16_t* truth, int32_t truth_words, int32_t n,
                    int64_t bound) {
  Verdict verdict;
  const int32_t base = iter::BASE;
  bool normalised = n <= truth_words;
  for (int32_t i = 0; i < n && normalised; ++i) normalised = words[i] >= 0 && words[i] < base;
  if (normalised) {
    // D = A - P mod BASE^n, word by word from the last with borrows. Its high words are all 0
    // for a small positive D and all BASE - 1 for a small negative one.
    const int32_t low = n < LOW_WORDS ? n : LOW_WORDS;
    int64_t low_value = 0;
    int64_t low_scale = 1;
    bool high_zero = true;
    bool high_full = true;
    int32_t borrow = 0;
    for (int32_t i = n - 1; i >= 0; --i) {
      int32_t d = words[i] - truth[i] - borrow;
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
    // With no high words (n up to three) both hold: the nearer reading counts.
    const bool positive = high_zero && (!high_full || low_value <= low_scale / 2);
    verdict.small = high_zero || high_full;
    verdict.difference = positive ? low_value : low_value - low_scale;
    if (verdict.small && verdict.difference > -bound && verdict.difference <= bound) return verdict;
  } else {
    verdict.small = false;
  }
  verdict.right = false;
  if (n <= truth_words) verdict.first_wrong_decimal = first_difference(words, truth, n);
  return verdict;
}

Verdict check_pi(const iter::Word* words, int32_t n) {
  return check_words(words, PI_TRUTH_WORDS, PI_TRUTH_WORD_COUNT, n, result_bound(n));
}

Verdict check_arctangent(const iter::Word* words, int32_t n, int32_t x) {
  if (x == 5) {
    return check_words(words, ARCTAN5_TRUTH_WORDS, ARCTAN5_TRUTH_WORD_COUNT, n,
                       arctangent_bound(n, 5));
  }
  return check_words(words, ARCTAN239_TRUTH_WORDS, ARCTAN239_TRUTH_WORD_COUNT, n,
                     arctangent_bound(n, 239));
}

// pi - 3 = 16 A5 - 4 B mod BASE^n, so 16 A5 = S = (pi - 3) + 4 B mod BASE^n, which fixes A5
// modulo BASE^n / 16: words 2..n exactly and word 1 modulo 625. Of the sixteen values that
// remain, the one next to the truth is taken: a fault of exactly a multiple of 1/16 in arctan(1/5)
// is thus invisible here, as is a word outside 0..BASE-1 that the first multiplication by 4 put
// right again (the listing showed it as asterisks).
bool recover_arctan5(const iter::Word* pi, const iter::Word* arctan239, int32_t n,
                     iter::Word* arctan5) {
  const int32_t base = iter::BASE;
  int32_t carry = 0;
  for (int32_t i = n - 1; i >= 0; --i) {
    const int32_t sum = pi[i] + 4 * arctan239[i] + carry;
    arctan5[i] = sum % base;
    carry = sum / base;
  }
  int32_t remainder = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t current = remainder * base + arctan5[i];
    arctan5[i] = current / 16;
    remainder = current % 16;
  }
  if (remainder != 0) return false;  // S is a multiple of 16 whenever pi and B are
  constexpr int32_t STEP = 625;      // BASE^n / 16 in word 1
  const int32_t truth = n <= ARCTAN5_TRUTH_WORD_COUNT ? ARCTAN5_TRUTH_WORDS[0] : 0;
  while (arctan5[0] + STEP / 2 < truth) arctan5[0] += STEP;
  return true;
}

}  // namespace tu_mardo

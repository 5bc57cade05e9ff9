// The computed listings against the true decimals, exactly.
//
// Read as an integer of n words, a series' result is S = sum over j = 0..2K of (-1)^j T_j with
// T_j = floor(BASE^n / ((2j+1) x^(2j+1))): the power vector's repeated divisions nest floors of
// exact quotients, so each term is truncated once. S thus differs from arctan(1/x) BASE^n by
// what the floors cut off and by the terms left out, and the series works both out from the
// remainders of its divisions (iter::SeriesTally::deviation). With the truth held as its
// integer part P and its fraction F beyond word n, S - P = deviation + F is a whole number,
// and a right calculation gives exactly that number: the check is equality, not a bound.
// pi - 3 = 4 (4 S5 - S239) mod BASE^n is formed with exact steps, so its difference follows
// from the two series' in whole numbers.
#include "tu_mardo/verify.hpp"

#include <cmath>

#include "tu_mardo/truth.hpp"

namespace tu_mardo {
namespace {

// Words of the truth beyond word n that make up its fraction: 16 decimals, all a double holds.
constexpr int32_t FRACTION_WORDS = 4;

struct Truth {
  const uint16_t* words;
  int32_t count;
};

Truth truth_of(int32_t x) {
  if (x == 5) return {ARCTAN5_TRUTH_WORDS, ARCTAN5_TRUTH_WORD_COUNT};
  if (x == 239) return {ARCTAN239_TRUTH_WORDS, ARCTAN239_TRUTH_WORD_COUNT};
  return {nullptr, 0};
}

// The truth's fraction beyond word n, in units of word n.
bool fraction_beyond(const Truth& truth, int32_t n, double& fraction) {
  if (truth.words == nullptr || n < 1 || truth.count < n + FRACTION_WORDS) return false;
  fraction = 0.0;
  for (int32_t i = n + FRACTION_WORDS - 1; i >= n; --i) {
    fraction = (fraction + truth.words[i]) / iter::BASE;
  }
  return true;
}

bool whole(double value, int64_t& number) {
  if (!std::isfinite(value) || std::fabs(value) > 1e15) return false;
  const double nearest = std::round(value);
  number = static_cast<int64_t>(nearest);
  return std::fabs(value - nearest) <= WHOLE_TOLERANCE;
}

// Word i (0-based) of the truth plus D units of word n, modulo BASE^n, for every i from the
// last up: `visit(i, word)`.
template <class Visit>
void each_expected_word(const uint16_t* truth, int32_t n, int64_t difference, Visit visit) {
  const int64_t base = iter::BASE;
  int64_t carry = difference;
  for (int32_t i = n - 1; i >= 0; --i) {
    const int64_t sum = truth[i] + carry;
    int64_t word = sum % base;
    if (word < 0) word += base;
    carry = (sum - word) / base;
    visit(i, static_cast<iter::Word>(word));
  }
}

// The first differing decimal (1-based) of word i: a word outside 0..BASE-1 differs from its
// first digit on.
int32_t first_differing_decimal(int32_t i, iter::Word word, iter::Word expected) {
  if (word < 0 || word >= iter::BASE) return 4 * i + 1;
  int32_t divisor = iter::BASE / 10;
  int32_t digit = 1;
  while (divisor > 1 && word / divisor % 10 == expected / divisor % 10) {
    divisor /= 10;
    ++digit;
  }
  return 4 * i + digit;
}

}  // namespace

bool expected_arctangent_difference(const iter::SeriesTally& tally, int64_t& difference) {
  // Each term's floor cuts off less than a unit, so the terms bound the deviation.
  if (tally.unproven != 0 || !(std::fabs(tally.deviation) <= tally.terms + 1.0)) return false;
  double fraction = 0.0;
  if (!fraction_beyond(truth_of(tally.x), tally.n, fraction)) return false;
  return whole(tally.deviation + fraction, difference);
}

// 16 P5 - 4 P239 - P_pi - 3 BASE^n = F_pi - 16 F5 + 4 F239, a whole number since the truths
// satisfy Machin's formula; pi - 3 = 16 (P5 + D5) - 4 (P239 + D239) mod BASE^n then lies
// F_pi - 16 F5 + 4 F239 + 16 D5 - 4 D239 units above P_pi.
bool expected_pi_difference(int32_t n, int64_t d5, int64_t d239, int64_t& difference) {
  double pi = 0.0;
  double arctan5 = 0.0;
  double arctan239 = 0.0;
  if (!fraction_beyond({PI_TRUTH_WORDS, PI_TRUTH_WORD_COUNT}, n, pi) ||
      !fraction_beyond(truth_of(5), n, arctan5) || !fraction_beyond(truth_of(239), n, arctan239)) {
    return false;
  }
  int64_t truths = 0;
  if (!whole(pi - 16.0 * arctan5 + 4.0 * arctan239, truths)) return false;
  difference = truths + 16 * d5 - 4 * d239;
  return true;
}

Verdict check_words(const iter::Word* words, const uint16_t* truth, int32_t truth_words, int32_t n,
                    int64_t difference) {
  Verdict verdict;
  if (n < 1 || n > truth_words) {
    verdict.right = false;
    return verdict;
  }
  int32_t first = -1;
  iter::Word expected_there = 0;
  each_expected_word(truth, n, difference, [&](int32_t i, iter::Word expected) {
    if (words[i] != expected) {
      first = i;
      expected_there = expected;
    }
  });
  if (first < 0) return verdict;
  verdict.right = false;
  verdict.first_wrong_decimal = first_differing_decimal(first, words[first], expected_there);
  return verdict;
}

Verdict check_pi(const iter::Word* words, int32_t n, int64_t difference) {
  return check_words(words, PI_TRUTH_WORDS, PI_TRUTH_WORD_COUNT, n, difference);
}

Verdict check_arctangent(const iter::Word* words, int32_t n, int32_t x, int64_t difference) {
  const Truth truth = truth_of(x);
  return check_words(words, truth.words, truth.count, n, difference);
}

void expected_arctangent(int32_t n, int32_t x, int64_t difference, iter::Word* into) {
  each_expected_word(truth_of(x).words, n, difference,
                     [into](int32_t i, iter::Word word) { into[i] = word; });
}

}  // namespace tu_mardo

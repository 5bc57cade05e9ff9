// The check of the computed listings against their true decimals, before a value counts.
#pragma once

#include <cstdint>

#include "iter/iter.hpp"

namespace tu_mardo {

// How far a series' deviation, worked out from its remainders, may lie from a whole number:
// far above the rounding of its few hundred thousand floating-point steps (below 1e-9), far
// below what the smallest fault leaves (one unit of the power vector moves it by 1 / (2j+1),
// above 1e-5).
inline constexpr double WHOLE_TOLERANCE = 1e-7;

// The difference D = S - P, in units of word n, between the n words S a right calculation of
// arctan(1/x) gives (x = 5 or 239) and the integer part P of the truth: the tally's deviation
// plus the truth's fraction beyond word n, a whole number. False when a division was not proved
// by its remainder, the deviation lies beyond what the terms can cut off, it does not come out
// whole (a remainder, or the power the series divided, went wrong) or the truth is too short.
bool expected_arctangent_difference(const iter::SeriesTally& tally, int64_t& difference);

// D for pi - 3 = 4 (4 S5 - S239) mod BASE^n, from the two series' differences; false when the
// truth is too short.
bool expected_pi_difference(int32_t n, int64_t d5, int64_t d239, int64_t& difference);

struct Verdict {
  bool right = true;
  int32_t first_wrong_decimal = 0;  // when not right: the first decimal that differs (0: none)
};

// The n words (word 1 first) against the truth plus D units of word n, modulo BASE^n: right
// when every word lies in 0..BASE-1 and they are exactly that number.
Verdict check_words(const iter::Word* words, const uint16_t* truth, int32_t truth_words, int32_t n,
                    int64_t difference);
Verdict check_pi(const iter::Word* words, int32_t n, int64_t difference);
Verdict check_arctangent(const iter::Word* words, int32_t n, int32_t x, int64_t difference);

// The n words of the truth plus D units of word n, modulo BASE^n: what a right calculation of
// arctan(1/x) gives, as check_arctangent compares it.
void expected_arctangent(int32_t n, int32_t x, int64_t difference, iter::Word* into);

}  // namespace tu_mardo

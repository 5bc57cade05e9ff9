// The check of the computed listings against their true decimals, before a value counts.
#pragma once

#include <cstdint>

#include "iter/iter.hpp"

namespace tu_mardo {

// How far the computed vector of n words may lie from the true decimals, in units of its last
// (guard) word, when every step is right: for pi - 3, and for arctan(1/x), x = 5 or 239.
int64_t result_bound(int32_t n);
int64_t arctangent_bound(int32_t n, int32_t x);

struct Verdict {
  bool right = true;
  int32_t first_wrong_decimal = 0;  // when not right: the first decimal that differs (0: none)
  bool small = true;                // the words are normalised and D fits in three words
  int64_t difference = 0;           // then D = A - P, in units of the last word
};

// The n words (word 1 first) against the truth as one whole number: right when every word lies
// in 0..BASE-1 and the difference lies within the bound.
Verdict check_words(const iter::Word* words, const uint16_t* truth, int32_t truth_words, int32_t n,
                    int64_t bound);
Verdict check_pi(const iter::Word* words, int32_t n);
Verdict check_arctangent(const iter::Word* words, int32_t n, int32_t x);

// arctan(1/5) as the run listed it, worked out after the timed interval from pi - 3 and
// arctan(1/239), which the run still holds: the multiplications that follow the listing would
// otherwise have to keep a copy inside the interval. False when the two do not fit together.
bool recover_arctan5(const iter::Word* pi, const iter::Word* arctan239, int32_t n,
                     iter::Word* arctan5);

}  // namespace tu_mardo

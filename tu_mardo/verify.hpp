// The check of the computed decimals of pi against the true ones, before a value counts.
#pragma once

#include <cstdint>

#include "iter/iter.hpp"

namespace tu_mardo {

// How far the computed vector of n words may lie from the true decimals, in units of its last
// (guard) word, when every step is right.
int64_t result_bound(int32_t n);

struct Verdict {
  bool right = true;
  int32_t first_wrong_decimal = 0;  // when not right: the first decimal that differs
};

// Checks the n words of pi - 3 (word 1 first) against the truth, as one whole number.
Verdict check_pi(const iter::Word* words, int32_t n);

}  // namespace tu_mardo

// The arithmetic as the program uses it: an arctangent series, and pi - 3 by Machin's formula.
// arctg writes its series length to the console: start a fake console first.
#pragma once

#include <vector>

#include "iter/iter.hpp"

namespace test {

using Words = std::vector<iter::Word>;

inline Words arctg(int32_t n, int32_t x, iter::SeriesTally* tally = nullptr) {
  Words result(static_cast<std::size_t>(n)), term(result.size(), -1), power(result.size(), -1);
  iter::SeriesTally unused;
  iter::arctg(result.data(), term.data(), power.data(), n, x, tally ? *tally : unused);
  return result;
}

// pi - 3 in n words, as the program forms it from the two series (and their tallies).
inline Words pi_decimals(int32_t n, iter::SeriesTally* tally5 = nullptr,
                         iter::SeriesTally* tally239 = nullptr) {
  Words a = arctg(n, 5, tally5);
  const Words b = arctg(n, 239, tally239);
  iter::mp_mul(a.data(), n, 4);
  iter::mp_sub(a.data(), b.data(), n);
  iter::mp_mul(a.data(), n, 4);
  return a;
}

}  // namespace test

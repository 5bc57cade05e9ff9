#include "tu_mardo/counts.hpp"

namespace tu_mardo {

RunCounts counts;
RunCounts inverted_counts;

void accept_counts(int32_t word_digits) {
  counts.nwords = (counts.ndigits - 1) / word_digits + 1;
  counts.naccepted = counts.nwords * word_digits;
  counts.n = counts.nwords + 1;
  inverted_counts = {~counts.ndigits, ~counts.nwords, ~counts.naccepted, ~counts.n};
}

bool counts_agree(int32_t word_digits, int32_t max_digits) {
  const RunCounts& c = counts;
  const RunCounts& i = inverted_counts;
  return c.ndigits == ~i.ndigits && c.nwords == ~i.nwords && c.naccepted == ~i.naccepted &&
         c.n == ~i.n && c.ndigits >= 4 && c.ndigits <= max_digits &&
         c.nwords == (c.ndigits - 1) / word_digits + 1 && c.naccepted == c.nwords * word_digits &&
         c.n == c.nwords + 1;
}

}  // namespace tu_mardo

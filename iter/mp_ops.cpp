#include <cstring>

#include "iter/iter.hpp"
#include "iter/kernels.hpp"

namespace iter {

// What the main program sets them to at start-up, from the start: the operations then work in
// tests that do not run the program too.
int32_t BASE = WORD_BASE;
int32_t ROOT_BASE = [] {
  int32_t root = 0;
  while ((root + 1) * (root + 1) <= WORD_BASE) ++root;
  return root;
}();

void mp_copy(const Word* src, Word* dst, int32_t n) {
  std::memcpy(dst, src, static_cast<std::size_t>(n) * sizeof(Word));
}

void mp_zero_tail(Word* v, int32_t n, int32_t k) {
  if (k > n) return;
  std::memset(v + (k - 1), 0, static_cast<std::size_t>(n - k + 1) * sizeof(Word));
}

void mp_mul(Word* v, int32_t n, int32_t m) { kernels::selected().mul(v, n, m, BASE); }
void mp_add(Word* a, const Word* b, int32_t n) { kernels::selected().add(a, b, n, BASE); }
void mp_sub(Word* a, const Word* b, int32_t n) { kernels::selected().sub(a, b, n, BASE); }
void mp_div(Word* v, int32_t n, int32_t d) { (void)kernels::selected().div(v, n, d, BASE); }
int32_t mp_div_rem(Word* v, int32_t n, int32_t d) { return kernels::selected().div(v, n, d, BASE); }

}  // namespace iter

// The word loops for x86-64-v2 CPUs (SSE4.1 and 4.2, SSSE3, POPCNT: Nehalem to Ivy Bridge,
// and many Pentium, Celeron and Atom parts without AVX2); this file alone is built for them.
// SSE4.1's roundsd truncates in one instruction; there is no FMA, so each multiply-add is a
// multiplication and an addition, exact all the same.
#include "iter/kernels.hpp"
#include "iter/kernels_double_chain.hpp"

namespace iter::kernels::x86_64_v2 {

void mul(Word* v, int32_t n, int32_t m, int32_t base) { chain_mul<false>(v, n, m, base); }
void add(Word* a, const Word* b, int32_t n, int32_t base) { chain_add<false>(a, b, n, base); }
void sub(Word* a, const Word* b, int32_t n, int32_t base) { chain_sub(a, b, n, base); }
int32_t div(Word* v, int32_t n, int32_t d, int32_t base) { return chain_div<false>(v, n, d, base); }

}  // namespace iter::kernels::x86_64_v2

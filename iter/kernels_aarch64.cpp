// The word loops for aarch64: truncation (frintz) and fused multiply-add (fmadd) are in the
// base instruction set, so every 64-bit ARM CPU runs them.
#include "iter/kernels.hpp"
#include "iter/kernels_double_chain.hpp"

namespace iter::kernels::aarch64 {

void mul(Word* v, int32_t n, int32_t m, int32_t base) { chain_mul<true>(v, n, m, base); }
void add(Word* a, const Word* b, int32_t n, int32_t base) { chain_add<true>(a, b, n, base); }
void sub(Word* a, const Word* b, int32_t n, int32_t base) { chain_sub(a, b, n, base); }
int32_t div(Word* v, int32_t n, int32_t d, int32_t base) { return chain_div<true>(v, n, d, base); }

}  // namespace iter::kernels::aarch64

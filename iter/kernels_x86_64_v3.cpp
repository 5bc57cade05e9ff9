// The word loops for x86-64-v3 CPUs (AVX2, FMA, BMI1/2: Haswell, Zen and later); this file
// alone is built for them, and only called where kernel_table.cpp found the CPU has them.
#include "iter/kernels.hpp"
#include "iter/kernels_double_chain.hpp"

namespace iter::kernels::x86_64_v3 {

void mul(Word* v, int32_t n, int32_t m, int32_t base) { chain_mul<true>(v, n, m, base); }
void add(Word* a, const Word* b, int32_t n, int32_t base) { chain_add<true>(a, b, n, base); }
void sub(Word* a, const Word* b, int32_t n, int32_t base) { chain_sub(a, b, n, base); }
int32_t div(Word* v, int32_t n, int32_t d, int32_t base) { return chain_div<true>(v, n, d, base); }

}  // namespace iter::kernels::x86_64_v3

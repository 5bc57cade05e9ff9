// The word loops for WebAssembly engines with relaxed SIMD, whose fused multiply-add shortens
// the loops' chains as FMA does natively. The loops are iter/kernels_wasm_fma.wat, in a module
// of their own on the program's memory (platform/wasm_kernels.js carries and instantiates it);
// these are the calls into it, which the set's check makes sure exist.
#include "iter/kernels.hpp"

extern "C" {
int tu_mardo_fma_ready();  // 1 once the module runs on this engine
void tu_mardo_fma_mul(iter::Word* v, int32_t n, int32_t m, int32_t base);
void tu_mardo_fma_add(iter::Word* a, const iter::Word* b, int32_t n, int32_t base);
void tu_mardo_fma_sub(iter::Word* a, const iter::Word* b, int32_t n, int32_t base);
int32_t tu_mardo_fma_div(iter::Word* v, int32_t n, int32_t d, int32_t base);
}

namespace iter::kernels {

bool engine_has_relaxed_simd() { return tu_mardo_fma_ready() == 1; }

namespace wasm_fma {

void mul(Word* v, int32_t n, int32_t m, int32_t base) { tu_mardo_fma_mul(v, n, m, base); }
void add(Word* a, const Word* b, int32_t n, int32_t base) { tu_mardo_fma_add(a, b, n, base); }
void sub(Word* a, const Word* b, int32_t n, int32_t base) { tu_mardo_fma_sub(a, b, n, base); }
int32_t div(Word* v, int32_t n, int32_t d, int32_t base) { return tu_mardo_fma_div(v, n, d, base); }

}  // namespace wasm_fma
}  // namespace iter::kernels

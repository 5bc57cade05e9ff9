// The word loops for WebAssembly: truncation is one instruction (f64.trunc) on every engine,
// fused multiply-add is none, so each multiply-add is a multiplication and an addition, exact
// all the same.
#include "iter/kernels.hpp"
#include "iter/kernels_double_chain.hpp"

namespace iter::kernels::wasm {

void mul(Word* v, int32_t n, int32_t m, int32_t base) { chain_mul<false>(v, n, m, base); }
void add(Word* a, const Word* b, int32_t n, int32_t base) { chain_add<false>(a, b, n, base); }
void sub(Word* a, const Word* b, int32_t n, int32_t base) { chain_sub(a, b, n, base); }
int32_t div(Word* v, int32_t n, int32_t d, int32_t base) { return chain_div<false>(v, n, d, base); }

}  // namespace iter::kernels::wasm

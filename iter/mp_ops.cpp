#include <cstring>

#include "iter/iter.hpp"
#include "iter/kernels.hpp"

namespace iter {

int32_t BASE = 10000;
int32_t ROOT_BASE = 100;

namespace kernels {

namespace {
const KernelSet* active = nullptr;
}  // namespace

const KernelSet& best_for_this_cpu() {
  // This file is built for any x86-64 CPU, so the test itself is safe to run.
#if defined(TU_MARDO_X86_64_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
      __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("bmi2")) {
    return FMA_AVX2;
  }
#endif
  return PORTABLE;
}

const KernelSet& selected() {
  if (active == nullptr) active = &best_for_this_cpu();  // chosen once
  return *active;
}

void select(const KernelSet& set) { active = &set; }

}  // namespace kernels

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
void mp_div(Word* v, int32_t n, int32_t d) { kernels::selected().div(v, n, d, BASE); }

}  // namespace iter

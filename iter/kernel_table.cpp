// The table of kernel sets built for this target, and the choice among them. This file is built
// for the target's base CPU, so its tests of the CPU run anywhere.
#include "iter/kernels.hpp"

namespace iter::kernels {
namespace {

bool any_cpu() { return true; }

#if defined(TU_MARDO_X86_64_KERNELS)
bool has_x86_64_v2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse3") && __builtin_cpu_supports("ssse3") &&
         __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
         __builtin_cpu_supports("popcnt");
}

bool has_x86_64_v3() {
  return has_x86_64_v2() && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
         __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2");
}

const KernelSet X86_64_V3{"x86-64-v3",    "AVX2, FMA, BMI1 and BMI2 (x86-64-v3)",
                          has_x86_64_v3,  x86_64_v3::mul,
                          x86_64_v3::add, x86_64_v3::sub,
                          x86_64_v3::div};
const KernelSet X86_64_V2{"x86-64-v2",    "SSE4.1, SSE4.2, SSSE3 and POPCNT (x86-64-v2)",
                          has_x86_64_v2,  x86_64_v2::mul,
                          x86_64_v2::add, x86_64_v2::sub,
                          x86_64_v2::div};
#endif

#if defined(TU_MARDO_AARCH64_KERNELS)
const KernelSet AARCH64{"aarch64",    "the base aarch64 instruction set",
                        any_cpu,      aarch64::mul,
                        aarch64::add, aarch64::sub,
                        aarch64::div};
#endif

const KernelSet* const SETS[] = {
#if defined(TU_MARDO_X86_64_KERNELS)
    &X86_64_V3,
    &X86_64_V2,
#endif
#if defined(TU_MARDO_AARCH64_KERNELS)
    &AARCH64,
#endif
    &PORTABLE,
};

const KernelSet* active = nullptr;

}  // namespace

const KernelSet PORTABLE{"portable",    "nothing beyond the C++ compiler's target",
                         any_cpu,       portable::mul,
                         portable::add, portable::sub,
                         portable::div};

std::span<const KernelSet* const> all_sets() { return SETS; }

const KernelSet& best_for_this_cpu() {
  for (const KernelSet* set : SETS) {
    if (set->cpu_can_run()) return *set;
  }
  return PORTABLE;
}

const KernelSet& selected() {
  if (active == nullptr) active = &best_for_this_cpu();  // chosen once
  return *active;
}

void select(const KernelSet& set) { active = &set; }

}  // namespace iter::kernels

// The word loops behind the mp_ operations. Each exists as a portable build and, on x86-64,
// as a build for CPUs with FMA and AVX2; one set is chosen once, at the first call.
#pragma once

#include <cstdint>

#include "iter/iter.hpp"

namespace iter::kernels {

struct KernelSet {
  const char* name;
  void (*mul)(Word* v, int32_t n, int32_t m, int32_t base);
  void (*add)(Word* a, const Word* b, int32_t n, int32_t base);
  void (*sub)(Word* a, const Word* b, int32_t n, int32_t base);
  void (*div)(Word* v, int32_t n, int32_t d, int32_t base);
};

extern const KernelSet PORTABLE;
#if defined(TU_MARDO_X86_64_KERNELS)
extern const KernelSet FMA_AVX2;
#endif

// The fastest set this CPU can run.
const KernelSet& best_for_this_cpu();

// The set the mp_ operations use: the best one, unless a test or benchmark chose another.
const KernelSet& selected();
void select(const KernelSet& set);

}  // namespace iter::kernels

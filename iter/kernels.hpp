// The word loops behind the mp_ operations, as kernel sets: each set is the same loops built
// for one level of CPU, in its own translation unit with that level's flags. Every set does the
// same work step for step (one floating-point division and two truncations a word step of
// mp_mul, mp_add and mp_div, every pass over all n words); they differ only in the
// instructions. One set is chosen once, at the first operation: the first set of the table
// that this CPU can run.
//
// Which set a run got is never shown in its output; tests see it through
// tests/programs/kernel_choice.cpp, which prints best_for_this_cpu() for the CPU it runs on.
#pragma once

#include <cstdint>
#include <span>

#include "iter/iter.hpp"

namespace iter::kernels {

struct KernelSet {
  const char* name;
  bool (*cpu_can_run)();
  void (*mul)(Word* v, int32_t n, int32_t m, int32_t base);
  void (*add)(Word* a, const Word* b, int32_t n, int32_t base);
  void (*sub)(Word* a, const Word* b, int32_t n, int32_t base);
  // Returns the remainder of the division, V mod d, which mp_div drops and arctg keeps.
  int32_t (*div)(Word* v, int32_t n, int32_t d, int32_t base);
};

// Every set built for this target, the fastest first; `portable` is last and runs anywhere.
std::span<const KernelSet* const> all_sets();

// The first set of the table that this CPU can run.
const KernelSet& best_for_this_cpu();

// The set the mp_ operations use: the best one, unless a test or benchmark chose another.
const KernelSet& selected();
void select(const KernelSet& set);

// The loops of each set, each in its own translation unit (declared in iter/CMakeLists.txt).
#define TU_MARDO_KERNEL_LOOPS(set)                           \
  namespace set {                                            \
  void mul(Word* v, int32_t n, int32_t m, int32_t base);     \
  void add(Word* a, const Word* b, int32_t n, int32_t base); \
  void sub(Word* a, const Word* b, int32_t n, int32_t base); \
  int32_t div(Word* v, int32_t n, int32_t d, int32_t base);  \
  }

// Whether the WebAssembly engine runs relaxed SIMD: the check of the wasm-fma set (WebAssembly
// only).
bool engine_has_relaxed_simd();

// The portable set, which every target has.
extern const KernelSet& PORTABLE;

}  // namespace iter::kernels

// The table of kernel sets built for this target, generated from their declarations in
// iter/CMakeLists.txt, and the choice among them. This file is built for the target's base CPU,
// so its tests of the CPU run anywhere.
#include "iter/kernels.hpp"

namespace iter::kernels {

#define TU_MARDO_KERNEL_SET(id, name, check) TU_MARDO_KERNEL_LOOPS(id)
#include "kernel_sets.inc"
#undef TU_MARDO_KERNEL_SET

namespace {

#define TU_MARDO_KERNEL_SET(id, name, check) \
  bool id##_runs() { return check; }         \
  const KernelSet id##_set{name, id##_runs, id::mul, id::add, id::sub, id::div};
#include "kernel_sets.inc"
#undef TU_MARDO_KERNEL_SET

const KernelSet* const SETS[] = {
#define TU_MARDO_KERNEL_SET(id, name, check) &id##_set,
#include "kernel_sets.inc"
#undef TU_MARDO_KERNEL_SET
};

const KernelSet* active = nullptr;

}  // namespace

const KernelSet& PORTABLE = portable_set;

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

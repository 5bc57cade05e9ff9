// Bench-only: the names of the kernel sets this CPU can run, one a line.
#include <cstdio>

#include "iter/kernels.hpp"

int main() {
  for (const iter::kernels::KernelSet* set : iter::kernels::all_sets()) {
    if (set->cpu_can_run()) std::printf("%s\n", set->name);
  }
  return 0;
}

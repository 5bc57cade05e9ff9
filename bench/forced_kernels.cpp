// Bench-only: the program with its kernel set forced by TU_MARDO_KERNELS (a set's name), so
// that whole runs can be timed with each set this CPU can run. The shipped program chooses
// for itself and reads no environment.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "iter/kernels.hpp"

namespace {

const bool forced = [] {
  const char* name = std::getenv("TU_MARDO_KERNELS");
  if (name == nullptr) return false;
  for (const iter::kernels::KernelSet* set : iter::kernels::all_sets()) {
    if (std::strcmp(set->name, name) == 0 && set->cpu_can_run()) {
      iter::kernels::select(*set);
      return true;
    }
  }
  std::fprintf(stderr, "no kernel set %s for this CPU\n", name);
  std::exit(2);
}();

}  // namespace

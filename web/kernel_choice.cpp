// The kernel set the page's program takes on this engine, for the page to tell a benchmark script
// (the run itself never shows it).
#include "iter/kernels.hpp"

extern "C" const char* tu_mardo_kernel_set() { return iter::kernels::best_for_this_cpu().name; }

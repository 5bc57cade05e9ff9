// Test-only: prints the kernel set the program would choose on the CPU this runs on, so that
// tests can see the choice (the program itself never shows it).
#include <cstdio>

#include "iter/kernels.hpp"

int main() {
  std::printf("%s\n", iter::kernels::best_for_this_cpu().name);
  return 0;
}

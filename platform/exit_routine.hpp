// The exit routine, which every way out of the process runs once; shared by the platform
// implementations.
#pragma once

#include <cstdint>

namespace platform {

// Runs the registered routine once; returns the status the process should end with.
int32_t run_exit_routine(int32_t status);

// What a platform does last, after the exit routine, before the process ends with `status`
// (Windows: a window of the program's own waits for Enter). Nothing unless one is set.
using LastStep = void (*)(int32_t status);
void set_last_step(LastStep step);

}  // namespace platform

// The exit routine, which every way out of the process runs once; shared by the platform
// implementations.
#pragma once

#include <cstdint>

namespace platform {

// Runs the registered routine once; returns the status the process should end with.
int32_t run_exit_routine(int32_t status);

}  // namespace platform

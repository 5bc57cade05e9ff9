// The exit routine shared by the platform implementations.
#pragma once

#include <cstdint>

namespace platform {

// Runs the registered routine once; returns the status the process should end with.
int32_t run_exit_routine(int32_t status);

// Reports a floating-point trap on standard error and ends the process with status 1.
[[noreturn]] void end_on_floating_point_error(const char* what);

}  // namespace platform

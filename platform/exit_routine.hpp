// What the platform implementations share: the exit routine and the floating-point report.
#pragma once

#include <cstdint>

namespace platform {

// Runs the registered routine once; returns the status the process should end with.
int32_t run_exit_routine(int32_t status);

// Reports a floating-point error on standard error and ends the process with status 1.
[[noreturn]] void end_on_floating_point_error(const char* what);

// The report's text for the raised kinds, the most telling first.
const char* floating_point_error_text(bool division_by_zero, bool overflow, bool invalid);

// Start-up notes whether the traps are armed.
void set_floating_point_traps_armed(bool armed);

}  // namespace platform

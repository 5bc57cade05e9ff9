// The floating-point report that both paths end with (a trap, or the sticky flags where nothing
// traps); shared by the platform implementations.
#pragma once

namespace platform {

// Reports a floating-point error on standard error and ends the process with status 1, after
// the exit routine.
[[noreturn]] void end_on_floating_point_error(const char* what);

// The report's text for the raised kinds, the most telling first.
const char* floating_point_error_text(bool division_by_zero, bool overflow, bool invalid);

// Start-up notes whether the traps are armed.
void set_floating_point_traps_armed(bool armed);

}  // namespace platform

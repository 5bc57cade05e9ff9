// What the platform implementations share: the exit routine and the floating-point report.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Runs the registered routine once; returns the status the process should end with.
int32_t run_exit_routine(int32_t status);

// Reports a floating-point error on standard error and ends the process with status 1.
[[noreturn]] void end_on_floating_point_error(const char* what);

// The report's text for the raised kinds, the most telling first.
const char* floating_point_error_text(bool division_by_zero, bool overflow, bool invalid);

// Writes the bytes through `write` with 0xF2 and 0xF3 (the signs >= and <= in code page 437,
// as the prompt has them) turned into the UTF-8 characters U+2265 and U+2264; every other byte
// passes as it is. For a terminal whose character set is UTF-8.
int write_with_utf8_signs(const char* bytes, std::size_t count,
                          int (*write)(const char* bytes, std::size_t count));

// Start-up notes whether the traps are armed.
void set_floating_point_traps_armed(bool armed);

}  // namespace platform

// The floating-point report that a trap and the check of the sticky flags both end with, and
// whether the traps are armed; shared by the platform implementations.
#include <cstdlib>

#include "platform/exit_routine.hpp"
#include "platform/floating_point.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

bool traps_armed = false;

}  // namespace

void end_on_floating_point_error(const char* what) {
  hold_interrupts();
  report_error(what);
  // The trap comes from the program's own arithmetic, never from inside the C library, so
  // closing the units here keeps what the files were given.
  run_exit_routine(FLOATING_POINT_ERROR);
  std::_Exit(FLOATING_POINT_ERROR);
}

void set_floating_point_traps_armed(bool armed) { traps_armed = armed; }

bool floating_point_traps_armed() { return traps_armed; }

const char* floating_point_error_text(bool division_by_zero, bool overflow, bool invalid) {
  if (division_by_zero) return "floating-point error: division by zero";
  if (overflow) return "floating-point error: overflow";
  if (invalid) return "floating-point error: invalid operation";
  return "floating-point error";
}

}  // namespace platform

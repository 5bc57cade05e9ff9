// The floating-point checks shared by the platform implementations: the sticky flags where
// nothing traps, and the report both paths end with.
#include <cfenv>
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
  run_exit_routine(1);
  std::_Exit(1);
}

void set_floating_point_traps_armed(bool armed) { traps_armed = armed; }

bool floating_point_traps_armed() { return traps_armed; }

const char* floating_point_error_text(bool division_by_zero, bool overflow, bool invalid) {
  if (division_by_zero) return "floating-point error: division by zero";
  if (overflow) return "floating-point error: overflow";
  if (invalid) return "floating-point error: invalid operation";
  return "floating-point error";
}

void check_floating_point_errors() {
  // An armed trap would already have ended the run; the flags are tested all the same, so the
  // check is the same code everywhere.
  const int raised = std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID);
  if (raised == 0) return;
  end_on_floating_point_error(floating_point_error_text(
      (raised & FE_DIVBYZERO) != 0, (raised & FE_OVERFLOW) != 0, (raised & FE_INVALID) != 0));
}

}  // namespace platform

// Process exit with the registered exit routine; the same on every system.
#include "platform/exit_routine.hpp"

#include <cstdlib>

#include "platform/platform.hpp"

namespace platform {
namespace {

ExitRoutine exit_routine = nullptr;
bool exit_routine_ran = false;

// Safety net for an exit that does not pass through exit_process: the routine still runs, and
// a failure it reports still ends the process with its status.
void exit_trampoline() {
  const int32_t status = run_exit_routine(0);
  if (status != 0) std::_Exit(status);
}

}  // namespace

int32_t run_exit_routine(int32_t status) {
  if (exit_routine == nullptr || exit_routine_ran) return status;
  exit_routine_ran = true;
  return exit_routine(status);
}

void register_exit_routine(ExitRoutine routine) {
  exit_routine = routine;
  exit_routine_ran = false;
  static bool trampoline_registered = false;
  if (!trampoline_registered) {
    trampoline_registered = true;
    std::atexit(exit_trampoline);
  }
}

void exit_process(int32_t status) { std::exit(run_exit_routine(status)); }

void end_on_floating_point_error(const char* what) {
  report_error(what);
  // The trap comes from the program's own arithmetic, never from inside the C library, so
  // closing the units here keeps what the files were given.
  run_exit_routine(1);
  std::_Exit(1);
}

}  // namespace platform

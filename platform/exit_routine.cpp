// Process exit with the registered exit routine; the same on every system.
#include "platform/exit_routine.hpp"

#include <csignal>
#include <cstdlib>

#include "platform/platform.hpp"

namespace platform {
namespace {

ExitRoutine exit_routine = nullptr;
LastStep last_step = nullptr;
volatile std::sig_atomic_t exit_routine_ran = 0;  // a signal handler may ask

// Safety net for an exit that does not pass through exit_process: the routine still runs, and
// a failure it reports still ends the process with its status.
void exit_trampoline() {
  hold_interrupts();
  const int32_t status = run_exit_routine(0);
  if (status != 0) std::_Exit(status);
}

}  // namespace

int32_t run_exit_routine(int32_t status) {
  if (exit_routine == nullptr || exit_routine_ran != 0) return status;
  exit_routine_ran = 1;
  return exit_routine(status);
}

void set_last_step(LastStep step) { last_step = step; }

void register_exit_routine(ExitRoutine routine) {
  exit_routine = routine;
  exit_routine_ran = 0;
  static bool trampoline_registered = false;
  if (!trampoline_registered) {
    trampoline_registered = true;
    std::atexit(exit_trampoline);
  }
}

// Interrupts are held from the first instruction: one that comes now waits until the routine has
// written everything out, and then ends the process by its signal.
void exit_process(int32_t status) {
  hold_interrupts();
  const int32_t final_status = run_exit_routine(status);
  release_interrupts();
  if (last_step != nullptr) last_step(final_status);
  std::exit(final_status);
}

}  // namespace platform

// Interrupts on Windows. The console control handler runs on a thread of its own, so the
// program's thread and the handler agree through one atomic state on who may touch the
// units: the program while it holds them (a statement in progress), the handler once it has
// claimed them to end the run. A handler that finds them held waits; the program ends the run
// at its release. Either way the process ends with the console's interrupt status.
#include "platform/interrupts.hpp"

#include <windows.h>

#include <atomic>

#include "platform/exit_routine.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

constexpr int FREE = 0;
constexpr int CLAIMED = -1;  // the handler ends the run; otherwise the number of holds

constexpr DWORD NONE = 0xFFFFFFFF;  // no event pending (Ctrl-C is event 0)

std::atomic<int> state{FREE};
std::atomic<DWORD> pending{NONE};
std::atomic<DWORD> claimer{0};    // the thread that ends the run; its own holds pass
HANDLE program_thread = nullptr;  // whose blocked write the handler cancels

const char* event_line(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "Ended by Ctrl-C";
    case CTRL_BREAK_EVENT:
      return "Ended by Ctrl-Break";
    default:
      return "Ended by the console's closing";
  }
}

// Called by the thread that has just claimed the units.
[[noreturn]] void end_by_interrupt(DWORD event) {
  claimer.store(::GetCurrentThreadId());
  report_error(event_line(event));
  run_exit_routine(-1);
  ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

// Once the handler has claimed the units, the program's thread only waits for the end.
[[noreturn]] void wait_for_the_end() {
  for (;;) ::Sleep(INFINITE);
}

// Takes the units for the program's thread: `holds` more holds on top of none.
void take(int holds) {
  int expected = FREE;
  while (!state.compare_exchange_weak(expected, holds)) {
    if (expected == CLAIMED) wait_for_the_end();
    expected = FREE;
  }
}

// Gives the units back; a pending interrupt then ends the run here.
void give_back() {
  state.store(FREE);
  const DWORD event = pending.load();
  if (event == NONE) return;
  int expected = FREE;
  if (state.compare_exchange_strong(expected, CLAIMED)) end_by_interrupt(event);
  wait_for_the_end();  // the handler claimed them first
}

BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  DWORD none = NONE;
  pending.compare_exchange_strong(none, event);
  int expected = FREE;
  if (state.compare_exchange_strong(expected, CLAIMED)) end_by_interrupt(pending.load());
  // The program holds the units: it ends the run when its statement is whole, or gives up the
  // write that blocks it (a pipe nobody reads), which is cancelled here until it does. Returning
  // would let the system end the process first on the console's closing.
  for (;;) {
    if (program_thread != nullptr) ::CancelSynchronousIo(program_thread);
    ::Sleep(100);
  }
}

}  // namespace

void install_interrupt_handlers() {
  if (program_thread == nullptr) {
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                      &program_thread, THREAD_TERMINATE, FALSE, 0);
  }
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptibleWait::InterruptibleWait() : held_before_(state.load()) {
  if (held_before_ > 0) give_back();
}

InterruptibleWait::~InterruptibleWait() {
  if (held_before_ > 0) take(held_before_);
}

static bool ending_here() {
  return state.load() == CLAIMED && claimer.load() == ::GetCurrentThreadId();
}

void hold_interrupts() {
  if (ending_here()) return;
  int current = state.load();
  for (;;) {
    if (current == CLAIMED) wait_for_the_end();
    if (state.compare_exchange_weak(current, current + 1)) return;
  }
}

void release_interrupts() {
  if (ending_here()) return;
  const int current = state.load();
  if (current > 1) {
    state.store(current - 1);
  } else if (current == 1) {
    give_back();
  }
}

bool interrupt_pending() { return pending.load() != NONE; }

void act_on_interrupt() {
  const DWORD event = pending.load();
  if (event == NONE || ending_here()) return;
  state.store(CLAIMED);  // the handler waits for the end; the program's thread ends the run
  end_by_interrupt(event);
}

// Signals and console events arrive by themselves.
void let_interrupts_in(int32_t, int32_t, int32_t) {}

}  // namespace platform

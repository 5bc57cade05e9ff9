// Interrupts on POSIX systems. The handler runs on the program's only thread: outside a held
// section it ends the run there and then (the calculation touches no unit, so the exit routine
// finds every unit between two statements); inside one it leaves the signal pending for the
// release.
#include "platform/interrupts.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/exit_routine.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile sig_atomic_t held = 0;  // nested holds
volatile sig_atomic_t pending = 0;
volatile sig_atomic_t ending = 0;

const char* signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
    default:
      return "a signal";
  }
}

void block_interrupts(int how) {
  sigset_t set;
  sigemptyset(&set);
  for (int interrupt : INTERRUPTS) sigaddset(&set, interrupt);
  sigprocmask(how, &set, nullptr);
}

// Only async-signal-safe calls from here on: it may run inside the handler.
[[noreturn]] void end_by_signal(int signal_number) {
  block_interrupts(SIG_BLOCK);
  ending = 1;
  char line[64] = "Ended by signal ";
  const char* name = signal_name(signal_number);
  std::size_t length = std::strlen(line);
  for (std::size_t i = 0; name[i] != '\0' && length < sizeof line - 1; ++i)
    line[length++] = name[i];
  report_error(std::string_view(line, length));
  run_exit_routine(-signal_number);
  // The default action, so that the parent sees the process ended by this signal.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

// Signal handlers on 32-bit x86 may be entered on a stack aligned to 4 bytes only (qemu-user
// does so), and the SSE code that the exit routine runs needs 16.
#if defined(__i386__)
#define HANDLER_ALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define HANDLER_ALIGNS_STACK
#endif

HANDLER_ALIGNS_STACK void on_interrupt(int signal_number) {
  if (ending != 0) return;
  if (held != 0) {
    pending = signal_number;
    return;
  }
  end_by_signal(signal_number);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (int interrupt : INTERRUPTS) sigaddset(&action.sa_mask, interrupt);
  // No SA_RESTART: a wait for input returns with EINTR, and the pending check runs.
  action.sa_flags = 0;
  for (int interrupt : INTERRUPTS) sigaction(interrupt, &action, nullptr);
}

InterruptibleWait::InterruptibleWait() : held_before_(held) {
  held = 0;
  if (pending != 0 && ending == 0) end_by_signal(pending);
}

InterruptibleWait::~InterruptibleWait() { held = held_before_; }

void hold_interrupts() { held = held + 1; }

void release_interrupts() {
  if (held > 0) held = held - 1;
  if (held == 0 && pending != 0 && ending == 0) end_by_signal(pending);
}

}  // namespace platform

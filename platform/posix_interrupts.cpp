// Interrupts on POSIX systems. The handler runs on the program's only thread: outside a held
// section it ends the run there and then (the calculation touches no unit, so the exit routine
// finds every unit between two statements); inside one it leaves the signal pending for the
// release, and a call that blocks meanwhile returns EINTR and is given up.
//
// A signal that comes just before a blocking call does not cut it short; nor does anything cut
// short a write that blocks while the run is ending (standard error in a pipe nobody reads).
// For both, the handler sets an alarm once a signal is pending: each second until the end it
// interrupts whatever call blocks.
#include "platform/interrupts.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/exit_routine.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

struct Interrupt {
  int number;
  const char* name;
};

// Every signal whose default action ends the process, but SIGPIPE (a closed pipe is a failed
// write) and SIGKILL and SIGSTOP, which no process can catch.
constexpr Interrupt INTERRUPTS[] = {
    {SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"},     {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
    {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},     {SIGALRM, "SIGALRM"}, {SIGUSR1, "SIGUSR1"},
    {SIGUSR2, "SIGUSR2"}, {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"},
};

volatile sig_atomic_t held = 0;  // nested holds
volatile sig_atomic_t pending = 0;
volatile sig_atomic_t ending = 0;
volatile sig_atomic_t alarm_ignored = 0;  // the parent left SIGALRM ignored: only the nudge counts
volatile sig_atomic_t continues = 0;      // SIGCONTs caught: the process was stopped

const char* signal_name(int signal_number) {
  for (const Interrupt& interrupt : INTERRUPTS) {
    if (interrupt.number == signal_number) return interrupt.name;
  }
  return "a signal";
}

void set_interrupts_blocked(int how) {
  sigset_t set;
  sigemptyset(&set);
  for (const Interrupt& interrupt : INTERRUPTS) sigaddset(&set, interrupt.number);
  sigprocmask(how, &set, nullptr);
}

// Interrupts whatever call blocks, a second from now.
void nudge_later() { alarm(1); }

// It may run inside the handler, and the exit routine it runs formats and writes, which is no
// async-signal-safe thing to do in general. It is safe here because the handler runs it only
// where interrupts are not held, and the program holds them around every call into the C
// library that keeps state or takes a lock (the record service's statements, the clock
// readings, the formatting of the run's messages: platform::InterruptsHeld); what remains
// outside a hold is the calculation's arithmetic and waits in system calls.
[[noreturn]] void end_by_signal(int signal_number) {
  ending = 1;
  // Further signals only cut short a call that blocks the ending; so does the alarm.
  set_interrupts_blocked(SIG_UNBLOCK);
  nudge_later();
  char line[64] = "Ended by signal ";
  const char* name = signal_name(signal_number);
  std::size_t length = std::strlen(line);
  for (std::size_t i = 0; name[i] != '\0' && length < sizeof line - 1; ++i) {
    line[length++] = name[i];
  }
  report_error(std::string_view(line, length));
  run_exit_routine(-signal_number);
  // The default action, so that the parent sees the process ended by this signal.
  set_interrupts_blocked(SIG_BLOCK);
  alarm(0);
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

HANDLER_ALIGNS_STACK void on_interrupt(int signal_number, siginfo_t* info, void*) {
  // The program's own write beyond the file size limit: that write fails instead.
  if (signal_number == SIGXFSZ && info != nullptr && info->si_code == SI_USER &&
      info->si_pid == getpid()) {
    return;
  }
  if (ending != 0 || (signal_number == SIGALRM && pending != 0)) {
    nudge_later();  // the interrupted call is given up; keep interrupting until the end
    return;
  }
  if (signal_number == SIGALRM && alarm_ignored != 0) return;
  if (held != 0) {
    if (pending == 0) pending = signal_number;  // the first one is reported
    nudge_later();
    return;
  }
  end_by_signal(signal_number);
}

void on_continue(int) { continues = continues + 1; }

}  // namespace

uint32_t continues_seen() { return static_cast<uint32_t>(continues); }

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_sigaction = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (const Interrupt& interrupt : INTERRUPTS) sigaddset(&action.sa_mask, interrupt.number);
  // No SA_RESTART: a call that blocks returns with EINTR, and the pending check runs.
  action.sa_flags = SA_SIGINFO;
  for (const Interrupt& interrupt : INTERRUPTS) {
    struct sigaction before {};
    sigaction(interrupt.number, nullptr, &before);
    // What the parent ignores (nohup, a background job) stays ignored; SIGALRM is caught all
    // the same, for the alarm that cuts blocking calls short.
    const bool ignored = before.sa_handler == SIG_IGN;
    if (interrupt.number == SIGALRM) alarm_ignored = ignored ? 1 : 0;
    if (ignored && interrupt.number != SIGALRM) continue;
    sigaction(interrupt.number, &action, nullptr);
  }
  // A continue after a stop is counted, for the time the run did not have; the call it cut
  // short goes on.
  struct sigaction continued {};
  continued.sa_handler = on_continue;
  sigemptyset(&continued.sa_mask);
  continued.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &continued, nullptr);
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

bool interrupt_pending() { return pending != 0 || ending != 0; }

void act_on_interrupt() {
  if (pending != 0 && ending == 0) end_by_signal(pending);
}

// Signals and console events arrive by themselves.
void let_interrupts_in(int32_t, int32_t, int32_t) {}

}  // namespace platform

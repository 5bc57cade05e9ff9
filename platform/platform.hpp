// The seam to the operating system: console streams, local time, process exit, interrupts and
// the floating-point environment; files of the current directory are its other half
// (files.hpp). No OS type crosses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// ---- Console streams --------------------------------------------------------------------

// The two standard streams as the record service sees them. Tests substitute their own.
struct ConsoleStreams {
  bool input_interactive = false;   // standard input is an interactive character device
  bool output_interactive = false;  // standard output is one
  // Reads up to `capacity` bytes; the count read, 0 at end of input, -1 on a failure.
  int64_t (*read_input)(char* buffer, std::size_t capacity) = nullptr;
  // Writes every byte, retrying interrupted and partial writes; 0, or a system error code.
  int (*write_output)(const char* bytes, std::size_t count) = nullptr;
};

ConsoleStreams standard_streams();

// One line on standard error, for failures that have no other place to go.
void report_error(std::string_view line);

// A short human-readable text for a system error code.
const char* error_text(int system_error);

// ---- Clock ------------------------------------------------------------------------------

struct LocalTime {
  int64_t day = 0;         // a running day number: consecutive calendar days differ by one
  int32_t utc_offset = 0;  // seconds the local time is ahead of UTC at this instant
  // Seconds the time of day shown lags the clock beyond the zone's offset: the leap seconds a
  // zone of the "right/" kind counts, and the leap second itself, which is shown as 59.
  int32_t leap_seconds = 0;
  int16_t hour = 0;
  int16_t minute = 0;
  int16_t second = 0;
  int16_t millisecond = 0;
  // A clock that no one sets, read at the same instant: nanoseconds from some fixed point. The
  // run compares the two clocks' intervals to see whether the wall clock was changed. The wall
  // clock is read between two readings of it, taken again when something came between them;
  // `monotonic_ns` is their middle and `uncertainty_ns` half their distance.
  int64_t monotonic_ns = 0;
  int64_t uncertainty_ns = 0;
  int64_t resolution_ns = 0;  // the step in which the wall clock reading moves, at least 1 ms
};

// Reads both clocks at one instant; every conversion comes after the readings.
LocalTime local_time();

// ---- Process time -----------------------------------------------------------------------

// What the process did with its time, from some fixed point on, read at one instant: the
// processor time it used (user and system), and the time it spent blocked in its own console
// and file calls, which is the run's own work (a slow terminal). Over an interval of the
// monotonic clock the rest is time the process did not have: it was stopped, or waited for a
// processor, or (in a browser) its page was hidden. A blocking call during which the process
// was stopped and continued counts as time it did not have.
struct ProcessTime {
  int64_t cpu_ns = 0;
  int64_t blocked_ns = 0;
  int64_t resolution_ns = 0;  // how coarse cpu_ns is
};

ProcessTime process_time();

// ---- Process ----------------------------------------------------------------------------

// What the console is to the program at its end. A console window that the system opened for
// the program alone (a double-click on Windows) closes with the process, and its user would not
// see how the run ended; one that a shell or another program shares stays open.
struct ConsoleOwnership {
  int processes = 0;               // processes attached to the console (0: none, or not known)
  bool input_is_console = false;   // standard input is that console
  bool output_is_console = false;  // standard output is that console
};

// Whether the process ends by asking for Enter before its window closes: the console is its
// alone and both standard streams are that console.
inline bool waits_before_window_closes(const ConsoleOwnership& console) {
  return console.processes == 1 && console.input_is_console && console.output_is_console;
}

// The routine runs once when the process exits. It receives the exit status and returns the
// status the process ends with (it may turn a success into a failure). A negative status says
// that an interrupt ends the process, whatever the routine returns.
using ExitRoutine = int32_t (*)(int32_t status);

void register_exit_routine(ExitRoutine routine);

// Runs the exit routine, then ends the process. Statuses above 255 reach a POSIX parent as
// their low byte.
[[noreturn]] void exit_process(int32_t status);

// Process start-up: standard input, output and error that are closed are opened on the null
// device, so that no file the program opens takes their place; the floating-point environment
// (invalid operation, division by zero and overflow trap and end the run with status 1 after
// a one-line report on standard error; underflow, denormals and inexact results do not);
// console writes that fail report an error instead of ending the process by a signal; and
// interrupts (see below). With `arm_traps` false the traps stay off, as on a system that
// cannot arm them (tests of that path).
void start_up(bool arm_traps = true);

// ---- Interrupts --------------------------------------------------------------------------

// An interrupt ends the run: on POSIX systems every signal whose default action ends the process
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGXFSZ, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM,
// SIGPROF; not SIGPIPE, which makes a write to a closed pipe fail, and not the SIGXFSZ of the
// program's own write beyond the file size limit, which fails that write), on Windows Ctrl-C,
// Ctrl-Break or the console's closing. A signal that the program's parent left ignored stays
// ignored. The run ends with one line on standard error naming the interrupt (the first one, if
// several come), the exit routine, then as the interrupt ends a process that does not catch it.
//
// Between hold_interrupts and release_interrupts (a statement of the record service in
// progress) an interrupt is pending and takes effect at the release; elsewhere, the calculation
// included, it takes effect at once. A call that blocks while one is pending (a write to a pipe
// nobody reads, a terminal stopped with Ctrl-S, a wait for input or for a lock) is given up
// within about a second, and a long pass over a file asks between its blocks.
void hold_interrupts();
void release_interrupts();

// Holds interrupts for its lifetime. Everything the program does outside the calculation that
// calls into the C library (formatting, the time zone, files) does so inside such a hold: the
// interrupt handler may then run the exit routine, which makes those calls too, at any other
// instant.
class InterruptsHeld {
 public:
  InterruptsHeld() { hold_interrupts(); }
  ~InterruptsHeld() { release_interrupts(); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

// Whether an interrupt is pending or already ending the run: a call that was cut short or a long
// pass is then given up.
bool interrupt_pending();

// Ends the run now if an interrupt is pending, whatever holds are taken (a statement whose
// stream was given up for it).
void act_on_interrupt();

// A long calculation calls this between its steps (the run hands it to the calculation), saying
// how far it is: series x, `terms` of `all` summed. Where an interrupt cannot arrive by itself
// (WebAssembly in a page: its Stop button is a message the program must stop to receive), it
// lets one in now and then and ends the run by it, and tells the page how far the calculation
// is; elsewhere it does nothing.
void let_interrupts_in(int32_t x, int32_t terms, int32_t all);

// The exit status of a floating-point error.
inline constexpr int32_t FLOATING_POINT_ERROR = 1;

// Whether start-up armed the floating-point traps. Where the CPU or the C library cannot (most
// ARM cores, systems without the C library's extension), the run tests the sticky flags
// instead with check_floating_point_errors.
bool floating_point_traps_armed();

// Ends the run exactly as a trap does if invalid operation, division by zero or overflow has
// been raised and not trapped: one line on standard error, the exit routine, status 1.
void check_floating_point_errors();

}  // namespace platform

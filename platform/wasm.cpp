// WebAssembly implementation of the platform seam's console, clock, process and interrupts,
// for node's command line and for a page's Worker. What differs between the two is the half in
// JavaScript that the build links: wasm_node.js (node's standard streams) or wasm_page.js (the
// page's terminal, reached by messages). The files are emscripten's, through its POSIX calls:
// posix_files.cpp serves here too.
//
// There are no signals. The page's Stop button is the one interrupt: the wait for input takes
// it, and let_interrupts_in, which the calculation calls between its steps, yields to the
// Worker's messages now and then to fetch it. There are no floating-point traps or flags either:
// the run's checks of the result and of a finite duration and value stand in.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/exit_routine.hpp"
#include "platform/floating_point.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"
#include "platform/standard_error.hpp"
#include "platform/utf8_signs.hpp"

// The JavaScript half.
extern "C" {
int tu_mardo_is_terminal(int fd);  // standard input (0) or output (1) is a terminal
int tu_mardo_terminal_utf8();      // the terminal shows UTF-8
int tu_mardo_read_input(char* buffer, int capacity);  // count, 0 at the end, -1 failed, -2 Stop
int tu_mardo_write(int fd, const char* bytes, int count);  // 0 or an errno
int tu_mardo_yield();            // lets the Worker's messages in; 1 when a Stop came (node: never)
double tu_mardo_time_away_ms();  // how long the page has been hidden in all (node: 0)
double tu_mardo_cpu_time_ms();   // processor time used (node: user + system), -1 where unknown
void tu_mardo_progress(int x, int terms, int all);  // how far the calculation is (node: nothing)
}

namespace platform {
namespace {

constexpr int STOP = -2;
// The status the run ends with on a Stop, as a shell shows an interrupt.
constexpr int32_t STOPPED = 130;
// How often the calculation lets the page's messages in.
constexpr double YIELD_EVERY_MS = 200.0;

int held = 0;
bool pending = false;
bool ending = false;

[[noreturn]] void end_by_stop() {
  ending = true;
  report_error("Ended by Stop");
  const int32_t status = run_exit_routine(-1);
  (void)status;
  std::_Exit(STOPPED);
}

int64_t read_standard_input(char* buffer, std::size_t capacity) {
  const BlockedCall blocked;
  const int got = tu_mardo_read_input(
      buffer, static_cast<int>(std::min<std::size_t>(capacity, std::size_t{1} << 20)));
  if (got == STOP) {
    if (held > 0) {
      pending = true;
      return -1;
    }
    end_by_stop();
  }
  return got;
}

int write_standard_output(const char* bytes, std::size_t count) {
  const BlockedCall blocked;  // node writes synchronously, a slow reader holds it up
  return tu_mardo_write(1, bytes, static_cast<int>(count));
}

int write_standard_output_to_utf8_terminal(const char* bytes, std::size_t count) {
  return write_with_utf8_signs(bytes, count, write_standard_output);
}

}  // namespace

ConsoleStreams standard_streams() {
  ConsoleStreams streams;
  streams.input_interactive = tu_mardo_is_terminal(0) == 1;
  streams.output_interactive = tu_mardo_is_terminal(1) == 1;
  streams.read_input = read_standard_input;
  streams.write_output = streams.output_interactive && tu_mardo_terminal_utf8() == 1
                             ? write_standard_output_to_utf8_terminal
                             : write_standard_output;
  return streams;
}

int write_standard_error(const char* bytes, std::size_t count) {
  return tu_mardo_write(2, bytes, static_cast<int>(count));
}

std::string_view error_line_end() { return "\n"; }

const char* error_text(int system_error) { return std::strerror(system_error); }

uint32_t continues_seen() { return 0; }

// Node tells the processor time the process used, as getrusage does natively (its other
// threads, which compile and collect garbage, count too: a little more, never less). A page's
// Worker has no such clock; it has the processor whenever its page is shown, so the time the
// page was hidden is the time the run did not have.
ProcessTime process_time() {
  ProcessTime time;
  time.resolution_ns = 1000000;
  const double cpu_ms = tu_mardo_cpu_time_ms();
  if (cpu_ms >= 0) {
    time.cpu_ns = static_cast<int64_t>(cpu_ms * 1e6);
    time.blocked_ns = blocked_ns();
    return time;
  }
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  time.cpu_ns = now - static_cast<int64_t>(tu_mardo_time_away_ms() * 1e6);
  return time;
}

void start_up(bool) {
  install_interrupt_handlers();
  set_floating_point_traps_armed(false);
}

// ---- Interrupts: the page's Stop ---------------------------------------------------------

void install_interrupt_handlers() {}

InterruptibleWait::InterruptibleWait() : held_before_(held) {
  held = 0;
  if (pending && !ending) end_by_stop();
}

InterruptibleWait::~InterruptibleWait() { held = held_before_; }

void hold_interrupts() { ++held; }

void release_interrupts() {
  if (held > 0) --held;
  if (held == 0 && pending && !ending) end_by_stop();
}

bool interrupt_pending() { return pending || ending; }

void act_on_interrupt() {
  if (pending && !ending) end_by_stop();
}

void let_interrupts_in(int32_t x, int32_t terms, int32_t all) {
  static auto last = std::chrono::steady_clock::now();
  const auto now = std::chrono::steady_clock::now();
  if (std::chrono::duration<double, std::milli>(now - last).count() < YIELD_EVERY_MS) return;
  last = now;
  tu_mardo_progress(x, terms, all);
  if (tu_mardo_yield() == 1) {
    pending = true;
    act_on_interrupt();
  }
}

// ---- Floating point: nothing traps and nothing is flagged here ---------------------------

void check_floating_point_errors() {}

}  // namespace platform

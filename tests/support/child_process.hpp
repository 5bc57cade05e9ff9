// Runs a program as a child process the way an operator or a script would start it: through
// pipes, or with a pseudo-terminal as its console.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace test {

enum class Input { pipe, closed, dev_null, file };
enum class Output { pipe, closed, dev_full, broken_pipe };

struct ChildOptions {
  std::string directory = ".";
  std::string input;                     // fed to standard input, or typed on the terminal
  std::string input_file;                // standard input's file, for Input::file
  std::vector<std::string> environment;  // extra NAME=value entries
  bool terminal = false;                 // standard input and output share one pseudo-terminal
  bool unprivileged = false;  // run as an unprivileged user, so permissions hold (when root)
  Input stdin_kind = Input::pipe;
  Output stdout_kind = Output::pipe;
  long file_size_limit = -1;  // bytes, with SIGXFSZ ignored; -1 for none
  // The reader of standard output stops and closes its end after this many bytes.
  std::size_t stdout_close_after = static_cast<std::size_t>(-1);
  int timeout_seconds = 600;
  // Sent to the child once its standard output holds `signal_after` (0: none), and then
  // `signal_delay_ms` later. On a terminal SIGINT is Ctrl-C typed, and SIGHUP the terminal's
  // closing.
  int signal = 0;
  std::string signal_after;
  int signal_delay_ms = 0;
  int continue_after_ms = 0;  // POSIX: SIGCONT this long after the signal (a SIGSTOP)
  // POSIX only: the terminal stops output (Ctrl-S typed, as with flow control) once the
  // output holds this; the size of the standard output pipe; a limit of CPU seconds.
  std::string stop_terminal_after;
  int stdout_pipe_size = 0;
  int cpu_limit_seconds = 0;
  int open_files_limit = 0;          // descriptors the program may have open at once (0: as it is)
  std::vector<int> ignored_signals;  // POSIX: left ignored for the program, as nohup does
  bool stderr_closed = false;
  bool nonblocking = false;  // standard input and output in non-blocking mode
  int input_delay_ms = 0;    // the input is written only after this wait
  int output_pause_ms = 0;   // standard output is not read for this long at the start
  // The emulator to run the program under, with its arguments (qemu-x86_64 -cpu Nehalem);
  // empty: the build's own emulator, if any.
  std::vector<std::string> emulator;
};

struct ChildResult {
  std::string out;  // standard output (the terminal's bytes in terminal mode)
  std::string err;  // standard error
  int exit_code = -1;
  int signal = 0;              // the signal that ended the child, or 0
  long signal_to_end_ms = -1;  // from the signal sent to the end of the child's output
  // The child's peak resident memory, where the system tells. It counts what the parent held
  // when it started the child, so tests keep large data out of memory before they run one.
  long max_rss_kb = 0;
};

ChildResult run_child(const std::string& program, const ChildOptions& options);

// Whether the tests can give the program a pseudo-terminal as its console here.
bool terminal_supported();

// Whether the tests run under a CPU emulator (qemu-user), many times slower than the host:
// the longest calculations are left to the native builds.
bool under_cpu_emulator();

// The exit status a parent sees when a process ends with `status` (POSIX keeps the low byte).
int status_seen(int status);

// Runs `body` in a child process that cannot override file permissions (on POSIX, as an
// unprivileged user when the tests run as root) and returns what it returned. Where no such
// power exists, it runs here.
int run_restricted(const std::function<int()>& body);

// Whether a read-only file stays unwritable for restricted children and programs the tests
// start. Not so under Wine running as root, where the attribute is only the permission bits.
bool read_only_holds(const std::string& path);

}  // namespace test

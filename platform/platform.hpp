// The seam to the operating system: console streams, files in the current directory,
// local time, process exit and the floating-point environment. No OS type crosses it.
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

// ---- Files ------------------------------------------------------------------------------

using FileHandle = std::intptr_t;

enum class IoFailure : uint8_t {
  none,
  access_denied,  // opened for reading only, permission, locked region
  no_space,       // device full, file size limit
  other,
};

struct IoResult {
  IoFailure failure = IoFailure::none;
  int system_error = 0;  // for messages only
  explicit operator bool() const { return failure == IoFailure::none; }
};

struct OpenedFile {
  FileHandle handle = -1;
  bool created = false;  // the open created the file, so it ends at offset 0
  bool writable = true;  // connected for writing (read-write or write-only)
};

// What a file must be beyond its name.
struct OpenRules {
  bool regular_file_only = false;  // a FIFO, a device or a socket does not open
  // The file stays locked against other processes that ask the same until it is closed;
  // the open waits for the lock (an interrupt ends the wait).
  bool exclusive = false;
};

// Opens a file of the current directory read-write, else read-only, else write-only;
// creates it empty when it is missing; never shortens it; other processes may share it.
// A directory does not open. When the exact name is missing and exactly one entry of the
// directory matches it without regard to ASCII case, that entry is opened, as on a file
// system that ignores case.
IoResult open_file(const char* name, OpenedFile& file, const OpenRules& rules = {});

// Reads up to `capacity` bytes at the current offset; `count` is 0 at the end of the file.
IoResult read_file(FileHandle file, char* buffer, std::size_t capacity, std::size_t& count);
// Writes every byte at the current offset.
IoResult write_file(FileHandle file, const char* bytes, std::size_t count);
IoResult seek_file(FileHandle file, int64_t offset);
// Makes sure the disk has room for the bytes [offset, offset + count) before they are written,
// so that a full disk fails here and not halfway through the write. The file may then reach
// offset + count already. Files that are no regular files need nothing.
IoResult reserve_file(FileHandle file, int64_t offset, int64_t count);
// Makes the file end at `offset`; the current offset stays where it was. Files that are no
// regular files (devices) have no end to set.
IoResult set_file_end(FileHandle file, int64_t offset);
void close_file(FileHandle file);

// ---- Clock ------------------------------------------------------------------------------

struct LocalTime {
  int64_t day = 0;         // a running day number: consecutive calendar days differ by one
  int32_t utc_offset = 0;  // seconds the local time is ahead of UTC at this instant
  int16_t hour = 0;
  int16_t minute = 0;
  int16_t second = 0;
  int16_t millisecond = 0;
};

LocalTime local_time();

// ---- Process ----------------------------------------------------------------------------

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

// An interrupt (SIGINT, SIGTERM, SIGHUP or SIGQUIT; on Windows Ctrl-C, Ctrl-Break or the
// console's closing) ends the run: one line on standard error naming it, the exit routine,
// then the process ends as the interrupt ends a process that does not catch it. Between
// hold_interrupts and release_interrupts (a statement of the record service in progress) an
// interrupt waits and takes effect at the release; elsewhere, the calculation included, it
// takes effect at once. Waits for input or for a lock always give way to it.
void hold_interrupts();
void release_interrupts();

// Whether start-up armed the floating-point traps. Where the CPU or the C library cannot (most
// ARM cores, systems without the C library's extension), the run tests the sticky flags
// instead with check_floating_point_errors.
bool floating_point_traps_armed();

// Ends the run exactly as a trap does if invalid operation, division by zero or overflow has
// been raised and not trapped: one line on standard error, the exit routine, status 1.
void check_floating_point_errors();

}  // namespace platform

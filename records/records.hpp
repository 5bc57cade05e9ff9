// The record service: every line the program shows or stores passes through here.
//
// Output is one statement at a time: begin_write, one put_* per item, end_write. The items
// are collected in static storage and rendered and written by end_write, which returns the
// statement's status. Text items are referenced, not copied: their bytes must stay in place
// until end_write returns. Reads follow the same shape with begin_read, get_*, end_read.
//
// Statuses: 0 done, -1 end of file, positive for an error. A statement that did not ask for
// a status and fails (in this program only console statements do not ask) ends the process
// with one line on standard error, naming the failure, and status CONSOLE_FAILED: at the
// first call that fails (begin, an item or the end), so no caller can pass over it. A
// statement that asked for a status returns it from every call that fails, and from its end.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.hpp"

namespace records {

using UnitId = int32_t;

// The preconnected console units; numbered units are 16-bit, these lie outside that range.
inline constexpr UnitId CONSOLE_OUT = -100001;
inline constexpr UnitId CONSOLE_IN = -100002;

// A unit that renders statements without writing them anywhere: what a statement would write,
// as statement_digest sees it, to compare with what another statement wrote.
inline constexpr UnitId DIGEST_ONLY = -100003;

// Passed as the format of a list-directed statement.
inline constexpr std::string_view LIST_DIRECTED{};

// Positive statuses, with their words (records/statuses.def).
#define TU_MARDO_STATUS(name, number, words) inline constexpr int32_t name = number;
#include "records/statuses.def"
#undef TU_MARDO_STATUS

// The failure a status stands for, in words.
const char* status_text(int32_t status);

// Exit statuses of the service's own failures: a console statement failed; a file could not be
// written (the run's own write error ends with this status too).
inline constexpr int32_t CONSOLE_FAILED = 902;
inline constexpr int32_t WRITE_FAILED = 903;

// Largest number of items in one statement: a listing of 16000 words, with room to spare.
inline constexpr int32_t MAX_ITEMS = 16384;
// Connected numbered units at one time.
inline constexpr int32_t MAX_UNITS = 61;

// Creates the console units on the given streams and registers close_all_units as the exit
// routine. Called once at process start; tests call it again to start afresh.
void start_up(const platform::ConsoleStreams& streams);

// What a file must be beyond the keywords.
struct UnitRules {
  bool regular_file_only = false;  // a FIFO, a device or a socket does not open
  // When the exact name is missing and exactly one file of the directory matches it without
  // regard to case, that file is connected.
  bool any_case = false;
  // Locked against other processes from the open to the close: a lock that another run holds
  // is waited for (after one line on standard error; an interrupt ends the wait), and a file
  // system without locks is used without one (after one line).
  bool exclusive = false;
  // Output after reading replaces the rest of the file in one step, when the unit is flushed,
  // read, rewound or closed: the file is the old or the new one at every instant, synced once
  // replaced, and left alone if another program changed it since it was read or gave its name
  // to another file (STATUS_FILE_CHANGED). The replacing output must fit the unit's 1024-byte
  // buffer.
  bool whole_or_nothing = false;
};

// Connects a numbered unit to a file. `status` ("UNKNOWN") and `form` ("FORMATTED") may be
// empty; they are compared without regard to case and trailing blanks. A file connected to
// another unit already (under any name) is not connected twice: STATUS_FILE_CONNECTED.
int32_t open_unit(int16_t unit, std::string_view file_name, std::string_view status = {},
                  std::string_view form = {}, const UnitRules& rules = {});

// The unit the named file is connected to (found as open_unit would find it, without regard to
// case if `any_case`), or -1 when it is connected to none or does not exist.
int32_t unit_of_file(std::string_view file_name, bool any_case = false);

int32_t begin_write(UnitId unit, std::string_view format, bool want_status);
int32_t put_text(const char* bytes, int32_t length);
int32_t put_text(std::string_view text);
int32_t put_int16(int16_t value);
int32_t put_int32(int32_t value);
int32_t put_real32(float value);
int32_t end_write();

// A digest of every record the last output statement rendered and handed to its unit (bytes,
// lengths and line ends), taken as each record leaves the renderer; 0 before the first.
uint64_t statement_digest();

// The digest of every byte a file unit's output has placed in its file since it began, line ends
// included: what the file must hold from there on. For DIGEST_ONLY, of every byte its statements
// would have placed in a file since restart_digest_only.
uint64_t image_digest(UnitId unit);
void restart_digest_only();

// Writes the unit out, syncs it and reads back what its file holds from where the output began,
// digested as image_digest digests: 0, STATUS_NOT_READABLE for a file that cannot be read back
// (no regular file, or connected for writing only), or the status of what failed, which is
// named on standard error as at the exit.
int32_t read_back(int16_t unit, uint64_t& digest);

int32_t begin_read(UnitId unit, std::string_view format, bool want_status);
int32_t get_int32(int32_t& variable);
int32_t get_text(char* bytes, int32_t length);
int32_t end_read();

int32_t rewind_unit(int16_t unit);

// Writes out what the unit holds (a whole-or-nothing unit: puts its replacement in place), so
// that a failure comes back as a status instead of at the exit processing. STATUS_FILE_CHANGED
// when another program changed the file: the unit is then connected to the file its name leads
// to now, with the same rules, to be read again from its start.
int32_t flush_unit(int16_t unit);

// Ends the console's open line if a record still owes its line end; keeps it owed.
void finish_console_line();

// Bytes straight to standard output behind what the console unit has written, with no
// carriage control and no change to the unit's state (the stop message).
void write_standard_output(std::string_view bytes);

// The exit processing: writes out, syncs and closes every unit (a unit that an interrupt cut
// short is only closed), then ends the console's line. Returns the exit status, turned into
// WRITE_FAILED when a success would hide a file not wholly written.
int32_t close_all_units(int32_t exit_status);

}  // namespace records

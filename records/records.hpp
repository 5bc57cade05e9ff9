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

// Positive statuses.
inline constexpr int32_t STATUS_READ_FAILED = 6500;      // the file cannot be read
inline constexpr int32_t STATUS_ACCESS_DENIED = 6421;    // cannot be shortened or written
inline constexpr int32_t STATUS_NO_SPACE = 6422;         // no space left on the device
inline constexpr int32_t STATUS_WRITE_FAILED = 6423;     // any other failed write or cut
inline constexpr int32_t STATUS_INTERRUPTED = 6424;      // an interrupt cut the statement short
inline constexpr int32_t STATUS_FILE_CHANGED = 6425;     // changed size since it was read
inline constexpr int32_t STATUS_FILE_CONNECTED = 6426;   // the file is connected to another unit
inline constexpr int32_t STATUS_OPEN_FAILED = 6416;      // the file cannot be opened or created
inline constexpr int32_t STATUS_BAD_KEYWORD = 6417;      // an open keyword the service lacks
inline constexpr int32_t STATUS_UNIT_IN_USE = 6418;      // the unit number is connected already
inline constexpr int32_t STATUS_TOO_MANY_UNITS = 6419;   // all 61 units are connected
inline constexpr int32_t STATUS_NOT_CONNECTED = 6420;    // output to a unit never opened
inline constexpr int32_t STATUS_BAD_FORMAT = 6300;       // a format the service cannot use
inline constexpr int32_t STATUS_BAD_ITEM = 6301;         // an item its descriptor cannot edit
inline constexpr int32_t STATUS_TOO_MANY_ITEMS = 6302;   // more items than a statement holds
inline constexpr int32_t STATUS_RECORD_TOO_LONG = 6303;  // a record beyond the record buffer
inline constexpr int32_t STATUS_OUT_OF_ORDER = 6304;     // statement calls in the wrong order
inline constexpr int32_t STATUS_BAD_INTEGER = 6101;      // console answer that is no integer
inline constexpr int32_t STATUS_INTEGER_RANGE = 6102;    // outside the 32-bit range
inline constexpr int32_t STATUS_LINE_TOO_LONG = 6103;    // beyond the console's 132 bytes
inline constexpr int32_t STATUS_INPUT_FAILED = 6104;     // standard input cannot be read

// The failure a status stands for, in words.
const char* status_text(int32_t status);

// Exit statuses of the service's own failures.
inline constexpr int32_t CONSOLE_FAILED = 902;    // a console statement failed
inline constexpr int32_t WRITE_OUT_FAILED = 903;  // a file's last block could not be written

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
  // replaced, and left alone if it changed size since it was read to its end
  // (STATUS_FILE_CHANGED). The replacing output must fit the unit's 1024-byte buffer.
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

int32_t begin_read(UnitId unit, std::string_view format, bool want_status);
int32_t get_int32(int32_t& variable);
int32_t get_text(char* bytes, int32_t length);
int32_t end_read();

int32_t rewind_unit(int16_t unit);

// Writes out what the unit holds (a whole-or-nothing unit: puts its replacement in place), so
// that a failure comes back as a status instead of at the exit processing.
int32_t flush_unit(int16_t unit);

// Ends the console's open line if a record still owes its line end; keeps it owed.
void finish_console_line();

// Bytes straight to standard output behind what the console unit has written, with no
// carriage control and no change to the unit's state (the stop message).
void write_standard_output(std::string_view bytes);

// The exit processing: writes out, syncs and closes every unit (a unit that an interrupt cut
// short is only closed), then ends the console's line. Returns the exit status, turned into
// WRITE_OUT_FAILED when a success would hide a file not wholly written.
int32_t close_all_units(int32_t exit_status);

}  // namespace records

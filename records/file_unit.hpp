// A formatted sequential file behind a numbered unit: the 1024-byte block buffer, the cut of
// the file at the first output statement, record reading, rewinding and the final write-out.
//
// What a file holds when something goes wrong:
// - Output replaces what followed the position by cutting the file there first, then writing
//   block after block. A failure or a crash therefore leaves the new bytes written so far and
//   nothing of the old content behind them.
// - A whole-or-nothing unit (the results table) keeps the output that replaces the rest of the
//   file in its buffer until it is completed, and then puts it in place in one step: with one
//   write when the file does not shrink (room reserved first, the covered bytes written back if
//   the write fails), else by a new file renamed over the old one. The file is old or new at
//   every instant, and synced before the completion returns. It is not put in place when the
//   name no longer leads to the file or the file changed since it was read (someone wrote it
//   without the lock), checked right before the write or rename and again right after.
// - Room for each block is reserved before it is written, without growing the file; where the
//   system cannot do that, the write itself meets the full disk.
// - A unit whose call an interrupt cut short is given up: nothing more is read or written.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/files.hpp"
#include "records/record.hpp"
#include "records/records.hpp"

namespace records::detail {

inline constexpr int32_t BLOCK_SIZE = 1024;
inline constexpr int32_t MAX_FILE_NAME = static_cast<int32_t>(platform::MAX_NAME);

struct FileUnit {
  int16_t number = 0;
  char name[MAX_FILE_NAME + 1] = {};  // the name the file was found under
  platform::FileHandle handle = -1;
  // Which file it is, so that no other unit connects it too, and what it was when it was read:
  // a whole-or-nothing replacement is made only while it is still that.
  platform::FileInfo identity;
  UnitRules rules;  // what it was connected with, to connect it again
  char buffer[BLOCK_SIZE];
  int32_t filled = 0;        // bytes in the buffer: output not yet written, or the block read
  int32_t next = 0;          // reading: the next byte of the block
  int64_t origin = 0;        // file offset of buffer[0]
  int64_t os_offset = -1;    // the system's file offset, -1 when unknown
  bool holds_input = false;  // the buffer holds a block read from the file
  bool dirty = false;        // the buffer holds output not yet written
  bool at_end = false;       // nothing follows the current position in the file
  bool past_end = false;     // a read met the end of the file
  bool writable = true;      // connected for writing
  bool readable = true;      // connected for reading
  bool locked = false;       // holds the file's lock
  bool whole_or_nothing = false;
  bool replacing = false;      // whole-or-nothing output waits in the buffer to replace from origin
  bool unsynced = false;       // written since the last sync
  bool name_unsynced = false;  // the open created the file, and its name is not yet synced
  bool given_up = false;       // an interrupt cut a call short
  int system_error = 0;        // of the last failed write, for the message
  // The digest of every byte the output placed since it began at `image_from`: what the file
  // must hold from there on.
  uint64_t image = DIGEST_START;
  int64_t image_from = 0;

  int64_t position() const { return origin + (holds_input ? next : filled); }
};

// A text variable that one A edit of a read statement fills.
struct TextField {
  char* bytes;
  int32_t length;
  int32_t width;  // field width, or -1 for the variable's length
};

// A new run: its first wait for a lock is reported again.
void file_units_start();

// Whether a file is connected to a unit already; one file is never connected to two.
using ConnectedElsewhere = bool (*)(const platform::FileInfo& file);

// Connects the unit: finds the name (without regard to case, if the rules say so), opens the
// file, refuses one that another unit has (STATUS_FILE_CONNECTED), and takes its lock. A lock
// that another process holds is waited for, after one line on standard error (once a run),
// in the one order of all files (the `others` that come later and have seen no output or input
// give theirs up for the wait and take them again after it); a file
// system without locks is used without, after one line. If the name was given to another file
// while the run waited, that file is opened instead.
int32_t file_open(FileUnit& unit, int16_t number, std::string_view name, const UnitRules& rules,
                  ConnectedElsewhere connected_elsewhere, std::span<FileUnit> others);

// Whether the unit's name still leads to the file it holds (or cannot be looked up).
bool file_still_named(const FileUnit& unit);

// The unit a name leads to now, as file_open would find it; false when it leads to no file.
bool file_identity(std::string_view name, bool any_case, platform::FileInfo& identity);

// Start of an output statement: -1 after the end of file was met; 6421 on a unit connected
// for reading only. Output on a unit that something follows replaces what follows.
int32_t file_begin_output(FileUnit& unit);
// One record, ended by CR LF unless the line continues.
int32_t file_emit(FileUnit& unit, const char* bytes, int32_t length, bool line_continues);
// Writes out the buffer if it holds output, or puts a whole-or-nothing replacement in place.
int32_t file_complete(FileUnit& unit);

// One read statement: the record's text fields in order, then the rest of the record passed
// over. No fields: the record is passed over. 0, -1 at end of file, or a positive status.
int32_t file_read_record(FileUnit& unit, const TextField* fields, int32_t count);

int32_t file_rewind(FileUnit& unit);

// Writes the unit out, syncs it and digests what its file holds from `image_from` on, to compare
// with `image`. STATUS_NOT_READABLE for a file that cannot be read back; STATUS_READ_FAILED when
// the reading fails, the status of the writing or syncing when that does.
int32_t file_read_back(FileUnit& unit, uint64_t& digest);

// The exit processing of one unit: completes it, syncs what was written and closes the file.
// 0, or the status of what failed (the file is closed all the same).
int32_t file_close(FileUnit& unit);

}  // namespace records::detail

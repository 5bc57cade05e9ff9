// A formatted sequential file behind a numbered unit: the 1024-byte block buffer, the cut of
// the file behind the output that replaces its old content, record reading, rewinding and the
// final write-out.
//
// Output never loses what the file held before its replacement is on disk: room for each
// block is reserved before the block is written, and the old bytes behind the new ones are cut
// off only once the new ones are written (when the unit is completed: flushed, read, rewound
// or closed). A failed write cancels the cut, so the file keeps what it had.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.hpp"

namespace records::detail {

inline constexpr int32_t BLOCK_SIZE = 1024;
inline constexpr int32_t MAX_FILE_NAME = 255;

struct FileUnit {
  int16_t number = 0;
  char name[MAX_FILE_NAME + 1] = {};
  platform::FileHandle handle = -1;
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
  bool cut_pending = false;  // output replaced old bytes: the file ends behind it once written
  int system_error = 0;      // of the last failed write, for the message

  int64_t position() const { return origin + (holds_input ? next : filled); }
};

// A text variable that one A edit of a read statement fills.
struct TextField {
  char* bytes;
  int32_t length;
  int32_t width;  // field width, or -1 for the variable's length
};

int32_t file_open(FileUnit& unit, int16_t number, std::string_view name,
                  const platform::OpenRules& rules);

// Start of an output statement: -1 after the end of file was met; 6421 on a unit connected
// for reading only. Output on a unit that something follows replaces what follows: the file
// is cut at its end once it is written.
int32_t file_begin_output(FileUnit& unit);
// One record, ended by CR LF unless the line continues.
int32_t file_emit(FileUnit& unit, const char* bytes, int32_t length, bool line_continues);
// Writes out the buffer if it holds output, into room reserved first.
int32_t file_write_out(FileUnit& unit);
// Writes out the buffer, then cuts the old bytes behind the output if it replaced them.
int32_t file_complete(FileUnit& unit);

// One read statement: the record's text fields in order, then the rest of the record passed
// over. No fields: the record is passed over. 0, -1 at end of file, or a positive status.
int32_t file_read_record(FileUnit& unit, const TextField* fields, int32_t count);

int32_t file_rewind(FileUnit& unit);

// Closes the file without writing anything out.
void file_close(FileUnit& unit);

}  // namespace records::detail

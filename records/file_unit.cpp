#include "records/file_unit.hpp"

#include <algorithm>
#include <cstring>

#include "records/records.hpp"

namespace records::detail {
namespace {

constexpr int BYTE_END = -1;     // no byte left in the file
constexpr int BYTE_FAILED = -2;  // the file cannot be read

int32_t write_status(const platform::IoResult& result) {
  switch (result.failure) {
    case platform::IoFailure::none:
      return 0;
    case platform::IoFailure::access_denied:
      return STATUS_ACCESS_DENIED;
    case platform::IoFailure::no_space:
      return STATUS_NO_SPACE;
    case platform::IoFailure::other:
      break;
  }
  return STATUS_WRITE_FAILED;
}

bool seek_to(FileUnit& unit, int64_t offset) {
  if (unit.os_offset == offset) return true;
  if (!platform::seek_file(unit.handle, offset)) {
    unit.os_offset = -1;
    return false;
  }
  unit.os_offset = offset;
  return true;
}

// The next byte of the file without taking it; reads the next block when the buffer is used up.
int peek_byte(FileUnit& unit) {
  if (unit.next < unit.filled) return static_cast<unsigned char>(unit.buffer[unit.next]);
  unit.origin += unit.filled;
  unit.filled = 0;
  unit.next = 0;
  if (!seek_to(unit, unit.origin)) return BYTE_FAILED;
  std::size_t count = 0;
  if (!platform::read_file(unit.handle, unit.buffer, BLOCK_SIZE, count)) {
    unit.os_offset = -1;
    return BYTE_FAILED;
  }
  unit.os_offset = unit.origin + static_cast<int64_t>(count);
  unit.filled = static_cast<int32_t>(count);
  if (count == 0) return BYTE_END;
  return static_cast<unsigned char>(unit.buffer[0]);
}

int32_t start_reading(FileUnit& unit) {
  if (unit.past_end) return -1;
  if (unit.at_end) {
    if (const int32_t status = file_complete(unit)) return status;
    unit.at_end = false;
  }
  if (!unit.holds_input) {
    unit.origin = unit.position();
    unit.filled = 0;
    unit.next = 0;
    unit.holds_input = true;
  }
  return 0;
}

// Reads one A field into a text variable. A CR or LF ends the field early and stays unread.
int32_t read_text_field(FileUnit& unit, const TextField& field) {
  const int32_t length = std::max(field.length, 0);
  const int32_t width = field.width < 0 ? length : field.width;
  const int32_t skipped = std::max(width - length, 0);  // a wider field keeps its last bytes
  std::memset(field.bytes, ' ', static_cast<std::size_t>(length));
  for (int32_t k = 0; k < width; ++k) {
    const int c = peek_byte(unit);
    if (c == BYTE_FAILED) return STATUS_READ_FAILED;
    if (c == BYTE_END || c == '\r' || c == '\n') break;
    ++unit.next;
    if (k >= skipped) field.bytes[k - skipped] = static_cast<char>(c);
  }
  return 0;
}

// Passes over the rest of the record, its LF included. A last line without LF ends at the end
// of the file as if the LF were there.
int32_t pass_rest_of_record(FileUnit& unit) {
  for (;;) {
    const int c = peek_byte(unit);
    if (c == BYTE_FAILED) return STATUS_READ_FAILED;
    if (c == BYTE_END) return 0;
    const char* start = unit.buffer + unit.next;
    const void* line_end =
        std::memchr(start, '\n', static_cast<std::size_t>(unit.filled - unit.next));
    if (line_end != nullptr) {
      unit.next += static_cast<int32_t>(static_cast<const char*>(line_end) - start) + 1;
      return 0;
    }
    unit.next = unit.filled;
  }
}

}  // namespace

int32_t file_open(FileUnit& unit, int16_t number, std::string_view name,
                  const platform::OpenRules& rules) {
  if (name.empty() || name.size() > static_cast<std::size_t>(MAX_FILE_NAME) ||
      name.find('\0') != std::string_view::npos) {
    return STATUS_OPEN_FAILED;
  }
  char zero_terminated[MAX_FILE_NAME + 1];
  std::memcpy(zero_terminated, name.data(), name.size());
  zero_terminated[name.size()] = '\0';
  platform::OpenedFile opened;
  if (!platform::open_file(zero_terminated, opened, rules)) return STATUS_OPEN_FAILED;

  unit.number = number;
  std::memcpy(unit.name, zero_terminated, name.size() + 1);
  unit.handle = opened.handle;
  unit.filled = 0;
  unit.next = 0;
  unit.origin = 0;
  unit.os_offset = 0;
  unit.holds_input = false;
  unit.dirty = false;
  unit.at_end = opened.created;
  unit.past_end = false;
  unit.writable = opened.writable;
  unit.cut_pending = false;
  return 0;
}

int32_t file_begin_output(FileUnit& unit) {
  if (unit.past_end) return -1;
  if (!unit.at_end) {
    if (!unit.writable) return STATUS_ACCESS_DENIED;
    const int64_t from = unit.position();
    unit.at_end = true;
    unit.cut_pending = true;
    unit.origin = from;
    unit.filled = 0;
    unit.next = 0;
    unit.holds_input = false;
    unit.dirty = false;
  }
  return 0;
}

int32_t file_emit(FileUnit& unit, const char* bytes, int32_t length, bool line_continues) {
  auto put = [&unit](const char* from, int32_t count) -> int32_t {
    while (count > 0) {
      const int32_t take = std::min(count, BLOCK_SIZE - unit.filled);
      std::memcpy(unit.buffer + unit.filled, from, static_cast<std::size_t>(take));
      unit.filled += take;
      unit.dirty = true;
      from += take;
      count -= take;
      if (unit.filled == BLOCK_SIZE) {
        if (const int32_t status = file_write_out(unit)) return status;
      }
    }
    return 0;
  };
  if (const int32_t status = put(bytes, length)) return status;
  return line_continues ? 0 : put("\r\n", 2);
}

int32_t file_write_out(FileUnit& unit) {
  if (!unit.dirty) return 0;
  // Bytes that cannot be written are dropped, and the file ends where it did: the failure is
  // reported once, by the statement (or the exit processing) during which it happens.
  const int32_t count = unit.filled;
  unit.dirty = false;
  unit.filled = 0;
  const int64_t offset = unit.origin;
  platform::IoResult result = platform::reserve_file(unit.handle, offset, count);
  if (result && unit.os_offset != offset) {
    result = platform::seek_file(unit.handle, offset);
    if (result) unit.os_offset = offset;
  }
  if (result)
    result = platform::write_file(unit.handle, unit.buffer, static_cast<std::size_t>(count));
  if (!result) {
    unit.os_offset = -1;
    unit.system_error = result.system_error;
    unit.cut_pending = false;  // what the file held behind the output stays
    return write_status(result);
  }
  unit.origin += count;
  unit.os_offset = unit.origin;
  return 0;
}

int32_t file_complete(FileUnit& unit) {
  if (const int32_t status = file_write_out(unit)) return status;
  if (!unit.cut_pending) return 0;
  unit.cut_pending = false;
  if (const auto result = platform::set_file_end(unit.handle, unit.origin); !result) {
    unit.system_error = result.system_error;
    return write_status(result);
  }
  return 0;
}

int32_t file_read_record(FileUnit& unit, const TextField* fields, int32_t count) {
  if (const int32_t status = start_reading(unit)) return status;
  const int first = peek_byte(unit);
  if (first == BYTE_FAILED) return STATUS_READ_FAILED;
  if (first == BYTE_END) {
    unit.past_end = true;
    return -1;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (const int32_t status = read_text_field(unit, fields[i])) return status;
  }
  return pass_rest_of_record(unit);
}

int32_t file_rewind(FileUnit& unit) {
  if (unit.at_end) {
    if (const int32_t status = file_complete(unit)) return status;
    unit.at_end = false;
  }
  unit.past_end = false;
  unit.origin = 0;
  unit.filled = 0;
  unit.next = 0;
  unit.holds_input = true;
  seek_to(unit, 0);  // the next read seeks again if this did not succeed
  return 0;
}

void file_close(FileUnit& unit) {
  platform::close_file(unit.handle);
  unit.handle = -1;
}

}  // namespace records::detail

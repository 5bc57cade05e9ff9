#include "records/file_unit.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

#include "platform/platform.hpp"
#include "records/records.hpp"

namespace records::detail {
namespace {

constexpr int BYTE_END = -1;          // no byte left in the file
constexpr int BYTE_FAILED = -2;       // the file cannot be read
constexpr int BYTE_INTERRUPTED = -3;  // an interrupt cut the read short

// A name that another file may have taken while the run waited for the lock is looked up again
// this many times; then the file the run holds is used.
constexpr int MAX_REOPENS = 100;

int32_t failure_status(const platform::IoResult& result) {
  switch (result.failure) {
    case platform::IoFailure::none:
      return 0;
    case platform::IoFailure::access_denied:
      return STATUS_ACCESS_DENIED;
    case platform::IoFailure::no_space:
      return STATUS_NO_SPACE;
    case platform::IoFailure::interrupted:
      return STATUS_INTERRUPTED;
    case platform::IoFailure::changed:
      return STATUS_FILE_CHANGED;
    case platform::IoFailure::not_supported:
    case platform::IoFailure::busy:
    case platform::IoFailure::other:
      break;
  }
  return STATUS_WRITE_FAILED;
}

// The status of a failed call; a unit that an interrupt cut short is given up.
int32_t fail(FileUnit& unit, const platform::IoResult& result) {
  unit.os_offset = -1;
  unit.system_error = result.system_error;
  if (result.failure == platform::IoFailure::interrupted) unit.given_up = true;
  return failure_status(result);
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

platform::IoResult seek_for(FileUnit& unit, int64_t offset) {
  if (seek_to(unit, offset)) return {};
  return platform::IoResult{platform::IoFailure::other, 0};
}

void copy_name(std::string_view name, char (&into)[MAX_FILE_NAME + 1]) {
  const std::size_t length = std::min(name.size(), static_cast<std::size_t>(MAX_FILE_NAME));
  std::memcpy(into, name.data(), length);
  into[length] = '\0';
}

// The name to open: as given, or the one that differs in case only.
bool name_to_open(std::string_view name, bool any_case, platform::NameBuffer& found) {
  if (name.empty() || name.size() > platform::MAX_NAME ||
      name.find('\0') != std::string_view::npos) {
    return false;
  }
  std::memcpy(found, name.data(), name.size());
  found[name.size()] = '\0';
  if (any_case) {
    char given[MAX_FILE_NAME + 1];
    std::memcpy(given, found, name.size() + 1);
    // A failed look-up leaves the name as given.
    (void)platform::look_up_name(given, found);
  }
  return true;
}

// Whether a unit has seen no output or input yet: its lock can be given up for a while, as
// nothing of it depends on the file staying as it was.
bool untouched(const FileUnit& unit) {
  return unit.locked && unit.origin == 0 && unit.filled == 0 && !unit.holds_input && !unit.dirty &&
         !unit.unsynced && !unit.past_end;
}

// Waits for the unit's lock holding no lock of a file that comes after its file in the one order
// of all files (platform::comes_before): the untouched units of such files give theirs up for
// the wait and take them again after it, in that order, waiting for each. Runs thus wait only
// for files that come after every file they hold, and no two can wait for each other in a
// circle, however slow their lock calls (two directories whose PI.OUT is the other's PI.Tst). A
// unit that already wrote keeps its lock (the table's wait at the end of a run).
platform::IoResult wait_in_order(FileUnit& unit, std::span<FileUnit> others) {
  FileUnit* after[MAX_UNITS];
  std::size_t count = 0;
  for (FileUnit& other : others) {
    if (&other == &unit || !untouched(other)) continue;
    if (!platform::comes_before(unit.identity, other.identity)) continue;
    if (count == std::size(after)) break;
    after[count++] = &other;
  }
  std::sort(after, after + count, [](const FileUnit* a, const FileUnit* b) {
    return platform::comes_before(a->identity, b->identity);
  });
  for (std::size_t i = 0; i < count; ++i) {
    if (const auto released = platform::unlock_file(after[i]->handle); !released) return released;
    after[i]->locked = false;
    // Another run may write the file meanwhile: it is no longer known to end at its start.
    after[i]->at_end = false;
  }
  if (const auto taken = platform::lock_file(unit.handle, unit.writable, true); !taken) {
    return taken;
  }
  unit.locked = true;
  for (std::size_t i = 0; i < count; ++i) {
    const auto taken = platform::lock_file(after[i]->handle, after[i]->writable, true);
    if (!taken) return taken;
    after[i]->locked = true;
  }
  return {};
}

bool wait_reported = false;  // the wait is reported once a run

// Takes the file's lock, waiting for another run that holds it. Where locks do not exist the
// run goes on without one.
int32_t take_lock(FileUnit& unit, std::span<FileUnit> others) {
  platform::IoResult result = platform::lock_file(unit.handle, unit.writable, false);
  if (result.failure == platform::IoFailure::busy) {
    if (!wait_reported) {
      char line[MAX_FILE_NAME + 64];
      std::snprintf(line, sizeof line, "Waiting for the run that holds %s to end.", unit.name);
      platform::report_error(line);
      wait_reported = true;
    }
    result = wait_in_order(unit, others);
  }
  if (result) {
    unit.locked = true;
    return 0;
  }
  if (result.failure == platform::IoFailure::not_supported) {
    char line[MAX_FILE_NAME + 128];
    std::snprintf(line, sizeof line,
                  "%s cannot be locked here (%s); the run goes on without the lock.", unit.name,
                  platform::error_text(result.system_error));
    platform::report_error(line);
    return 0;
  }
  return result.failure == platform::IoFailure::interrupted ? STATUS_INTERRUPTED
                                                            : STATUS_OPEN_FAILED;
}

// Whether the name still leads to the file the unit holds: an editor may have saved a new file
// under it while the run waited for the lock. A name that cannot be looked up counts as the same.
bool name_still_leads_here(const FileUnit& unit) {
  platform::FileInfo now;
  if (!platform::name_info(unit.name, now)) return true;
  return platform::same_file(now, unit.identity);
}

// The next byte of the file without taking it; reads the next block when the buffer is used up.
int peek_byte(FileUnit& unit) {
  if (unit.next < unit.filled) return static_cast<unsigned char>(unit.buffer[unit.next]);
  unit.origin += unit.filled;
  unit.filled = 0;
  unit.next = 0;
  if (!seek_to(unit, unit.origin)) return BYTE_FAILED;
  std::size_t count = 0;
  const platform::IoResult result =
      platform::read_file(unit.handle, unit.buffer, BLOCK_SIZE, count);
  if (!result) {
    fail(unit, result);
    return unit.given_up ? BYTE_INTERRUPTED : BYTE_FAILED;
  }
  unit.os_offset = unit.origin + static_cast<int64_t>(count);
  unit.filled = static_cast<int32_t>(count);
  if (count == 0) return BYTE_END;
  return static_cast<unsigned char>(unit.buffer[0]);
}

int32_t byte_status(int c) {
  return c == BYTE_INTERRUPTED ? STATUS_INTERRUPTED : STATUS_READ_FAILED;
}

int32_t start_reading(FileUnit& unit) {
  if (unit.given_up) return STATUS_INTERRUPTED;
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
    if (c == BYTE_FAILED || c == BYTE_INTERRUPTED) return byte_status(c);
    if (c == BYTE_END || c == '\r' || c == '\n') break;
    ++unit.next;
    if (k >= skipped) field.bytes[k - skipped] = static_cast<char>(c);
  }
  return 0;
}

// Passes over the rest of the record: up to and including its LF, or a CR that no LF follows
// (a line end of a file written with CR alone). A last line without either ends at the end of
// the file. A long record yields to a pending interrupt between blocks.
int32_t pass_rest_of_record(FileUnit& unit) {
  for (;;) {
    const int c = peek_byte(unit);
    if (c == BYTE_FAILED || c == BYTE_INTERRUPTED) return byte_status(c);
    if (c == BYTE_END) return 0;
    const char* start = unit.buffer + unit.next;
    const char* end = unit.buffer + unit.filled;
    const char* line_end = std::find_if(start, end, [](char b) { return b == '\n' || b == '\r'; });
    if (line_end == end) {
      unit.next = unit.filled;
      if (platform::interrupt_pending()) return STATUS_INTERRUPTED;
      continue;
    }
    unit.next += static_cast<int32_t>(line_end - start) + 1;
    if (*line_end == '\n') return 0;
    const int after = peek_byte(unit);  // the byte after a CR may be in the next block
    if (after == BYTE_FAILED || after == BYTE_INTERRUPTED) return byte_status(after);
    if (after == '\n') ++unit.next;
    return 0;
  }
}

// Reads `count` bytes at `offset`, fewer at the end of the file.
platform::IoResult read_at(FileUnit& unit, int64_t offset, char* into, int32_t count,
                           int32_t& got) {
  got = 0;
  platform::IoResult result = seek_for(unit, offset);
  while (result && got < count) {
    std::size_t part = 0;
    result =
        platform::read_file(unit.handle, into + got, static_cast<std::size_t>(count - got), part);
    if (result && part == 0) break;
    got += static_cast<int32_t>(part);
    unit.os_offset = offset + got;
  }
  return result;
}

// Writes `count` bytes at `offset`; what a failure leaves is the caller's to undo.
platform::IoResult write_at(FileUnit& unit, int64_t offset, const char* bytes, int32_t count) {
  platform::IoResult result = seek_for(unit, offset);
  if (result) result = platform::write_file(unit.handle, bytes, static_cast<std::size_t>(count));
  unit.os_offset = result ? offset + count : -1;
  return result;
}

// Whether the unit's name still leads to the file it holds, and that file is as it was read:
// no program that takes no lock (an editor saving under the name, a line appended) changed it.
// `now` receives what the file is now.
platform::IoResult unchanged_since_read(const FileUnit& unit, platform::FileInfo& now,
                                        bool& unchanged) {
  platform::FileInfo named;
  if (const auto looked = platform::file_info(unit.handle, now); !looked) return looked;
  const auto found = platform::name_info(unit.name, named);
  unchanged = found && platform::same_file(now, named) && platform::unchanged(unit.identity, now);
  return {};
}

// The unit's output is not put in place: another program changed the file, which the caller
// reads again from the start (flush_unit connects the unit to the name's new file first).
int32_t changed_by_another(FileUnit& unit, const platform::FileInfo& now) {
  unit.at_end = false;
  unit.identity = now;  // what the next reading is of
  return STATUS_FILE_CHANGED;
}

// Puts what was written on the disk, and the name of a file the run created: once this returns
// success, no power cut can take the file back.
platform::IoResult sync_unit(FileUnit& unit) {
  if (const auto synced = platform::sync_file(unit.handle); !synced) return synced;
  unit.unsynced = false;
  if (unit.name_unsynced) {
    if (const auto named = platform::sync_name(unit.name); !named) return named;
    unit.name_unsynced = false;
  }
  return {};
}

// Writes a replacement over the file from `from` on, in one write into room reserved first (the
// bytes it covers written back if the write fails), cuts what is left of the old tail, syncs,
// and checks that the name still leads to the file.
int32_t write_replacement(FileUnit& unit, int64_t from, int32_t count, platform::FileInfo& now) {
  static char covered[BLOCK_SIZE];  // old bytes the new ones overwrite, to undo a failed write
  const int64_t new_end = from + count;
  if (new_end >= now.size) {
    if (const auto room = platform::reserve_file(unit.handle, from, count); !room) {
      return fail(unit, room);
    }
  }
  int32_t saved = 0;
  const int32_t to_save = static_cast<int32_t>(std::min<int64_t>(count, now.size - from));
  if (const auto result = read_at(unit, from, covered, std::max(to_save, 0), saved); !result) {
    return fail(unit, result);
  }
  if (const auto written = write_at(unit, from, unit.buffer, count); !written) {
    if (written.failure != platform::IoFailure::interrupted) {
      (void)write_at(unit, from, covered, saved);
      (void)platform::set_file_end(unit.handle, now.size);
    }
    return fail(unit, written);
  }
  if (new_end < now.size) {
    if (const auto cut = platform::set_file_end(unit.handle, new_end); !cut) {
      (void)write_at(unit, from, covered, saved);
      return fail(unit, cut);
    }
  }
  unit.origin = new_end;
  if (const auto synced = sync_unit(unit); !synced) return fail(unit, synced);
  // The new bytes are in the file the name leads to, or an editor's file took the name meanwhile
  // and the update is made again there.
  platform::FileInfo named;
  if (const auto looked = platform::file_info(unit.handle, now); !looked) return fail(unit, looked);
  if (!platform::name_info(unit.name, named) || !platform::same_file(now, named) ||
      now.size < new_end) {
    return changed_by_another(unit, now);
  }
  unit.identity = now;
  return 0;
}

// A whole-or-nothing unit's output replaces everything from `origin` on: the file is old or new
// at every instant. The file must be as it was read, right before and right after.
int32_t put_replacement_in_place(FileUnit& unit) {
  const int64_t from = unit.origin;
  const int32_t count = unit.filled;
  unit.replacing = false;
  unit.dirty = false;
  unit.filled = 0;
  // What a run killed while it replaced the file left: gone before the next replacement. A
  // failure here keeps the leftover for a later run and harms nothing.
  (void)platform::tidy_replacements(unit.name);
  platform::FileInfo now;
  bool as_read = false;
  if (const auto looked = unchanged_since_read(unit, now, as_read); !looked) {
    return fail(unit, looked);
  }
  if (!as_read) return changed_by_another(unit, now);
  if (from + count < now.size) {
    // Shrinking: one step only by a new file. Where the name cannot be replaced, the file is
    // written and then cut, which leaves a moment with the old tail behind the new bytes.
    const platform::IoResult replaced =
        platform::replace_file(unit.handle, unit.name, unit.identity, from, unit.buffer,
                               static_cast<std::size_t>(count), unit.locked);
    if (replaced || replaced.failure == platform::IoFailure::changed) {
      unit.os_offset = -1;
      unit.origin = from + count;
      unit.unsynced = false;
      if (replaced) return 0;
      if (const auto looked = platform::file_info(unit.handle, now); !looked) {
        return fail(unit, looked);
      }
      return changed_by_another(unit, now);
    }
    if (replaced.failure != platform::IoFailure::not_supported) return fail(unit, replaced);
  }
  return write_replacement(unit, from, count, now);
}

// Writes out the buffer into room reserved first. The file was cut where the output began, so
// a write that fails halfway leaves new bytes only, as far as they were written.
int32_t write_out(FileUnit& unit) {
  if (!unit.dirty) return 0;
  // Bytes that cannot be written are dropped: the failure is reported once, by the statement
  // (or the exit processing) during which it happens.
  const int32_t count = unit.filled;
  const int64_t offset = unit.origin;
  unit.dirty = false;
  unit.filled = 0;
  if (const auto room = platform::reserve_file(unit.handle, offset, count); !room) {
    return fail(unit, room);
  }
  if (const auto written = write_at(unit, offset, unit.buffer, count); !written) {
    return fail(unit, written);
  }
  unit.origin += count;
  unit.unsynced = true;
  return 0;
}

}  // namespace

void file_units_start() { wait_reported = false; }

int32_t file_open(FileUnit& unit, int16_t number, std::string_view name, const UnitRules& rules,
                  ConnectedElsewhere connected_elsewhere, std::span<FileUnit> others) {
  for (int attempt = 0;; ++attempt) {
    platform::NameBuffer found;
    if (!name_to_open(name, rules.any_case, found)) return STATUS_OPEN_FAILED;
    platform::OpenedFile opened;
    if (!platform::open_file(found, rules.regular_file_only, opened)) return STATUS_OPEN_FAILED;
    unit = FileUnit{};
    unit.number = number;
    copy_name(found, unit.name);
    unit.handle = opened.handle;
    unit.writable = opened.writable;
    unit.readable = opened.readable;
    unit.at_end = opened.created;
    unit.name_unsynced = opened.created;
    unit.whole_or_nothing = rules.whole_or_nothing;
    unit.rules = rules;
    unit.os_offset = 0;
    int32_t status = 0;
    if (!platform::file_info(unit.handle, unit.identity)) {
      status = STATUS_OPEN_FAILED;
    } else if (connected_elsewhere(unit.identity)) {
      status = STATUS_FILE_CONNECTED;
    } else if (rules.exclusive && unit.identity.regular) {
      status = take_lock(unit, others);
      if (status == 0 && attempt < MAX_REOPENS && !name_still_leads_here(unit)) {
        (void)platform::close_file(unit.handle);
        continue;
      }
    }
    if (status != 0) (void)platform::close_file(unit.handle);
    return status;
  }
}

bool file_still_named(const FileUnit& unit) { return name_still_leads_here(unit); }

bool file_identity(std::string_view name, bool any_case, platform::FileInfo& identity) {
  platform::NameBuffer found;
  return name_to_open(name, any_case, found) && platform::name_info(found, identity);
}

int32_t file_begin_output(FileUnit& unit) {
  if (unit.given_up) return STATUS_INTERRUPTED;
  if (unit.past_end) return -1;
  if (!unit.at_end) {
    if (!unit.writable) return STATUS_ACCESS_DENIED;
    const int64_t from = unit.position();
    if (unit.whole_or_nothing) {
      unit.replacing = true;
    } else if (const auto cut = platform::set_file_end(unit.handle, from); !cut) {
      return fail(unit, cut);
    }
    unit.at_end = true;
    unit.origin = from;
    unit.filled = 0;
    unit.next = 0;
    unit.holds_input = false;
    unit.dirty = false;
    unit.unsynced = true;
    unit.image = DIGEST_START;
    unit.image_from = from;
  }
  return 0;
}

int32_t file_emit(FileUnit& unit, const char* bytes, int32_t length, bool line_continues) {
  const int32_t line_end = line_continues ? 0 : 2;
  // A replacement is put in place whole: it must fit the buffer.
  if (unit.replacing && unit.filled + length + line_end > BLOCK_SIZE) return STATUS_RECORD_TOO_LONG;
  auto put = [&unit](const char* from, int32_t count) -> int32_t {
    while (count > 0) {
      const int32_t take = std::min(count, BLOCK_SIZE - unit.filled);
      std::memcpy(unit.buffer + unit.filled, from, static_cast<std::size_t>(take));
      unit.image = digest_bytes(unit.image, from, static_cast<std::size_t>(take));
      unit.filled += take;
      unit.dirty = true;
      from += take;
      count -= take;
      if (unit.filled == BLOCK_SIZE && !unit.replacing) {
        if (const int32_t status = write_out(unit)) return status;
      }
    }
    return 0;
  };
  if (const int32_t status = put(bytes, length)) return status;
  return line_continues ? 0 : put("\r\n", 2);
}

int32_t file_complete(FileUnit& unit) {
  if (unit.given_up) return STATUS_INTERRUPTED;
  if (unit.replacing) return put_replacement_in_place(unit);
  return write_out(unit);
}

int32_t file_read_record(FileUnit& unit, const TextField* fields, int32_t count) {
  if (const int32_t status = start_reading(unit)) return status;
  const int first = peek_byte(unit);
  if (first == BYTE_FAILED || first == BYTE_INTERRUPTED) return byte_status(first);
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
  if (unit.given_up) return STATUS_INTERRUPTED;
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

int32_t file_read_back(FileUnit& unit, uint64_t& digest) {
  if (const int32_t status = file_complete(unit)) return status;
  if (unit.unsynced || unit.name_unsynced) {
    if (const auto synced = sync_unit(unit); !synced) return fail(unit, synced);
  }
  if (!unit.identity.regular || !unit.readable) return STATUS_NOT_READABLE;
  static char block[16 * BLOCK_SIZE];
  digest = DIGEST_START;
  for (int64_t at = unit.image_from;;) {
    int32_t got = 0;
    if (const auto result = read_at(unit, at, block, sizeof block, got); !result) {
      const int32_t status = fail(unit, result);
      return status == STATUS_INTERRUPTED ? status : STATUS_READ_FAILED;
    }
    digest = digest_bytes(digest, block, static_cast<std::size_t>(got));
    if (got < static_cast<int32_t>(sizeof block)) return 0;  // read_at met the end
    at += got;
  }
}

int32_t file_close(FileUnit& unit) {
  int32_t status = 0;
  if (!unit.given_up) {
    status = file_complete(unit);
    if (status == 0 && (unit.unsynced || unit.name_unsynced)) {
      if (const auto synced = sync_unit(unit); !synced) status = fail(unit, synced);
    }
  }
  if (const auto closed = platform::close_file(unit.handle); !closed && status == 0) {
    status = fail(unit, closed);
  }
  unit.handle = -1;
  return status;
}

}  // namespace records::detail

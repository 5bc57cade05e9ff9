// The unit table, opening, statement dispatch and the exit processing.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "records/console.hpp"
#include "records/file_unit.hpp"
#include "records/format.hpp"
#include "records/list_directed.hpp"
#include "records/record.hpp"
#include "records/records.hpp"

namespace records {
namespace {

using detail::FileUnit;
using detail::Item;

constexpr int32_t MAX_READ_ITEMS = 4;

struct ReadItem {
  enum class Kind : uint8_t { integer, text };
  Kind kind;
  int32_t* integer;
  char* text;
  int32_t length;
};

struct Statement {
  bool active = false;
  bool reading = false;
  UnitId unit = 0;
  const detail::Format* format = nullptr;  // null: list-directed
  std::string_view format_text;            // for the report of a format that cannot be used
  int32_t format_error_offset = -1;
  bool want_status = false;
  int32_t status = 0;  // the first failure while collecting, reported by the end
  int32_t count = 0;
};

Statement statement;
uint64_t digest_of_last_statement = 0;
Item items[MAX_ITEMS];
ReadItem read_items[MAX_READ_ITEMS];
detail::Record record;

FileUnit units[MAX_UNITS];
int32_t units_connected = 0;

// An interrupt that comes while the service changes a unit waits until the change is whole:
// no half-rendered record reaches a file, and the exit processing finds every unit between
// two statements. Every call below that changes a unit holds them (platform::InterruptsHeld).

bool connected_elsewhere(const platform::FileInfo& file) {
  for (int32_t i = 0; i < units_connected; ++i) {
    if (platform::same_file(units[i].identity, file)) return true;
  }
  return false;
}

FileUnit* find_unit(UnitId number) {
  for (int32_t i = 0; i < units_connected; ++i) {
    if (units[i].number == number) return &units[i];
  }
  return nullptr;
}

// Keywords compare without regard to case and trailing blanks.
bool keyword_is(std::string_view given, std::string_view expected) {
  while (!given.empty() && given.back() == ' ') given.remove_suffix(1);
  if (given.size() != expected.size()) return false;
  for (std::size_t i = 0; i < given.size(); ++i) {
    char c = given[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != expected[i]) return false;
  }
  return true;
}

class ConsoleSink final : public detail::RecordSink {
 public:
  int32_t emit(const char* bytes, int32_t length, bool line_continues) override {
    return detail::console_emit(bytes, length, line_continues);
  }
};

class FileSink final : public detail::RecordSink {
 public:
  explicit FileSink(FileUnit& unit) : unit_(unit) {}
  int32_t emit(const char* bytes, int32_t length, bool line_continues) override {
    return detail::file_emit(unit_, bytes, length, line_continues);
  }

 private:
  FileUnit& unit_;
};

// Folds each record into the statement's digest (its bytes, then its length and whether its line
// continues) on the way to the unit's sink, if it has one. Without a sink (DIGEST_ONLY) it also
// folds the record into that unit's image, as a file unit places it: its bytes and CR LF.
class DigestSink final : public detail::RecordSink {
 public:
  DigestSink(detail::RecordSink* unit, uint64_t& image) : unit_(unit), image_(image) {}
  int32_t emit(const char* bytes, int32_t length, bool line_continues) override {
    const auto count = static_cast<std::size_t>(length);
    digest = detail::digest_bytes(digest, bytes, count);
    const uint32_t shape = static_cast<uint32_t>(length) << 1 | (line_continues ? 1u : 0u);
    digest = (digest ^ shape) * 0x100000001b3u;
    if (unit_ != nullptr) return unit_->emit(bytes, length, line_continues);
    image_ = detail::digest_bytes(image_, bytes, count);
    if (!line_continues) image_ = detail::digest_bytes(image_, "\r\n", 2);
    return 0;
  }
  uint64_t digest = detail::DIGEST_START;

 private:
  detail::RecordSink* unit_;
  uint64_t& image_;
};

uint64_t digest_only_image = detail::DIGEST_START;

int32_t render(detail::RecordSink* unit_sink) {
  DigestSink sink(unit_sink, digest_only_image);
  const int32_t status =
      statement.format == nullptr
          ? detail::render_list_directed(items, statement.count, record, sink)
          : detail::render_formatted(*statement.format, items, statement.count, record, sink);
  digest_of_last_statement = sink.digest;
  return status;
}

constexpr std::size_t MAX_MESSAGE = 400;

void report_console_failure() {
  char text[MAX_MESSAGE];
  std::snprintf(text, sizeof text, "Error writing to standard output: %s",
                platform::error_text(detail::console_write_error()));
  platform::report_error(text);
}

// A statement that asked for no status cannot fail quietly: the run ends here, with a line
// that names the failure in words.
[[noreturn]] void fail_statement(int32_t status) {
  // The stream was given up for an interrupt, which ends the run now.
  if (status == STATUS_INTERRUPTED) platform::act_on_interrupt();
  if (detail::console_write_error() != 0) {
    report_console_failure();
  } else {
    char where[32] = "standard output";
    if (statement.unit == CONSOLE_IN) std::snprintf(where, sizeof where, "standard input");
    if (statement.unit != CONSOLE_OUT && statement.unit != CONSOLE_IN) {
      std::snprintf(where, sizeof where, "unit %d", static_cast<int>(statement.unit));
    }
    char text[MAX_MESSAGE];
    if (status == STATUS_BAD_FORMAT && statement.format_error_offset >= 0) {
      const int shown = static_cast<int>(std::min<std::size_t>(statement.format_text.size(), 200));
      std::snprintf(text, sizeof text, "Record error on %s: %s: \"%.*s\", stopped at offset %d",
                    where, status_text(status), shown, statement.format_text.data(),
                    static_cast<int>(statement.format_error_offset));
    } else {
      std::snprintf(text, sizeof text, "Record error on %s: %s", where, status_text(status));
    }
    platform::report_error(text);
  }
  platform::exit_process(CONSOLE_FAILED);
}

// A file that could not be written out, synced or read back, named on standard error.
void report_file_failure(const FileUnit& unit, int32_t status) {
  char text[MAX_MESSAGE];
  std::snprintf(text, sizeof text,
                status == STATUS_READ_FAILED ? "Error reading %s back: %s" : "Error writing %s: %s",
                unit.name, platform::error_text(unit.system_error));
  platform::report_error(text);
}

[[noreturn]] void fail_console(int32_t status) {
  statement = Statement{};
  statement.unit = CONSOLE_OUT;
  fail_statement(status);
}

// A call of a statement failed before its end: the status goes back to a caller that asked for
// one (and stays the statement's status for its end); a statement without status ends here.
int32_t fail_early(int32_t status) {
  statement.status = status;
  if (!statement.want_status) fail_statement(status);
  return status;
}

int32_t begin_statement(UnitId unit, std::string_view format, bool want_status, bool reading) {
  statement = Statement{};
  digest_of_last_statement = 0;
  statement.active = true;
  statement.reading = reading;
  statement.unit = unit;
  statement.want_status = want_status;
  if (format.data() != nullptr) {
    statement.format_text = format;
    statement.format = detail::find_format(format, &statement.format_error_offset);
    if (statement.format == nullptr) return fail_early(STATUS_BAD_FORMAT);
  }
  return 0;
}

// A call that belongs to no statement of its kind fails like any other: with no statement in
// progress, none asked for a status, and the run ends.
int32_t out_of_order() {
  if (!statement.active) {
    platform::report_error("Record error: statement calls out of order");
    platform::exit_process(CONSOLE_FAILED);
  }
  return fail_early(STATUS_OUT_OF_ORDER);
}

int32_t add_item(const Item& item) {
  if (!statement.active || statement.reading) return out_of_order();
  if (statement.count == MAX_ITEMS) return fail_early(STATUS_TOO_MANY_ITEMS);
  items[statement.count++] = item;
  return 0;
}

int32_t add_read_item(const ReadItem& item) {
  if (!statement.active || !statement.reading) return out_of_order();
  if (statement.count == MAX_READ_ITEMS) return fail_early(STATUS_TOO_MANY_ITEMS);
  read_items[statement.count++] = item;
  return 0;
}

int32_t finish_statement(int32_t status) {
  statement.active = false;
  if (status != 0 && !statement.want_status) fail_statement(status);
  return status;
}

int32_t write_statement() {
  if (statement.unit == DIGEST_ONLY) return render(nullptr);
  if (statement.unit == CONSOLE_OUT) {
    ConsoleSink sink;
    const int32_t status = render(&sink);
    const int32_t flushed = detail::console_flush();
    return status != 0 ? status : flushed;
  }
  FileUnit* unit = find_unit(statement.unit);
  if (unit == nullptr) return STATUS_NOT_CONNECTED;
  if (const int32_t status = detail::file_begin_output(*unit)) return status;
  FileSink sink(*unit);
  return render(&sink);
}

// A formatted read takes its text fields from the format's A edits, one record a statement.
int32_t read_file_statement(FileUnit& unit) {
  detail::TextField fields[MAX_READ_ITEMS];
  std::optional<detail::FormatWalker> walker;
  if (statement.format != nullptr) walker.emplace(*statement.format);
  for (int32_t i = 0; i < statement.count; ++i) {
    const ReadItem& item = read_items[i];
    if (item.kind != ReadItem::Kind::text) return STATUS_BAD_ITEM;
    int32_t width = -1;
    if (walker) {
      const detail::FormatWalker::Step step = walker->next(true);
      if (step.kind != detail::FormatWalker::Step::Kind::data || step.node->letter != 'A') {
        return STATUS_BAD_FORMAT;
      }
      width = step.node->width;
    }
    fields[i] = detail::TextField{item.text, item.length, width};
  }
  return detail::file_read_record(unit, fields, statement.count);
}

int32_t read_statement() {
  if (statement.unit == CONSOLE_IN) {
    if (statement.format != nullptr || statement.count != 1 ||
        read_items[0].kind != ReadItem::Kind::integer) {
      return STATUS_BAD_ITEM;
    }
    return detail::console_read_integer(*read_items[0].integer);
  }
  FileUnit* unit = find_unit(statement.unit);
  if (unit == nullptr) return STATUS_NOT_CONNECTED;
  return read_file_statement(*unit);
}

}  // namespace

const char* status_text(int32_t status) {
  switch (status) {
    case 0:
      return "done";
    case -1:
      return "end of file";
#define TU_MARDO_STATUS(name, number, words) \
  case name:                                 \
    return words;
#include "records/statuses.def"
#undef TU_MARDO_STATUS
  }
  return "not a status of the record service";
}

void start_up(const platform::ConsoleStreams& streams) {
  for (int32_t i = 0; i < units_connected; ++i) (void)platform::close_file(units[i].handle);
  units_connected = 0;
  statement = Statement{};
  detail::file_units_start();
  detail::console_start(streams);
  platform::register_exit_routine(close_all_units);
}

int32_t open_unit(int16_t unit, std::string_view file_name, std::string_view status,
                  std::string_view form, const UnitRules& rules) {
  const platform::InterruptsHeld held;
  if (!status.empty() && !keyword_is(status, "UNKNOWN")) return STATUS_BAD_KEYWORD;
  if (!form.empty() && !keyword_is(form, "FORMATTED")) return STATUS_BAD_KEYWORD;
  if (find_unit(unit) != nullptr) return STATUS_UNIT_IN_USE;
  if (units_connected == MAX_UNITS) return STATUS_TOO_MANY_UNITS;
  FileUnit& slot = units[units_connected];
  const int32_t result =
      detail::file_open(slot, unit, file_name, rules, connected_elsewhere,
                        std::span<FileUnit>(units, static_cast<std::size_t>(units_connected)));
  if (result != 0) return result;
  ++units_connected;
  return 0;
}

int32_t unit_of_file(std::string_view file_name, bool any_case) {
  const platform::InterruptsHeld held;
  platform::FileInfo file;
  if (!detail::file_identity(file_name, any_case, file)) return -1;
  for (int32_t i = 0; i < units_connected; ++i) {
    if (platform::same_file(units[i].identity, file)) return units[i].number;
  }
  return -1;
}

int32_t begin_write(UnitId unit, std::string_view format, bool want_status) {
  return begin_statement(unit, format, want_status, false);
}

int32_t put_text(const char* bytes, int32_t length) {
  Item item;
  item.kind = Item::Kind::text;
  item.length = length < 0 ? 0 : length;
  item.text = bytes;
  return add_item(item);
}

int32_t put_text(std::string_view text) {
  return put_text(text.data(), static_cast<int32_t>(text.size()));
}

int32_t put_int16(int16_t value) { return put_int32(value); }

int32_t put_int32(int32_t value) {
  Item item;
  item.kind = Item::Kind::integer;
  item.integer = value;
  return add_item(item);
}

int32_t put_real32(float value) {
  Item item;
  item.kind = Item::Kind::real;
  item.real = value;
  return add_item(item);
}

int32_t end_write() {
  const platform::InterruptsHeld held;
  if (!statement.active || statement.reading) return out_of_order();
  const int32_t status = statement.status != 0 ? statement.status : write_statement();
  return finish_statement(status);
}

uint64_t statement_digest() { return digest_of_last_statement; }

int32_t begin_read(UnitId unit, std::string_view format, bool want_status) {
  return begin_statement(unit, format, want_status, true);
}

int32_t get_int32(int32_t& variable) {
  return add_read_item(ReadItem{ReadItem::Kind::integer, &variable, nullptr, 0});
}

int32_t get_text(char* bytes, int32_t length) {
  return add_read_item(ReadItem{ReadItem::Kind::text, nullptr, bytes, length});
}

int32_t end_read() {
  const platform::InterruptsHeld held;
  if (!statement.active || !statement.reading) return out_of_order();
  const int32_t status = statement.status != 0 ? statement.status : read_statement();
  return finish_statement(status);
}

int32_t rewind_unit(int16_t unit) {
  const platform::InterruptsHeld held;
  FileUnit* connected = find_unit(unit);
  if (connected == nullptr) return 0;
  return detail::file_rewind(*connected);
}

int32_t flush_unit(int16_t unit) {
  const platform::InterruptsHeld held;
  FileUnit* connected = find_unit(unit);
  if (connected == nullptr) return STATUS_NOT_CONNECTED;
  const int32_t status = detail::file_complete(*connected);
  if (status != STATUS_FILE_CHANGED || detail::file_still_named(*connected)) return status;
  // Another program saved a new file under the name: the unit leaves the table and is connected
  // again, to that file, with the same rules, for the caller to read it afresh.
  const FileUnit old = *connected;
  (void)platform::close_file(old.handle);
  std::copy(connected + 1, units + units_connected, connected);
  --units_connected;
  const int32_t reopened = open_unit(old.number, old.name, {}, {}, old.rules);
  return reopened != 0 ? reopened : STATUS_FILE_CHANGED;
}

void finish_console_line() {
  const platform::InterruptsHeld held;
  if (const int32_t status = detail::console_finish_line()) fail_console(status);
}

void write_standard_output(std::string_view bytes) {
  const platform::InterruptsHeld held;
  const int32_t status =
      detail::console_write_bytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  if (status != 0) fail_console(status);
}

uint64_t image_digest(UnitId unit) {
  if (unit == DIGEST_ONLY) return digest_only_image;
  const FileUnit* connected = find_unit(unit);
  return connected != nullptr ? connected->image : 0;
}

void restart_digest_only() { digest_only_image = detail::DIGEST_START; }

int32_t read_back(int16_t unit, uint64_t& digest) {
  const platform::InterruptsHeld held;
  FileUnit* connected = find_unit(unit);
  if (connected == nullptr) return STATUS_NOT_CONNECTED;
  const int32_t status = detail::file_read_back(*connected, digest);
  if (status > 0 && status != STATUS_NOT_READABLE && status != STATUS_INTERRUPTED) {
    report_file_failure(*connected, status);
  }
  return status;
}

int32_t close_all_units(int32_t exit_status) {
  const platform::InterruptsHeld held;
  bool file_lost = false;
  for (int32_t i = 0; i < units_connected; ++i) {
    FileUnit& unit = units[i];
    const int32_t status = detail::file_close(unit);
    // A unit an interrupt cut short is lost by the interrupt, which ends the process and says so.
    if (status != 0 && !(status == STATUS_INTERRUPTED && platform::interrupt_pending())) {
      file_lost = true;
      report_file_failure(unit, status);
    }
  }
  units_connected = 0;
  const bool console_lost = !detail::console_close();
  // An interrupt (a negative status) ends the process anyway, and after a hang-up the console
  // is gone by design: its one line names the interrupt.
  if (console_lost && exit_status >= 0) report_console_failure();
  if (exit_status != 0) return exit_status;
  if (file_lost) return WRITE_FAILED;
  return console_lost ? CONSOLE_FAILED : 0;
}

}  // namespace records

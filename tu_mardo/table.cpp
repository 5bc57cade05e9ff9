#include "tu_mardo/table.hpp"

#include <cstring>

#include "records/records.hpp"
#include "tu_mardo/statements.hpp"
#include "tu_mardo/stop.hpp"

namespace tu_mardo {
namespace {

constexpr int16_t TABLE = 2;

int32_t rec_count = 0;
char line_buf[NAME_LENGTH];
char last_line[NAME_LENGTH];

// One record into line_buf: 0, -1 at the end of the table, or a positive status.
int32_t read_name() {
  int32_t status = records::begin_read(TABLE, "(a50)", true);
  if (status == 0) status = records::get_text(line_buf, NAME_LENGTH);
  return status != 0 ? status : records::end_read();
}

// Passes over one record.
int32_t pass_record() {
  const int32_t status = records::begin_read(TABLE, records::LIST_DIRECTED, true);
  return status != 0 ? status : records::end_read();
}

constexpr std::string_view TABLE_NAME = "tu_mardo.dat";
// A table that a program without the lock keeps changing is read this many times, then left
// as that program made it.
constexpr int MAX_READS = 3;

// The counting pass, the positioning at the start of the last record, and the new record, which
// replaces that record and everything behind it when the unit is flushed.
TableUpdate read_and_rewrite(float bench_value) {
  // An empty or missing table has no name to keep: the field stays blank (zero bytes would
  // make the hand-kept text table a binary file).
  std::memset(last_line, ' ', sizeof last_line);
  rec_count = 0;
  for (;;) {
    const int32_t status = read_name();
    if (status > 0) return TableUpdate::transfer_failed;
    if (status == -1) break;
    ++rec_count;
    std::memcpy(last_line, line_buf, sizeof last_line);
  }

  // Back to the start of the last record. Should the table have become shorter meanwhile,
  // each retry passes over one record fewer.
  bool positioned = false;
  while (!positioned) {
    if (records::rewind_unit(TABLE) != 0) return TableUpdate::transfer_failed;
    --rec_count;
    positioned = true;
    for (int32_t i = 0; i < rec_count; ++i) {
      const int32_t status = pass_record();
      if (status > 0) return TableUpdate::transfer_failed;
      if (status == -1) {
        positioned = false;
        break;
      }
    }
  }

  // Output after reading replaces the record it starts at. It is put in place here, not at the
  // exit, so that a failure is this step's and the value line is shown only once it is on disk.
  const std::string_view field(last_line, sizeof last_line);
  if (to_file(TABLE, "(a50, 1x, g15.7)", field, bench_value) != 0) {
    return TableUpdate::transfer_failed;
  }
  const int32_t flushed = records::flush_unit(TABLE);
  if (flushed == records::STATUS_FILE_CHANGED) return TableUpdate::changed;
  return flushed == 0 ? TableUpdate::done : TableUpdate::transfer_failed;
}

}  // namespace

bool table_is_a_run_file() { return records::unit_of_file(TABLE_NAME, true) >= 0; }

TableUpdate rewrite_last_line(float bench_value, char (&name)[NAME_LENGTH]) {
  // Only a regular file: a FIFO or a device would block the run or feed it for ever. Other
  // runs wait for the lock until this one has put the new table in place; the table is the old
  // or the new one at every instant.
  records::UnitRules rules;
  rules.regular_file_only = true;
  rules.any_case = true;
  rules.exclusive = true;
  rules.whole_or_nothing = true;
  if (records::open_unit(TABLE, TABLE_NAME, "UNKNOWN", "Formatted", rules) != 0) {
    return TableUpdate::open_failed;
  }
  // A table that a program taking no lock changed while the run updated it (an editor saved a
  // new file under its name, a line was appended) is read again from the start, the new file
  // if the name leads to one now, and updated again.
  TableUpdate outcome = TableUpdate::changed;
  for (int read = 0; read < MAX_READS && outcome == TableUpdate::changed; ++read) {
    if (read > 0 && records::rewind_unit(TABLE) != 0) return TableUpdate::transfer_failed;
    outcome = read_and_rewrite(bench_value);
  }
  if (outcome != TableUpdate::done) return outcome;
  std::memcpy(name, last_line, sizeof name);
  return TableUpdate::done;
}

void update_results_table(float bench_value) {
  static char name[NAME_LENGTH];
  switch (rewrite_last_line(bench_value, name)) {
    case TableUpdate::done:
      console(std::string_view(name, sizeof name), bench_value);
      stop_run();
    case TableUpdate::open_failed:
      console("Error opening Tu_Mardo.Dat");
      stop_run(STOP_OPEN_TABLE);
    case TableUpdate::changed:
      platform::report_error(
          "tu_mardo.dat was changed by another program while this run updated it; it is left as "
          "that program made it, and no value is recorded.");
      break;
    case TableUpdate::transfer_failed:
      break;
  }
  console("Error reading/writing benchmark file.");
  stop_run(STOP_TABLE_FAILED);
}

}  // namespace tu_mardo

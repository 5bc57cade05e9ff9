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

}  // namespace

TableUpdate rewrite_last_line(float bench_value, char (&name)[NAME_LENGTH]) {
  // An empty or missing table has no name to keep: the field stays blank (zero bytes would
  // make the hand-kept text table a binary file).
  std::memset(last_line, ' ', sizeof last_line);
  // Only a regular file: a FIFO or a device would block the run or feed it for ever. Other
  // runs wait for the lock until this one has written the table out.
  records::UnitRules rules;
  rules.regular_file_only = true;
  rules.exclusive = true;
  if (records::open_unit(TABLE, "tu_mardo.dat", "UNKNOWN", "Formatted", rules) != 0) {
    return TableUpdate::open_failed;
  }

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

  // Output after reading cuts the table at the start of the record it replaces.
  const std::string_view field(last_line, sizeof last_line);
  // Written out here, not at the exit, so that a full disk is this step's failure; the old
  // record goes only once the new one is on disk.
  if (to_file(TABLE, "(a50, 1x, g15.7)", field, bench_value) != 0 ||
      records::flush_unit(TABLE) != 0) {
    return TableUpdate::transfer_failed;
  }
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
    case TableUpdate::transfer_failed:
      break;
  }
  console("Error reading/writing benchmark file.");
  stop_run(STOP_TABLE_FAILED);
}

}  // namespace tu_mardo

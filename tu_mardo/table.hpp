// The results table tu_mardo.dat: its last line names the computer being measured.
#pragma once

#include <cstdint>
#include <string_view>

namespace tu_mardo {

inline constexpr int32_t NAME_LENGTH = 50;

enum class TableUpdate { done, open_failed, transfer_failed, changed };

// Rewrites the table's last line as its first 50 characters, a blank and the value; earlier
// lines stay as they are. `name` receives the 50 characters written. The table is the old or the
// new one whatever happens, and on disk under its name when this returns done; `changed` when
// another program kept changing it.
TableUpdate rewrite_last_line(float bench_value, char (&name)[NAME_LENGTH]);

// Whether the table's name leads to a file that the run has open as PI.Tst or PI.OUT.
bool table_is_a_run_file();

// The update as the run ends with it: the table rewritten and its line echoed on the console,
// or the failure's message; then the stop.
[[noreturn]] void update_results_table(float bench_value);

}  // namespace tu_mardo

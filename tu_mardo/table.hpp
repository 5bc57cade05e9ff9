// The results table tu_mardo.dat: its last line names the computer being measured.
#pragma once

#include <cstdint>
#include <string_view>

namespace tu_mardo {

inline constexpr int32_t NAME_LENGTH = 50;

enum class TableUpdate { done, open_failed, transfer_failed };

// Rewrites the table's last line as its first 50 characters, a blank and the value; earlier
// lines stay as they are. `name` receives the 50 characters written. A failure before the
// write leaves the table as it was.
TableUpdate rewrite_last_line(float bench_value, char (&name)[NAME_LENGTH]);

// The update as the run ends with it: the table rewritten and its line echoed on the console,
// or the failure's message; then the stop.
[[noreturn]] void update_results_table(float bench_value);

}  // namespace tu_mardo

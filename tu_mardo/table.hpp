// The results table tu_mardo.dat: its last line names the computer being measured.
#pragma once

namespace tu_mardo {

// Rewrites the table's last line as its first 50 characters, a blank and the value, echoes
// that line on the console and stops the run. Earlier lines stay as they are.
[[noreturn]] void update_results_table(float bench_value);

}  // namespace tu_mardo

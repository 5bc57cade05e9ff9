// The end of every run.
#pragma once

#include <cstdint>

namespace tu_mardo {

// Stop codes, which are also the exit statuses.
inline constexpr int32_t STOP_READ_FAILED = 901;    // the digit count cannot be read
inline constexpr int32_t STOP_WRITE_FAILED = 903;   // a write to PI.Tst or PI.OUT failed
inline constexpr int32_t STOP_WRONG_RESULT = 904;   // a listing is wrong, or a time no number
inline constexpr int32_t STOP_CLOCK_CHANGED = 905;  // the wall clock was set during the run
inline constexpr int32_t STOP_TIME_LOST = 906;      // the run did not have the processor
inline constexpr int32_t STOP_TABLE_FAILED = 912;   // tu_mardo.dat cannot be read or written
inline constexpr int32_t STOP_OPEN_PI_TST = 1000;
inline constexpr int32_t STOP_OPEN_PI_OUT = 1001;
inline constexpr int32_t STOP_OPEN_TABLE = 1002;

// "Stop - Program terminated." and exit status 0.
[[noreturn]] void stop_run();
// "Return code " and the code; the code is the exit status.
[[noreturn]] void stop_run(int32_t code);

}  // namespace tu_mardo

// The end of every run.
#pragma once

#include <cstdint>

#include "platform/platform.hpp"
#include "records/records.hpp"

namespace tu_mardo {

// Stop codes, which are also the exit statuses (tu_mardo/stop_codes.def). A write to PI.Tst or
// PI.OUT that fails stops with the record service's records::WRITE_FAILED, 903.
#define TU_MARDO_STOP(name, code) inline constexpr int32_t name = code;
#include "tu_mardo/stop_codes.def"
#undef TU_MARDO_STOP

// Every status the program ends with (but an interrupt's, which is the signal's): a normal end,
// a floating-point error, the record service's failures and the stop codes.
inline constexpr int32_t EXIT_STATUSES[] = {
    0,
    platform::FLOATING_POINT_ERROR,
    records::CONSOLE_FAILED,
    records::WRITE_FAILED,
#define TU_MARDO_STOP(name, code) name,
#include "tu_mardo/stop_codes.def"
#undef TU_MARDO_STOP
};

// "Stop - Program terminated." and exit status 0.
[[noreturn]] void stop_run();
// "Return code " and the code; the code is the exit status.
[[noreturn]] void stop_run(int32_t code);

}  // namespace tu_mardo

#pragma once

namespace tu_mardo {

// The whole benchmark run, from the description to the stop. Never returns.
[[noreturn]] void run();

}  // namespace tu_mardo

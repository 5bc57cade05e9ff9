#include "tu_mardo/stop.hpp"

#include <cstdio>

#include "platform/platform.hpp"
#include "records/records.hpp"

namespace tu_mardo {
namespace {

// The exit processing then closes the units and ends the console's line once more.
[[noreturn]] void stop_with(std::string_view message, int32_t status) {
  records::finish_console_line();
  records::write_standard_output(message);
  platform::exit_process(status);
}

}  // namespace

void stop_run() { stop_with("Stop - Program terminated.\r\n", 0); }

void stop_run(int32_t code) {
  char message[32];
  int length = 0;
  {
    const platform::InterruptsHeld held;  // formatting is no call for a handler to cut into
    length = std::snprintf(message, sizeof message, "Return code %d\r\n", static_cast<int>(code));
  }
  stop_with(std::string_view(message, static_cast<std::size_t>(length)), code);
}

}  // namespace tu_mardo

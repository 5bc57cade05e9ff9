// Console streams for tests: output is captured, input comes from a string.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.hpp"

namespace test {

struct FakeConsole {
  static inline std::string output;
  static inline std::string input;
  static inline std::size_t input_position = 0;
  // A terminal hands over one line per read; a pipe as much as it holds.
  static inline bool line_per_read = false;
  static inline int write_error = 0;               // a system error code every write fails with
  static inline int writes = 0;                    // how many writes reached the stream
  static inline std::string output_at_first_read;  // what was shown when input was first awaited
  static inline bool read_yet = false;
};

// Starts the record service afresh on fake streams.
void start_fake_console(bool input_interactive, bool output_interactive,
                        const std::string& input = "");

}  // namespace test

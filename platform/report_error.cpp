// One line on standard error, the same on every system: the text, cut to what fits, and the
// system's line end, in one write.
#include <algorithm>
#include <cstring>

#include "platform/platform.hpp"
#include "platform/standard_error.hpp"

namespace platform {

void report_error(std::string_view text) {
  char line[512];
  const std::string_view end = error_line_end();
  const std::size_t length = std::min(text.size(), sizeof line - end.size());
  std::memcpy(line, text.data(), length);
  std::memcpy(line + length, end.data(), end.size());
  (void)write_standard_error(line, length + end.size());
}

}  // namespace platform

// What each system gives report_error (report_error.cpp): a way to write standard error, and the
// line end its lines take.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// Writes every byte to standard error; 0, or a system error code.
int write_standard_error(const char* bytes, std::size_t count);

// "\n" on POSIX systems and in WebAssembly, "\r\n" on Windows.
std::string_view error_line_end();

}  // namespace platform

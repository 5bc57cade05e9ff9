// The prompt's two signs for a terminal whose character set is UTF-8; shared by the platform
// implementations.
#pragma once

#include <cstddef>

namespace platform {

// Writes the bytes through `write` with 0xF2 and 0xF3 (the signs >= and <= in code page 437,
// as the prompt has them) turned into the UTF-8 characters U+2265 and U+2264; every other byte
// passes as it is.
int write_with_utf8_signs(const char* bytes, std::size_t count,
                          int (*write)(const char* bytes, std::size_t count));

}  // namespace platform

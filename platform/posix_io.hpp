// What the POSIX console and file halves share: writing all of a buffer to a descriptor.
#pragma once

#include <cstddef>

namespace platform::posix {

// Writes every byte, retrying partial writes and waiting on a descriptor left in non-blocking
// mode. 0, or the error: EINTR when the write was given up because an interrupt is pending.
int write_all(int fd, const char* bytes, std::size_t count);

}  // namespace platform::posix

// What the POSIX console and file halves share (and WebAssembly's build, whose files are POSIX
// files): writing all of a buffer to a descriptor, and waiting on one left non-blocking.
#pragma once

#include <cstddef>

namespace platform::posix {

// Writes every byte, retrying partial writes and waiting on a descriptor left in non-blocking
// mode. 0, or the error: EINTR when the write was given up because an interrupt is pending.
int write_all(int fd, const char* bytes, std::size_t count);

// Waits until a descriptor left in non-blocking mode (by the program's parent) is ready; false
// when the wait was given up for an interrupt.
bool wait_until_ready(int fd, short events);

}  // namespace platform::posix

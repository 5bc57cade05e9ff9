// What the Windows console and file halves share: writing all of a buffer to a handle.
#pragma once

#include <windows.h>

#include <cstddef>

namespace platform::windows {

// Writes every byte. 0, or the system error: ERROR_OPERATION_ABORTED when the write was given
// up because an interrupt is pending (the console's handler cancels a write that blocks).
int write_all(HANDLE handle, const char* bytes, std::size_t count);

}  // namespace platform::windows

// Windows implementation of the file seam. The file system ignores case already, and a rename
// over a file that other processes keep open is not dependable, so a file is never replaced by
// a new one here: the record service rewrites it in place instead.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/files.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"
#include "platform/windows_io.hpp"

namespace platform {
namespace {

IoFailure classify(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      return IoFailure::no_space;
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_INVALID_HANDLE:
      return IoFailure::access_denied;
    case ERROR_OPERATION_ABORTED:
      return IoFailure::interrupted;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return IoFailure::not_supported;
    default:
      return IoFailure::other;
  }
}

IoResult failed(DWORD error) { return IoResult{classify(error), static_cast<int>(error)}; }

HANDLE as_handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool on_disk(HANDLE handle) { return ::GetFileType(handle) == FILE_TYPE_DISK; }

void copy_name(const char* name, NameBuffer& into) {
  const std::size_t length = std::min(std::strlen(name), MAX_NAME);
  std::memcpy(into, name, length);
  into[length] = '\0';
}

IoResult info_of(HANDLE handle, FileInfo& info) {
  info = FileInfo{};
  info.regular = on_disk(handle);
  if (!info.regular) return {};
  BY_HANDLE_FILE_INFORMATION details{};
  if (!::GetFileInformationByHandle(handle, &details)) return failed(::GetLastError());
  info.device = details.dwVolumeSerialNumber;
  info.id = (static_cast<uint64_t>(details.nFileIndexHigh) << 32) | details.nFileIndexLow;
  info.size = static_cast<int64_t>((static_cast<uint64_t>(details.nFileSizeHigh) << 32) |
                                   details.nFileSizeLow);
  // In 100 ns steps; the change time (of the bytes, the size or the attributes) where the file
  // system keeps one, else the time of the last write.
  const auto ticks = [](const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime) *
           100;
  };
  info.modified_ns = ticks(details.ftLastWriteTime);
  info.changed_ns = info.modified_ns;
  FILE_BASIC_INFO basic{};
  if (::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    info.changed_ns = static_cast<int64_t>(basic.ChangeTime.QuadPart) * 100;
  }
  return {};
}

}  // namespace

IoResult look_up_name(const char* name, NameBuffer& found) {
  copy_name(name, found);
  return {};
}

IoResult open_file(const char* name, bool regular_only, OpenedFile& file) {
  constexpr DWORD SHARE = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  const DWORD tries[] = {GENERIC_READ | GENERIC_WRITE, GENERIC_READ, GENERIC_WRITE};
  DWORD access = 0;
  for (DWORD each : tries) {
    handle = ::CreateFileA(name, each, SHARE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = ::GetLastError();
    access = each;
    if (handle != INVALID_HANDLE_VALUE) break;
  }
  if (handle == INVALID_HANDLE_VALUE) return failed(error);
  if (regular_only && !on_disk(handle)) {
    ::CloseHandle(handle);
    return failed(ERROR_INVALID_FUNCTION);
  }
  file.handle = reinterpret_cast<FileHandle>(handle);
  file.created = error != ERROR_ALREADY_EXISTS;
  file.writable = (access & GENERIC_WRITE) != 0;
  file.readable = (access & GENERIC_READ) != 0;
  return {};
}

IoResult name_info(const char* name, FileInfo& info) {
  // No access asked: only the file's identity.
  const HANDLE handle =
      ::CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed(::GetLastError());
  const IoResult result = info_of(handle, info);
  ::CloseHandle(handle);
  return result;
}

IoResult file_info(FileHandle file, FileInfo& info) { return info_of(as_handle(file), info); }

IoResult read_file(FileHandle file, char* buffer, std::size_t capacity, std::size_t& count) {
  const BlockedCall blocked;
  DWORD got = 0;
  count = 0;
  if (!::ReadFile(as_handle(file), buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
    return failed(::GetLastError());
  }
  count = got;
  return {};
}

IoResult write_file(FileHandle file, const char* bytes, std::size_t count) {
  const int error = windows::write_all(as_handle(file), bytes, count);
  return error == 0 ? IoResult{} : failed(static_cast<DWORD>(error));
}

IoResult seek_file(FileHandle file, int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  if (!::SetFilePointerEx(as_handle(file), to, nullptr, FILE_BEGIN)) {
    return failed(::GetLastError());
  }
  return {};
}

IoResult reserve_file(FileHandle file, int64_t offset, int64_t count) {
  const BlockedCall blocked;
  const HANDLE handle = as_handle(file);
  LARGE_INTEGER size{};
  if (!on_disk(handle) || !::GetFileSizeEx(handle, &size) || offset + count <= size.QuadPart) {
    return {};
  }
  // Clusters for the new end, without moving the end itself.
  FILE_ALLOCATION_INFO room{};
  room.AllocationSize.QuadPart = offset + count;
  if (::SetFileInformationByHandle(handle, FileAllocationInfo, &room, sizeof room)) return {};
  const DWORD error = ::GetLastError();
  return classify(error) == IoFailure::no_space ? failed(error) : IoResult{};
}

IoResult set_file_end(FileHandle file, int64_t offset) {
  const BlockedCall blocked;
  const HANDLE handle = as_handle(file);
  if (!on_disk(handle)) return {};
  // The end is set at the file pointer; the pointer goes back where it was afterwards.
  LARGE_INTEGER here{}, zero{}, to{};
  to.QuadPart = offset;
  if (!::SetFilePointerEx(handle, zero, &here, FILE_CURRENT) ||
      !::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN)) {
    return failed(::GetLastError());
  }
  const BOOL cut = ::SetEndOfFile(handle);
  const DWORD error = ::GetLastError();
  ::SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
  return cut ? IoResult{} : failed(error);
}

IoResult sync_file(FileHandle file) {
  const BlockedCall blocked;
  const HANDLE handle = as_handle(file);
  if (!on_disk(handle) || ::FlushFileBuffers(handle)) return {};
  return failed(::GetLastError());
}

// The file's entry goes to the disk with the file itself (FlushFileBuffers).
IoResult sync_name(const char*) { return {}; }

IoResult lock_file(FileHandle file, bool writable, bool wait) {
  // The whole file and any length it may grow to.
  OVERLAPPED from_start{};
  DWORD flags = writable ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (!wait) flags |= LOCKFILE_FAIL_IMMEDIATELY;
  const InterruptibleWait waiting;
  if (::LockFileEx(as_handle(file), flags, 0, MAXDWORD, MAXDWORD, &from_start)) return {};
  const DWORD error = ::GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
    return IoResult{IoFailure::busy, static_cast<int>(error)};
  }
  return failed(error);
}

IoResult unlock_file(FileHandle file) {
  OVERLAPPED from_start{};
  if (::UnlockFileEx(as_handle(file), 0, MAXDWORD, MAXDWORD, &from_start)) return {};
  return failed(::GetLastError());
}

IoResult replace_file(FileHandle&, const char*, const FileInfo&, int64_t, const char*, std::size_t,
                      bool) {
  return IoResult{IoFailure::not_supported, ERROR_NOT_SUPPORTED};
}

// replace_file makes no files here, so none is ever left behind.
IoResult tidy_replacements(const char*) { return {}; }

IoResult close_file(FileHandle file) {
  if (::CloseHandle(as_handle(file))) return {};
  return failed(::GetLastError());
}

}  // namespace platform

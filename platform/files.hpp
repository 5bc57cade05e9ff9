// The file half of the seam to the operating system: files of the current directory.
//
// Every call the record service makes on a file goes through these functions. The program links
// the system's implementation (posix_files.cpp or windows_files.cpp, inside the platform
// library); the fault sweep's build of the program links an in-memory file system in their place
// (tests/sweep/memory_files.cpp), which can fail or "crash" at any chosen call. Each function is
// one kind of call for the sweep: open, look-up, info, read, write, seek, reserve, cut, sync,
// name-sync, lock, unlock, replace, tidy, close.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using FileHandle = std::intptr_t;

enum class IoFailure : uint8_t {
  none,
  access_denied,  // opened for reading only, permission, a locked region
  no_space,       // device full, quota, file size limit
  interrupted,    // an interrupt is pending: the call was given up and ends the run
  not_supported,  // the file system cannot do it (record locks on some network mounts)
  busy,           // another process holds the lock (a lock call that does not wait)
  changed,        // the file was changed, or its name given to another, by someone else
  other,          // an I/O error and the rest
};

struct IoResult {
  IoFailure failure = IoFailure::none;
  int system_error = 0;  // for messages only
  explicit operator bool() const { return failure == IoFailure::none; }
};

inline constexpr std::size_t MAX_NAME = 255;
using NameBuffer = char[MAX_NAME + 1];

// What a name or an open file leads to. Two regular files are the same file when their device
// and id are equal (hard links, symbolic links).
struct FileInfo {
  bool regular = false;  // a regular file (not a device, FIFO or socket)
  uint64_t device = 0;
  uint64_t id = 0;
  int64_t size = 0;
  // When its bytes last changed, and when the file itself did (its bytes, size, owner...), in
  // nanoseconds of some clock of the file system's: equal readings, an unchanged file.
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
};

inline bool same_file(const FileInfo& a, const FileInfo& b) {
  return a.regular && b.regular && a.device == b.device && a.id == b.id;
}

// Whether `now` is the file `then` was, unchanged since.
inline bool unchanged(const FileInfo& then, const FileInfo& now) {
  return same_file(then, now) && then.size == now.size && then.modified_ns == now.modified_ns &&
         then.changed_ns == now.changed_ns;
}

// The one order of all files in which a run takes their locks: device, then id.
inline bool comes_before(const FileInfo& a, const FileInfo& b) {
  return a.device != b.device ? a.device < b.device : a.id < b.id;
}

struct OpenedFile {
  FileHandle handle = -1;
  bool created = false;  // the open created the file, so it ends at offset 0
  bool writable = true;  // connected for writing (read-write or write-only)
  bool readable = true;  // connected for reading (read-write or read-only)
};

// The name a file of the current directory is found under: the name itself when an entry of
// that name exists (or the name has a directory part), else the one entry that matches it
// without regard to ASCII case, as on a file system that ignores case; with none or several, the
// name itself. A failure leaves the name itself in `found` too.
IoResult look_up_name(const char* name, NameBuffer& found);

// Opens a file read-write, else read-only, else write-only; creates it empty when it is missing;
// never shortens it; other processes may share it. A directory does not open, nor (with
// `regular_only`) a FIFO, a device or a socket. An open never blocks.
IoResult open_file(const char* name, bool regular_only, OpenedFile& file);

// What a name leads to now (following symbolic links), and what an open file is.
IoResult name_info(const char* name, FileInfo& info);
IoResult file_info(FileHandle file, FileInfo& info);

// Reads up to `capacity` bytes at the current offset; `count` is 0 at the end of the file.
IoResult read_file(FileHandle file, char* buffer, std::size_t capacity, std::size_t& count);
// Writes every byte at the current offset. A failure may leave some of them written.
IoResult write_file(FileHandle file, const char* bytes, std::size_t count);
IoResult seek_file(FileHandle file, int64_t offset);
// Makes sure a regular file can grow to offset + count before the bytes are written, so that a
// full disk or the file size limit fails here and not halfway through a write. The file's size
// and bytes stay as they are (where the system can only reserve by growing the file, nothing is
// reserved and the write itself meets the failure).
IoResult reserve_file(FileHandle file, int64_t offset, int64_t count);
// Makes a regular file end at `offset`; the current offset stays. Other files have no end.
IoResult set_file_end(FileHandle file, int64_t offset);
// Puts what was written to a regular file on the disk. Other files need nothing.
IoResult sync_file(FileHandle file);
// Puts the name of a file the program created on the disk (its directory's entry), so that a
// power cut cannot take the synced file away again. Where no such step exists, nothing.
IoResult sync_name(const char* name);

// Locks the whole file against other processes that lock it: for writing when the file is
// connected for writing, else for reading. Without `wait`, a lock that another process holds is
// IoFailure::busy; with it, the call waits, and an interrupt ends the run while it waits.
// IoFailure::not_supported where the file system has no locks.
IoResult lock_file(FileHandle file, bool writable, bool wait);
// Gives the lock up, so that another run may take it while this one waits for another.
IoResult unlock_file(FileHandle file);

// Puts a new file in place of `name` in one step: the first `keep` bytes of the open file
// followed by `bytes`, synced before it takes the name, and the name's new entry synced after.
// Right before the rename the name must still lead to the open file and the file be `as_read`
// (unchanged since it was read), and right after it the name must lead to the new file:
// otherwise IoFailure::changed (before the rename, with nothing changed; after it, with `file`
// the new file, which another program's has replaced under the name).
// `file` then is the new file, locked as the old one was (whose handle is closed), with the old
// one's owner, group, permissions, access control lists and extended attributes.
// IoFailure::not_supported, with nothing changed, wherever that cannot be done faithfully (a
// link, another owner, attributes that cannot be copied, a directory the program cannot write, a
// system that cannot rename over an open file) and wherever making the new file failed (no
// room, no descriptor): the caller then writes the file in place. A failure after the new file
// took the name (its entry could not be synced) leaves the new file in place and is reported.
IoResult replace_file(FileHandle& file, const char* name, const FileInfo& as_read, int64_t keep,
                      const char* bytes, std::size_t count, bool locked);
// Removes what replace_file left of `name` when a run was killed while it replaced it (the
// program's own files, by the names it gives them; nothing else). Called with the file's lock
// held, so that no other run is replacing it meanwhile.
IoResult tidy_replacements(const char* name);

IoResult close_file(FileHandle file);

}  // namespace platform

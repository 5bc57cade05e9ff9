// POSIX implementation of the file seam. Linux's extensions (room reserved without growing the
// file, locks that belong to the open file) are used where they exist, each in a guarded block
// whose fallback keeps the same promises about the file's bytes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/files.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"
#include "platform/posix_io.hpp"

namespace platform {
namespace {

IoFailure classify(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return IoFailure::no_space;
    case EACCES:
    case EPERM:
    case EBADF:
    case EINVAL:
    case EROFS:
    case ETXTBSY:
    case EAGAIN:
      return IoFailure::access_denied;
    case EINTR:  // an interrupt only when one is pending; else the file system's own failure
      return interrupt_pending() ? IoFailure::interrupted : IoFailure::other;
    case ENOLCK:
    case EOPNOTSUPP:
    case ENOSYS:
      return IoFailure::not_supported;
    default:
      return IoFailure::other;
  }
}

IoResult failed(int error) { return IoResult{classify(error), error}; }

int as_fd(FileHandle file) { return static_cast<int>(file); }

using posix::retrying;

// opendir, made again after an EINTR that no signal explains.
DIR* open_directory(const char* path) {
  posix::EintrRetry retry;
  for (;;) {
    DIR* directory = ::opendir(path);
    if (directory != nullptr || errno != EINTR || !retry.again()) return directory;
  }
}

void copy_name(const char* name, NameBuffer& into) {
  const std::size_t length = std::min(std::strlen(name), MAX_NAME);
  std::memcpy(into, name, length);
  into[length] = '\0';
}

bool same_without_regard_to_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
    const char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

FileInfo info_of(const struct stat& status) {
  FileInfo info;
  info.regular = S_ISREG(status.st_mode);
  info.device = static_cast<uint64_t>(status.st_dev);
  info.id = static_cast<uint64_t>(status.st_ino);
  info.size = static_cast<int64_t>(status.st_size);
  info.modified_ns = posix::nanoseconds(status.st_mtim);
  info.changed_ns = posix::nanoseconds(status.st_ctim);
  return info;
}

// Whether an open file is a regular file; a failed look is a failure, never a guess.
IoResult regular_status(int fd, bool& regular) {
  struct stat status {};
  if (retrying([&] { return ::fstat(fd, &status); }) != 0) return failed(errno);
  regular = S_ISREG(status.st_mode);
  return {};
}

// Locks that belong to the open file description (Linux) hold however the program's descriptors
// are used; elsewhere, and where the kernel does not know them (EINVAL: Linux before 3.15,
// emscripten), the process's own lock does, which the program takes once per file.
int set_lock(int fd, struct flock& lock, bool wait) {
#if defined(F_OFD_SETLK)
  const int result = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  if (result == 0 || errno != EINVAL) return result;
#endif
  return ::fcntl(fd, wait ? F_SETLKW : F_SETLK, &lock);
}

IoResult lock_descriptor(int fd, bool writable, bool wait) {
  struct flock lock {};
  lock.l_type = writable ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however far the file grows
  if (!wait) {
    if (retrying([&] { return set_lock(fd, lock, false); }) == 0) return {};
    if (errno == EAGAIN || errno == EACCES) return IoResult{IoFailure::busy, errno};
    return failed(errno);
  }
  const InterruptibleWait waiting;
  if (retrying([&] { return set_lock(fd, lock, true); }) != 0) return failed(errno);
  return {};
}

// Everything the file size limit allows, or -1 for no limit.
int64_t file_size_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
  return static_cast<int64_t>(limit.rlim_cur);
}

// The names replace_file gives its new files: ".<name>.<12 hex digits>.replacing", which no
// one else uses; a leftover of a killed run has such a name and is a regular file of ours.
constexpr const char REPLACING[] = ".replacing";
constexpr std::size_t UNIQUE_DIGITS = 12;

using ReplacementName = char[MAX_NAME + 32];

bool is_replacement_of(const char* entry, const char* name) {
  const std::size_t length = std::strlen(name);
  const std::size_t suffix = sizeof REPLACING - 1;
  if (std::strlen(entry) != 1 + length + 1 + UNIQUE_DIGITS + suffix || entry[0] != '.' ||
      std::strncmp(entry + 1, name, length) != 0 || entry[1 + length] != '.' ||
      std::strcmp(entry + 2 + length + UNIQUE_DIGITS, REPLACING) != 0) {
    return false;
  }
  for (std::size_t i = 0; i < UNIQUE_DIGITS; ++i) {
    const char c = entry[2 + length + i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

#if defined(__linux__)
// Creates a new file of a name of its own, exclusively; -1 with errno set when none can be made.
int create_replacement(const char* name, ReplacementName& into) {
  static uint64_t counter = 0;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t seed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                  (static_cast<uint64_t>(::getpid()) << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = (seed + ++counter) * 0x9e3779b97f4a7c15u;  // a new number each attempt
    std::snprintf(into, sizeof into, ".%s.%012llx%s", name,
                  static_cast<unsigned long long>(seed >> 16) & 0xffffffffffffull, REPLACING);
    const int fd = retrying(
        [&] { return ::open(into, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600); });
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Whether `name` leads to the open file `fd`, and that file is still `as_read` (if given): 0 and
// the answer, or the error that kept it from being known. A name that leads nowhere leads
// elsewhere.
int name_leads_to(int fd, const char* name, bool& here, const FileInfo* as_read) {
  struct stat open_status {
  }, named{};
  here = false;
  if (retrying([&] { return ::fstat(fd, &open_status); }) != 0) return errno;
  if (retrying([&] { return ::stat(name, &named); }) != 0) return errno == ENOENT ? 0 : errno;
  const FileInfo now = info_of(open_status);
  here = same_file(now, info_of(named)) && (as_read == nullptr || unchanged(*as_read, now));
  return 0;
}

// The first `count` bytes of one descriptor into another, which is at offset 0.
int copy_start(int from, int to, int64_t count) {
  static char block[65536];
  for (int64_t at = 0; at < count;) {
    if (interrupt_pending()) return EINTR;
    const int64_t left = count - at;
    const std::size_t want =
        left < int64_t{sizeof block} ? static_cast<std::size_t>(left) : sizeof block;
    const ssize_t got =
        retrying([&] { return ::pread(from, block, want, static_cast<off_t>(at)); });
    if (got < 0) return errno;
    if (got == 0) return EIO;  // the file is shorter than it was
    if (const int error = posix::write_all(to, block, static_cast<std::size_t>(got))) return error;
    at += got;
  }
  return 0;
}

// Gives the new file what the old one was: owner and group (a file created in a setgid directory
// or by another member of the group gets other ones), permissions, and every extended attribute,
// access control lists among them; attributes the new file got that the old one has not (a
// directory's default list) go. 0, or the error that kept one of them from being copied.
int copy_identity(int from, int to, const struct stat& old) {
  struct stat fresh {};
  if (retrying([&] { return ::fstat(to, &fresh); }) != 0) return errno;
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      retrying([&] { return ::fchown(to, old.st_uid, old.st_gid); }) != 0) {
    return errno;
  }
  if (retrying([&] { return ::fchmod(to, old.st_mode & 07777); }) != 0) return errno;
  static char names[65536];
  static char fresh_names[65536];
  static char value[65536];
  ssize_t listed = retrying([&] { return ::flistxattr(from, names, sizeof names); });
  const int list_error = listed < 0 ? errno : 0;
  if (list_error != 0 && list_error != ENOTSUP) return list_error;
  const ssize_t fresh_listed =
      retrying([&] { return ::flistxattr(to, fresh_names, sizeof fresh_names); });
  if (fresh_listed < 0 && errno != ENOTSUP) return errno;
  // A file system without them says so for both files; for one alone, it is a failure.
  if (list_error == ENOTSUP && fresh_listed >= 0) return ENOTSUP;
  if (list_error == ENOTSUP) listed = 0;
  for (ssize_t at = 0; at < fresh_listed;
       at += static_cast<ssize_t>(std::strlen(fresh_names + at)) + 1) {
    const char* attribute = fresh_names + at;
    bool kept = false;
    for (ssize_t i = 0; i < listed && !kept;
         i += static_cast<ssize_t>(std::strlen(names + i)) + 1) {
      kept = std::strcmp(names + i, attribute) == 0;
    }
    if (!kept && retrying([&] { return ::fremovexattr(to, attribute); }) != 0) return errno;
  }
  for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const char* name = names + at;
    const ssize_t size = retrying([&] { return ::fgetxattr(from, name, value, sizeof value); });
    if (size < 0) return errno;
    if (retrying([&] { return ::fsetxattr(to, name, value, static_cast<std::size_t>(size), 0); }) !=
        0) {
      return errno;
    }
  }
  // Permissions again: a list sets the group's bits, which the old file has as they are.
  if (retrying([&] { return ::fchmod(to, old.st_mode & 07777); }) != 0) return errno;
  if (retrying([&] { return ::fstat(to, &fresh); }) != 0) return errno;
  if (fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid ||
      (fresh.st_mode & 07777) != (old.st_mode & 07777)) {
    return EPERM;
  }
  // The inode's flags (chattr: synchronous writes, no dump, no access times...), last: where the
  // file system keeps none, there are none to keep.
  int flags = 0, fresh_flags = 0;
  if (retrying([&] { return ::ioctl(from, FS_IOC_GETFLAGS, &flags); }) != 0) {
    return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL || errno == ENOSYS ? 0 : errno;
  }
  if (retrying([&] { return ::ioctl(to, FS_IOC_GETFLAGS, &fresh_flags); }) != 0) return errno;
  if (fresh_flags != flags && retrying([&] { return ::ioctl(to, FS_IOC_SETFLAGS, &flags); }) != 0) {
    return errno;
  }
  return 0;
}

// Only a plain file of the program's user is replaced: a rename would turn a link into a file
// of its own, take the other names' content away, or change the owner.
IoResult plain_file_of_the_user(int fd, const char* name, struct stat& open_status) {
  if (retrying([&] { return ::fstat(fd, &open_status); }) != 0) return failed(errno);
  if (std::strchr(name, '/') != nullptr) return IoResult{IoFailure::not_supported, 0};
  struct stat named {};
  if (retrying([&] { return ::lstat(name, &named); }) != 0) return failed(errno);
  if (!S_ISREG(named.st_mode) || named.st_dev != open_status.st_dev ||
      named.st_ino != open_status.st_ino || named.st_nlink != 1 || named.st_uid != ::geteuid()) {
    return IoResult{IoFailure::not_supported, 0};
  }
  return {};
}

// The new file as the old one with its new end: its identity, the first `keep` bytes of the old
// one and `bytes`, synced, and locked as the old one is. 0, or the error that kept it from it.
int fill_replacement(int old, int fresh, const struct stat& old_status, int64_t keep,
                     const char* bytes, std::size_t count, bool locked) {
  int error = copy_identity(old, fresh, old_status);
  if (error == 0) error = copy_start(old, fresh, keep);
  if (error == 0) error = posix::write_all(fresh, bytes, count);
  if (error == 0 && retrying([&] { return ::fsync(fresh); }) != 0) error = errno;
  if (error == 0 && locked) {
    const IoResult lock = lock_descriptor(fresh, true, false);
    if (!lock) error = lock.system_error != 0 ? lock.system_error : EAGAIN;
  }
  return error;
}
#endif

// What stands under a name itself, a link not followed: its inode (0 when there is none) and
// whether it is a symbolic link this run may follow. A link is followed only when it is the
// user's own or, for a user who is not root, the directory owner's: no one else can make the
// run, least of all root's, write into another file.
struct Entry {
  ino_t inode = 0;
  bool link = false;
  bool foreign_link = false;
  uid_t owner = 0;
};

int look_at_entry(const char* name, Entry& entry) {
  struct stat status {};
  entry = Entry{};
  if (retrying([&] { return ::lstat(name, &status); }) != 0) return errno == ENOENT ? 0 : errno;
  entry.inode = status.st_ino;
  entry.owner = status.st_uid;
  entry.link = S_ISLNK(status.st_mode);
  if (!entry.link) return 0;
  const uid_t user = ::geteuid();
  struct stat directory {};
  const bool by_directory_owner = user != 0 && std::strchr(name, '/') == nullptr &&
                                  retrying([&] { return ::stat(".", &directory); }) == 0 &&
                                  directory.st_uid == status.st_uid;
  entry.foreign_link = status.st_uid != user && !by_directory_owner;
  return 0;
}

void report_foreign_link(const char* name, uid_t owner) {
  char line[MAX_NAME + 128];
  std::snprintf(line, sizeof line,
                "%s is a symbolic link of user %lu, which this run does not follow.", name,
                static_cast<unsigned long>(owner));
  report_error(line);
}

IoResult open_following(const char* name, bool regular_only, OpenedFile& file) {
  // Non-blocking only for the open itself: a FIFO without a writer must not hold it up.
  constexpr int common = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = -1;
  bool created = false;
  bool writable = true;
  bool readable = true;
  // Two rounds: a file that appears between the two opens of the first round is opened in
  // the second. A dangling link fails both rounds (exclusive creation does not follow it).
  const auto open_as = [name](int flags) {
    return retrying([&] { return ::open(name, flags, 0666); });
  };
  for (int round = 0; round < 2 && fd < 0; ++round) {
    fd = open_as(O_RDWR | common);
    if (fd < 0 && errno == ENOENT) {
      fd = open_as(O_RDWR | O_CREAT | O_EXCL | common);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) continue;
    }
    break;
  }
  if (fd < 0 && errno != ENOENT) {
    fd = open_as(O_RDONLY | common);
    writable = false;
  }
  if (fd < 0 && errno != ENOENT) {
    fd = open_as(O_WRONLY | common);
    writable = true;
    readable = false;
  }
  if (fd < 0) return failed(errno);

  struct stat status {};
  int refused = 0;
  int flags = 0;
  if (retrying([&] { return ::fstat(fd, &status); }) != 0) {
    refused = errno;
  } else if (S_ISDIR(status.st_mode)) {
    refused = EISDIR;
  } else if (regular_only && !S_ISREG(status.st_mode)) {
    refused = EINVAL;
  } else if ((flags = retrying([&] { return ::fcntl(fd, F_GETFL); })) == -1 ||
             retrying([&] { return ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK); }) != 0) {
    refused = errno;  // a failed F_GETFL must not set every flag with F_SETFL
  }
  if (refused != 0) {
    ::close(fd);
    return failed(refused);
  }
  file.handle = fd;
  file.created = created;
  file.writable = writable;
  file.readable = readable;
  return {};
}

}  // namespace

IoResult look_up_name(const char* name, NameBuffer& found) {
  copy_name(name, found);
  struct stat status {};
  if (std::strchr(name, '/') != nullptr || retrying([&] { return ::lstat(name, &status); }) == 0) {
    return {};
  }
  if (errno != ENOENT) return failed(errno);
  DIR* directory = open_directory(".");
  if (directory == nullptr) return failed(errno);
  int matches = 0;
  NameBuffer match;
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (same_without_regard_to_case(entry->d_name, name) &&
        std::strlen(entry->d_name) <= MAX_NAME) {
      if (++matches == 1) copy_name(entry->d_name, match);
    }
  }
  const int error = errno;
  ::closedir(directory);
  if (error != 0) return failed(error);
  if (matches == 1) copy_name(match, found);
  return {};
}

IoResult open_file(const char* name, bool regular_only, OpenedFile& file) {
  Entry before;
  if (const int error = look_at_entry(name, before)) return failed(error);
  if (before.foreign_link) {
    report_foreign_link(name, before.owner);
    return IoResult{IoFailure::access_denied, ELOOP};
  }
  const IoResult opened = open_following(name, regular_only, file);
  if (!opened) return opened;
  // Another user may have put a link under the name meanwhile: the name must now be a link this
  // run follows, or the very file it opened.
  Entry after;
  struct stat status {};
  int error = look_at_entry(name, after);
  if (error == 0 && retrying([&] { return ::fstat(as_fd(file.handle), &status); }) != 0) {
    error = errno;
  }
  if (error == 0 && !after.foreign_link && (after.link || after.inode == status.st_ino)) {
    return opened;
  }
  ::close(as_fd(file.handle));
  if (error != 0) return failed(error);
  if (after.foreign_link) report_foreign_link(name, after.owner);
  return IoResult{IoFailure::access_denied, after.foreign_link ? ELOOP : EAGAIN};
}

IoResult name_info(const char* name, FileInfo& info) {
  struct stat status {};
  if (retrying([&] { return ::stat(name, &status); }) != 0) return failed(errno);
  info = info_of(status);
  return {};
}

IoResult file_info(FileHandle file, FileInfo& info) {
  struct stat status {};
  if (retrying([&] { return ::fstat(as_fd(file), &status); }) != 0) return failed(errno);
  info = info_of(status);
  return {};
}

IoResult read_file(FileHandle file, char* buffer, std::size_t capacity, std::size_t& count) {
  const BlockedCall blocked;
  count = 0;
  const ssize_t got = retrying([&] { return ::read(as_fd(file), buffer, capacity); });
  if (got < 0) return failed(errno);
  count = static_cast<std::size_t>(got);
  return {};
}

IoResult write_file(FileHandle file, const char* bytes, std::size_t count) {
  const int error = posix::write_all(as_fd(file), bytes, count);
  return error == 0 ? IoResult{} : failed(error);
}

IoResult seek_file(FileHandle file, int64_t offset) {
  if (::lseek(as_fd(file), static_cast<off_t>(offset), SEEK_SET) < 0) return failed(errno);
  return {};
}

IoResult reserve_file(FileHandle file, int64_t offset, int64_t count) {
  const BlockedCall blocked;
  struct stat status {};
  if (retrying([&] { return ::fstat(as_fd(file), &status); }) != 0) return failed(errno);
  const int64_t end = offset + count;
  if (!S_ISREG(status.st_mode)) return {};
  // A write past the file size limit would stop halfway; it fails here instead.
  const int64_t limit = file_size_limit();
  if (limit >= 0 && end > limit) return failed(EFBIG);
  if (end <= status.st_size) return {};
#if defined(__linux__) && defined(FALLOC_FL_KEEP_SIZE)
  // Blocks for the new bytes, while the file keeps its size: a crash now leaves no padding.
  const int result = retrying([&] {
    return ::fallocate(as_fd(file), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(status.st_size),
                       static_cast<off_t>(end - status.st_size));
  });
  if (result == 0) return {};
  const int error = errno;
  // A file system that cannot reserve space leaves the failure to the write itself.
  if (error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == ENODEV) return {};
  // What a failed reservation took beyond the end goes again (the size never changed).
  (void)retrying([&] { return ::ftruncate(as_fd(file), status.st_size); });
  return failed(error);
#else
  // posix_fallocate would grow the file with zero bytes that a crash could leave behind: nothing
  // is reserved, and a full disk fails the write itself, which the record service undoes.
  return {};
#endif
}

IoResult set_file_end(FileHandle file, int64_t offset) {
  const BlockedCall blocked;
  bool regular = false;
  if (const IoResult looked = regular_status(as_fd(file), regular); !looked) return looked;
  if (!regular) return {};
  if (retrying([&] { return ::ftruncate(as_fd(file), static_cast<off_t>(offset)); }) != 0) {
    return failed(errno);
  }
  return {};
}

IoResult sync_file(FileHandle file) {
  const BlockedCall blocked;
  bool regular = false;
  if (const IoResult looked = regular_status(as_fd(file), regular); !looked) return looked;
  if (!regular) return {};
  if (retrying([&] { return ::fsync(as_fd(file)); }) != 0) return failed(errno);
  return {};
}

IoResult sync_name(const char* name) {
  const BlockedCall blocked;
  // The directory the name stands in: the current one for a plain name.
  NameBuffer directory_name = ".";
  if (const char* slash = std::strrchr(name, '/')) {
    const std::size_t length = std::max<std::size_t>(static_cast<std::size_t>(slash - name), 1);
    std::memcpy(directory_name, name, length);
    directory_name[length] = '\0';
  }
  const int directory =
      retrying([&] { return ::open(directory_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (directory < 0) return failed(errno);
  const int synced = retrying([&] { return ::fsync(directory); });
  const int error = errno;
  ::close(directory);
  // A file system that cannot sync a directory keeps its names as it can.
  if (synced != 0 && error != EINVAL) return failed(error);
  return {};
}

IoResult lock_file(FileHandle file, bool writable, bool wait) {
  return lock_descriptor(as_fd(file), writable, wait);
}

IoResult unlock_file(FileHandle file) {
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  if (retrying([&] { return set_lock(as_fd(file), lock, false); }) != 0) return failed(errno);
  return {};
}

IoResult replace_file(FileHandle& file, const char* name, const FileInfo& as_read, int64_t keep,
                      const char* bytes, std::size_t count, bool locked) {
#if defined(__linux__)
  const int old = as_fd(file);
  struct stat open_status {};
  if (const IoResult plain = plain_file_of_the_user(old, name, open_status); !plain) return plain;
  // Everything the rename needs comes first: the directory, to sync the new name, and the new
  // file. Whatever fails before the rename leaves the old file alone, and it is written in
  // place instead.
  const int directory = retrying([] { return ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (directory < 0) return IoResult{IoFailure::not_supported, errno};
  ReplacementName temporary;
  const int fresh = create_replacement(name, temporary);
  if (fresh < 0) {
    const int error = errno;
    ::close(directory);
    return IoResult{IoFailure::not_supported, error};
  }
  int error = fill_replacement(old, fresh, open_status, keep, bytes, count, locked);
  // A program that takes no lock (an editor saving under the name, a line appended) may have
  // changed the table since it was read: then nothing is renamed, and the caller reads it again.
  bool changed = false;
  if (error == 0) {
    bool named_here = false;
    error = name_leads_to(old, name, named_here, &as_read);
    changed = !named_here;
  }
  if (error == 0 && !changed && retrying([&] { return ::rename(temporary, name); }) != 0) {
    error = errno;
  }
  if (error != 0 || changed) {
    (void)retrying([&] { return ::unlink(temporary); });  // gone first: its bytes never count
    ::close(fresh);
    ::close(directory);
    if (changed) return IoResult{IoFailure::changed, 0};
    if (interrupt_pending()) return failed(EINTR);
    return IoResult{IoFailure::not_supported, error};
  }
  ::close(old);
  file = fresh;
  // The new file has the name; the name is on the disk once the directory is synced.
  error = retrying([&] { return ::fsync(directory); }) != 0 ? errno : 0;
  ::close(directory);
  if (error != 0) return failed(error);
  // Another program's file may have taken the name right after: the value is not in the table.
  bool named_here = false;
  if (const int looked = name_leads_to(fresh, name, named_here, nullptr)) return failed(looked);
  return named_here ? IoResult{} : IoResult{IoFailure::changed, 0};
#else
  // Elsewhere the extended attributes cannot be carried over: the file is written in place.
  (void)file, (void)name, (void)as_read, (void)keep, (void)bytes, (void)count, (void)locked;
  return IoResult{IoFailure::not_supported, 0};
#endif
}

IoResult tidy_replacements(const char* name) {
  DIR* directory = open_directory(".");
  if (directory == nullptr) return failed(errno);
  int error = 0;
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    struct stat status {};
    if (!is_replacement_of(entry->d_name, name)) continue;
    if (retrying([&] { return ::lstat(entry->d_name, &status); }) != 0 ||
        !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
      continue;
    }
    if (retrying([&] { return ::unlink(entry->d_name); }) != 0 && error == 0) error = errno;
    errno = 0;
  }
  if (errno != 0 && error == 0) error = errno;
  ::closedir(directory);
  return error == 0 ? IoResult{} : failed(error);
}

IoResult close_file(FileHandle file) {
  // After EINTR the descriptor is closed all the same (Linux, and the BSDs).
  if (::close(as_fd(file)) != 0 && errno != EINTR) return failed(errno);
  return {};
}

}  // namespace platform

// A library the call sweep preloads (LD_PRELOAD) into the real program: it stands between the
// program and the C library's file calls, counts the calls of each kind, and at one chosen call
// fails it with a system error or kills the process there, as TU_MARDO_CALL_FAULT says:
// "<kind> <k> <errno name>|kill", k a number, a number and "+" (that call and every later one)
// or "all" (every call of the kind). Record locks are a kind of their own ("lock"), apart from
// the other fcntl calls. TU_MARDO_CALL_OTHER ("append|save <kind> <k> <file> <text>", k as
// above) plays a program that takes no lock, just before that call: it appends a line to the
// file, or saves the file with the line appended as an editor does (a new file renamed over the
// name). TU_MARDO_CALL_SLOW ("<kind> <ms>") makes every call of a kind take that long (a network
// file system, a loaded machine). TU_MARDO_CALL_COUNTS names a file that receives the count of
// each kind, then four counts of what must never happen, kept up to date at every call (a killed
// process leaves them right): a file closed with writes not synced, a file renamed with writes
// not synced, a name replaced while no descriptor of the file it names holds a lock, and the
// names made (a file created, a rename) whose directory has not been synced since. Only the
// calls the program makes through the library's entry points are seen; the C library's own
// internal calls are not.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The kinds of call, in the order of the counts file.
// clang-format off
enum Kind {
  OPEN, READ, WRITE, PREAD, LSEEK, FALLOCATE, FTRUNCATE, FSYNC, FSTAT, STAT, LSTAT, FCNTL, LOCK,
  RENAME, UNLINK, CLOSE, FCHMOD, FCHOWN, OPENDIR, READDIR, XATTR, KINDS
};
constexpr const char* NAMES[KINDS] = {
  "open", "read", "write", "pread", "lseek", "fallocate", "ftruncate", "fsync", "fstat", "stat",
  "lstat", "fcntl", "lock", "rename", "unlink", "close", "fchmod", "fchown", "opendir", "readdir",
  "xattr"};
// clang-format on
// What must never happen, counted after the kinds; the last one is a count of names now, which
// must be 0 when the program ends.
enum Slip {
  CLOSED_UNSYNCED = KINDS,
  RENAMED_UNSYNCED,
  REPLACED_UNLOCKED,
  NAMES_UNSYNCED,
  SLIPS_END
};

struct Error {
  const char* name;
  int number;
};
constexpr Error ERRORS[] = {
    {"EIO", EIO},
    {"ENOSPC", ENOSPC},
    {"EDQUOT", EDQUOT},
    {"EFBIG", EFBIG},
    {"EMFILE", EMFILE},
    {"ESTALE", ESTALE},
    {"EINTR", EINTR},
    {"ENOLCK", ENOLCK},
    {"EACCES", EACCES},
    {"EPERM", EPERM},
    {"EOPNOTSUPP", EOPNOTSUPP},
    {"EBUSY", EBUSY},
    {"EOVERFLOW", EOVERFLOW},
    {"EDEADLK", EDEADLK},
    {"ENOTSUP", ENOTSUP},
};

int fault_kind = -1;
long fault_call = 0;        // 0: every call
bool fault_onward = false;  // from the fault_call-th call on
int fault_error = 0;        // 0: kill
struct Other {
  char how[16] = {};
  int kind = -1;
  long call = 0;  // 0: every call
  bool onward = false;
  char file[256] = {};
  char text[256] = {};
};
constinit Other other;
int slow_kind = -1;
long slow_ms = 0;
long* counts = nullptr;
long own_counts[SLIPS_END];

// What the program did with each descriptor it opened.
constexpr int TRACKED = 1024;
struct Tracked {
  char path[256];
  bool written;  // since the last sync
  bool locked;
};
Tracked tracked[TRACKED];

Tracked* track(int fd) { return fd >= 0 && fd < TRACKED ? &tracked[fd] : nullptr; }

// Names made since their directory was last synced.
constexpr int MADE = 16;
char made[MADE][256];

void name_gone(const char* path) {
  for (auto& name : made) {
    if (std::strcmp(name, path) == 0) name[0] = '\0';
  }
}

void name_made(const char* path) {
  name_gone(path);
  for (auto& name : made) {
    if (name[0] != '\0') continue;
    std::snprintf(name, sizeof name, "%s", path);
    break;
  }
}

void count_names() {
  long left = 0;
  for (const auto& name : made) left += name[0] != '\0';
  counts[NAMES_UNSYNCED] = left;
}

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void start() {
  counts = own_counts;
  if (const char* path = std::getenv("TU_MARDO_CALL_COUNTS")) {
    const auto open_real = real<int (*)(const char*, int, ...)>("open64");
    const int fd = open_real(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0 && real<int (*)(int, off_t)>("ftruncate64")(fd, sizeof own_counts) == 0) {
      void* shared = ::mmap(nullptr, sizeof own_counts, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (shared != MAP_FAILED) counts = static_cast<long*>(shared);
    }
  }
  const auto kind_of = [](const char* name) {
    for (int k = 0; k < KINDS; ++k) {
      if (std::strcmp(name, NAMES[k]) == 0) return k;
    }
    return -1;
  };
  char kind[32] = {}, call[32] = {}, how[32] = {};
  const auto call_of = [](const char* text, long& number, bool& onward) {
    number = std::strcmp(text, "all") == 0 ? 0 : std::atol(text);
    onward = text[std::strlen(text) - 1] == '+';
  };
  if (const char* acting = std::getenv("TU_MARDO_CALL_OTHER")) {
    if (std::sscanf(acting, "%15s %31s %31s %255s %255[^\n]", other.how, kind, call, other.file,
                    other.text) == 5) {
      other.kind = kind_of(kind);
      call_of(call, other.call, other.onward);
    }
  }
  if (const char* slow = std::getenv("TU_MARDO_CALL_SLOW")) {
    if (std::sscanf(slow, "%31s %ld", kind, &slow_ms) == 2) slow_kind = kind_of(kind);
  }
  const char* fault = std::getenv("TU_MARDO_CALL_FAULT");
  if (fault == nullptr || std::sscanf(fault, "%31s %31s %31s", kind, call, how) != 3) return;
  fault_kind = kind_of(kind);
  call_of(call, fault_call, fault_onward);
  for (const Error& error : ERRORS) {
    if (std::strcmp(how, error.name) == 0) fault_error = error.number;
  }
}

// The other program's line: appended, or in a new file that takes the name.
void act_as_other() {
  const auto open_real = real<int (*)(const char*, int, ...)>("open64");
  const auto write_real = real<ssize_t (*)(int, const void*, size_t)>("write");
  const auto close_real = real<int (*)(int)>("close");
  char line[300];
  const int length = std::snprintf(line, sizeof line, "%s\r\n", other.text);
  if (std::strcmp(other.how, "append") == 0) {
    const int fd = open_real(other.file, O_WRONLY | O_APPEND);
    if (fd < 0) return;
    (void)write_real(fd, line, static_cast<size_t>(length));
    close_real(fd);
    return;
  }
  char saved[300];
  std::snprintf(saved, sizeof saved, "%s.saved", other.file);
  const int from = open_real(other.file, O_RDONLY);
  const int to = open_real(saved, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char block[4096];
  for (ssize_t got; from >= 0 && (got = real<ssize_t (*)(int, void*, size_t)>("read")(
                                      from, block, sizeof block)) > 0;) {
    (void)write_real(to, block, static_cast<size_t>(got));
  }
  (void)write_real(to, line, static_cast<size_t>(length));
  close_real(from);
  close_real(to);
  (void)real<int (*)(const char*, const char*)>("rename")(saved, other.file);
}

bool chosen(long call, long number, bool onward) {
  return number == 0 || call == number || (onward && call > number);
}

// Counts the call; true when it is the one to fail (errno is set then). The one to kill never
// returns.
bool fails(Kind kind) {
  const long call = ++counts[kind];
  if (kind == slow_kind) ::usleep(static_cast<useconds_t>(slow_ms * 1000));
  if (kind == other.kind && chosen(call, other.call, other.onward)) act_as_other();
  if (kind != fault_kind || !chosen(call, fault_call, fault_onward)) return false;
  if (fault_error == 0) ::raise(SIGKILL);
  errno = fault_error;
  return true;
}

// A call that changed the file's bytes or size, once it is done.
template <class Result>
Result changed(int fd, Result result) {
  if (result >= 0) {
    if (Tracked* t = track(fd)) t->written = true;
  }
  return result;
}

}  // namespace

extern "C" {

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  if (fails(OPEN)) return -1;
  const int fd = real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
  if (fd >= 0 && (flags & O_CREAT) != 0 && (flags & O_EXCL) != 0) {
    name_made(path);
    count_names();
  }
  if (Tracked* t = track(fd)) {
    std::snprintf(t->path, sizeof t->path, "%s", path);
    t->written = false;
    t->locked = false;
  }
  return fd;
}

ssize_t read(int fd, void* buffer, size_t count) {
  if (fails(READ)) return -1;
  return real<ssize_t (*)(int, void*, size_t)>("read")(fd, buffer, count);
}

ssize_t write(int fd, const void* bytes, size_t count) {
  if (fails(WRITE)) return -1;
  return changed(fd, real<ssize_t (*)(int, const void*, size_t)>("write")(fd, bytes, count));
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
  if (fails(PREAD)) return -1;
  return real<ssize_t (*)(int, void*, size_t, off64_t)>("pread64")(fd, buffer, count, offset);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  if (fails(LSEEK)) return -1;
  return real<off64_t (*)(int, off64_t, int)>("lseek64")(fd, offset, whence);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  if (fails(FALLOCATE)) return -1;
  return changed(
      fd, real<int (*)(int, int, off64_t, off64_t)>("fallocate64")(fd, mode, offset, length));
}

int ftruncate64(int fd, off64_t length) {
  if (fails(FTRUNCATE)) return -1;
  return changed(fd, real<int (*)(int, off64_t)>("ftruncate64")(fd, length));
}

int fsync(int fd) {
  if (fails(FSYNC)) return -1;
  const int result = real<int (*)(int)>("fsync")(fd);
  if (Tracked* t = track(fd); t != nullptr && result == 0) t->written = false;
  struct stat64 status {};
  if (result == 0 && real<int (*)(int, struct stat64*)>("fstat64")(fd, &status) == 0 &&
      S_ISDIR(status.st_mode)) {
    for (auto& name : made) name[0] = '\0';
    count_names();
  }
  return result;
}

int fstat64(int fd, struct stat64* status) {
  if (fails(FSTAT)) return -1;
  return real<int (*)(int, struct stat64*)>("fstat64")(fd, status);
}

int stat64(const char* path, struct stat64* status) {
  if (fails(STAT)) return -1;
  return real<int (*)(const char*, struct stat64*)>("stat64")(path, status);
}

int lstat64(const char* path, struct stat64* status) {
  if (fails(LSTAT)) return -1;
  return real<int (*)(const char*, struct stat64*)>("lstat64")(path, status);
}

int fcntl64(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  const bool lock = command == F_SETLK || command == F_SETLKW || command == F_OFD_SETLK ||
                    command == F_OFD_SETLKW;
  if (fails(lock ? LOCK : FCNTL)) return -1;
  const int result = real<int (*)(int, int, ...)>("fcntl64")(fd, command, argument);
  if (Tracked* t = track(fd); t != nullptr && lock && result == 0) {
    t->locked = static_cast<const struct flock*>(argument)->l_type != F_UNLCK;
  }
  return result;
}

int rename(const char* from, const char* to) {
  if (fails(RENAME)) return -1;
  bool held = false;
  for (Tracked& t : tracked) {
    if (std::strcmp(t.path, from) == 0 && t.written) ++counts[RENAMED_UNSYNCED];
    if (std::strcmp(t.path, to) == 0 && t.locked) held = true;
  }
  if (!held) ++counts[REPLACED_UNLOCKED];
  const int result = real<int (*)(const char*, const char*)>("rename")(from, to);
  if (result == 0) {
    for (Tracked& t : tracked) {
      if (std::strcmp(t.path, to) == 0) t.path[0] = '\0';  // the old file has no name now
      if (std::strcmp(t.path, from) == 0) std::snprintf(t.path, sizeof t.path, "%s", to);
    }
    name_gone(from);
    name_made(to);
    count_names();
  }
  return result;
}

int unlink(const char* path) {
  if (fails(UNLINK)) return -1;
  const int result = real<int (*)(const char*)>("unlink")(path);
  if (result == 0) {
    name_gone(path);
    count_names();
    // A file without a name: what it holds no longer counts.
    for (Tracked& t : tracked) {
      if (std::strcmp(t.path, path) == 0) t = Tracked{};
    }
  }
  return result;
}

int close(int fd) {
  if (Tracked* t = track(fd)) {
    if (t->written) ++counts[CLOSED_UNSYNCED];
    *t = Tracked{};
  }
  if (fails(CLOSE)) {
    real<int (*)(int)>("close")(fd);  // as on Linux: the descriptor is gone all the same
    return -1;
  }
  return real<int (*)(int)>("close")(fd);
}

int fchmod(int fd, mode_t mode) {
  if (fails(FCHMOD)) return -1;
  return real<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
  if (fails(FCHOWN)) return -1;
  return real<int (*)(int, uid_t, gid_t)>("fchown")(fd, owner, group);
}

DIR* opendir(const char* path) {
  if (fails(OPENDIR)) return nullptr;
  return real<DIR* (*)(const char*)>("opendir")(path);
}

struct dirent64* readdir64(DIR* directory) {
  if (fails(READDIR)) return nullptr;
  return real<struct dirent64* (*)(DIR*)>("readdir64")(directory);
}

ssize_t flistxattr(int fd, char* list, size_t size) {
  if (fails(XATTR)) return -1;
  return real<ssize_t (*)(int, char*, size_t)>("flistxattr")(fd, list, size);
}

ssize_t fgetxattr(int fd, const char* name, void* value, size_t size) {
  if (fails(XATTR)) return -1;
  return real<ssize_t (*)(int, const char*, void*, size_t)>("fgetxattr")(fd, name, value, size);
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  if (fails(XATTR)) return -1;
  return real<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr")(fd, name, value,
                                                                                size, flags);
}

int fremovexattr(int fd, const char* name) {
  if (fails(XATTR)) return -1;
  return real<int (*)(int, const char*)>("fremovexattr")(fd, name);
}

}  // extern "C"

// POSIX implementation of the platform seam: any POSIX C library; the GNU extension that arms
// floating-point traps is used where it exists.
#include <dirent.h>
#include <fcntl.h>
#include <fenv.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/exit_routine.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

// Waits until a descriptor left in non-blocking mode (by the program's parent) is ready.
void wait_until_ready(int fd, short events) {
  pollfd entry{fd, events, 0};
  while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
}

int64_t read_standard_input(char* buffer, std::size_t capacity) {
  const InterruptibleWait waiting;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, capacity);
    if (got >= 0) return got;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_until_ready(STDIN_FILENO, POLLIN);
    } else if (errno != EINTR) {
      return -1;
    }
  }
}

// Writes all bytes to a descriptor, retrying interrupted and partial writes, and waiting
// where the descriptor is in non-blocking mode.
int write_all(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t done = ::write(fd, bytes, count);
    if (done < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait_until_ready(fd, POLLOUT);
        continue;
      }
      return errno;
    }
    if (done == 0) return EIO;
    bytes += done;
    count -= static_cast<std::size_t>(done);
  }
  return 0;
}

int write_standard_output(const char* bytes, std::size_t count) {
  return write_all(STDOUT_FILENO, bytes, count);
}

// A terminal whose character set is UTF-8 gets the prompt's two signs as the characters they
// stand for; pipes, files and other character sets get the bytes as they are.
int write_standard_output_to_utf8_terminal(const char* bytes, std::size_t count) {
  return write_with_utf8_signs(bytes, count, write_standard_output);
}

// Whether the C library's locale, as the environment sets it, says the terminal's character
// set is UTF-8. The program itself keeps the C locale.
bool terminal_is_utf8() {
  if (::setlocale(LC_CTYPE, "") == nullptr) return false;
  const char* codeset = ::nl_langinfo(CODESET);
  const bool utf8 = codeset != nullptr &&
                    (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
  ::setlocale(LC_CTYPE, "C");
  return utf8;
}

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
    default:
      return IoFailure::other;
  }
}

IoResult failed(int error) { return IoResult{classify(error), error}; }

int as_fd(FileHandle file) { return static_cast<int>(file); }

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t day_number(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// The handler may be entered on a stack aligned for 32-bit x86's old convention only; the SSE
// code of the exit routine needs 16 bytes.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void on_floating_point_error(int, siginfo_t* info, void*) {
  const int code = info->si_code;
  end_on_floating_point_error(floating_point_error_text(code == FPE_FLTDIV || code == FPE_INTDIV,
                                                        code == FPE_FLTOVF || code == FPE_INTOVF,
                                                        code == FPE_FLTINV));
}

// Unmasks invalid operation, division by zero and overflow. Only some C libraries can, and on
// many ARM cores the CPU cannot: then the run tests the sticky flags instead.
bool arm_traps() {
#if defined(__GLIBC__) || defined(__FreeBSD__)
  return ::feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) != -1;
#else
  return false;
#endif
}

bool same_without_regard_to_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
    const char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

// The name as given, or the one entry of the current directory that matches it without regard
// to ASCII case when the exact name is missing (copied into `found`).
const char* name_without_regard_to_case(const char* name, char (&found)[NAME_MAX + 1]) {
  struct stat info {};
  if (std::strchr(name, '/') != nullptr || ::lstat(name, &info) == 0 || errno != ENOENT) {
    return name;
  }
  DIR* directory = ::opendir(".");
  if (directory == nullptr) return name;
  int matches = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (same_without_regard_to_case(entry->d_name, name) &&
        std::strlen(entry->d_name) < sizeof found) {
      if (++matches == 1) std::strcpy(found, entry->d_name);
    }
  }
  ::closedir(directory);
  return matches == 1 ? found : name;
}

// Locks the whole file against other processes that lock it, waiting for them. Locks that
// belong to the open file description (Linux) hold however the program's descriptors are
// used; elsewhere the process's own lock does, the program taking it only once.
int lock_whole_file(int fd, bool writable) {
  struct flock lock {};
  lock.l_type = writable ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however far the file grows
#if defined(F_OFD_SETLKW)
  constexpr int WAIT_FOR_LOCK = F_OFD_SETLKW;
#else
  constexpr int WAIT_FOR_LOCK = F_SETLKW;
#endif
  const InterruptibleWait waiting;
  while (::fcntl(fd, WAIT_FOR_LOCK, &lock) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// Descriptors 0, 1 and 2 that the parent left closed are opened on the null device, so that
// the files the program opens never take their numbers.
void open_closed_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", O_RDWR | O_NOCTTY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

}  // namespace

ConsoleStreams standard_streams() {
  ConsoleStreams streams;
  streams.input_interactive = ::isatty(STDIN_FILENO) == 1;
  streams.output_interactive = ::isatty(STDOUT_FILENO) == 1;
  streams.read_input = read_standard_input;
  streams.write_output = streams.output_interactive && terminal_is_utf8()
                             ? write_standard_output_to_utf8_terminal
                             : write_standard_output;
  return streams;
}

void report_error(std::string_view text) {
  char line[512];
  const std::size_t length = std::min(text.size(), sizeof line - 1);
  std::memcpy(line, text.data(), length);
  line[length] = '\n';
  (void)write_all(STDERR_FILENO, line, length + 1);
}

const char* error_text(int system_error) { return std::strerror(system_error); }

IoResult open_file(const char* name, OpenedFile& file, const OpenRules& rules) {
  char found[NAME_MAX + 1];
  name = name_without_regard_to_case(name, found);
  // Non-blocking only for the open itself: a FIFO without a writer must not hold it up.
  constexpr int common = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = -1;
  bool created = false;
  bool writable = true;
  // Two rounds: a file that appears between the two opens of the first round is opened in
  // the second. A dangling link fails both rounds (exclusive creation does not follow it).
  for (int round = 0; round < 2 && fd < 0; ++round) {
    fd = ::open(name, O_RDWR | common);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | common, 0666);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) continue;
    }
    break;
  }
  if (fd < 0 && errno != ENOENT) {
    fd = ::open(name, O_RDONLY | common);
    writable = false;
  }
  if (fd < 0 && errno != ENOENT) {
    fd = ::open(name, O_WRONLY | common);
    writable = true;
  }
  if (fd < 0) return failed(errno);

  struct stat info {};
  int refused = 0;
  if (::fstat(fd, &info) != 0) {
    refused = errno;
  } else if (S_ISDIR(info.st_mode)) {
    refused = EISDIR;
  } else if (rules.regular_file_only && !S_ISREG(info.st_mode)) {
    refused = EINVAL;
  } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    refused = errno;
  } else if (rules.exclusive) {
    refused = lock_whole_file(fd, writable);
  }
  if (refused != 0) {
    ::close(fd);
    return failed(refused);
  }
  file.handle = fd;
  file.created = created;
  file.writable = writable;
  return {};
}

IoResult read_file(FileHandle file, char* buffer, std::size_t capacity, std::size_t& count) {
  for (;;) {
    const ssize_t got = ::read(as_fd(file), buffer, capacity);
    if (got >= 0) {
      count = static_cast<std::size_t>(got);
      return {};
    }
    if (errno != EINTR) {
      count = 0;
      return failed(errno);
    }
  }
}

IoResult write_file(FileHandle file, const char* bytes, std::size_t count) {
  const int error = write_all(as_fd(file), bytes, count);
  return error == 0 ? IoResult{} : failed(error);
}

IoResult seek_file(FileHandle file, int64_t offset) {
  if (::lseek(as_fd(file), static_cast<off_t>(offset), SEEK_SET) < 0) return failed(errno);
  return {};
}

IoResult reserve_file(FileHandle file, int64_t offset, int64_t count) {
  struct stat info {};
  if (::fstat(as_fd(file), &info) != 0) return failed(errno);
  const int64_t end = offset + count;
  if (!S_ISREG(info.st_mode) || end <= info.st_size) return {};
  const int error = ::posix_fallocate(as_fd(file), static_cast<off_t>(info.st_size),
                                      static_cast<off_t>(end - info.st_size));
  if (error == 0) return {};
  // A file system that cannot reserve space leaves the failure to the write itself.
  if (error == EOPNOTSUPP || error == EINVAL || error == ENODEV) return {};
  // Whatever a failed reservation added goes again.
  (void)::ftruncate(as_fd(file), info.st_size);
  return failed(error);
}

IoResult set_file_end(FileHandle file, int64_t offset) {
  struct stat info {};
  if (::fstat(as_fd(file), &info) != 0) return failed(errno);
  if (!S_ISREG(info.st_mode)) return {};
  if (::ftruncate(as_fd(file), static_cast<off_t>(offset)) != 0) return failed(errno);
  return {};
}

void close_file(FileHandle file) { ::close(as_fd(file)); }

LocalTime local_time() {
  using namespace std::chrono;
  const system_clock::duration since_epoch = system_clock::now().time_since_epoch();
  const seconds whole = floor<seconds>(since_epoch);
  const time_t clock_seconds = static_cast<time_t>(whole.count());
  tm fields{};
  tm utc{};
  ::localtime_r(&clock_seconds, &fields);
  ::gmtime_r(&clock_seconds, &utc);
  LocalTime time;
  time.day = day_number(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
  const int64_t utc_day = day_number(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
  time.utc_offset =
      static_cast<int32_t>((time.day - utc_day) * 86400 + (fields.tm_hour - utc.tm_hour) * 3600 +
                           (fields.tm_min - utc.tm_min) * 60 + (fields.tm_sec - utc.tm_sec));
  time.hour = static_cast<int16_t>(fields.tm_hour);
  time.minute = static_cast<int16_t>(fields.tm_min);
  // A leap second shows as 60; the clock fields hold 0..59.
  time.second = static_cast<int16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  time.millisecond = static_cast<int16_t>(duration_cast<milliseconds>(since_epoch - whole).count());
  return time;
}

void start_up(bool arm_floating_point_traps) {
  open_closed_standard_descriptors();
  install_interrupt_handlers();
  struct sigaction action {};
  action.sa_sigaction = on_floating_point_error;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGFPE, &action, nullptr);
  ::feclearexcept(FE_ALL_EXCEPT);
  set_floating_point_traps_armed(arm_floating_point_traps && arm_traps());

  // A closed pipe or a file size limit must come back as a failed write that the program
  // reports, not end the process before the units are written out.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform

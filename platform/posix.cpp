// POSIX implementation of the platform seam: any POSIX C library; the GNU extension that arms
// floating-point traps is used where it exists.
#include <fcntl.h>
#include <fenv.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/exit_routine.hpp"
#include "platform/platform.hpp"

namespace platform {
namespace {

int64_t read_standard_input(char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, capacity);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

// Writes all bytes to a descriptor, retrying interrupted and partial writes.
int write_all(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t done = ::write(fd, bytes, count);
    if (done < 0) {
      if (errno == EINTR) continue;
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

void on_floating_point_error(int, siginfo_t* info, void*) {
  const int code = info->si_code;
  end_on_floating_point_error(floating_point_error_text(
      code == FPE_FLTDIV || code == FPE_INTDIV, code == FPE_FLTOVF || code == FPE_INTOVF,
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

}  // namespace

ConsoleStreams standard_streams() {
  ConsoleStreams streams;
  streams.input_interactive = ::isatty(STDIN_FILENO) == 1;
  streams.output_interactive = ::isatty(STDOUT_FILENO) == 1;
  streams.read_input = read_standard_input;
  streams.write_output = write_standard_output;
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

IoResult open_file(const char* name, OpenedFile& file) {
  constexpr int common = O_CLOEXEC | O_NOCTTY;
  int fd = -1;
  bool created = false;
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
  if (fd < 0 && errno != ENOENT) fd = ::open(name, O_RDONLY | common);
  if (fd < 0 && errno != ENOENT) fd = ::open(name, O_WRONLY | common);
  if (fd < 0) return failed(errno);

  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return failed(EISDIR);
  }
  file.handle = fd;
  file.created = created;
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
  ::localtime_r(&clock_seconds, &fields);
  LocalTime time;
  time.day = day_number(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
  time.hour = static_cast<int16_t>(fields.tm_hour);
  time.minute = static_cast<int16_t>(fields.tm_min);
  // A leap second shows as 60; the clock fields hold 0..59.
  time.second = static_cast<int16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  time.millisecond = static_cast<int16_t>(duration_cast<milliseconds>(since_epoch - whole).count());
  return time;
}

void start_up(bool arm_floating_point_traps) {
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

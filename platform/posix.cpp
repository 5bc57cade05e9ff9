// POSIX implementation of the platform seam's console, clock and process: any POSIX C library.
// The one extension, the C library's call that arms floating-point traps, is used in a guarded
// block where it exists; elsewhere the run tests the sticky flags instead. The file half is
// posix_files.cpp; the build compiles both with POSIX alone as well (platform/CMakeLists.txt).
#include <fcntl.h>
#include <fenv.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/floating_point.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"
#include "platform/posix_io.hpp"
#include "platform/standard_error.hpp"
#include "platform/utf8_signs.hpp"

namespace platform {
namespace {

int64_t read_standard_input(char* buffer, std::size_t capacity) {
  const InterruptibleWait waiting;
  const BlockedCall blocked;
  posix::EintrRetry retry;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, capacity);
    if (got >= 0) return got;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!posix::wait_until_ready(STDIN_FILENO, POLLIN)) return -1;
    } else if (errno != EINTR || !retry.again()) {
      return -1;
    }
  }
}

}  // namespace

namespace {

using posix::write_all;

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
// RISC-V has no floating-point traps at all (its C library's feenableexcept is a stub).
#if ((defined(__GLIBC__) && defined(_GNU_SOURCE)) || defined(__FreeBSD__)) && !defined(__riscv)
  return ::feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) != -1;
#else
  return false;
#endif
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

int write_standard_error(const char* bytes, std::size_t count) {
  return write_all(STDERR_FILENO, bytes, count);
}

std::string_view error_line_end() { return "\n"; }

const char* error_text(int system_error) { return std::strerror(system_error); }

// getrusage, not a CPU-time clock: a library that slows the clocks (LD_PRELOAD) leaves it alone,
// so that the process then seems to use more processor time than the clocks count.
ProcessTime process_time() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto ns = [](const timeval& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + static_cast<int64_t>(t.tv_usec) * 1000;
  };
  ProcessTime time;
  time.cpu_ns = ns(usage.ru_utime) + ns(usage.ru_stime);
  time.blocked_ns = blocked_ns();
  time.resolution_ns = 1000;  // microseconds
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

  // A closed pipe must come back as a failed write that the program reports, not end the
  // process before the units are written out.
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace platform

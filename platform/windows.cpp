// Windows implementation of the platform seam's console, clock and process: the program's home
// platform. The file half is windows_files.cpp.
#include <windows.h>

#include <float.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/blocked_time.hpp"
#include "platform/exit_routine.hpp"
#include "platform/floating_point.hpp"
#include "platform/interrupts.hpp"
#include "platform/platform.hpp"
#include "platform/standard_error.hpp"
#include "platform/utf8_signs.hpp"
#include "platform/windows_io.hpp"

namespace platform {
namespace {

HANDLE standard_handle(DWORD which) { return ::GetStdHandle(which); }

// A console window, not just any character device (the NUL device is one too).
bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != 0;
}

int64_t read_standard_input(char* buffer, std::size_t capacity) {
  const InterruptibleWait waiting;
  const BlockedCall blocked;
  DWORD got = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
  if (::ReadFile(standard_handle(STD_INPUT_HANDLE), buffer, wanted, &got, nullptr)) return got;
  // The writer of a pipe went away: that is the end of the input.
  return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

}  // namespace

namespace windows {

int write_all(HANDLE handle, const char* bytes, std::size_t count) {
  const BlockedCall blocked;
  while (count > 0) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::WriteFile(handle, bytes, chunk, &done, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_OPERATION_ABORTED && !interrupt_pending()) continue;
      return static_cast<int>(error);
    }
    if (done == 0) return ERROR_WRITE_FAULT;
    bytes += done;
    count -= done;
  }
  return 0;
}

}  // namespace windows

namespace {

using windows::write_all;

int write_standard_output(const char* bytes, std::size_t count) {
  return write_all(standard_handle(STD_OUTPUT_HANDLE), bytes, count);
}

// A console set to UTF-8 (code page 65001) gets the prompt's two signs as the characters they
// stand for; pipes, files and consoles in other code pages get the bytes as they are.
int write_standard_output_to_utf8_console(const char* bytes, std::size_t count) {
  return write_with_utf8_signs(bytes, count, write_standard_output);
}

// The status flags of the trapping thread: SSE's MXCSR, and on 32-bit x86 also the x87 status
// word. Both keep invalid operation, division by zero and overflow in bits 0, 2 and 3.
DWORD status_flags(const CONTEXT& context) {
#if defined(_WIN64)
  return context.MxCsr;
#else
  DWORD flags = context.FloatSave.StatusWord;
  // The 32-bit context holds MXCSR in its FXSAVE area, at byte 24, when it holds that area.
  if ((context.ContextFlags & CONTEXT_EXTENDED_REGISTERS) == CONTEXT_EXTENDED_REGISTERS) {
    DWORD mxcsr = 0;
    std::memcpy(&mxcsr, context.ExtendedRegisters + 24, sizeof mxcsr);
    flags |= mxcsr;
  }
  return flags;
#endif
}

// SSE exceptions arrive as one code; the status flags say which was raised.
const char* floating_point_error(const EXCEPTION_POINTERS* info) {
  switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return floating_point_error_text(true, false, false);
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_INT_OVERFLOW:
      return floating_point_error_text(false, true, false);
    case EXCEPTION_FLT_INVALID_OPERATION:
      return floating_point_error_text(false, false, true);
    case STATUS_FLOAT_MULTIPLE_TRAPS:
    case STATUS_FLOAT_MULTIPLE_FAULTS: {
      const DWORD flags = status_flags(*info->ContextRecord);
      return floating_point_error_text(flags & 0x04, flags & 0x08, flags & 0x01);
    }
    default:
      return nullptr;
  }
}

LONG WINAPI on_exception(EXCEPTION_POINTERS* info) {
  const char* what = floating_point_error(info);
  if (what == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  _clearfp();
  end_on_floating_point_error(what);
}

// The status the process ends with once its window may close.
std::atomic<int32_t> closing_status{0};

// Ctrl-C, Ctrl-Break or the close button while the window waits for Enter: the run is over and
// the process ends with its status.
BOOL WINAPI on_event_while_waiting(DWORD) {
  ::ExitProcess(static_cast<UINT>(closing_status.load()));
}

// A console window of the program's own (a double-click in Explorer) closes with the process:
// its user reads how the run ended, then presses Enter.
void wait_for_enter_in_own_window(int32_t status) {
  DWORD processes[2];
  ConsoleOwnership console;
  // Wine counts the program alone on a Unix terminal too, where the window is a shell's: there
  // the count says nothing.
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  const bool under_wine =
      ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  console.processes = under_wine ? 0 : static_cast<int>(::GetConsoleProcessList(processes, 2));
  console.input_is_console = is_console(standard_handle(STD_INPUT_HANDLE));
  console.output_is_console = is_console(standard_handle(STD_OUTPUT_HANDLE));
  if (!waits_before_window_closes(console)) return;
  closing_status.store(status);
  ::SetConsoleCtrlHandler(on_event_while_waiting, TRUE);
  constexpr char PROMPT[] = "Press Enter to close this window.";
  if (windows::write_all(standard_handle(STD_OUTPUT_HANDLE), PROMPT, sizeof PROMPT - 1) != 0)
    return;
  char typed = 0;
  DWORD got = 0;
  while (::ReadFile(standard_handle(STD_INPUT_HANDLE), &typed, 1, &got, nullptr) && got == 1 &&
         typed != '\n') {
  }
}

}  // namespace

ConsoleStreams standard_streams() {
  ConsoleStreams streams;
  streams.input_interactive = is_console(standard_handle(STD_INPUT_HANDLE));
  streams.output_interactive = is_console(standard_handle(STD_OUTPUT_HANDLE));
  streams.read_input = read_standard_input;
  streams.write_output = streams.output_interactive && ::GetConsoleOutputCP() == CP_UTF8
                             ? write_standard_output_to_utf8_console
                             : write_standard_output;
  return streams;
}

int write_standard_error(const char* bytes, std::size_t count) {
  return write_all(standard_handle(STD_ERROR_HANDLE), bytes, count);
}

std::string_view error_line_end() { return "\r\n"; }

const char* error_text(int system_error) {
  static char text[256];
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(system_error), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                       text, sizeof text, nullptr);
  if (length == 0) {
    std::snprintf(text, sizeof text, "system error %d", system_error);
    return text;
  }
  // Messages end with a period and a line end; the report adds its own.
  std::size_t end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == '.')) {
    --end;
  }
  text[end] = '\0';
  return text;
}

int64_t monotonic_now_ns() {
  LARGE_INTEGER counter{}, frequency{};
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  const int64_t ticks = counter.QuadPart;
  const int64_t per_second = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  return ticks / per_second * 1000000000 + ticks % per_second * 1000000000 / per_second;
}

LocalTime local_time() {
  // The system clock between two readings of the performance counter, again (a few times at
  // most) if more than a millisecond came between them; the conversion to local time after.
  constexpr int64_t CLOSE_NS = 1000000;
  FILETIME utc_ticks;
  int64_t before = 0;
  int64_t after = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    before = monotonic_now_ns();
    ::GetSystemTimePreciseAsFileTime(&utc_ticks);
    after = monotonic_now_ns();
    if (after - before <= CLOSE_NS) break;
  }
  SYSTEMTIME utc, now;
  ::FileTimeToSystemTime(&utc_ticks, &utc);
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now)) now = utc;
  FILETIME local_ticks;
  ::SystemTimeToFileTime(&now, &local_ticks);
  ULARGE_INTEGER local, universal;
  local.LowPart = local_ticks.dwLowDateTime;
  local.HighPart = local_ticks.dwHighDateTime;
  universal.LowPart = utc_ticks.dwLowDateTime;
  universal.HighPart = utc_ticks.dwHighDateTime;
  constexpr int64_t TICKS_PER_SECOND = 10000000;
  LocalTime time;
  time.day = static_cast<int64_t>(local.QuadPart / 864000000000ULL);
  time.utc_offset =
      static_cast<int32_t>((static_cast<int64_t>(local.QuadPart / TICKS_PER_SECOND) -
                            static_cast<int64_t>(universal.QuadPart / TICKS_PER_SECOND)));
  time.hour = static_cast<int16_t>(now.wHour);
  time.minute = static_cast<int16_t>(now.wMinute);
  // A leap second (where Windows shows one) as 59, and counted as lagging the clock.
  time.second = static_cast<int16_t>(now.wSecond > 59 ? 59 : now.wSecond);
  time.leap_seconds = now.wSecond > 59 ? 1 : 0;
  time.millisecond = static_cast<int16_t>(now.wMilliseconds);
  time.monotonic_ns = before + (after - before) / 2;
  time.uncertainty_ns = (after - before + 1) / 2;
  time.resolution_ns = 1000000;  // the milliseconds of SYSTEMTIME
  return time;
}

uint32_t continues_seen() { return 0; }  // no stops and continues on Windows

// The kernel charges processor time a clock tick at a time (15.625 ms by default).
ProcessTime process_time() {
  FILETIME created, exited, kernel, user;
  ProcessTime time;
  if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    const auto ns = [](const FILETIME& t) {
      return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime) *
             100;
    };
    time.cpu_ns = ns(kernel) + ns(user);
  }
  time.blocked_ns = blocked_ns();
  time.resolution_ns = 15625000;
  return time;
}

void start_up(bool arm_floating_point_traps) {
  // Standard handles the parent did not give are the null device.
  const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD which : standard) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) continue;
    const HANDLE null =
        ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (null != INVALID_HANDLE_VALUE) ::SetStdHandle(which, null);
  }
  install_interrupt_handlers();
  set_last_step(wait_for_enter_in_own_window);
  ::AddVectoredExceptionHandler(1, on_exception);
  _clearfp();
  if (arm_floating_point_traps) {
    unsigned int control = 0;
    const unsigned int unmasked = _EM_INVALID | _EM_ZERODIVIDE | _EM_OVERFLOW;
    _controlfp_s(&control, _MCW_EM & ~unmasked, _MCW_EM);
    _controlfp_s(&control, 0, 0);
    set_floating_point_traps_armed((control & unmasked) == 0);
  } else {
    set_floating_point_traps_armed(false);
  }
}

}  // namespace platform

// The POSIX seam: interactive detection on a pseudo-terminal and the clock's time zone.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/blocked_time.hpp"
#include "platform/platform.hpp"

namespace {

// The streams' interactive flags as a child sees them, encoded in its exit status.
int interactive_flags(bool on_terminal) {
  pid_t child;
  int master = -1;
  if (on_terminal) {
    child = ::forkpty(&master, nullptr, nullptr, nullptr);
  } else {
    child = ::fork();
  }
  if (child == 0) {
    const platform::ConsoleStreams streams = platform::standard_streams();
    ::_exit((streams.input_interactive ? 1 : 0) | (streams.output_interactive ? 2 : 0));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (master >= 0) ::close(master);
  return WEXITSTATUS(status);
}

TEST(PlatformTest, APseudoTerminalIsInteractiveAndAPipeIsNot) {
  EXPECT_EQ(interactive_flags(true), 3);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const int saved = ::dup(STDIN_FILENO);
  ::dup2(fds[0], STDIN_FILENO);
  EXPECT_EQ(interactive_flags(false) & 1, 0);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  ::close(fds[0]);
  ::close(fds[1]);
}

int64_t minutes_now() {
  const platform::LocalTime t = platform::local_time();
  return (t.day * 24 + t.hour) * 60 + t.minute;
}

TEST(PlatformTest, TheClockIsLocalTime) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  const int64_t utc = minutes_now();
  ::setenv("TZ", "XYZ-3", 1);  // three hours east of UTC
  ::tzset();
  const int64_t east = minutes_now();
  if (saved != nullptr) {
    ::setenv("TZ", previous.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  EXPECT_GE(east - utc, 180);
  EXPECT_LE(east - utc, 181);
  const platform::LocalTime t = platform::local_time();
  EXPECT_GE(t.millisecond, 0);
  EXPECT_LE(t.millisecond, 999);
}

// Each reading holds the wall clock and the monotonic clock of one instant: the monotonic
// reading is CLOCK_MONOTONIC's (a clock that no one sets, so a stepped wall clock cannot move
// it), the wall reading CLOCK_REALTIME's, and the two monotonic readings around it lie close.
TEST(PlatformTest, AReadingTakesEachClockFromItsOwnSource) {
  timespec before{}, after{}, wall{};
  ::clock_gettime(CLOCK_MONOTONIC, &before);
  const platform::LocalTime t = platform::local_time();
  ::clock_gettime(CLOCK_MONOTONIC, &after);
  ::clock_gettime(CLOCK_REALTIME, &wall);
  const auto ns = [](const timespec& x) { return int64_t{x.tv_sec} * 1000000000 + x.tv_nsec; };
  EXPECT_GE(t.monotonic_ns, ns(before));
  EXPECT_LE(t.monotonic_ns, ns(after));
  EXPECT_LT(t.uncertainty_ns, 1000000);
  EXPECT_GE(t.resolution_ns, 1000000);
  tm fields{};
  const time_t seconds = wall.tv_sec;
  ::localtime_r(&seconds, &fields);
  const int64_t shown = (t.hour * 60 + t.minute) * 60 + t.second;
  const int64_t now = (fields.tm_hour * 60 + fields.tm_min) * 60 + fields.tm_sec;
  EXPECT_LE((now - shown + 86400) % 86400, 1);
}

// The zone's offset from UTC counts the day too: at any instant one of a zone 14 hours east and
// one 12 hours west of UTC has another date than UTC.
TEST(PlatformTest, TheOffsetFromUtcCountsTheDateToo) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved != nullptr ? saved : "";
  const struct {
    const char* zone;
    int32_t offset;
  } zones[] = {{"XYZ-14", 14 * 3600}, {"XYZ12", -12 * 3600}};
  for (const auto& zone : zones) {
    ::setenv("TZ", zone.zone, 1);
    ::tzset();
    EXPECT_EQ(platform::local_time().utc_offset, zone.offset) << zone.zone;
  }
  if (saved != nullptr) {
    ::setenv("TZ", previous.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

// The processor time and the blocked time as a run reads them, on the real clocks: processor
// time follows a busy loop (in nanoseconds, whatever unit the system counts in); a blocking
// call's time counts as blocked, unless the process was stopped and continued meanwhile.
TEST(PlatformTest, ProcessorAndBlockedTimeFollowWhatTheProcessDid) {
  EXPECT_EXIT(
      {
        platform::start_up();
        const auto now_ns = [] {
          timespec t{};
          ::clock_gettime(CLOCK_MONOTONIC, &t);
          return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
        };
        const platform::ProcessTime before = platform::process_time();
        const int64_t start = now_ns();
        for (volatile double sink = 0; now_ns() - start < 200000000;) sink = sink + 1;
        const int64_t busy = now_ns() - start;
        const int64_t cpu = platform::process_time().cpu_ns - before.cpu_ns;
        const int64_t blocked_before = platform::blocked_ns();
        {
          const platform::BlockedCall call;
          ::usleep(100000);
        }
        const int64_t blocked = platform::blocked_ns() - blocked_before;
        {
          const platform::BlockedCall stopped;  // a stop and continue came while it blocked
          ::raise(SIGCONT);
          ::usleep(100000);
        }
        const int64_t after_stop = platform::blocked_ns() - blocked_before - blocked;
        std::fprintf(stderr, "cpu %lld of %lld ns busy, blocked %lld, after a stop %lld\n",
                     static_cast<long long>(cpu), static_cast<long long>(busy),
                     static_cast<long long>(blocked), static_cast<long long>(after_stop));
        const bool right = cpu >= busy / 4 && cpu <= busy + 20000000 && blocked >= 90000000 &&
                           blocked < 1000000000 && after_stop == 0;
        std::_Exit(right ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// An interrupt that came while a statement held interrupts, just before the program began to
// wait for input that never comes, ends the run at once.
TEST(PlatformTest, AnInterruptPendingWhenAWaitBeginsEndsTheRun) {
  EXPECT_EXIT(
      {
        platform::start_up();
        int silent[2];
        if (::pipe(silent) != 0) std::_Exit(3);
        ::dup2(silent[0], STDIN_FILENO);
        const platform::ConsoleStreams streams = platform::standard_streams();
        platform::hold_interrupts();
        ::raise(SIGTERM);
        char buffer[16];
        streams.read_input(buffer, sizeof buffer);
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGTERM), "Ended by signal SIGTERM");
}

}  // namespace

// Nothing lost: interrupts, concurrent runs, a full file system, a table that is no regular
// file, closed and non-blocking standard streams, daylight-saving changes and names in another
// case. End to end on POSIX systems, and in-process where a moment must be hit exactly.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "platform/platform.hpp"
#include "records/real_digits.hpp"
#include "records/records.hpp"
#include "run_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/table.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::Console;
using test::golden;
using test::ProgramRun;

const std::string LONG_RUN = "10:00:00.00 10:01:30.50";
const std::string NAME_LINE = "MY PC" + std::string(45, ' ');
const std::string EARLIER = "DEC 3000-600s AXP alpha station                      61440.00    \r\n";

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The table line a value gives, as the program writes it.
std::string table_line(float value) {
  char field[15];
  records::detail::edit_g(field, value, 15, 7);
  return NAME_LINE + " " + std::string(field, 15) + "\r\n";
}

// ---- Interrupts ---------------------------------------------------------------------------

struct Interrupt {
  std::string name;
  std::string input;
  Console console;
  int signal;
  std::string line;   // what standard error gets
  std::string after;  // the console text the signal waits for
  std::string pi_tst;  // what the run log holds afterwards; "-" when there is none
};

// Names the case in test listings.
void PrintTo(const Interrupt& c, std::ostream* os) { *os << c.name; }

class InterruptTest : public testing::TestWithParam<Interrupt> {};

TEST_P(InterruptTest, WritesOutTheFilesAndEndsByTheSignal) {
  const Interrupt& c = GetParam();
  if (c.console == Console::terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run;
  test::write_file(run.path("PI.Tst"), "old log\r\n");
  run.options.signal = c.signal;
  run.options.signal_after = c.after;
  run.options.input_delay_ms = c.input.empty() ? 60000 : 0;  // the answer never comes
  run.start(c.input.empty() ? "4\n" : c.input, c.console);
  EXPECT_EQ(run.result.signal, c.signal) << run.result.out;
  EXPECT_EQ(run.result.err, c.line + "\n");
  EXPECT_EQ(run.file("PI.Tst"), c.pi_tst == "-" ? "old log\r\n" : c.pi_tst);
  if (c.pi_tst != "-") {
    EXPECT_EQ(run.file("PI.OUT"), "");  // opened, its first listing not reached
  }
}

const std::string HEADER_16001 = " Speed test data: dimension is 16001\r\n Start time 10:00:00.00\r\n";

INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    testing::Values(
        Interrupt{"sigint_at_the_prompt", "", Console::pipe, SIGINT, "Ended by signal SIGINT",
                  "Enter number of digits", "-"},
        Interrupt{"sigterm_in_the_calculation", "64000\n", Console::pipe, SIGTERM,
                  "Ended by signal SIGTERM", "Calculating arctg(1/5).", HEADER_16001},
        Interrupt{"sigquit_in_the_calculation", "64000\n", Console::pipe, SIGQUIT,
                  "Ended by signal SIGQUIT", "Calculating arctg(1/5).", HEADER_16001},
        Interrupt{"terminal_closed_in_the_calculation", "64000\n", Console::terminal, SIGHUP,
                  "Ended by signal SIGHUP", "Calculating arctg(1/5).", HEADER_16001},
        Interrupt{"ctrl_c_at_the_terminal_prompt", "", Console::terminal, SIGINT,
                  "Ended by signal SIGINT", "Enter number of digits", "-"}),
    [](const auto& param_info) { return param_info.param.name; });

// The moments that a run cannot be made to hit from outside, in a child of this test: a
// signal that comes while a statement is in progress, and one between the table's update and
// the exit.
class InterruptMomentTest : public testing::Test {
 protected:
  test::InTempDir here_;
};

TEST_F(InterruptMomentTest, ASignalInAStatementWaitsForItsEnd) {
  EXPECT_EXIT(
      {
        platform::start_up();
        test::start_fake_console(false, false);
        records::open_unit(8, "PI.OUT");
        records::begin_write(8, "(' Digits',(T9,2I4.4))", true);
        for (int32_t word = 0; word < 600; ++word) records::put_int32(word);
        platform::hold_interrupts();  // as end_write does: the signal comes while it renders
        ::raise(SIGTERM);
        records::end_write();
        platform::release_interrupts();
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGTERM), "Ended by signal SIGTERM");
  const std::string listing = test::read_file("PI.OUT");
  EXPECT_EQ(listing.size(), 300u * 18u) << "every record of the statement, whole";
  EXPECT_TRUE(ends_with(listing, "05980599\r\n"));
}

TEST_F(InterruptMomentTest, ASignalAfterTheTableUpdateKeepsTheNewLine) {
  test::write_file("tu_mardo.dat", EARLIER + "MY PC\r\n");
  EXPECT_EXIT(
      {
        platform::start_up();
        test::start_fake_console(false, false);
        char name[tu_mardo::NAME_LENGTH];
        tu_mardo::rewrite_last_line(123.4567f, name);
        ::raise(SIGINT);
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGINT), "Ended by signal SIGINT");
  EXPECT_EQ(test::read_file("tu_mardo.dat"), EARLIER + table_line(123.4567f));
}

// ---- Concurrent runs ----------------------------------------------------------------------

// Several runs at once in one directory, each with a value of its own: the table ends as one
// of them left it, every run ends well, and each echoes what it wrote.
void run_at_once(int runs) {
  test::TempDir dir;
  std::string earlier;  // long enough that the runs' reading passes overlap
  for (int i = 0; i < 20000; ++i) earlier += EARLIER;
  // A last line longer than the new one: its tail is cut only after the new line is written.
  const std::string before = earlier + NAME_LINE + std::string(150, '#') + "\r\n";
  test::write_file(dir.file("tu_mardo.dat"), before);
  std::vector<test::ChildResult> results(static_cast<std::size_t>(runs));
  std::vector<std::thread> threads;
  std::vector<std::string> lines;
  for (int i = 0; i < runs; ++i) {
    const float duration = static_cast<float>(2 + i);
    lines.push_back(table_line(tu_mardo::bench_value(4, duration)));
    threads.emplace_back([&, i] {
      test::ChildOptions options;
      options.directory = dir.path();
      options.input = "4\n";
      options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=10:00:00.00 10:00:0" +
                                    std::to_string(2 + i) + ".00");
      results[static_cast<std::size_t>(i)] = test::run_child(TU_MARDO_SCRIPTED_BINARY, options);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const test::ChildResult& result : results) {
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }
  const std::string after = test::read_file(dir.file("tu_mardo.dat"));
  ASSERT_GE(after.size(), earlier.size());
  ASSERT_EQ(after.compare(0, earlier.size(), earlier), 0);
  const std::string last = after.substr(earlier.size());
  EXPECT_NE(std::find(lines.begin(), lines.end(), last), lines.end()) << last;
}

// A run waits while another process holds the table's lock, and goes on once it is free.
TEST(ConcurrentRunTest, ARunWaitsForTheTableLock) {
  test::TempDir dir;
  test::write_file(dir.file("tu_mardo.dat"), "MY PC\r\n");
  const int fd = ::open(dir.file("tu_mardo.dat").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  std::atomic<bool> done{false};
  test::ChildResult result;
  std::thread run([&] {
    test::ChildOptions options;
    options.directory = dir.path();
    options.input = "4\n";
    options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=" + LONG_RUN);
    result = test::run_child(TU_MARDO_SCRIPTED_BINARY, options);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(test::under_cpu_emulator() ? 5000 : 1000));
  EXPECT_FALSE(done);
  EXPECT_EQ(test::read_file(dir.file("tu_mardo.dat")), "MY PC\r\n");
  ::close(fd);  // the lock goes with it
  run.join();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(test::read_file(dir.file("tu_mardo.dat")), table_line(tu_mardo::bench_value(4, 90.5f)));
}

TEST(ConcurrentRunTest, TwoAndFourRunsInOneDirectoryKeepTheTableWhole) {
  for (int round = 0; round < 8; ++round) {
    run_at_once(2);
    run_at_once(4);
    if (HasFailure()) break;
  }
}

// ---- A table that cannot be rewritten safely --------------------------------------------

TEST(TableSafetyTest, AFullFileSystemLeavesTheTableAsItWas) {
  ProgramRun run;
  run.clock = LONG_RUN;
  std::string table;
  for (int i = 0; i < 100; ++i) table += EARLIER;
  table += "MY PC\r\n";  // the new last line is longer: the table must grow
  test::write_file(run.path("tu_mardo.dat"), table);
  run.options.file_size_limit = static_cast<long>(table.size());
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(912));
  EXPECT_TRUE(ends_with(run.result.out,
                        "Error reading/writing benchmark file.\r\nReturn code 912\r\n\r\n"));
  EXPECT_EQ(run.file("tu_mardo.dat"), table);
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

enum class Special { fifo, zero, urandom, null };

struct NotRegular {
  std::string name;
  Special kind;
};

// Names the case in test listings.
void PrintTo(const NotRegular& c, std::ostream* os) { *os << c.name; }

class NotRegularTest : public testing::TestWithParam<NotRegular> {};

TEST_P(NotRegularTest, IsNeitherReadNorWritten) {
  ProgramRun run;
  run.clock = LONG_RUN;
  run.options.timeout_seconds = 60;
  const std::string table = run.path("tu_mardo.dat");
  switch (GetParam().kind) {
    case Special::fifo:
      ASSERT_EQ(::mkfifo(table.c_str(), 0644), 0);
      break;
    case Special::zero:
      ASSERT_EQ(::symlink("/dev/zero", table.c_str()), 0);
      break;
    case Special::urandom:
      ASSERT_EQ(::symlink("/dev/urandom", table.c_str()), 0);
      break;
    case Special::null:
      ASSERT_EQ(::symlink("/dev/null", table.c_str()), 0);
      break;
  }
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(1002));
  EXPECT_TRUE(ends_with(run.result.out, "Error opening Tu_Mardo.Dat\r\nReturn code 1002\r\n\r\n"));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotRegularTest,
                         testing::Values(NotRegular{"fifo", Special::fifo},
                                         NotRegular{"dev_zero", Special::zero},
                                         NotRegular{"dev_urandom", Special::urandom},
                                         NotRegular{"dev_null", Special::null}),
                         [](const auto& param_info) { return param_info.param.name; });

// ---- Standard streams ---------------------------------------------------------------------

TEST(StandardStreamTest, AClosedStandardOutputIsTheNullDevice) {
  // The emulator opens the program on the lowest free descriptor, the closed one.
  if (test::under_cpu_emulator()) GTEST_SKIP() << "the emulator takes the closed descriptor";
  ProgramRun run;
  run.options.stdout_kind = test::Output::closed;
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.file("PI.Tst"), golden("run-4.PI.Tst"));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

TEST(StandardStreamTest, AClosedStandardErrorNeverReceivesTheRunLog) {
  ProgramRun run;
  run.options.stderr_closed = true;
  run.options.file_size_limit = 3072;  // PI.OUT's last block fails at the stop, with a report
  run.start("64001\n3\n1000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(903));
  EXPECT_EQ(run.file("PI.Tst"),
            " Speed test data: dimension is   251\r\n Start time 10:00:00.00\r\n"
            " End time   10:00:00.50\r\n Duration is   5.000000E-01 sec\r\n");
}

TEST(StandardStreamTest, NonBlockingPipesAreWaitedOn) {
  ProgramRun plain;
  plain.start("16000\n", Console::pipe);
  ASSERT_EQ(plain.result.exit_code, 0);
  ProgramRun run;
  run.options.nonblocking = true;
  run.options.input_delay_ms = 300;   // the prompt's read finds nothing at first
  run.options.output_pause_ms = 1500;  // the listings fill the pipe
  run.start("16000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.out, plain.result.out);
  EXPECT_EQ(run.file("PI.OUT"), plain.file("PI.OUT"));
}

// ---- Daylight saving ----------------------------------------------------------------------

TEST(DaylightSavingTest, TheScriptedClockOverBothChanges) {
  for (const std::string& clock : {std::string("01:59:59.00+0100 03:00:01.50+0200"),
                                   std::string("02:59:59.00+0200 02:00:01.50+0100")}) {
    ProgramRun run;
    run.clock = clock;
    test::write_file(run.path("tu_mardo.dat"), "MY PC\r\n");
    run.start("4\n", Console::pipe);
    ASSERT_EQ(run.result.exit_code, 0) << clock;
    EXPECT_NE(run.result.out.find("Duration is       2.500000 sec\r\n"), std::string::npos) << clock;
    EXPECT_EQ(run.file("tu_mardo.dat"), table_line(tu_mardo::bench_value(4, 2.5f))) << clock;
  }
}

// The real clock in a real zone, moved to just before each change by libfaketime.
TEST(DaylightSavingTest, TheRealClockOverBothChangesInBerlin) {
  const std::string library = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  if (test::under_cpu_emulator() || !test::file_exists(library)) {
    GTEST_SKIP() << "needs libfaketime (Debian's faketime) for this CPU";
  }
  // One second before each change (01:59:59 CET, 02:59:59 CEST), as seconds since the epoch:
  // the autumn hour from 02:00 to 03:00 comes twice in local time. The end time's hour shows
  // that the clock passed the change.
  const struct {
    const char* epoch_seconds;
    const char* end_hour;
  } changes[] = {{"1774745999", "03:"}, {"1792889999", "02:"}};
  for (const auto& change : changes) {
    ProgramRun run(TU_MARDO_BINARY);
    // A sanitizer's runtime accepts the preloaded library only when told to.
    run.options.environment = {"TZ=Europe/Berlin", "LD_PRELOAD=" + library, "FAKETIME_FMT=%s",
                               std::string("FAKETIME=@") + change.epoch_seconds,
                               "ASAN_OPTIONS=verify_asan_link_order=0"};
    run.start("16000\n", Console::pipe);
    ASSERT_EQ(run.result.exit_code, 0) << change.epoch_seconds;
    const std::string& out = run.result.out;
    const std::size_t at = out.find("Duration is");
    const std::size_t end = out.find("End time   ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const float duration = std::stof(out.substr(at + 11, 15));
    EXPECT_GT(duration, 0.0f) << change.epoch_seconds;
    EXPECT_LT(duration, 600.0f) << change.epoch_seconds;
    EXPECT_EQ(out.substr(end + 11, 3), change.end_hour) << change.epoch_seconds;
  }
}

// ---- Names in another case ----------------------------------------------------------------

TEST(NameCaseTest, TheOneFileThatMatchesWithoutRegardToCaseIsUsed) {
  ProgramRun run;
  run.clock = LONG_RUN;
  test::write_file(run.path("Tu_Mardo.Dat"), "MY PC\r\n");
  test::write_file(run.path("pi.tst"), "old log\r\n");
  test::write_file(run.path("Pi.Out"), std::string(5000, 'o'));
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.file("Tu_Mardo.Dat"), table_line(tu_mardo::bench_value(4, 90.5f)));
  EXPECT_EQ(run.file("Pi.Out"), golden("run-4.PI.OUT"));
  EXPECT_NE(run.file("pi.tst").find(" Duration is      90.500000 sec\r\n"), std::string::npos);
  for (const char* exact : {"tu_mardo.dat", "PI.Tst", "PI.OUT"}) EXPECT_FALSE(run.exists(exact));
}

TEST(NameCaseTest, TwoMatchesLeaveTheExactName) {
  ProgramRun run;
  run.clock = LONG_RUN;
  test::write_file(run.path("Tu_Mardo.Dat"), "ONE\r\n");
  test::write_file(run.path("TU_MARDO.DAT"), "TWO\r\n");
  run.start("4\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0);
  EXPECT_EQ(run.file("Tu_Mardo.Dat"), "ONE\r\n");
  EXPECT_EQ(run.file("TU_MARDO.DAT"), "TWO\r\n");
  EXPECT_TRUE(run.exists("tu_mardo.dat"));
}

}  // namespace

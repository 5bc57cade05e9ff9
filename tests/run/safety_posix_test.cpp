// Nothing lost, end to end on POSIX systems: interrupts, the table's lock, a full file system,
// a table that is no regular file, closed and non-blocking standard streams, the real clock over
// daylight-saving changes, and two names that differ only in case. In-process where a moment
// must be hit exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "platform/platform.hpp"
#include "platform/posix_io.hpp"
#include "records/records.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "safety_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/table.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::PrintTo;

using test::Console;
using test::EARLIER;
using test::ends_with;
using test::golden;
using test::LONG_RUN;
using test::LONG_RUN_LINE;
using test::NAME_LINE;
using test::ProgramRun;

// ---- Interrupts ---------------------------------------------------------------------------

struct Interrupt {
  std::string name;
  std::string input;
  Console console;
  int signal;
  std::string line;    // what standard error gets
  std::string after;   // the console text the signal waits for
  std::string pi_tst;  // what the run log holds afterwards; "-" when there is none
};

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

const std::string HEADER_16001 =
    " Speed test data: dimension is 16001\r\n Start time 10:00:00.00\r\n";

INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    testing::Values(Interrupt{"sigint_at_the_prompt", "", Console::pipe, SIGINT,
                              "Ended by signal SIGINT", "Enter number of digits", "-"},
                    Interrupt{"sigterm_in_the_calculation", "64000\n", Console::pipe, SIGTERM,
                              "Ended by signal SIGTERM", "Calculating arctg(1/5).", HEADER_16001},
                    Interrupt{"sigquit_in_the_calculation", "64000\n", Console::pipe, SIGQUIT,
                              "Ended by signal SIGQUIT", "Calculating arctg(1/5).", HEADER_16001},
                    Interrupt{"terminal_closed_in_the_calculation", "64000\n", Console::terminal,
                              SIGHUP, "Ended by signal SIGHUP", "Calculating arctg(1/5).",
                              HEADER_16001},
                    Interrupt{"ctrl_c_at_the_terminal_prompt", "", Console::terminal, SIGINT,
                              "Ended by signal SIGINT", "Enter number of digits", "-"}),
    test::row_name);

// An interrupt ends the run within a second whatever it waits on: a write to a pipe nobody
// reads, to a FIFO PI.OUT nobody reads (inside the timed interval), to a terminal stopped with
// Ctrl-S; and the CPU time limit's signal. The unit that blocks is given up, the others are
// written out (the run log's header), and the process ends by the signal.
enum class Blocker { unread_pipe, unread_fifo, stopped_terminal, cpu_limit };

struct Blocked {
  std::string name;
  Blocker blocker;
  int signal;
  std::string signal_name;
};

class BlockedInterruptTest : public testing::TestWithParam<Blocked> {};

TEST_P(BlockedInterruptTest, EndsTheRunAtOnce) {
  const Blocked& c = GetParam();
  const bool terminal = c.blocker == Blocker::stopped_terminal;
  if (terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run;
  run.options.signal = c.blocker == Blocker::cpu_limit ? 0 : c.signal;
  run.options.signal_after = "Calculating arctg(1/5).";
  run.options.signal_delay_ms = 1500;  // the first listing has filled what nobody reads
  int fifo_reader = -1;
  switch (c.blocker) {
    case Blocker::unread_pipe:
      run.options.stdout_pipe_size = 4096;
      run.options.output_pause_ms = 600000;
      run.options.signal_after.clear();
      break;
    case Blocker::unread_fifo:
      ASSERT_EQ(::mkfifo(run.path("PI.OUT").c_str(), 0644), 0);
      fifo_reader = ::open(run.path("PI.OUT").c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(fifo_reader, 0);
      ::fcntl(fifo_reader, F_SETPIPE_SZ, 4096);
      break;
    case Blocker::stopped_terminal:
      run.options.stop_terminal_after = run.options.signal_after;
      break;
    case Blocker::cpu_limit:
      run.options.cpu_limit_seconds = 1;
      break;
  }
  run.start(c.blocker == Blocker::cpu_limit ? "64000\n" : "16000\n",
            terminal ? Console::terminal : Console::pipe);
  if (fifo_reader >= 0) ::close(fifo_reader);
  EXPECT_EQ(run.result.signal, c.signal) << run.result.err;
  EXPECT_EQ(run.result.err, "Ended by signal " + c.signal_name + "\n");
  const std::string dimension = c.blocker == Blocker::cpu_limit ? "16001" : " 4001";
  EXPECT_EQ(run.file("PI.Tst"),
            " Speed test data: dimension is " + dimension + "\r\n Start time 10:00:00.00\r\n");
  // A hung run would wait for the harness's timeout; this one ends at once (or, where the
  // signal came just before the call that blocks, at the next second's alarm).
  if (run.options.signal != 0) {
    EXPECT_LT(run.result.signal_to_end_ms, 5000);
    std::cout << c.name << ": ended " << run.result.signal_to_end_ms << " ms after the signal"
              << std::endl;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Blockers, BlockedInterruptTest,
    testing::Values(Blocked{"unread_pipe_sigint", Blocker::unread_pipe, SIGINT, "SIGINT"},
                    Blocked{"unread_pipe_sigterm", Blocker::unread_pipe, SIGTERM, "SIGTERM"},
                    Blocked{"unread_fifo_sigint", Blocker::unread_fifo, SIGINT, "SIGINT"},
                    Blocked{"unread_fifo_sigterm", Blocker::unread_fifo, SIGTERM, "SIGTERM"},
                    Blocked{"stopped_terminal_ctrl_c", Blocker::stopped_terminal, SIGINT, "SIGINT"},
                    Blocked{"stopped_terminal_sigterm", Blocker::stopped_terminal, SIGTERM,
                            "SIGTERM"},
                    Blocked{"cpu_limit", Blocker::cpu_limit, SIGXCPU, "SIGXCPU"}),
    test::row_name);

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

// A signal that comes while a statement holds interrupts, just before one of its writes blocks
// (a pipe nobody reads): the alarm the handler set cuts the write short within a second, and the
// run ends by the signal. (A child that still waits after ten seconds ends otherwise.)
TEST_F(InterruptMomentTest, AWriteThatBlocksAfterAHeldSignalIsGivenUp) {
  EXPECT_EXIT(
      {
        std::thread([] {
          std::this_thread::sleep_for(std::chrono::seconds(10));
          std::_Exit(99);
        }).detach();
        platform::start_up();
        int ends[2];
        if (::pipe(ends) != 0) std::_Exit(98);
        ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
        while (::write(ends[1], "x", 1) == 1) {
        }
        ::fcntl(ends[1], F_SETFL, 0);  // full, and a write now blocks
        platform::hold_interrupts();
        ::raise(SIGTERM);
        (void)platform::posix::write_all(ends[1], "x", 1);
        platform::release_interrupts();
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGTERM), "Ended by signal SIGTERM");
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
  EXPECT_EQ(test::read_file("tu_mardo.dat"), EARLIER + test::value_line("   123.4567    "));
}

// A signal the program's parent left ignored (nohup, a shell's background job) stays ignored:
// a hang-up at the prompt does not end the run.
TEST(IgnoredSignalTest, AHangUpTheParentIgnoredLeavesTheRunGoing) {
  ProgramRun run;
  run.options.ignored_signals = {SIGHUP};
  run.options.signal = SIGHUP;
  run.options.signal_after = "Enter number of digits";
  run.options.input_delay_ms = 1500;
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.out, golden("run-4-pipe.stdout"));
}

// Ctrl-C while the run waits for another's lock ends the wait and the run, by the signal.
TEST(ConcurrentRunTest, AnInterruptEndsTheWaitForALock) {
  ProgramRun run;
  const int fd = ::open(run.path("PI.Tst").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  run.options.signal = SIGINT;
  run.options.signal_after = "has been accepted.";
  run.options.signal_delay_ms = 300;
  run.options.timeout_seconds = 30;  // the lock stays held: a deaf wait ends only by the timeout
  run.start("4\n", Console::pipe);
  ::close(fd);
  EXPECT_EQ(run.result.signal, SIGINT);
  EXPECT_EQ(run.result.err,
            "Waiting for the run that holds PI.Tst to end.\nEnded by signal SIGINT\n");
}

// ---- The table

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
  EXPECT_EQ(test::read_file(dir.file("tu_mardo.dat")), LONG_RUN_LINE);
}

// An editor saves the table under its name (a new file renamed over it) while the run waits for
// the lock: the run writes its value into the new table, not into the file that went away.
TEST(ConcurrentRunTest, ATableReplacedDuringTheWaitIsOpenedAgain) {
  test::TempDir dir;
  const std::string table = dir.file("tu_mardo.dat");
  test::write_file(table, "OLD PC\r\n");
  const int fd = ::open(table.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &lock), 0);
  test::ChildResult result;
  std::thread run([&] {
    test::ChildOptions options;
    options.directory = dir.path();
    options.input = "4\n";
    options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=" + LONG_RUN);
    result = test::run_child(TU_MARDO_SCRIPTED_BINARY, options);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(test::under_cpu_emulator() ? 5000 : 1000));
  test::write_file(dir.file("saved"), EARLIER + "MY PC\r\n");
  ASSERT_EQ(::rename(dir.file("saved").c_str(), table.c_str()), 0);
  ::close(fd);
  run.join();
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "Waiting for the run that holds tu_mardo.dat to end.\n");
  EXPECT_EQ(test::read_file(table), EARLIER + LONG_RUN_LINE);
}

// Two directories whose PI.OUT is the other's PI.Tst, their runs started together, and every
// lock call slowed to 0.3 s where the tests can (a network file system, a loaded machine): each
// run takes its locks in the one order of all files, so they never wait for each other in a
// circle, nor give up and retry in step for ever; both end, each saying at most once that it
// waits.
TEST(ConcurrentRunTest, RunsWhoseFilesLeadToEachOtherBothEnd) {
  test::TempDir a, b;
  ASSERT_EQ(::symlink(b.file("PI.Tst").c_str(), a.file("PI.OUT").c_str()), 0);
  ASSERT_EQ(::symlink(a.file("PI.Tst").c_str(), b.file("PI.OUT").c_str()), 0);
  test::write_file(a.file("PI.Tst"), "");  // no link dangles while the other run starts
  test::write_file(b.file("PI.Tst"), "");
  test::ChildResult first, second;
  auto start = [](const test::TempDir& dir, test::ChildResult& result) {
    return std::thread([&dir, &result] {
      test::ChildOptions options;
      options.directory = dir.path();
      options.input = "1000\n";
      options.timeout_seconds = 60;
#if defined(CALL_FAULTS_LIBRARY)
      options.environment = {"LD_PRELOAD=" CALL_FAULTS_LIBRARY, "TU_MARDO_CALL_SLOW=lock 300"};
#endif
      result = test::run_child(TU_MARDO_SCRIPTED_BINARY, options);
    });
  };
  std::thread run_a = start(a, first);
  std::thread run_b = start(b, second);
  run_a.join();
  run_b.join();
  for (const test::ChildResult* result : {&first, &second}) {
    EXPECT_EQ(result->exit_code, 0) << result->err;
    EXPECT_TRUE(result->err.empty() || result->err.find("Waiting for the run that holds ") == 0)
        << result->err;
    EXPECT_LE(std::count(result->err.begin(), result->err.end(), '\n'), 1) << result->err;
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

// A table whose update shrinks it (its last line is longer than the new one): the update puts
// a new file in its place, or, where that cannot be done faithfully, writes it in place.
const std::string SHRINKING = EARLIER + NAME_LINE + " " + std::string(100, '#') + "\r\n";

// What a table is beside its bytes.
struct Identity {
  struct stat status {};
  std::map<std::string, std::string> attributes;  // extended ones, access control lists among them
  int flags = 0;                                  // the inode's (chattr)
  bool operator==(const Identity& other) const {
    return status.st_uid == other.status.st_uid && status.st_gid == other.status.st_gid &&
           status.st_mode == other.status.st_mode && attributes == other.attributes &&
           flags == other.flags;
  }
};

Identity identity_of(const std::string& path) {
  Identity identity;
  ::stat(path.c_str(), &identity.status);
  if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    (void)::ioctl(fd, FS_IOC_GETFLAGS, &identity.flags);
    ::close(fd);
  }
  char names[4096], value[4096];
  const ssize_t listed = ::listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at > -1 && at < listed;
       at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const ssize_t size = ::getxattr(path.c_str(), names + at, value, sizeof value);
    identity.attributes[names + at] =
        std::string(value, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
  }
  return identity;
}

constexpr gid_t NONE = static_cast<gid_t>(-1);
constexpr gid_t STAFF = 50;

struct Kept {
  std::string name;
  gid_t group;                 // the table's group (staff: 50), or -1 to leave it
  bool acl;                    // an entry for the user nobody
  bool attribute;              // user.note
  gid_t directory_group;       // a setgid directory of this group, or -1
  bool unprivileged;           // the run as the user nobody, whose table it is
  int open_files;              // a limit on descriptors, or 0
  std::string chattr;          // the inode's flags, as chattr sets them
  bool directory_acl = false;  // the directory gives new files an access control list
};

class KeptIdentityTest : public testing::TestWithParam<Kept> {};

// The table comes back with its bytes new and everything else as it was: owner, group,
// permissions, access control list and extended attributes; the program leaves no file of its
// own behind.
TEST_P(KeptIdentityTest, AShrinkingUpdateKeepsWhatTheTableWas) {
  const Kept& c = GetParam();
  if (::geteuid() != 0) GTEST_SKIP() << "sets groups and owners: needs root";
  if (c.open_files > 0 && test::under_cpu_emulator())
    GTEST_SKIP() << "the emulator needs descriptors";
#if defined(__SANITIZE_ADDRESS__)
  if (c.open_files > 0) GTEST_SKIP() << "a sanitizer's runtime needs descriptors of its own";
#endif
  ProgramRun run;
  run.clock = LONG_RUN;
  const std::string table = run.path("tu_mardo.dat");
  test::write_file(table, SHRINKING);
  ASSERT_EQ(::chmod(table.c_str(), 0664), 0);
  const std::string directory = table.substr(0, table.rfind('/'));
  if (c.unprivileged) {
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::chown(table.c_str(), nobody->pw_uid, static_cast<gid_t>(-1)), 0);
    run.options.unprivileged = true;
  }
  if (c.group != NONE) {
    ASSERT_EQ(::chown(table.c_str(), static_cast<uid_t>(-1), c.group), 0);
  }
  if (c.directory_group != NONE) {
    ASSERT_EQ(::chown(directory.c_str(), static_cast<uid_t>(-1), c.directory_group), 0);
    ASSERT_EQ(::chmod(directory.c_str(), 02777), 0);
  }
  if (c.attribute && ::setxattr(table.c_str(), "user.note", "kept", 4, 0) != 0) {
    GTEST_SKIP() << "no extended attributes here";
  }
  if (c.acl && std::system(("setfacl -m u:nobody:rw " + table + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no setfacl (Debian's acl) or no access control lists here";
  }
  if (c.directory_acl &&
      std::system(("setfacl -d -m u:nobody:r " + directory + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no setfacl (Debian's acl) or no access control lists here";
  }
  if (!c.chattr.empty() &&
      std::system(("chattr " + c.chattr + " " + table + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no chattr, or no inode flags on this file system";
  }
  run.options.open_files_limit = c.open_files;
  const Identity before = identity_of(table);
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.file("tu_mardo.dat"), EARLIER + LONG_RUN_LINE);
  const Identity after = identity_of(table);
  // Replaced by a new file, but where the README says it is written in place: a table of a
  // group its user is no member of, no descriptor for the directory or the new file.
  EXPECT_EQ(after.status.st_ino != before.status.st_ino, !c.unprivileged && c.open_files == 0);
  EXPECT_TRUE(after == before) << "group " << after.status.st_gid << ", mode " << std::oct
                               << after.status.st_mode << ", " << after.attributes.size()
                               << " attributes";
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    entries.insert(entry.path().filename().string());
  }
  EXPECT_EQ(entries, (std::set<std::string>{"PI.OUT", "PI.Tst", "tu_mardo.dat"}));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, KeptIdentityTest,
    testing::Values(Kept{"plain", NONE, false, false, NONE, false, 0, ""},
                    Kept{"group_acl_attribute", STAFF, true, true, NONE, false, 0, ""},
                    Kept{"setgid_directory", NONE, false, false, STAFF, false, 0, ""},
                    // The user's table of a group it is no member of: written in place.
                    Kept{"other_group_unprivileged", STAFF, false, false, NONE, true, 0, ""},
                    // No descriptor for the directory, or none for the new file: in place.
                    Kept{"six_descriptors", NONE, false, false, NONE, false, 6, ""},
                    Kept{"seven_descriptors", NONE, false, false, NONE, false, 7, ""},
                    // Synchronous writes, no dump, no access times.
                    Kept{"inode_flags", NONE, false, false, NONE, false, 0, "+SdA"},
                    // The directory's default list, which the new file gets, must go again.
                    Kept{"default_acl_directory", NONE, false, false, NONE, false, 0, "", true}),
    test::row_name);

struct Leftover {
  std::string name;
  std::string entry;  // a file or, ending in '/', a directory in the table's directory
  bool removed;       // by the update
};

class LeftoverTest : public testing::TestWithParam<Leftover> {};

// What a run killed while it replaced the table left is removed by the next update, growing or
// shrinking; a file or directory of anyone else's stays, and never stands in the way.
TEST_P(LeftoverTest, OnlyTheProgramsOwnGo) {
  const Leftover& c = GetParam();
  for (const std::string& before : {SHRINKING, EARLIER + "MY PC\r\n"}) {
    ProgramRun run;
    run.clock = LONG_RUN;
    test::write_file(run.path("tu_mardo.dat"), before);
    const bool directory = c.entry.back() == '/';
    const std::string entry = run.path(directory ? c.entry.substr(0, c.entry.size() - 1) : c.entry);
    if (directory) {
      ASSERT_EQ(::mkdir(entry.c_str(), 0755), 0);
    } else {
      test::write_file(entry, "someone's\r\n");
    }
    run.start("4\n", Console::pipe);
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_EQ(run.file("tu_mardo.dat"), (before == SHRINKING ? EARLIER : EARLIER) + LONG_RUN_LINE);
    EXPECT_EQ(test::file_exists(entry), !c.removed) << c.entry;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LeftoverTest,
    testing::Values(
        Leftover{"own_leftover", ".tu_mardo.dat.0123456789ab.replacing", true},
        Leftover{"users_file_of_the_old_name", "tu_mardo.dat.replacing", false},
        Leftover{"users_file_of_another_table", ".other.dat.0123456789ab.replacing", false},
        Leftover{"directory_of_the_own_name", ".tu_mardo.dat.0123456789ab.replacing/", false}),
    test::row_name);

enum class Special { fifo, zero, urandom, null };

struct NotRegular {
  std::string name;
  Special kind;
};

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
                         test::row_name);

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

// The descriptor of a closed standard error is the null device's, never the run log's: the
// signal's line does not land in PI.Tst.
TEST(StandardStreamTest, AClosedStandardErrorNeverReceivesTheSignalLine) {
  ProgramRun run;
  run.options.stderr_closed = true;
  run.options.signal = SIGTERM;
  run.options.signal_after = "Calculating arctg(1/5).";
  run.start("64000\n", Console::pipe);
  EXPECT_EQ(run.result.signal, SIGTERM);
  EXPECT_EQ(run.file("PI.Tst"), HEADER_16001);
}

TEST(StandardStreamTest, NonBlockingPipesAreWaitedOn) {
  // 4000 digits list about 16 KB, four pipes full: enough under an emulator.
  const char* answer = test::under_cpu_emulator() ? "4000\n" : "16000\n";
  ProgramRun plain;
  plain.start(answer, Console::pipe);
  ASSERT_EQ(plain.result.exit_code, 0);
  ProgramRun run;
  run.options.nonblocking = true;
  run.options.input_delay_ms = 300;    // the prompt's read finds nothing at first
  run.options.output_pause_ms = 1500;  // the listings fill the pipe, made small, many times
  run.options.stdout_pipe_size = 4096;
  run.start(answer, Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.out, plain.result.out);
  EXPECT_EQ(run.file("PI.OUT"), plain.file("PI.OUT"));
}

// The real clock in a real zone, moved to just before each change by libfaketime.
TEST(DaylightSavingTest, TheRealClockOverBothChangesInBerlin) {
  const std::string library = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  if (test::under_cpu_emulator() || !test::file_exists(library)) {
    GTEST_SKIP() << "needs libfaketime (Debian's faketime) for this CPU";
  }
  // One second before each change (01:59:59 CET, 02:59:59 CEST), as seconds since the epoch:
  // the autumn hour from 02:00 to 03:00 comes twice in local time; and one second before local
  // midnight and before UTC midnight (23:59:59 and 00:59:59 CET), where the local date and
  // UTC's differ. The end time's hour shows that the clock passed the change.
  const struct {
    const char* epoch_seconds;
    const char* end_hour;
  } changes[] = {
      {"1774745999", "03:"}, {"1792889999", "02:"}, {"1768517999", "00:"}, {"1768521599", "01:"}};
  for (const auto& change : changes) {
    ProgramRun run(TU_MARDO_BINARY);
    // A sanitizer's runtime accepts the preloaded library only when told to.
    run.options.environment = {"TZ=Europe/Berlin", "LD_PRELOAD=" + library, "FAKETIME_FMT=%s",
                               std::string("FAKETIME=@") + change.epoch_seconds,
                               "ASAN_OPTIONS=verify_asan_link_order=0"};
    run.start("16000\n", Console::pipe);
    // A run that other programs kept from the processor records no value (906), its times
    // are what they are.
    const int status = run.result.exit_code;
    ASSERT_TRUE(status == 0 || status == test::status_seen(906)) << change.epoch_seconds;
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

// A real run stopped in its timed interval (Ctrl-Z and fg, or SIGSTOP and SIGCONT) records no
// value: the wall clock counted the stop, the process did not have the processor.
TEST(TimeHadTest, AStoppedRunRecordsNoValue) {
  ProgramRun run(TU_MARDO_BINARY);
  test::write_file(run.path("tu_mardo.dat"), NAME_LINE);
  run.options.signal = SIGSTOP;
  run.options.signal_after = "Calculating arctg(1/5).";
  run.options.continue_after_ms = 1500;
  run.start(test::under_cpu_emulator() ? "4000\n" : "16000\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(906)) << run.result.err;
  EXPECT_EQ(run.result.err.rfind("The run was stopped or kept waiting for the processor for ", 0),
            0u)
      << run.result.err;
  EXPECT_TRUE(ends_with(run.result.out, "\r\nReturn code 906\r\n\r\n"));
  EXPECT_EQ(run.file("tu_mardo.dat"), NAME_LINE);
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

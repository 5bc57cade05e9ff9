// Every real file call of a whole run, failed and killed one at a time: the program as shipped
// (its POSIX file half, with the scripted clock) runs with call_faults.cpp preloaded, once per
// call of each kind with each error the system gives there and once killed there, into run
// files longer than the new ones and a table that grows, keeps its size, shrinks, or is reached
// through a hard or a symbolic link. After every run each file must be what the README's
// failure table allows:
// - the table (and what links to it) the old one or the new one, byte for byte (a linked table
//   killed between its write and its cut: the new line and the old rest, as documented);
// - PI.Tst and PI.OUT the old file or a prefix of the new one, never old bytes behind new ones;
// - status 0 only with every file new; no file of the program's own left behind, but after a
//   kill, and then removed by the next run, which writes every file new.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "child_process.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "safety_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::PrintTo;

// The errors each kind of call can meet (call_faults.cpp's kinds, in its order). Every kind also
// meets EINTR with no signal caught, as a network or FUSE file system returns it: once (the
// call is made again) and from a call on (then it is the failure it says).
const std::vector<std::pair<std::string, std::vector<std::string>>> ERRORS = {
    {"open", {"EMFILE", "ENOSPC", "EIO", "EACCES"}},
    {"read", {"EIO"}},
    {"write", {"ENOSPC", "EDQUOT", "EFBIG", "EIO"}},
    {"pread", {"EIO"}},
    {"lseek", {"EIO"}},
    {"fallocate", {"ENOSPC", "EDQUOT", "EFBIG", "EIO", "EOPNOTSUPP"}},
    {"ftruncate", {"EIO", "EFBIG", "EPERM"}},
    {"fsync", {"EIO", "ENOSPC", "EDQUOT"}},
    {"fstat", {"EIO", "ESTALE", "EOVERFLOW"}},
    {"stat", {"EIO", "ESTALE", "EACCES"}},
    {"lstat", {"EIO", "ESTALE", "EACCES"}},
    {"fcntl", {"EIO"}},
    {"lock", {"ENOLCK", "EIO", "EDEADLK"}},
    {"rename", {"EIO", "ENOSPC", "EDQUOT", "EBUSY"}},
    {"unlink", {"EIO", "EBUSY"}},
    {"close", {"EIO"}},
    {"fchmod", {"EPERM", "EIO"}},
    {"fchown", {"EPERM", "EIO"}},
    {"opendir", {"EMFILE", "EIO"}},
    {"readdir", {"EIO"}},
    {"xattr", {"EIO", "ENOTSUP", "ENOSPC", "EDQUOT", "EPERM"}},
};

const std::string LONG_OLD = std::string(5000, 'o') + "\r\n";
const std::string GROWING = test::EARLIER + "MY PC\r\n";
const std::string EQUAL = test::EARLIER + test::NAME_LINE + "    1.000000    \r\n";
const std::string SHRINKING = test::EARLIER + test::NAME_LINE + std::string(100, '#') + "\r\n";

enum class Link { none, hard, symbolic };

struct Shape {
  std::string name;
  std::string table;
  Link link;
  bool run_files = true;  // PI.Tst and PI.OUT there before, longer than the new ones
};

// What must never happen, as the library counts it: a file closed or renamed with writes not
// synced, a name replaced while no descriptor of the file it named held the lock, a name made
// whose directory was not synced since.
constexpr int SLIPS = 4;

struct Files {
  test::ChildResult result;
  long slips[SLIPS] = {};
  std::string pi_tst, pi_out, table;
  std::set<std::string> entries;  // of the directory
  bool link_kept = true;          // a linked table is still reached through its link
  std::string note;               // the table's extended attribute user.note
};

// Every table of the sweep carries an extended attribute, which it must keep.
const std::string NOTE = "kept";

std::string library() { return CALL_FAULTS_LIBRARY; }

class CallSweep {
 public:
  explicit CallSweep(const Shape& shape) : shape_(shape) {}

  // One run, in a directory set up anew; `counts` receives the calls made of each kind.
  Files run(const std::string& fault, std::map<std::string, long>* counts = nullptr,
            const std::string& environment = "") {
    test::ProgramRun run;
    set_up(run);
    if (!environment.empty()) run.options.environment.push_back(environment);
    Files files = start(run, fault, counts);
    if (fault.find(" kill") != std::string::npos) {
      // The next run tidies up after the killed one and writes everything new.
      next_ = start(run, "", nullptr);
    }
    return files;
  }

  Files next_;

 private:
  void set_up(test::ProgramRun& run) {
    if (shape_.run_files) {
      test::write_file(run.path("PI.Tst"), LONG_OLD);
      test::write_file(run.path("PI.OUT"), LONG_OLD);
    }
    const std::string table = run.path("tu_mardo.dat");
    if (shape_.link == Link::symbolic) {
      test::write_file(run.path("target.dat"), shape_.table);
      ASSERT_EQ(::symlink("target.dat", table.c_str()), 0);
    } else {
      test::write_file(table, shape_.table);
    }
    (void)::setxattr(table.c_str(), "user.note", NOTE.data(), NOTE.size(), 0);
    if (shape_.link == Link::hard) {
      ASSERT_EQ(::link(table.c_str(), run.path("other.dat").c_str()), 0);
    }
  }

  Files start(test::ProgramRun& run, const std::string& fault,
              std::map<std::string, long>* counts) {
    test::TempDir elsewhere;
    const std::string count_file = elsewhere.file("counts");
    run.clock = test::LONG_RUN;
    run.options.environment.push_back("LD_PRELOAD=" + library());
    run.options.environment.push_back("TU_MARDO_CALL_COUNTS=" + count_file);
    if (!fault.empty()) run.options.environment.push_back("TU_MARDO_CALL_FAULT=" + fault);
    run.start("4\n", test::Console::pipe);
    run.options.environment.clear();
    Files files;
    files.result = run.result;
    files.pi_tst = run.exists("PI.Tst") ? run.file("PI.Tst") : "-";
    files.pi_out = run.exists("PI.OUT") ? run.file("PI.OUT") : "-";
    files.table = run.exists("tu_mardo.dat") ? run.file("tu_mardo.dat") : "-";
    for (const auto& entry : std::filesystem::directory_iterator(run.path("."))) {
      files.entries.insert(entry.path().filename().string());
    }
    char note[16];
    const ssize_t noted =
        ::getxattr(run.path("tu_mardo.dat").c_str(), "user.note", note, sizeof note);
    files.note.assign(note, static_cast<std::size_t>(std::max<ssize_t>(noted, 0)));
    struct stat status {};
    if (shape_.link == Link::symbolic) {
      files.link_kept =
          ::lstat(run.path("tu_mardo.dat").c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    }
    if (shape_.link == Link::hard) {
      files.link_kept = run.file("other.dat") == files.table;
    }
    std::ifstream in(count_file, std::ios::binary);
    for (const auto& [kind, errors] : ERRORS) {
      long count = 0;
      in.read(reinterpret_cast<char*>(&count), sizeof count);
      if (counts != nullptr) (*counts)[kind] = count;
    }
    in.read(reinterpret_cast<char*>(files.slips), sizeof files.slips);
    return files;
  }

  const Shape& shape_;
};

bool old_or_prefix(const std::string& after, const std::string& before, const std::string& done) {
  return after == before || done.compare(0, after.size(), after) == 0;
}

class CallSweepTest : public testing::TestWithParam<Shape> {};

TEST_P(CallSweepTest, EveryCallFailedOrKilledLeavesEveryFileAsTheReadmeSays) {
  if (test::under_cpu_emulator() || !test::file_exists(library())) {
    GTEST_SKIP() << "needs the preloaded library on the build's own CPU";
  }
  const Shape& shape = GetParam();
  CallSweep sweep(shape);
  std::map<std::string, long> counts;
  const Files right = sweep.run("", &counts);
  ASSERT_EQ(right.result.exit_code, 0) << right.result.err;
  ASSERT_TRUE(right.link_kept);
  ASSERT_NE(right.table, shape.table);
  ASSERT_GT(counts["write"], 10) << "the library saw no calls";
  ASSERT_TRUE(right.note.empty() || right.note == NOTE) << "no attributes here, or kept";
  const std::set<std::string> entries = right.entries;

  std::map<std::string, int> outcomes;
  int cases = 0;
  for (const auto& [kind, errors] : ERRORS) {
    std::vector<std::string> ways = errors;
    ways.push_back("EINTR");
    ways.push_back("EINTR onward");
    ways.push_back("kill");
    for (long k = 1; k <= counts[kind]; ++k) {
      for (const std::string& way : ways) {
        // "EINTR onward": the k-th call and every later one of the kind.
        const bool onward = way == "EINTR onward";
        const std::string how = onward ? "EINTR" : way;
        const std::string fault = kind + " " + std::to_string(k) + (onward ? "+ " : " ") + how;
        SCOPED_TRACE(shape.name + ": " + fault);
        const Files o = sweep.run(fault);
        ++cases;
        // A linked table cannot be replaced by a new file: it is written, then cut, and a kill
        // between the two leaves the new line followed by the rest of the old table.
        const bool cut_pending = shape.link != Link::none && how == "kill" &&
                                 o.table == right.table + shape.table.substr(right.table.size());
        EXPECT_TRUE(o.table == shape.table || o.table == right.table || cut_pending) << o.table;
        EXPECT_TRUE(o.link_kept);
        EXPECT_TRUE(o.table != right.table || o.note == right.note) << "the table's attribute";
        EXPECT_TRUE(old_or_prefix(o.pi_tst, LONG_OLD, right.pi_tst)) << o.pi_tst.size();
        EXPECT_TRUE(old_or_prefix(o.pi_out, LONG_OLD, right.pi_out)) << o.pi_out.size();
        std::string outcome;
        if (how == "kill") {
          EXPECT_EQ(o.result.signal, SIGKILL);
          EXPECT_EQ(sweep.next_.result.exit_code, 0) << sweep.next_.result.err;
          EXPECT_EQ(sweep.next_.entries, entries);
          EXPECT_TRUE(sweep.next_.pi_tst == right.pi_tst && sweep.next_.pi_out == right.pi_out);
          outcome = "killed";
        } else {
          EXPECT_EQ(o.entries, entries);
          if (o.result.exit_code == 0) {
            EXPECT_TRUE(o.table == right.table && o.pi_tst == right.pi_tst &&
                        o.pi_out == right.pi_out)
                << "status 0 with a file that is not new";
            // Every file synced, names too (a lock the file system refused is no slip here).
            for (int slip : {0, 1, 3}) EXPECT_EQ(o.slips[slip], 0) << "slip " << slip;
            outcome = "recovered";
          } else {
            EXPECT_NE(o.result.signal, SIGKILL);
            outcome = "status " + std::to_string(o.result.exit_code);
          }
        }
        ++outcomes[outcome];
        if (HasFailure()) return;
      }
    }
  }
  std::ostringstream summary;
  summary << shape.name << ": " << cases << " cases;";
  for (const auto& [outcome, count] : outcomes) summary << " " << count << " " << outcome << ";";
  std::cout << summary.str() << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Tables, CallSweepTest,
                         testing::Values(Shape{"growing", GROWING, Link::none},
                                         Shape{"equal", EQUAL, Link::none},
                                         Shape{"shrinking", SHRINKING, Link::none},
                                         Shape{"hard_linked", SHRINKING, Link::hard},
                                         Shape{"symlinked", SHRINKING, Link::symbolic}),
                         test::row_name);

// Every file the program wrote is synced before it is closed or takes another's name, and a
// name is replaced only while the run holds the lock of the file it names: on a first run, and
// for a table that grows and one that shrinks.
TEST(CallOrderTest, WrittenFilesAreSyncedAndNamesReplacedUnderTheLock) {
  if (test::under_cpu_emulator() || !test::file_exists(library())) GTEST_SKIP();
  const Shape shapes[] = {{"first_run", GROWING, Link::none, false},
                          {"growing", GROWING, Link::none, true},
                          {"shrinking", SHRINKING, Link::none, true}};
  for (const Shape& shape : shapes) {
    CallSweep sweep(shape);
    std::map<std::string, long> counts;
    const Files right = sweep.run("", &counts);
    ASSERT_EQ(right.result.exit_code, 0) << right.result.err;
    EXPECT_EQ(counts["rename"], shape.table == SHRINKING ? 1 : 0) << shape.name;
    EXPECT_EQ(right.slips[0], 0) << shape.name << ": closed with writes not synced";
    EXPECT_EQ(right.slips[1], 0) << shape.name << ": renamed with writes not synced";
    EXPECT_EQ(right.slips[2], 0) << shape.name << ": a name replaced without the lock";
    EXPECT_EQ(right.slips[3], 0) << shape.name << ": a name made, its directory not synced";
  }
}

// A file system without record locks (ENOLCK at every lock): the run says so for each file and
// goes on without them.
TEST(CallOrderTest, AFileSystemWithoutLocksIsUsedWithout) {
  if (test::under_cpu_emulator() || !test::file_exists(library())) GTEST_SKIP();
  const Shape shape{"growing", GROWING, Link::none};
  CallSweep sweep(shape);
  const Files right = sweep.run("");
  const Files o = sweep.run("lock all ENOLCK");
  EXPECT_EQ(o.result.exit_code, 0) << o.result.out.substr(o.result.out.size() - 100);
  const std::string without =
      " cannot be locked here (No locks available); the run goes on "
      "without the lock.\n";
  EXPECT_EQ(o.result.err, "PI.Tst" + without + "PI.OUT" + without + "tu_mardo.dat" + without);
  EXPECT_TRUE(o.table == right.table && o.pi_tst == right.pi_tst && o.pi_out == right.pi_out);
}

// One call failed, or another program that takes no lock acting just before it, and how the
// run must end: an update redone over a change (the value then stands on the table's new last
// line, under the name), or refused in words when the table keeps changing, the other program's
// file kept whole; a failed F_GETFL fails the open.
struct Acting {
  std::string name;
  std::string table;
  std::string environment;  // TU_MARDO_CALL_OTHER=... or TU_MARDO_CALL_FAULT=...
  int status;
  std::string err;
  std::string after;  // the table afterwards
};

class ActingTest : public testing::TestWithParam<Acting> {};

TEST_P(ActingTest, EndsAsTheTableAllows) {
  if (test::under_cpu_emulator() || !test::file_exists(library())) GTEST_SKIP();
  const Acting& c = GetParam();
  const Shape shape{c.name, c.table, Link::none};
  CallSweep sweep(shape);
  const Files o = sweep.run("", nullptr, c.environment);
  EXPECT_EQ(o.result.exit_code, test::status_seen(c.status)) << o.result.err;
  EXPECT_EQ(o.result.err, c.err);
  EXPECT_EQ(o.table, c.after);
  EXPECT_EQ(o.slips[1] + o.slips[2], 0) << "renamed unsynced, or replaced without the lock";
}

// The line the value 0.0006 * 4^2 / 90.5 s gives, behind a name's 50 bytes.
const std::string VALUE = "    .1060774E-03\r\n";
const std::string OTHER = "OTHER PC" + std::string(42, ' ') + VALUE;
const std::string CHANGED =
    "tu_mardo.dat was changed by another program while this run updated it; it is left as that "
    "program made it, and no value is recorded.\n";

INSTANTIATE_TEST_SUITE_P(
    Calls, ActingTest,
    testing::Values(
        // A line appended before the update (the table's first call of its update), and a new
        // file saved under the name before the rename (the new file's sync) or after the
        // in-place write (the table's sync): the table is read again, the value goes on the new
        // last line.
        Acting{"appended", GROWING, "TU_MARDO_CALL_OTHER=append opendir 1 tu_mardo.dat OTHER PC", 0,
               "", GROWING + OTHER},
        Acting{"saved_before_the_rename", SHRINKING,
               "TU_MARDO_CALL_OTHER=save fsync 3 tu_mardo.dat OTHER PC", 0, "", SHRINKING + OTHER},
        Acting{"saved_after_the_write", GROWING,
               "TU_MARDO_CALL_OTHER=save fsync 3 tu_mardo.dat OTHER PC", 0, "",
               test::EARLIER + test::NAME_LINE + VALUE + OTHER},
        // A line appended at every attempt: three, then the table is left to that program.
        Acting{"keeps_changing", GROWING,
               "TU_MARDO_CALL_OTHER=append opendir all tu_mardo.dat OTHER PC", 912, CHANGED,
               GROWING + "OTHER PC\r\nOTHER PC\r\nOTHER PC\r\n"},
        // PI.Tst's F_GETFL, after the F_GETFD of the three standard descriptors.
        Acting{"f_getfl_fails", GROWING, "TU_MARDO_CALL_FAULT=fcntl 4 EIO", 1000, "", GROWING}),
    test::row_name);

}  // namespace

// Every failure point of a whole run: tu_mardo_sweep (the program on the in-memory file system of
// memory_files.cpp) runs 1000 digits into a table whose last line names the computer, once per
// call of each kind, with each failure the system gives at that call and with a crash there (a
// kill, a power cut). After every run each file must be what the rules allow:
// - tu_mardo.dat: the old table or the new one, byte for byte, nothing else; after a power cut
//   the new one, and the new PI.Tst and PI.OUT, whenever the run showed its value line;
// - PI.Tst and PI.OUT: the old file (never touched), or a prefix of the new one: never old bytes
//   behind new ones, never bytes that neither wrote;
// - the status and message the README gives for a failure of that file, never 0 for a failure
//   the run cannot go on from; a crash ends the run where it happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
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

using test::ends_with;

constexpr int CRASHED = 86;  // memory_files.cpp

struct Before {
  std::string name;
  std::string pi_tst;  // before the run; "-": none
  std::string pi_out;
  std::string table;
};

const std::string OLD_LOG = "old log\r\n";
const std::string LONG_OLD = std::string(20000, 'o') + "\r\n";
const std::string GROWING_TABLE = test::EARLIER + "MY PC\r\n";
const std::string SHRINKING_TABLE = test::EARLIER + "MY PC" + std::string(200, '#') + "\r\n";

// The failures each kind of call can meet on a real system; every call can also crash.
const std::map<std::string, std::vector<std::string>> FAILURES = {
    {"open", {"access_denied", "no_space", "io_error"}},
    {"look-up", {"io_error"}},
    {"info", {"io_error"}},
    {"read", {"io_error", "interrupted"}},
    {"write", {"no_space", "too_large", "io_error", "interrupted"}},
    {"seek", {"io_error"}},
    {"reserve", {"no_space", "too_large", "io_error"}},
    {"cut", {"access_denied", "io_error"}},
    {"sync", {"io_error"}},
    {"name-sync", {"io_error"}},
    {"lock", {"not_supported", "io_error", "interrupted"}},
    {"unlock", {"io_error"}},
    {"replace", {"not_supported", "no_space", "io_error"}},
    {"tidy", {"io_error"}},
    {"close", {"io_error"}},
};

struct Outcome {
  test::ChildResult result;
  std::string pi_tst, pi_out, table;
  std::vector<std::pair<std::string, std::string>> calls;  // kind, file
};

std::string file_or_dash(test::ProgramRun& run, const std::string& name) {
  return run.exists(name) ? run.file(name) : "-";
}

Outcome run_once(const Before& before, const std::string& fault) {
  test::ProgramRun run(TU_MARDO_SWEEP_BINARY);
  run.clock = test::LONG_RUN;
  if (before.pi_tst != "-") test::write_file(run.path("PI.Tst"), before.pi_tst);
  if (before.pi_out != "-") test::write_file(run.path("PI.OUT"), before.pi_out);
  test::write_file(run.path("tu_mardo.dat"), before.table);
  test::TempDir elsewhere;  // the call log, outside the files the program sees
  const std::string log = elsewhere.file("calls");
  run.options.environment = {"TU_MARDO_FILE_LOG=" + log};
  if (!fault.empty()) run.options.environment.push_back("TU_MARDO_FILE_FAULT=" + fault);
  run.start("1000\n", test::Console::pipe);
  Outcome outcome;
  outcome.result = run.result;
  outcome.pi_tst = file_or_dash(run, "PI.Tst");
  outcome.pi_out = file_or_dash(run, "PI.OUT");
  outcome.table = file_or_dash(run, "tu_mardo.dat");
  std::istringstream calls(test::file_exists(log) ? test::read_file(log) : "");
  for (std::string kind, file; calls >> kind && std::getline(calls, file);) {
    outcome.calls.emplace_back(kind, file.substr(1));
  }
  return outcome;
}

bool old_or_prefix(const std::string& after, const std::string& before, const std::string& done) {
  return after == before || done.compare(0, after.size(), after) == 0;
}

// The statuses a failure of a call on this file may end the run with, and each one's message.
// (A failure the run goes on from must leave it exactly as a right run: see the test.)
bool failure_reported(const std::string& file, const test::ChildResult& r) {
  const int status = r.exit_code;
  const std::string& out = r.out;
  auto stopped = [&](const std::string& message, int code) {
    return status == test::status_seen(code) &&
           ends_with(out, message + "\r\nReturn code " + std::to_string(code) + "\r\n\r\n");
  };
  // The file was written whole, but its last block could not be at the exit: one line.
  auto lost_at_exit = [&] {
    return status == test::status_seen(903) && r.err.find("Error writing " + file) == 0;
  };
  // Locks a file system does not have, and names that cannot be looked up, leave the run going.
  if (file == "PI.Tst") {
    return stopped("Error opening Pi.Tst", 1000) || stopped("Write error.", 903) || lost_at_exit();
  }
  if (file == "PI.OUT") {
    return stopped("Error opening Pi.Out", 1001) || stopped("Write error.", 903) || lost_at_exit();
  }
  return stopped("Error opening Tu_Mardo.Dat", 1002) ||
         stopped("Error reading/writing benchmark file.", 912) || lost_at_exit();
}

class FaultSweepTest : public testing::TestWithParam<Before> {};

TEST_P(FaultSweepTest, EveryFileIsWholeAfterEveryFailureAndCrash) {
  const Before& before = GetParam();
  const Outcome right = run_once(before, "");
  ASSERT_EQ(right.result.exit_code, 0) << right.result.err;
  const std::size_t echo = right.result.out.rfind("\r\nMY PC");
  ASSERT_NE(echo, std::string::npos);
  const std::string value_line = right.result.out.substr(echo, 60);
  std::map<std::string, long> calls_of;
  for (const auto& call : right.calls) ++calls_of[call.first];
  ASSERT_GT(calls_of["write"], 3);

  // Fewer failure kinds under an emulator, where each run takes a while: the crashes and the
  // first failure of each kind.
  const bool quick = test::under_cpu_emulator();
  std::map<std::string, int> outcomes;
  int points = 0;
  for (const auto& [kind, count] : calls_of) {
    std::vector<std::string> ways = FAILURES.at(kind);
#if defined(_WIN32)
    ways.erase(std::remove(ways.begin(), ways.end(), "interrupted"), ways.end());
#endif
    if (quick) ways.resize(1);
    ways.push_back("kill");
    ways.push_back("power");
    for (long k = 1; k <= count; ++k) {
      for (const std::string& how : ways) {
        const std::string fault = kind + " " + std::to_string(k) + " " + how;
        const Outcome o = run_once(before, fault);
        ++points;
        std::string touched;  // the file of the call that failed
        long seen = 0;
        for (const auto& call : o.calls) {
          if (call.first == kind && ++seen == k) touched = call.second;
        }
        SCOPED_TRACE(fault + " on " + touched);
        EXPECT_TRUE(o.table == before.table || o.table == right.table) << o.table;
        EXPECT_TRUE(old_or_prefix(o.pi_tst, before.pi_tst, right.pi_tst));
        EXPECT_TRUE(old_or_prefix(o.pi_out, before.pi_out, right.pi_out));
        std::string outcome;
        if (how == "kill" || how == "power") {
          EXPECT_EQ(o.result.exit_code, CRASHED) << o.result.err;
          // The value line is shown once every file is on the disk, names of created ones too.
          if (o.result.out.find(value_line) != std::string::npos) {
            EXPECT_TRUE(o.table == right.table && o.pi_tst == right.pi_tst &&
                        o.pi_out == right.pi_out)
                << "the value was shown before every file was on the disk";
          }
          outcome = "crashed";
        } else if (how == "interrupted") {
          EXPECT_EQ(o.result.signal, SIGINT) << o.result.out;
          EXPECT_EQ(o.result.err, "Ended by signal SIGINT\n");
          outcome = "ended by SIGINT";
        } else if (o.result.exit_code == 0 && o.result.out == right.result.out &&
                   o.table == right.table && o.pi_tst == right.pi_tst && o.pi_out == right.pi_out) {
          outcome = "recovered";  // the call was made again, or its failure changes nothing
          EXPECT_TRUE(o.result.err.empty() || kind == "lock") << o.result.err;
        } else {
          const std::string& out = o.result.out;
          EXPECT_TRUE(failure_reported(touched, o.result))
              << "status " << o.result.exit_code << "\n"
              << out.substr(out.size() > 200 ? out.size() - 200 : 0) << o.result.err;
          outcome = "status " + std::to_string(o.result.exit_code);
        }
        ++outcomes[outcome];
        if (HasFailure()) return;
      }
    }
  }
  std::ostringstream summary;
  summary << before.name << ": " << points << " failure points;";
  for (const auto& [outcome, count] : outcomes) summary << " " << count << " " << outcome << ";";
  std::cout << summary.str() << std::endl;
}

INSTANTIATE_TEST_SUITE_P(
    Befores, FaultSweepTest,
    testing::Values(Before{"no_run_files", "-", "-", GROWING_TABLE},
                    Before{"longer_run_files_shrinking_table", LONG_OLD, LONG_OLD, SHRINKING_TABLE},
                    Before{"shorter_run_files", OLD_LOG, OLD_LOG, GROWING_TABLE}),
    test::row_name);

}  // namespace

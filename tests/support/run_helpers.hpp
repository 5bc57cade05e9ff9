// Runs the built program in a fresh directory of its own.
#pragma once

#include <string>
#include <vector>

#include "child_process.hpp"
#include "temp_dir.hpp"

namespace test {

enum class Console { pipe, terminal };

inline std::string golden(const std::string& name) {
  return read_file(std::string(GOLDEN_DIR) + "/" + name);
}

struct ProgramRun {
  explicit ProgramRun(std::string program = TU_MARDO_SCRIPTED_BINARY)
      : program_(std::move(program)) {}

  std::string clock;     // readings for the scripted clock; empty: 10:00:00.00, 10:00:00.50
  ChildOptions options;  // how the child is started; its directory is this run's own
  ChildResult result;

  std::string path(const std::string& name) const { return dir_.file(name); }
  std::string file(const std::string& name) const { return read_file(path(name)); }
  bool exists(const std::string& name) const { return file_exists(path(name)); }

  void start(const std::string& input, Console console) {
    ChildOptions run_options = options;
    // The C locale unless the test sets one: what a terminal shows depends on it.
    run_options.environment.insert(run_options.environment.begin(), "LC_ALL=C");
    run_options.directory = dir_.path();
    run_options.input = input;
    run_options.terminal = console == Console::terminal;
    if (!clock.empty()) run_options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=" + clock);
    result = run_child(program_, run_options);
  }

 private:
  std::string program_;
  TempDir dir_;
};

}  // namespace test

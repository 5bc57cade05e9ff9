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

  std::string clock;  // readings for the scripted clock; empty: 10:00:00.00, 10:00:00.50
  bool unprivileged = false;
  Input stdin_kind = Input::pipe;
  std::string input_file;
  Output stdout_kind = Output::pipe;
  long file_size_limit = -1;
  std::size_t stdout_close_after = static_cast<std::size_t>(-1);
  ChildResult result;

  std::string path(const std::string& name) const { return dir_.file(name); }
  std::string file(const std::string& name) const { return read_file(path(name)); }
  bool exists(const std::string& name) const { return file_exists(path(name)); }

  void start(const std::string& input, Console console) {
    ChildOptions options;
    options.directory = dir_.path();
    options.input = input;
    options.terminal = console == Console::terminal;
    options.unprivileged = unprivileged;
    options.stdin_kind = stdin_kind;
    options.input_file = input_file;
    options.stdout_kind = stdout_kind;
    options.file_size_limit = file_size_limit;
    options.stdout_close_after = stdout_close_after;
    if (!clock.empty()) options.environment.push_back("TU_MARDO_SCRIPTED_CLOCK=" + clock);
    result = run_child(program_, options);
  }

 private:
  std::string program_;
  TempDir dir_;
};

}  // namespace test

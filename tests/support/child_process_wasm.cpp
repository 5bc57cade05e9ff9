// WebAssembly has no child processes: the tests that start the program run on its command line
// under node from web/test instead, and these answer for the tests that only ask.
#include <stdexcept>

#include "child_process.hpp"

namespace test {

bool terminal_supported() { return false; }

// Not emulated, but the longest calculations are left to the native builds all the same.
bool under_cpu_emulator() { return true; }

int status_seen(int status) { return status & 0xFF; }

// node runs as the user it runs as; permissions hold as they do for that user.
int run_restricted(const std::function<int()>& body) { return body(); }

bool read_only_holds(const std::string&) { return false; }

ChildResult run_child(const std::string&, const ChildOptions&) {
  throw std::runtime_error("no child processes in WebAssembly");
}

}  // namespace test

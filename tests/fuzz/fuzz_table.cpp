// Fuzzes the reading and rewriting of the results table: any bytes as tu_mardo.dat, then the
// update. The table afterwards must be every record but the last, unchanged, then the last
// record's first 50 characters (up to a CR or LF, blank-filled), a blank and the value field.
// Records end at LF, or at a CR that no LF follows.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "records/records.hpp"
#include "tu_mardo/table.hpp"

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

int64_t no_input(char*, std::size_t) { return 0; }
int quiet(const char*, std::size_t) { return 0; }

std::string expected_table(const std::string& before, std::string& name) {
  std::string kept;
  std::string last;
  bool any = false;
  // A record ends at LF, or at a CR that no LF follows (CR LF is one line end).
  for (std::size_t at = 0; at < before.size();) {
    const std::size_t line_end = before.find_first_of("\r\n", at);
    std::size_t next = line_end == std::string::npos ? before.size() : line_end + 1;
    if (line_end != std::string::npos && before[line_end] == '\r' && next < before.size() &&
        before[next] == '\n') {
      ++next;
    }
    kept += last;
    last = before.substr(at, next - at);
    any = true;
    at = next;
  }
  name = std::string(tu_mardo::NAME_LENGTH, ' ');
  if (any) {
    const std::size_t text_end = std::min(last.find_first_of("\r\n"), static_cast<std::size_t>(50));
    name.replace(0, std::min(text_end, last.size()), last.substr(0, text_end));
  }
  return kept + name + " " + "   123.4567    " + "\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A scratch directory of its own, in memory where the system has one.
  char pattern[] = "/dev/shm/fuzz_table_XXXXXX";
  char fallback[] = "/tmp/fuzz_table_XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  if (dir == nullptr) dir = ::mkdtemp(fallback);
  if (dir == nullptr || ::chdir(dir) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string before(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out("tu_mardo.dat", std::ios::binary | std::ios::trunc);
    out << before;
  }
  platform::ConsoleStreams streams;
  streams.read_input = no_input;
  streams.write_output = quiet;
  records::start_up(streams);
  char name[tu_mardo::NAME_LENGTH];
  require(tu_mardo::rewrite_last_line(123.4567f, name) == tu_mardo::TableUpdate::done);
  require(records::close_all_units(0) == 0);

  std::ifstream in("tu_mardo.dat", std::ios::binary);
  std::ostringstream after;
  after << in.rdbuf();
  std::string expected_name;
  require(after.str() == expected_table(before, expected_name));
  require(std::string(name, sizeof name) == expected_name);
  return 0;
}

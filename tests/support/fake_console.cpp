#include "fake_console.hpp"

#include <algorithm>
#include <cstring>

#include "records/records.hpp"

namespace test {
namespace {

int64_t read_input(char* buffer, std::size_t capacity) {
  if (!FakeConsole::read_yet) {
    FakeConsole::read_yet = true;
    FakeConsole::output_at_first_read = FakeConsole::output;
  }
  const std::string& input = FakeConsole::input;
  std::size_t available = input.size() - FakeConsole::input_position;
  if (FakeConsole::line_per_read) {
    const std::size_t line_end = input.find('\n', FakeConsole::input_position);
    if (line_end != std::string::npos) available = line_end + 1 - FakeConsole::input_position;
  }
  const std::size_t count = std::min(available, capacity);
  std::memcpy(buffer, input.data() + FakeConsole::input_position, count);
  FakeConsole::input_position += count;
  return static_cast<int64_t>(count);
}

int write_output(const char* bytes, std::size_t count) {
  if (FakeConsole::write_error != 0) return FakeConsole::write_error;
  ++FakeConsole::writes;
  FakeConsole::output.append(bytes, count);
  return 0;
}

}  // namespace

void start_fake_console(bool input_interactive, bool output_interactive, const std::string& input) {
  FakeConsole::output.clear();
  FakeConsole::input = input;
  FakeConsole::input_position = 0;
  FakeConsole::line_per_read = input_interactive;
  FakeConsole::write_error = 0;
  FakeConsole::writes = 0;
  FakeConsole::read_yet = false;
  FakeConsole::output_at_first_read.clear();
  platform::ConsoleStreams streams;
  streams.input_interactive = input_interactive;
  streams.output_interactive = output_interactive;
  streams.read_input = read_input;
  streams.write_output = write_output;
  records::start_up(streams);
}

}  // namespace test

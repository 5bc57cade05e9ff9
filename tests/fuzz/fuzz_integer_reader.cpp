// Fuzzes the list-directed integer reader on arbitrary bytes, directly and through the
// console units (interactive and redirected).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "records/list_directed.hpp"
#include "records/records.hpp"

namespace {

class Source final : public records::detail::ByteSource {
 public:
  Source(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int peek(int ahead) override {
    const std::size_t at = position_ + static_cast<std::size_t>(ahead);
    return at < size_ ? data_[at] : END;
  }
  void advance() override { ++position_; }
  std::size_t position() const { return position_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

void require(bool condition) {
  if (!condition) __builtin_trap();
}

// Blanks, tabs and line ends before the value; a CR is a line end only before LF or the end.
bool blank(const uint8_t* data, std::size_t size, std::size_t i) {
  const uint8_t c = data[i];
  if (c == '\r') return i + 1 == size || data[i + 1] == '\n';
  return c == ' ' || c == '\t' || c == '\n';
}

// The plain decimal answer, checked independently: a first token of an optional sign and
// digits, ended by a blank, a tab, a line end or the end of the input.
void check_plain_decimal(const uint8_t* data, std::size_t size, int32_t status, int32_t value) {
  std::size_t i = 0;
  while (i < size && blank(data, size, i)) ++i;
  std::size_t end = i;
  if (end < size && (data[end] == '+' || data[end] == '-')) ++end;
  const std::size_t digits = end;
  while (end < size && data[end] >= '0' && data[end] <= '9') ++end;
  if (end == digits || end - i > 18) return;
  if (end < size && data[end] != ' ' && data[end] != '\t' && !blank(data, size, end)) return;
  const long long expected = std::strtoll(std::string(data + i, data + end).c_str(), nullptr, 10);
  if (expected >= INT32_MIN && expected <= INT32_MAX) {
    require(status == 0 && value == expected);
  } else {
    require(status > 0);
  }
}

const uint8_t* console_data = nullptr;
std::size_t console_size = 0;
std::size_t console_position = 0;

int64_t read_input(char* buffer, std::size_t capacity) {
  std::size_t count = std::min(capacity, console_size - console_position);
  // Hand the input over in small, uneven pieces, as a terminal hands over lines.
  count = std::min<std::size_t>(count, 1 + console_position % 97);
  std::memcpy(buffer, console_data + console_position, count);
  console_position += count;
  return static_cast<int64_t>(count);
}

int write_output(const char*, std::size_t) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Source source(data, size);
  const int32_t sentinel = 0x5EED;
  int32_t value = sentinel;
  const int32_t status = records::detail::read_list_integer(source, value);
  require(status >= -1);
  if (status != 0) require(value == sentinel);
  // The rest of the line is gone: the next read starts on a new line.
  require(source.position() == size || data[source.position() - 1] == '\n');
  check_plain_decimal(data, size, status, value);

  // Through the console units, read after read until the input gives out.
  if (size == 0) return 0;
  console_data = data + 1;
  console_size = size - 1;
  console_position = 0;
  platform::ConsoleStreams streams;
  streams.input_interactive = (data[0] & 1) != 0;
  streams.output_interactive = (data[0] & 2) != 0;
  streams.read_input = read_input;
  streams.write_output = write_output;
  records::start_up(streams);
  for (int read = 0; read < 16; ++read) {
    int32_t answer = sentinel;
    int32_t result = records::begin_read(records::CONSOLE_IN, records::LIST_DIRECTED, true);
    if (result == 0) result = records::get_int32(answer);
    if (result == 0) result = records::end_read();
    if (result != 0) {
      require(answer == sentinel);
      if (result == -1) break;
    }
  }
  return 0;
}

#include "records/console.hpp"

#include <algorithm>
#include <cstring>

#include "records/list_directed.hpp"
#include "records/records.hpp"

namespace records::detail {
namespace {

constexpr int32_t HOLD_SIZE = 8192;
constexpr int32_t INPUT_SIZE = 4096;
// The interactive console's record buffer holds 132 bytes, CR LF included.
constexpr int32_t INTERACTIVE_LINE_LIMIT = 130;

struct Console {
  platform::ConsoleStreams streams;
  bool shared = false;
  bool line_owed = false;
  bool line_continued = false;
  bool broken = false;    // a write failed; nothing more is written
  bool given_up = false;  // an interrupt cut a write short; nothing more is written
  int write_error = 0;
  char hold[HOLD_SIZE];
  int32_t held = 0;
  char input[INPUT_SIZE];
  int32_t input_start = 0;
  int32_t input_end = 0;
};

Console console;

int32_t stopped_status() { return console.given_up ? STATUS_INTERRUPTED : STATUS_WRITE_FAILED; }

int32_t append(const char* bytes, int32_t length) {
  if (console.broken) return stopped_status();
  while (length > 0) {
    if (console.held == HOLD_SIZE) {
      if (const int32_t status = console_flush()) return status;
    }
    const int32_t take = std::min(length, HOLD_SIZE - console.held);
    std::memcpy(console.hold + console.held, bytes, static_cast<std::size_t>(take));
    console.held += take;
    bytes += take;
    length -= take;
  }
  return 0;
}

// Standard input as a byte source for one read statement. It notes the line ends it passes
// and, on an interactive console, a line too long for the record buffer: that line is read to
// its end and the statement then sees the end of input.
class InputSource final : public ByteSource {
 public:
  bool line_read = false;
  bool line_too_long = false;
  bool failed = false;

  int peek(int ahead) override {
    if (stopped_) return END;
    while (console.input_end - console.input_start <= ahead) {
      if (at_end_ || !refill()) return END;
    }
    return static_cast<unsigned char>(console.input[console.input_start + ahead]);
  }

  void advance() override {
    const char c = console.input[console.input_start++];
    if (c == '\n') {
      line_read = true;
      line_length_ = 0;
      if (line_too_long) stopped_ = true;
    } else if (c != '\r' && ++line_length_ > INTERACTIVE_LINE_LIMIT &&
               console.streams.input_interactive) {
      line_too_long = true;
    }
  }

 private:
  bool refill() {
    if (console.input_start > 0) {
      const int32_t kept = console.input_end - console.input_start;
      std::memmove(console.input, console.input + console.input_start,
                   static_cast<std::size_t>(kept));
      console.input_start = 0;
      console.input_end = kept;
    }
    const int64_t got =
        console.streams.read_input(console.input + console.input_end,
                                   static_cast<std::size_t>(INPUT_SIZE - console.input_end));
    if (got <= 0) {
      at_end_ = true;
      failed = got < 0;
      return false;
    }
    console.input_end += static_cast<int32_t>(got);
    return true;
  }

  int32_t line_length_ = 0;
  bool at_end_ = false;
  bool stopped_ = false;
};

}  // namespace

void console_start(const platform::ConsoleStreams& streams) {
  console.streams = streams;
  console.shared = streams.input_interactive && streams.output_interactive;
  console.line_owed = false;
  console.line_continued = false;
  console.broken = false;
  console.given_up = false;
  console.write_error = 0;
  console.held = 0;
  console.input_start = 0;
  console.input_end = 0;
}

int32_t console_emit(const char* bytes, int32_t length, bool line_continues) {
  int32_t status = 0;
  if (console.line_continued) {
    console.line_continued = false;
    status = append(bytes, length);
  } else {
    const char control = length > 0 ? bytes[0] : ' ';
    if (control == '0') {
      status = append("\r\n\r\n", console.line_owed ? 4 : 2);
    } else if (control == '+') {
      status = append("\r", 1);
    } else if (console.line_owed) {
      status = append("\r\n", 2);
    }
    if (status == 0 && length > 1) status = append(bytes + 1, length - 1);
  }
  console.line_owed = true;
  if (line_continues) console.line_continued = true;
  return status;
}

int32_t console_flush() {
  if (console.broken) return stopped_status();
  if (console.held == 0) return 0;
  const int error =
      console.streams.write_output(console.hold, static_cast<std::size_t>(console.held));
  console.held = 0;
  if (error != 0) {
    console.broken = true;
    // A write that an interrupt cut short (a pipe nobody reads): the run ends by the interrupt,
    // and what this unit could not write is lost, and only that.
    if (platform::interrupt_pending()) {
      console.given_up = true;
      return STATUS_INTERRUPTED;
    }
    console.write_error = error;
    return STATUS_WRITE_FAILED;
  }
  return 0;
}

int32_t console_read_integer(int32_t& variable) {
  if (console.shared) {
    if (console.line_owed && !console.line_continued) {
      if (const int32_t status = append("\r\n", 2)) return status;
    }
    console.line_continued = false;
  }
  // The prompt must be on the screen before the program waits.
  if (const int32_t status = console_flush()) return status;

  InputSource source;
  const int32_t kept = variable;
  int32_t status = read_list_integer(source, variable);
  if (source.line_too_long) {
    variable = kept;
    status = STATUS_LINE_TOO_LONG;
  } else if (status == -1 && source.failed) {
    status = STATUS_INPUT_FAILED;
  }
  // The terminal echoed the line end of every line read, so no line end is owed any more.
  if (console.shared && source.line_read) console.line_owed = false;
  return status;
}

int32_t console_write_bytes(const char* bytes, int32_t length) {
  if (const int32_t status = append(bytes, length)) return status;
  return console_flush();
}

int32_t console_finish_line() {
  if (console.line_owed) {
    if (const int32_t status = append("\r\n", 2)) return status;
  }
  return console_flush();
}

bool console_close() {
  if (console.broken) return true;  // already reported when it broke, or given up
  return console_finish_line() == 0;
}

int console_write_error() { return console.write_error; }

}  // namespace records::detail

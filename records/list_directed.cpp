#include "records/list_directed.hpp"

#include "records/real_digits.hpp"
#include "records/records.hpp"

namespace records::detail {
namespace {

// Columns a list-directed record offers after its leading blank.
constexpr int32_t LINE_COLUMNS = 79;
constexpr int32_t INTEGER_WIDTH = 11;

int32_t start_record(Record& record) {
  record.clear();
  record.place(" ", 1);
  return LINE_COLUMNS;
}

void edit_list_integer(char* field, int32_t value) {
  int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  int32_t at = INTEGER_WIDTH;
  do {
    field[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (value < 0) field[--at] = '-';
  while (at > 0) field[--at] = ' ';
}

constexpr int BLANK = ' ';
constexpr int TAB = '\t';
constexpr int CR = '\r';
constexpr int LF = '\n';
constexpr int END_OF_INPUT_MARK = 0x1A;

// A CR counts as a line end only right before LF (or at the very end of the input).
bool line_end_at(ByteSource& in, int ahead) {
  const int c = in.peek(ahead);
  if (c == LF || c == ByteSource::END) return true;
  return c == CR && (in.peek(ahead + 1) == LF || in.peek(ahead + 1) == ByteSource::END);
}

// A line made of the byte 0x1A and its line end means end of input.
bool end_of_input_mark(ByteSource& in) {
  return in.peek(0) == END_OF_INPUT_MARK && line_end_at(in, 1);
}

void discard_line(ByteSource& in) {
  for (;;) {
    const int c = in.peek(0);
    if (c == ByteSource::END) return;
    in.advance();
    if (c == LF) return;
  }
}

int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

int32_t render_list_directed(const Item* items, int32_t count, Record& record, RecordSink& sink) {
  int32_t left = start_record(record);
  bool previous_numeric = false;
  for (int32_t i = 0; i < count; ++i) {
    const Item& item = items[i];
    if (item.kind == Item::Kind::text) {
      const char* text = item.text;
      int32_t length = item.length < 0 ? 0 : item.length;
      while (length > 0) {
        if (left == 0) {  // the record was filled exactly; the text goes on in a new one
          if (const int32_t status = sink.emit(record.bytes, record.length, false)) return status;
          left = start_record(record);
        }
        if (length < left) {
          record.place(text, length);
          left -= length;
          break;
        }
        record.place(text, left);
        text += left;
        length -= left;
        left = 0;
      }
      previous_numeric = false;
      continue;
    }
    char field[LIST_REAL_WIDTH];
    int32_t width = INTEGER_WIDTH;
    if (item.kind == Item::Kind::integer) {
      edit_list_integer(field, item.integer);
    } else {
      edit_list_real(field, item.real);
      width = LIST_REAL_WIDTH;
    }
    const int32_t separator = previous_numeric ? 1 : 0;
    if (width + separator >= left) {
      if (const int32_t status = sink.emit(record.bytes, record.length, false)) return status;
      left = start_record(record);
    }
    record.place_blanks(separator);
    record.place(field, width);
    left -= width + separator;
    previous_numeric = true;
  }
  return sink.emit(record.bytes, record.length, false);
}

namespace {

// Passes over blanks, tabs and line ends to what the next value is: VALUE when a value stands
// there, NULL_VALUE for a null value or the end of the list ("," or "/", its line passed over),
// -1 at the end of the input.
constexpr int VALUE = 1;
constexpr int NULL_VALUE = 0;

int skip_to_value(ByteSource& in) {
  for (;;) {
    const int c = in.peek(0);
    if (c == ByteSource::END) return -1;
    if (c != BLANK && c != TAB && c != LF && !(c == CR && line_end_at(in, 0))) break;
    in.advance();
  }
  if (end_of_input_mark(in)) {
    discard_line(in);
    return -1;
  }
  if (in.peek(0) == ',' || in.peek(0) == '/') {
    discard_line(in);
    return NULL_VALUE;
  }
  return VALUE;
}

// The characters of one value, taken one at a time: [sign] digits, a repeat count and "*"
// before the value, a radix and "#" before its digits ("#" alone: 16).
class ValueScan {
 public:
  void take(int c) {
    if (bad_) return;
    const uint64_t digit = static_cast<uint64_t>(digit_value(c));
    switch (state_) {
      case State::start:
      case State::sign:
        if (state_ == State::start && (c == '+' || c == '-')) {
          negative_ = c == '-';
          signed_ = true;
          state_ = State::sign;
        } else if (c == '#' && state_ == State::start) {  // a radix form has no sign
          base_ = 16;
          state_ = State::radix_start;
        } else {
          digit_or_bad(digit, 10, State::digits);
        }
        break;
      case State::digits:
        if (c == '*' && !negative_ && !repeated_ && !too_big_ && magnitude_ > 0) {
          repeated_ = true;  // count*value: the count only says how often the value is given
          magnitude_ = 0;
          signed_ = false;
          state_ = State::start;
        } else if (c == '#' && !signed_ && !too_big_ && magnitude_ >= 2 && magnitude_ <= 36) {
          base_ = magnitude_;
          magnitude_ = 0;
          state_ = State::radix_start;
        } else {
          digit_or_bad(digit, 10, State::digits);
        }
        break;
      case State::radix_start:
      case State::radix_digits:
        digit_or_bad(digit, base_, State::radix_digits);
        break;
    }
  }

  // 0 with the variable set (or kept, for "count*" alone: a null value), or the failure.
  int32_t convert(int32_t& variable) const {
    if (bad_ || state_ == State::sign || state_ == State::radix_start) return STATUS_BAD_INTEGER;
    if (state_ == State::start) return 0;
    const uint64_t limit = negative_ ? uint64_t{2147483648} : uint64_t{2147483647};
    if (too_big_ || magnitude_ > limit) return STATUS_INTEGER_RANGE;
    variable = negative_ ? static_cast<int32_t>(-static_cast<int64_t>(magnitude_))
                         : static_cast<int32_t>(magnitude_);
    return 0;
  }

 private:
  enum class State { start, sign, digits, radix_start, radix_digits };
  static constexpr uint64_t CAP = uint64_t{1} << 40;  // far beyond 32 bits, far below overflow

  void digit_or_bad(uint64_t digit, uint64_t base, State next) {
    if (digit >= base) {
      bad_ = true;
      return;
    }
    if (magnitude_ >= CAP) {
      too_big_ = true;
    } else {
      magnitude_ = magnitude_ * base_ + digit;
    }
    state_ = next;
  }

  State state_ = State::start;
  bool negative_ = false;
  bool signed_ = false;
  bool repeated_ = false;
  bool bad_ = false;
  bool too_big_ = false;
  uint64_t magnitude_ = 0;
  uint64_t base_ = 10;
};

}  // namespace

int32_t read_list_integer(ByteSource& in, int32_t& variable) {
  const int found = skip_to_value(in);
  if (found != VALUE) return found;
  ValueScan scan;
  for (;;) {
    const int c = in.peek(0);
    if (c == BLANK || c == TAB || c == ',' || c == '/' || line_end_at(in, 0)) break;
    if (end_of_input_mark(in)) {
      discard_line(in);
      return -1;
    }
    in.advance();
    scan.take(c);
  }
  discard_line(in);
  return scan.convert(variable);
}

}  // namespace records::detail

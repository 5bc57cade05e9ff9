#include "records/format.hpp"

#include <cstring>

#include "records/real_digits.hpp"
#include "records/records.hpp"

namespace records::detail {
namespace {

constexpr int32_t FORMAT_CACHE_SIZE = 16;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void edit_integer(Record& record, int32_t value, int32_t width, int32_t min_digits);
void edit_text(Record& record, const Item& item, int32_t width);

// The data edits the service knows, in one table: the letter, the widths and digits it takes
// (-1 where none was given), the item it edits, and how it edits it into the record.
struct DataEdit {
  char letter;
  bool (*takes)(int32_t width, int32_t digits);
  Item::Kind item;
  int32_t (*edit)(Record& record, const Item& item, const FormatNode& node);
};

constexpr DataEdit DATA_EDITS[] = {
    {'A',  // Aw, or A: the item's own length
     [](int32_t width, int32_t digits) { return digits < 0 && width != 0; }, Item::Kind::text,
     [](Record& record, const Item& item, const FormatNode& node) {
       edit_text(record, item, node.width);
       return int32_t{0};
     }},
    {'I',  // Iw or Iw.m
     [](int32_t width, int32_t) { return width > 0; }, Item::Kind::integer,
     [](Record& record, const Item& item, const FormatNode& node) {
       edit_integer(record, item.integer, node.width, node.digits);
       return int32_t{0};
     }},
    {'G',  // Gw.d
     [](int32_t width, int32_t digits) { return width > 0 && digits >= 0; }, Item::Kind::real,
     [](Record& record, const Item& item, const FormatNode& node) {
       char field[MAX_RECORD];
       if (node.width > MAX_RECORD) return STATUS_RECORD_TOO_LONG;
       edit_g(field, item.real, node.width, node.digits);
       record.place(field, node.width);
       return int32_t{0};
     }},
};

const DataEdit* data_edit_of(char letter) {
  for (const DataEdit& edit : DATA_EDITS) {
    if (edit.letter == letter) return &edit;
  }
  return nullptr;
}

class Parser {
 public:
  explicit Parser(Format& format) : f_(format) {}

  // Where parsing stopped, for the report of a format that cannot be used.
  int32_t position() const { return pos_; }

  bool parse() {
    skip_blanks();
    if (!take('(')) return false;
    for (;;) {
      skip_separators();
      if (at_end()) return false;
      const char c = peek();
      if (c == ')') {
        ++pos_;
        if (depth_ == 0) break;
        if (!close_group()) return false;
      } else if (c == '\'' || c == '"') {
        if (!literal(c)) return false;
      } else if (c == '$') {
        ++pos_;
        if (add(FormatNode::Kind::dollar) == nullptr) return false;
      } else if (!edit()) {
        return false;
      }
    }
    skip_blanks();
    if (!at_end()) return false;
    f_.reversion = last_top_group_ < 0 ? 0 : last_top_group_;
    return true;
  }

 private:
  bool close_group() {
    const int32_t open = open_groups_[--depth_];
    FormatNode* close = add(FormatNode::Kind::group_close);
    if (close == nullptr) return false;
    close->offset = open;
    f_.nodes[open].offset = f_.count - 1;
    if (depth_ == 0) last_top_group_ = open;
    return true;
  }

  // An edit with its repeat count: a group's "(", X, T or a data edit. False at a letter the
  // service does not know, where the parse stops.
  bool edit() {
    const int32_t repeat = number(MAX_REPEAT);
    if (too_large_) return false;
    skip_blanks();
    if (at_end()) return false;
    const char letter = upper(peek());
    const DataEdit* data = data_edit_of(letter);
    if (letter != '(' && letter != 'X' && letter != 'T' && data == nullptr) return false;
    ++pos_;
    if (data != nullptr) return data_edit(*data, repeat);
    if (letter == '(') {
      if (repeat == 0 || depth_ == MAX_GROUP_DEPTH) return false;
      FormatNode* open = add(FormatNode::Kind::group_open);
      if (open == nullptr) return false;
      open->repeat = repeat < 0 ? 1 : repeat;
      open_groups_[depth_++] = f_.count - 1;
      return true;
    }
    FormatNode* node = add(letter == 'X' ? FormatNode::Kind::skip : FormatNode::Kind::tab);
    if (node == nullptr) return false;
    if (letter == 'X') {
      node->width = repeat < 0 ? 1 : repeat;
      return repeat <= MAX_FIELD;
    }
    node->width = number(MAX_FIELD);  // Tc: the column
    return repeat < 0 && node->width >= 1;
  }

  bool at_end() const { return pos_ >= f_.text_length; }
  char peek() const { return f_.text[pos_]; }
  bool take(char c) {
    if (at_end() || peek() != c) return false;
    ++pos_;
    return true;
  }
  void skip_blanks() {
    while (!at_end() && peek() == ' ') ++pos_;
  }
  void skip_separators() {
    while (!at_end() && (peek() == ' ' || peek() == ',')) ++pos_;
  }
  // An unsigned number, or -1 when none stands here. One above `limit` fails the parse.
  int32_t number(int32_t limit) {
    if (at_end() || !is_digit(peek())) return -1;
    int64_t value = 0;
    while (!at_end() && is_digit(peek())) {
      value = value * 10 + (peek() - '0');
      if (value > limit) {
        too_large_ = true;
        return -1;
      }
      ++pos_;
    }
    return static_cast<int32_t>(value);
  }
  FormatNode* add(FormatNode::Kind kind) {
    if (f_.count == MAX_FORMAT_NODES) return nullptr;
    FormatNode& node = f_.nodes[f_.count++];
    node = FormatNode{};
    node.kind = kind;
    return &node;
  }
  bool literal(char quote) {
    ++pos_;
    const int32_t start = pos_;
    for (;;) {
      if (at_end()) return false;
      if (peek() == quote) {
        if (pos_ + 1 < f_.text_length && f_.text[pos_ + 1] == quote) {
          pos_ += 2;
          continue;
        }
        break;
      }
      ++pos_;
    }
    FormatNode* node = add(FormatNode::Kind::literal);
    if (node == nullptr) return false;
    node->offset = start;
    node->length = pos_ - start;
    ++pos_;
    return true;
  }
  bool data_edit(const DataEdit& data, int32_t repeat) {
    if (repeat == 0) return false;
    FormatNode* node = add(FormatNode::Kind::data);
    if (node == nullptr) return false;
    node->letter = data.letter;
    node->repeat = repeat < 0 ? 1 : repeat;
    node->width = number(MAX_FIELD);
    if (too_large_) return false;
    if (take('.')) {
      node->digits = number(MAX_FIELD);
      if (node->digits < 0) return false;
    }
    return data.takes(node->width, node->digits);
  }

  Format& f_;
  int32_t pos_ = 0;
  bool too_large_ = false;  // a count or width beyond its limit
  int32_t open_groups_[MAX_GROUP_DEPTH] = {};
  int32_t depth_ = 0;
  int32_t last_top_group_ = -1;
};

Format format_cache[FORMAT_CACHE_SIZE];
int32_t formats_cached = 0;
int32_t next_replaced = 0;

// The digits of an integer under Iw.m, with its sign. The parser keeps w and m to MAX_FIELD.
void edit_integer(Record& record, int32_t value, int32_t width, int32_t min_digits) {
  char text[MAX_FIELD + 12];
  int32_t length = 0;
  int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  char reversed[12];
  int32_t count = 0;
  while (magnitude > 0) {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  const int32_t wanted = min_digits < 0 ? 1 : min_digits;
  if (value < 0) text[length++] = '-';
  for (int32_t i = count; i < wanted; ++i) text[length++] = '0';
  while (count > 0) text[length++] = reversed[--count];
  if (value == 0 && wanted == 0) length = 0;  // Iw.0 shows a zero as blanks
  if (length > width) {
    for (int32_t i = 0; i < width; ++i) record.place("*", 1);
    return;
  }
  record.place_blanks(width - length);
  record.place(text, length);
}

void edit_text(Record& record, const Item& item, int32_t width) {
  const int32_t length = item.length < 0 ? 0 : item.length;
  if (width < 0) {
    record.place(item.text, length);
  } else if (length >= width) {
    record.place(item.text, width);
  } else {
    record.place_blanks(width - length);
    record.place(item.text, length);
  }
}

void place_literal(Record& record, const Format& format, const FormatNode& node) {
  const char* text = format.text + node.offset;
  const char quote = format.text[node.offset - 1];
  int32_t start = 0;
  for (int32_t i = 0; i < node.length; ++i) {
    if (text[i] == quote) {  // first of a doubled quote: keep one
      record.place(text + start, i - start + 1);
      start = ++i + 1;
    }
  }
  record.place(text + start, node.length - start);
}

int32_t finish(Record& record, RecordSink& sink, bool line_continues) {
  if (record.overflow) return STATUS_RECORD_TOO_LONG;
  return sink.emit(record.bytes, record.length, line_continues);
}

}  // namespace

const Format* find_format(std::string_view text, int32_t* error_offset) {
  if (text.size() > static_cast<std::size_t>(MAX_FORMAT_TEXT)) {
    if (error_offset != nullptr) *error_offset = MAX_FORMAT_TEXT;
    return nullptr;
  }
  for (int32_t i = 0; i < formats_cached; ++i) {
    const Format& cached = format_cache[i];
    if (static_cast<std::size_t>(cached.text_length) == text.size() &&
        std::memcmp(cached.text, text.data(), text.size()) == 0) {
      return &cached;
    }
  }
  int32_t slot = formats_cached;
  if (slot == FORMAT_CACHE_SIZE) {
    slot = next_replaced;
    next_replaced = (next_replaced + 1) % FORMAT_CACHE_SIZE;
  } else {
    ++formats_cached;
  }
  Format& format = format_cache[slot];
  format.count = 0;
  format.text_length = static_cast<int32_t>(text.size());
  std::memcpy(format.text, text.data(), text.size());
  Parser parser(format);
  if (!parser.parse()) {
    format.text_length = -1;  // never matches a later lookup
    if (error_offset != nullptr) *error_offset = parser.position();
    return nullptr;
  }
  return &format;
}

FormatWalker::Step FormatWalker::next(bool items_left) {
  using Kind = Step::Kind;
  for (;;) {
    if (node_ == format_.count) {  // the outer closing parenthesis
      if (!items_left) return {Kind::end, nullptr};
      // A format without data edits would revert for ever.
      if (reverted_ && !data_since_reversion_) return {Kind::no_data, nullptr};
      reverted_ = true;
      data_since_reversion_ = false;
      depth_ = 0;
      repeat_done_ = 0;
      node_ = format_.reversion;
      return {Kind::record_end, nullptr};
    }
    const FormatNode& node = format_.nodes[node_];
    switch (node.kind) {
      case FormatNode::Kind::group_open:
        groups_[depth_++] = Group{node_, node.repeat};
        ++node_;
        continue;
      case FormatNode::Kind::group_close:
        if (--groups_[depth_ - 1].remaining > 0) {
          node_ = groups_[depth_ - 1].open + 1;
        } else {
          --depth_;
          ++node_;
        }
        continue;
      case FormatNode::Kind::data:
        if (!items_left) return {Kind::end, nullptr};
        data_since_reversion_ = true;
        if (++repeat_done_ == node.repeat) {
          repeat_done_ = 0;
          ++node_;
        }
        return {Kind::data, &node};
      case FormatNode::Kind::literal:
      case FormatNode::Kind::skip:
      case FormatNode::Kind::tab:
      case FormatNode::Kind::dollar:
        ++node_;
        return {Kind::literal, &node};
    }
  }
}

int32_t render_formatted(const Format& format, const Item* items, int32_t count, Record& record,
                         RecordSink& sink) {
  using Kind = FormatWalker::Step::Kind;
  FormatWalker walker(format);
  int32_t item = 0;
  bool dollar = false;
  record.clear();
  for (;;) {
    const FormatWalker::Step step = walker.next(item < count);
    switch (step.kind) {
      case Kind::end:
        return finish(record, sink, dollar);
      case Kind::no_data:
        return STATUS_BAD_FORMAT;
      case Kind::record_end:
        if (const int32_t status = finish(record, sink, false); status != 0) return status;
        record.clear();
        dollar = false;
        break;
      case Kind::literal: {
        const FormatNode& node = *step.node;
        if (node.kind == FormatNode::Kind::literal) place_literal(record, format, node);
        if (node.kind == FormatNode::Kind::skip) record.column += node.width;
        if (node.kind == FormatNode::Kind::tab) record.column = node.width - 1;
        if (node.kind == FormatNode::Kind::dollar) dollar = true;
        break;
      }
      case Kind::data: {
        const FormatNode& node = *step.node;
        const Item& value = items[item++];
        const DataEdit* data = data_edit_of(node.letter);
        if (data == nullptr || value.kind != data->item) return STATUS_BAD_ITEM;
        if (const int32_t status = data->edit(record, value, node)) return status;
        if (record.overflow) return STATUS_RECORD_TOO_LONG;
        break;
      }
    }
  }
}

}  // namespace records::detail

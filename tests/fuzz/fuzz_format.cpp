// Fuzzes the renderers with the program's formats and arbitrary item values: integers of any
// size, floats of every class (raw bit patterns) and texts of any bytes. Float fields are
// checked against the exact reference, listings against their record layout, list-directed
// text against its splitting. Format texts of any bytes, with any items, must be rejected or
// rendered within the record length.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "float_reference.hpp"
#include "records/format.hpp"
#include "records/list_directed.hpp"
#include "records/real_digits.hpp"
#include "records/records.hpp"

namespace {

using records::detail::Item;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

class Capture final : public records::detail::RecordSink {
 public:
  std::vector<std::string> records;
  int32_t emit(const char* bytes, int32_t length, bool) override {
    records.emplace_back(bytes, static_cast<std::size_t>(length));
    return 0;
  }
};

// Takes bytes off the front of the input.
struct Bytes {
  const uint8_t* data;
  std::size_t size;
  uint32_t take(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      value = value << 8 | (size > 0 ? *data : 0);
      if (size > 0) {
        ++data;
        --size;
      }
    }
    return value;
  }
};

Item integer(int32_t value) {
  Item item;
  item.kind = Item::Kind::integer;
  item.integer = value;
  return item;
}
Item real(float value) {
  Item item;
  item.kind = Item::Kind::real;
  item.real = value;
  return item;
}
Item text(const std::string& bytes) {
  Item item;
  item.kind = Item::Kind::text;
  item.length = static_cast<int32_t>(bytes.size());
  item.text = bytes.data();
  return item;
}

float as_float(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool finite(uint32_t bits) { return ((bits >> 23) & 0xFF) != 0xFF; }

records::detail::Record record;

int32_t render(const char* format, const std::vector<Item>& items, Capture& capture) {
  const auto count = static_cast<int32_t>(items.size());
  if (format == nullptr)
    return records::detail::render_list_directed(items.data(), count, record, capture);
  const records::detail::Format* parsed = records::detail::find_format(format);
  require(parsed != nullptr);
  return records::detail::render_formatted(*parsed, items.data(), count, record, capture);
}

struct Listing {
  const char* format;
  std::size_t column;  // where the words start, 1-based
  std::size_t per_record;
};

const Listing LISTINGS[] = {
    {"(' ArcTangent( 1 / 5 ) = 0.',(T26,13I4.4))", 26, 13},
    {"(' ArcTangent( 1/239 ) = 0.',(T26,25I4.4))", 26, 25},
    {"(' Pi = 3.',(T9,15I4.4))", 9, 15},
    {"(' Pi = 3.',(T9,25I4.4))", 9, 25},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Bytes in{data, size};
  const uint32_t choice = in.take(1) % 5;
  Capture capture;
  if (choice == 0) {
    // A listing of any words: asterisks for those that are no four-digit words.
    const Listing& listing = LISTINGS[in.take(1) % 4];
    std::vector<Item> items;
    const std::size_t count = 1 + in.take(2) % 2000;
    for (std::size_t i = 0; i < count; ++i)
      items.push_back(integer(static_cast<int32_t>(in.take(4))));
    require(render(listing.format, items, capture) == 0);
    require(capture.records.size() == (count + listing.per_record - 1) / listing.per_record);
    for (std::size_t r = 0; r < capture.records.size(); ++r) {
      const std::size_t words = std::min(listing.per_record, count - r * listing.per_record);
      require(capture.records[r].size() == listing.column - 1 + 4 * words);
    }
  } else if (choice == 1) {
    // The table's record and the clock record with any values.
    const uint32_t bits = in.take(4);
    std::string name;
    for (std::size_t i = in.take(1) % 80; i > 0; --i) name.push_back(static_cast<char>(in.take(1)));
    require(render("(a50, 1x, g15.7)", {text(name), real(as_float(bits))}, capture) == 0);
    require(capture.records.size() == 1 && capture.records[0].size() == 66);
    if (finite(bits)) require(capture.records[0].substr(51) == reference::g15_7(as_float(bits)));
    std::vector<Item> clock{text(name)};
    for (int i = 0; i < 4; ++i) clock.push_back(integer(static_cast<int16_t>(in.take(2))));
    Capture clock_capture;
    require(render("(1X,A,1X,2(I2.2,':'),I2.2,'.',I2.2)", clock, clock_capture) == 0);
  } else if (choice == 2) {
    // List-directed: any mix of items; texts alone must come back whole, split at 79 columns.
    std::vector<std::string> texts;
    std::vector<Item> items;
    std::string all_text;
    bool only_text = true;
    const std::size_t count = in.take(1) % 12;
    texts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const uint32_t kind = in.take(1) % 3;
      if (kind == 0) {
        texts.emplace_back();
        for (std::size_t n = in.take(1); n > 0; --n)
          texts.back().push_back(static_cast<char>(in.take(1)));
        all_text += texts.back();
        items.push_back(text(texts.back()));
      } else if (kind == 1) {
        items.push_back(integer(static_cast<int32_t>(in.take(4))));
        only_text = false;
      } else {
        const uint32_t bits = in.take(4);
        items.push_back(real(as_float(bits)));
        only_text = false;
        if (finite(bits)) {
          char field[15];
          records::detail::edit_list_real(field, as_float(bits));
          require(std::string(field, 15) == reference::list_real(as_float(bits)));
        }
      }
    }
    require(render(nullptr, items, capture) == 0);
    std::string joined;
    for (const std::string& r : capture.records) {
      require(!r.empty() && r[0] == ' ' && r.size() <= 80);
      joined += r.substr(1);
    }
    if (only_text) require(joined == all_text);
  } else if (choice == 4) {
    // Any format text and any items.
    std::string format;
    for (std::size_t n = in.take(1) % 161; n > 0; --n)
      format.push_back(static_cast<char>(in.take(1)));
    std::vector<std::string> texts(16);
    std::vector<Item> items;
    for (std::size_t i = in.take(1) % 17; i > 0; --i) {
      const uint32_t kind = in.take(1) % 3;
      if (kind == 0) {
        std::string& bytes = texts[i - 1];
        for (std::size_t n = in.take(2) % 1100; n > 0; --n)
          bytes.push_back(static_cast<char>(in.take(1)));
        items.push_back(text(bytes));
      } else if (kind == 1) {
        items.push_back(integer(static_cast<int32_t>(in.take(4))));
      } else {
        items.push_back(real(as_float(in.take(4))));
      }
    }
    int32_t stopped = -1;
    const records::detail::Format* parsed = records::detail::find_format(format, &stopped);
    if (parsed == nullptr) {
      require(stopped >= 0 && stopped <= static_cast<int32_t>(format.size()));
      return 0;
    }
    const int32_t status = records::detail::render_formatted(
        *parsed, items.data(), static_cast<int32_t>(items.size()), record, capture);
    require(status == 0 || status == records::STATUS_BAD_ITEM ||
            status == records::STATUS_BAD_FORMAT || status == records::STATUS_RECORD_TOO_LONG);
    for (const std::string& r : capture.records) {
      require(r.size() <= static_cast<std::size_t>(records::detail::MAX_RECORD));
    }
  } else {
    // The dialogue's formats with any number.
    const auto value = static_cast<int32_t>(in.take(4));
    require(render("(' Enter number of digits for pi (\xF2"
                   "4; \xF3', i5, ') ', $)",
                   {integer(value)}, capture) == 0);
    require(capture.records.size() == 1 && capture.records[0].size() == 44);
    require(render("(' You misspelled.', i6, ' is maximum. Retry, please.')", {integer(value)},
                   capture) == 0);
    require(render("(' Speed test data: dimension is ',I5)", {integer(value)}, capture) == 0);
  }
  return 0;
}

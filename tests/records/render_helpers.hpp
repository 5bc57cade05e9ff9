// Renders one statement straight through the renderers and collects its records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/format.hpp"
#include "records/list_directed.hpp"
#include "records/record.hpp"

namespace test {

using records::detail::Item;

inline Item text(std::string_view bytes) {
  Item item;
  item.kind = Item::Kind::text;
  item.length = static_cast<int32_t>(bytes.size());
  item.text = bytes.data();
  return item;
}
inline Item integer(int32_t value) {
  Item item;
  item.kind = Item::Kind::integer;
  item.integer = value;
  return item;
}
inline Item real(float value) {
  Item item;
  item.kind = Item::Kind::real;
  item.real = value;
  return item;
}

struct Rendered {
  int32_t status = 0;
  std::vector<std::string> records;
  bool last_continues = false;  // the last record ended at a `$`
};

class CaptureSink final : public records::detail::RecordSink {
 public:
  explicit CaptureSink(Rendered& into) : into_(into) {}
  int32_t emit(const char* bytes, int32_t length, bool line_continues) override {
    into_.records.emplace_back(bytes, static_cast<std::size_t>(length));
    into_.last_continues = line_continues;
    return 0;
  }

 private:
  Rendered& into_;
};

// A format of the empty view renders list-directed.
inline Rendered render(std::string_view format, const std::vector<Item>& items) {
  static records::detail::Record record;
  Rendered result;
  CaptureSink sink(result);
  const auto count = static_cast<int32_t>(items.size());
  if (format.data() == nullptr) {
    result.status = records::detail::render_list_directed(items.data(), count, record, sink);
    return result;
  }
  const records::detail::Format* parsed = records::detail::find_format(format);
  if (parsed == nullptr) {
    result.status = -99;
    return result;
  }
  result.status = records::detail::render_formatted(*parsed, items.data(), count, record, sink);
  return result;
}

inline Rendered render_list(const std::vector<Item>& items) { return render({}, items); }

}  // namespace test

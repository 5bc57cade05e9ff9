// Format texts: parsed once into a fixed array of nodes, then walked for each statement.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/record.hpp"

namespace records::detail {

struct FormatNode {
  enum class Kind : uint8_t { literal, skip, tab, dollar, data, group_open, group_close };
  Kind kind = Kind::literal;
  char letter = 0;      // data edit: 'A', 'I' or 'G'
  int32_t repeat = 1;   // data edit or group: repeat count
  int32_t width = -1;   // data edit: w, -1 when absent; skip and tab: n
  int32_t digits = -1;  // data edit: m of Iw.m or d of Gw.d, -1 when absent
  int32_t offset = 0;   // literal: first byte in the text; group: index of the matching node
  int32_t length = 0;   // literal: bytes between the quotes, doubled quotes still doubled
};

inline constexpr int32_t MAX_FORMAT_NODES = 48;
inline constexpr int32_t MAX_GROUP_DEPTH = 8;
inline constexpr int32_t MAX_FORMAT_TEXT = 160;
// Limits the parser sets, so that every accepted format renders into fixed buffers: a field
// width, a digit count and a position at most the record length; a repeat count at most the
// items a statement holds.
inline constexpr int32_t MAX_FIELD = MAX_RECORD;
inline constexpr int32_t MAX_REPEAT = 16384;

struct Format {
  char text[MAX_FORMAT_TEXT];  // a copy of the format text; literals point into it
  int32_t text_length = 0;
  FormatNode nodes[MAX_FORMAT_NODES];  // the elements inside the outer parentheses
  int32_t count = 0;
  int32_t reversion = 0;  // node where format reversion resumes
};

// Parses a format text, or finds it among those parsed before. Null if it cannot be used;
// then `error_offset`, when given, receives the offset in the text where parsing stopped.
const Format* find_format(std::string_view text, int32_t* error_offset = nullptr);

// Walks a format for one statement as its items ask: each step goes on to the next data edit
// descriptor and reports what stands on the way (literals, X, T, $), so that writing and reading
// take their edits from one place. Groups, repeat counts and reversion are the walker's business.
class FormatWalker {
 public:
  struct Step {
    enum class Kind : uint8_t {
      data,        // the next data edit: `node` is it, once for each of its repeats
      literal,     // `node` is a literal, X or T for the record, or a `$`
      record_end,  // the format's end with items left: the record ends, reversion follows
      end,         // no item left: the statement's last record is complete
      no_data,     // the format has no data edit for the items left
    };
    Kind kind;
    const FormatNode* node;
  };

  explicit FormatWalker(const Format& format) : format_(format) {}

  // `items_left`: whether an item waits for a data edit. Without one the walk stops at the next
  // data edit or at the format's end.
  Step next(bool items_left);

 private:
  struct Group {
    int32_t open;
    int32_t remaining;
  };
  const Format& format_;
  Group groups_[MAX_GROUP_DEPTH];
  int32_t depth_ = 0;
  int32_t node_ = 0;
  int32_t repeat_done_ = 0;
  bool reverted_ = false;
  bool data_since_reversion_ = false;
};

// Renders the items under a format into records and hands each to the sink.
// Returns 0 or the first non-zero status (of the format walk or of the sink).
int32_t render_formatted(const Format& format, const Item* items, int32_t count, Record& record,
                         RecordSink& sink);

}  // namespace records::detail

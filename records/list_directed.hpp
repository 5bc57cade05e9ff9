// List-directed records: output of text, integers and floats, and the reading of one integer.
#pragma once

#include <cstdint>

#include "records/record.hpp"

namespace records::detail {

// Renders the items as list-directed records and hands each to the sink.
int32_t render_list_directed(const Item* items, int32_t count, Record& record, RecordSink& sink);

// Where the integer reader takes its bytes: the console input, or a test's text.
class ByteSource {
 public:
  static constexpr int END = -1;
  // The byte `ahead` places beyond the next one (0..2), or END.
  virtual int peek(int ahead) = 0;
  // Takes the next byte.
  virtual void advance() = 0;

 protected:
  ~ByteSource() = default;
};

// Reads one list-directed integer. Leading blanks, tabs and line ends are passed over; the
// rest of the line holding the value is discarded. The variable changes only when a value is
// stored. Returns 0, -1 at end of input, or a positive status.
int32_t read_list_integer(ByteSource& source, int32_t& variable);

}  // namespace records::detail

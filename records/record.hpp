// What the renderers share: the items of a statement, the record being built and the place
// finished records go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace records::detail {

struct Item {
  enum class Kind : uint8_t { text, integer, real };
  Kind kind = Kind::integer;
  int32_t length = 0;  // bytes of a text item
  union {
    const char* text;
    int32_t integer;
    float real;
  };
};

// Longest record any unit accepts (the default record length of a file).
inline constexpr int32_t MAX_RECORD = 1024;

// A record under construction, addressed by column (0-based here).
struct Record {
  char bytes[MAX_RECORD];
  int32_t length = 0;  // rightmost written column
  int32_t column = 0;  // where the next character goes
  bool overflow = false;

  void clear() {
    length = 0;
    column = 0;
    overflow = false;
  }
  // Places bytes at the current column; columns skipped over and never written become blanks.
  void place(const char* text, int32_t count) {
    if (char* at = make_room(count)) std::memcpy(at, text, static_cast<std::size_t>(count));
  }
  void place_blanks(int32_t count) {
    if (char* at = make_room(count)) std::memset(at, ' ', static_cast<std::size_t>(count));
  }

 private:
  // The count bytes at the current column, the column moved past them; null when there is
  // nothing to place or no room (overflow).
  char* make_room(int32_t count) {
    if (count <= 0) return nullptr;
    if (column + count > MAX_RECORD) {
      overflow = true;
      return nullptr;
    }
    if (column > length)
      std::memset(bytes + length, ' ', static_cast<std::size_t>(column - length));
    char* at = bytes + column;
    column += count;
    if (column > length) length = column;
    return at;
  }
};

// FNV-1a over 64 bits: the digests of what statements render and of what files hold.
inline constexpr uint64_t DIGEST_START = 0xcbf29ce484222325u;
inline uint64_t digest_bytes(uint64_t digest, const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    digest = (digest ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3u;
  }
  return digest;
}

// Receives each finished record. `line_continues` marks a record that ended at a `$`.
class RecordSink {
 public:
  virtual int32_t emit(const char* bytes, int32_t length, bool line_continues) = 0;

 protected:
  ~RecordSink() = default;
};

}  // namespace records::detail

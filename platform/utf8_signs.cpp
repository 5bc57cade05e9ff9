// The prompt's two code-page-437 signs for a terminal whose character set is UTF-8, shared by
// the platform implementations.
#include <cstddef>

#include "platform/utf8_signs.hpp"

namespace platform {

int write_with_utf8_signs(const char* bytes, std::size_t count,
                          int (*write)(const char* bytes, std::size_t count)) {
  char shown[4096];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (used + 3 > sizeof shown) {
      if (const int error = write(shown, used)) return error;
      used = 0;
    }
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0xF2 || byte == 0xF3) {  // U+2265 and U+2264 in UTF-8
      shown[used++] = '\xE2';
      shown[used++] = '\x89';
      shown[used++] = byte == 0xF2 ? '\xA5' : '\xA4';
    } else {
      shown[used++] = bytes[i];
    }
  }
  return write(shown, used);
}

}  // namespace platform

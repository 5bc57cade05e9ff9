// Decimal digits of a 32-bit float, and the two ways the program shows one: the G edit of a
// format and the field of a list-directed record.
#pragma once

#include <cstdint>

namespace records::detail {

// A finite, non-zero value as 0.d1 d2 ... d17 x 10^exponent, d1 not zero.
struct DecimalDigits {
  char digits[17];  // '0'..'9'
  int32_t exponent = 0;
  bool negative = false;
};

// The value widened to double, correctly rounded to 17 significant digits.
// The value must be finite and non-zero.
DecimalDigits decimal_digits(float value);

// Keeps the first `keep` digits (1..17), rounding half up on digit keep+1; a carry out of the
// first digit gives 1 followed by zeros and raises the exponent. The dropped places become '0'.
void keep_digits(DecimalDigits& value, int32_t keep);

// Gw.d of a float into `field`, exactly w characters (w asterisks when it does not fit).
// More than MAX_G_DIGITS digits would not fit any field of a record; d is held to it.
inline constexpr int32_t MAX_G_DIGITS = 1024;
void edit_g(char* field, float value, int32_t width, int32_t digits);

// The 15-column field of a float in a list-directed record.
inline constexpr int32_t LIST_REAL_WIDTH = 15;
void edit_list_real(char* field, float value);

}  // namespace records::detail

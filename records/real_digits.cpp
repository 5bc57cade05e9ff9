#include "records/real_digits.hpp"

#include <cmath>
#include <cstring>

namespace records::detail {
namespace {

// Right-aligns `length` characters of `text` in a field of `width`; asterisks if too long.
void right_align(char* field, int32_t width, const char* text, int32_t length) {
  if (length > width) {
    std::memset(field, '*', static_cast<std::size_t>(width));
    return;
  }
  std::memset(field, ' ', static_cast<std::size_t>(width - length));
  std::memcpy(field + width - length, text, static_cast<std::size_t>(length));
}

// Infinity and NaN never arise in the program; shown the usual way rather than as digits.
bool edit_non_finite(char* field, int32_t width, float value) {
  if (std::isfinite(value)) return false;
  const char* text = std::isnan(value) ? "NaN" : (std::signbit(value) ? "-Infinity" : "Infinity");
  right_align(field, width, text, static_cast<int32_t>(std::strlen(text)));
  return true;
}

int32_t put_exponent(char* out, int32_t exponent) {
  int32_t length = 0;
  out[length++] = 'E';
  out[length++] = exponent < 0 ? '-' : '+';
  const int32_t magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude >= 100) out[length++] = static_cast<char>('0' + magnitude / 100);
  out[length++] = static_cast<char>('0' + magnitude / 10 % 10);
  out[length++] = static_cast<char>('0' + magnitude % 10);
  return length;
}

}  // namespace

// A float is M * 2^E with a 24-bit integer M, so its decimal digits are those of the integer
// M * 2^E (E >= 0) or M * 5^-E (E < 0, shifted by E places): at most 113 of them, worked out
// exactly in base 10^9 and rounded to 17 (half to even, as the C library rounds).
DecimalDigits decimal_digits(float value) {
  DecimalDigits out;
  out.negative = std::signbit(value);
  int binary_exponent = 0;
  const float fraction = std::frexp(std::fabs(value), &binary_exponent);  // [0.5, 1)
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 24));
  int32_t exponent2 = binary_exponent - 24;
  while (mantissa % 2 == 0 && exponent2 < 0) {
    mantissa /= 2;
    ++exponent2;
  }
  constexpr uint32_t LIMB = 1000000000;
  uint32_t limbs[16] = {};  // little-endian base 10^9: 144 digits
  int32_t used = 0;
  for (uint64_t rest = mantissa; rest > 0; rest /= LIMB)
    limbs[used++] = static_cast<uint32_t>(rest % LIMB);
  const uint32_t factor = exponent2 >= 0 ? 2 : 5;
  for (int32_t k = exponent2 >= 0 ? exponent2 : -exponent2; k > 0; --k) {
    uint64_t carry = 0;
    for (int32_t i = 0; i < used; ++i) {
      const uint64_t product = uint64_t{limbs[i]} * factor + carry;
      limbs[i] = static_cast<uint32_t>(product % LIMB);
      carry = product / LIMB;
    }
    if (carry > 0) limbs[used++] = static_cast<uint32_t>(carry);
  }
  char all[16 * 9];
  int32_t count = 0;
  for (int32_t i = used - 1; i >= 0; --i) {
    char group[9];
    uint32_t limb = limbs[i];
    for (int32_t d = 8; d >= 0; --d, limb /= 10) group[d] = static_cast<char>('0' + limb % 10);
    int32_t from = 0;
    if (i == used - 1) {
      while (from < 8 && group[from] == '0') ++from;
    }
    for (int32_t d = from; d < 9; ++d) all[count++] = group[d];
  }
  out.exponent = count + (exponent2 < 0 ? exponent2 : 0);
  for (int32_t i = 0; i < 17; ++i) out.digits[i] = i < count ? all[i] : '0';
  if (count > 17) {
    bool above_half = all[17] > '5';
    for (int32_t i = 18; i < count && !above_half && all[17] == '5'; ++i)
      above_half = all[i] != '0';
    const bool tie = all[17] == '5' && !above_half;
    if (above_half || (tie && (out.digits[16] - '0') % 2 == 1)) {
      int32_t i = 16;
      while (i >= 0 && out.digits[i] == '9') out.digits[i--] = '0';
      if (i >= 0) {
        ++out.digits[i];
      } else {
        out.digits[0] = '1';
        ++out.exponent;
      }
    }
  }
  return out;
}

void keep_digits(DecimalDigits& value, int32_t keep) {
  if (keep >= 17) return;
  const bool round_up = value.digits[keep] >= '5';
  for (int32_t i = keep; i < 17; ++i) value.digits[i] = '0';
  if (!round_up) return;
  for (int32_t i = keep - 1; i >= 0; --i) {
    if (value.digits[i] != '9') {
      ++value.digits[i];
      return;
    }
    value.digits[i] = '0';
  }
  value.digits[0] = '1';
  ++value.exponent;
}

void edit_g(char* field, float value, int32_t width, int32_t digits) {
  if (edit_non_finite(field, width, value)) return;
  // A sign, d digits, the point and four blanks or an exponent: room for any d up to the
  // record length.
  if (digits > MAX_G_DIGITS) digits = MAX_G_DIGITS;
  const int32_t kept = digits < 1 ? 1 : (digits > 7 ? 7 : digits);
  char text[MAX_G_DIGITS + 16];
  int32_t length = 0;
  if (value == 0.0f) {
    // Zero has no exponent of its own: the fixed form with no digit before the point.
    text[length++] = '.';
    for (int32_t i = 0; i < digits; ++i) text[length++] = '0';
    for (int32_t i = 0; i < 4; ++i) text[length++] = ' ';
    right_align(field, width, text, length);
    return;
  }
  DecimalDigits d = decimal_digits(value);
  const int32_t exponent_before = d.exponent;
  keep_digits(d, kept);
  if (d.negative) text[length++] = '-';
  auto digit = [&](int32_t i) { return i < 17 ? d.digits[i] : '0'; };
  if (exponent_before >= 0 && exponent_before <= digits) {
    for (int32_t i = 0; i < exponent_before; ++i) text[length++] = digit(i);
    text[length++] = '.';
    for (int32_t i = exponent_before; i < digits; ++i) text[length++] = digit(i);
    for (int32_t i = 0; i < 4; ++i) text[length++] = ' ';
  } else {
    text[length++] = '.';
    for (int32_t i = 0; i < digits; ++i) text[length++] = digit(i);
    length += put_exponent(text + length, d.exponent);
  }
  right_align(field, width, text, length);
}

void edit_list_real(char* field, float value) {
  if (edit_non_finite(field, LIST_REAL_WIDTH, value)) return;
  char text[32];
  int32_t length = 0;
  if (value == 0.0f) {
    right_align(field, LIST_REAL_WIDTH, "0.000000E+00", 12);
    return;
  }
  DecimalDigits d = decimal_digits(value);
  const int32_t exponent_before = d.exponent;
  if (d.negative) text[length++] = '-';
  if (exponent_before >= 1 && exponent_before <= 7) {
    keep_digits(d, 7);  // min(7, e + 6) is 7 for every e in this range
    for (int32_t i = 0; i < exponent_before; ++i) text[length++] = d.digits[i];
    text[length++] = '.';
    for (int32_t i = exponent_before; i < exponent_before + 6; ++i) text[length++] = d.digits[i];
  } else {
    keep_digits(d, 7);
    text[length++] = d.digits[0];
    text[length++] = '.';
    for (int32_t i = 1; i < 7; ++i) text[length++] = d.digits[i];
    length += put_exponent(text + length, d.exponent - 1);
  }
  right_align(field, LIST_REAL_WIDTH, text, length);
}

}  // namespace records::detail

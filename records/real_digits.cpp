#include "records/real_digits.hpp"

#include <charconv>
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

DecimalDigits decimal_digits(float value) {
  // Widening is exact; the standard library's shortest-free conversion with a precision
  // gives the correctly rounded digits of the double.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                    std::chars_format::scientific, 16);
  DecimalDigits out;
  const char* p = text;
  if (*p == '-') {
    out.negative = true;
    ++p;
  }
  int32_t count = 0;
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p != '.') out.digits[count++] = *p;
  }
  int32_t exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), result.ptr, exponent);
  out.exponent = exponent + 1;
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

// A slow, independent reference for the two float fields: the float's exact decimal expansion
// worked out with big integers, then the rounding rules as the program states them.
//   1. The 17 significant digits of the value, correctly rounded (ties to even).
//   2. n kept digits from those 17, rounding half up on the next one.
//   3. G15.7: fixed form for 0 <= e <= 7 (e of step 1), otherwise .ddddddd E+ee; list-directed:
//      fixed with six decimals for 1 <= e <= 7, otherwise d.dddddd E+ee.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace reference {

// A big natural number in base 10^9, least significant limb first.
class Natural {
 public:
  explicit Natural(uint32_t value) : limbs_{value % 1000000000u} {
    if (value >= 1000000000u) limbs_.push_back(value / 1000000000u);
  }
  void multiply(uint32_t factor) {  // factor < 2^32, limbs < 10^9: no overflow in 64 bits
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t product = static_cast<uint64_t>(limb) * factor + carry;
      limb = static_cast<uint32_t>(product % 1000000000u);
      carry = product / 1000000000u;
    }
    while (carry > 0) {
      limbs_.push_back(static_cast<uint32_t>(carry % 1000000000u));
      carry /= 1000000000u;
    }
  }
  std::string decimal() const {
    std::string text = std::to_string(limbs_.back());
    for (std::size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string limb = std::to_string(limbs_[i]);
      text += std::string(9 - limb.size(), '0') + limb;
    }
    return text;
  }

 private:
  std::vector<uint32_t> limbs_;
};

// value = 0.digits x 10^point, digits without leading or trailing zeros.
struct Exact {
  std::string digits;
  int point = 0;
  bool negative = false;
};

// The exact expansion of a finite, non-zero float.
inline Exact exact_decimal(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Exact exact;
  exact.negative = (bits >> 31) != 0;
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  uint32_t mantissa = bits & 0x7FFFFF;
  int power_of_two = -149;
  if (biased != 0) {
    mantissa |= 0x800000;
    power_of_two = biased - 150;
  }
  Natural number(mantissa);
  int shift = 0;  // decimal places below the point
  if (power_of_two >= 0) {
    for (int left = power_of_two; left > 0; left -= 29)
      number.multiply(1u << (left < 29 ? left : 29));
  } else {
    // m * 2^-k = m * 5^k / 10^k
    shift = -power_of_two;
    uint32_t five_powers[13] = {1};
    for (int i = 1; i < 13; ++i) five_powers[i] = five_powers[i - 1] * 5;
    for (int left = shift; left > 0; left -= 12)
      number.multiply(five_powers[left < 12 ? left : 12]);
  }
  std::string digits = number.decimal();
  exact.point = static_cast<int>(digits.size()) - shift;
  digits.erase(digits.find_last_not_of('0') + 1);
  exact.digits = digits;
  return exact;
}

// 17 significant digits, correctly rounded with ties to even; `point` as for Exact.
inline std::string seventeen_digits(const Exact& exact, int& point) {
  point = exact.point;
  std::string digits = exact.digits;
  if (digits.size() <= 17) return digits + std::string(17 - digits.size(), '0');
  const std::string rest = digits.substr(17);
  digits.resize(17);
  bool up =
      rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
  if (rest[0] == '5' && rest.find_first_not_of('0', 1) == std::string::npos) {
    up = (digits[16] - '0') % 2 == 1;  // a tie goes to the even digit
  }
  if (up) {
    int i = 16;
    while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9')
      digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      digits = "1" + std::string(16, '0');
      ++point;
    } else {
      ++digits[static_cast<std::size_t>(i)];
    }
  }
  return digits;
}

// The first `keep` of the 17 digits, rounded half up on the next; places beyond are zeros.
inline std::string kept_digits(std::string digits, int keep, int& point) {
  const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
  for (std::size_t i = static_cast<std::size_t>(keep); i < digits.size(); ++i) digits[i] = '0';
  if (up) {
    int i = keep - 1;
    while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9')
      digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      digits[0] = '1';
      ++point;
    } else {
      ++digits[static_cast<std::size_t>(i)];
    }
  }
  return digits;
}

inline std::string right_aligned(const std::string& text, std::size_t width) {
  if (text.size() > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

inline std::string two_digit_exponent(int exponent) {
  std::string text = exponent < 0 ? "-" : "+";
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) text += "0";
  return text + std::to_string(magnitude);
}

inline std::string g15_7(float value) {
  if (value == 0.0f) return right_aligned(".0000000    ", 15);
  const Exact exact = exact_decimal(value);
  int e = 0;
  const std::string seventeen = seventeen_digits(exact, e);
  int rounded_e = e;
  const std::string seven = kept_digits(seventeen, 7, rounded_e);
  std::string text = exact.negative ? "-" : "";
  if (e >= 0 && e <= 7) {
    text += seven.substr(0, static_cast<std::size_t>(e)) + "." +
            seven.substr(static_cast<std::size_t>(e), static_cast<std::size_t>(7 - e)) + "    ";
  } else {
    text += "." + seven.substr(0, 7) + "E" + two_digit_exponent(rounded_e);
  }
  return right_aligned(text, 15);
}

inline std::string list_real(float value) {
  if (value == 0.0f) return right_aligned("0.000000E+00", 15);
  const Exact exact = exact_decimal(value);
  int e = 0;
  const std::string seventeen = seventeen_digits(exact, e);
  std::string text = exact.negative ? "-" : "";
  if (e >= 1 && e <= 7) {
    const int keep = e + 6 < 7 ? e + 6 : 7;
    int rounded_e = e;
    const std::string kept = kept_digits(seventeen, keep, rounded_e);
    std::string shown = kept.substr(0, static_cast<std::size_t>(e + 6));
    text += shown.substr(0, static_cast<std::size_t>(e)) + "." +
            shown.substr(static_cast<std::size_t>(e));
  } else {
    int rounded_e = e;
    const std::string seven = kept_digits(seventeen, 7, rounded_e);
    text += seven.substr(0, 1) + "." + seven.substr(1, 6) + "E" + two_digit_exponent(rounded_e - 1);
  }
  return right_aligned(text, 15);
}

}  // namespace reference

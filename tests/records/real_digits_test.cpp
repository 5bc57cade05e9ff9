// Decimal digits of floats: the G15.7 field and the list-directed field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "float_reference.hpp"
#include "records/real_digits.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

using records::detail::decimal_digits;
using records::detail::DecimalDigits;
using records::detail::edit_g;
using records::detail::edit_list_real;
using records::detail::keep_digits;

std::string g15_7(float value) {
  char field[15];
  edit_g(field, value, 15, 7);
  return std::string(field, 15);
}

std::string list_real(float value) {
  char field[15];
  edit_list_real(field, value);
  return std::string(field, 15);
}

struct Field {
  float value;
  const char* expected;
};

// Shows the case in test listings.
void describe(const Field& c, std::ostream* os) { *os << testing::PrintToString(c.value); }

class GEditTest : public testing::TestWithParam<Field> {};
TEST_P(GEditTest, Renders) { EXPECT_EQ(g15_7(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Fields, GEditTest,
    testing::Values(
        // The fixed form: e digits before the point, never a 0 before it, four blanks after.
        Field{15360.0f, "   15360.00    "}, Field{0.5f, "   .5000000    "},
        Field{1234567.0f, "   1234567.    "}, Field{123.4567f, "   123.4567    "},
        Field{61440.00390625f, "   61440.00    "}, Field{24576.001953125f, "   24576.00    "},
        Field{-2.5f, "  -2.500000    "}, Field{0.0f, "   .0000000    "},
        Field{-0.0f, "   .0000000    "},
        // The exponent form below 0.1 and from 10^7 on; its exponent is taken after rounding.
        Field{0.0064f, "   .6400000E-02"}, Field{123456789.0f, "   .1234568E+09"},
        Field{9999999.0f, "   9999999.    "}, Field{10000000.0f, "   .1000000E+08"},
        Field{0.099999994f, "   .9999999E-01"}, Field{-1.0e-10f, "  -.1000000E-09"},
        // Extremes of the float range.
        Field{std::numeric_limits<float>::max(), "   .3402823E+39"},
        Field{std::numeric_limits<float>::denorm_min(), "   .1401298E-44"}));

class ListRealTest : public testing::TestWithParam<Field> {};
TEST_P(ListRealTest, Renders) { EXPECT_EQ(list_real(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Fields, ListRealTest,
    testing::Values(Field{12.34f, "      12.340000"}, Field{0.5f, "   5.000000E-01"},
                    Field{0.0f, "   0.000000E+00"}, Field{-0.0f, "   0.000000E+00"},
                    Field{-5.25f, "      -5.250000"}, Field{1234.5678f, "    1234.568000"},
                    Field{12345678.0f, "   1.234568E+07"}, Field{1.0f, "       1.000000"},
                    Field{9999999.0f, " 9999999.000000"}, Field{15360.0f, "   15360.000000"},
                    Field{90.5f, "      90.500000"}, Field{0.2f, "   2.000000E-01"},
                    Field{-86398.0f, "  -86398.000000"},
                    Field{std::numeric_limits<float>::max(), "   3.402823E+38"},
                    Field{std::numeric_limits<float>::denorm_min(), "   1.401298E-45"}));

TEST(RealDigitsTest, SeventeenCorrectlyRoundedDigits) {
  const DecimalDigits d = decimal_digits(0.1f);  // 0.100000001490116119384765625
  EXPECT_EQ(std::string(d.digits, 17), "10000000149011612");
  EXPECT_EQ(d.exponent, 0);
  EXPECT_FALSE(d.negative);
  const DecimalDigits big = decimal_digits(-123456789.0f);  // -123456792
  EXPECT_EQ(std::string(big.digits, 17), "12345679200000000");
  EXPECT_EQ(big.exponent, 9);
  EXPECT_TRUE(big.negative);
}

TEST(RealDigitsTest, KeptDigitsRoundHalfUpAndCarry) {
  DecimalDigits d{};
  std::memcpy(d.digits, "99999995000000000", 17);
  d.exponent = 3;
  keep_digits(d, 7);
  EXPECT_EQ(std::string(d.digits, 17), "10000000000000000");
  EXPECT_EQ(d.exponent, 4);

  std::memcpy(d.digits, "12345644999999999", 17);
  keep_digits(d, 7);  // the digit after the seventh is 4: no rounding up
  EXPECT_EQ(std::string(d.digits, 17), "12345640000000000");
  std::memcpy(d.digits, "12345645000000000", 17);
  keep_digits(d, 7);
  EXPECT_EQ(std::string(d.digits, 17), "12345650000000000");
}

TEST(RealDigitsTest, TiesAtTheSeventeenthDigitRoundToEven) {
  // 10001 * 2^-20 = 0.00953769683837890625 has exactly 18 significant digits ending in 5: a
  // tie at the 17th digit, which correct rounding settles to the even digit.
  const float tie = std::ldexp(10001.0f, -20);
  EXPECT_EQ(std::string(decimal_digits(tie).digits, 17), "95376968383789062");
}

// A sample of the full sweep (make float-sweep): floats of every exponent and sign.
TEST(RealDigitsTest, AgreesWithTheExactReferenceAcrossTheRange) {
  for (uint32_t sign = 0; sign < 2; ++sign) {
    for (uint32_t exponent = 0; exponent < 255; ++exponent) {
      for (uint32_t i = 0; i < 200; ++i) {
        const uint32_t bits =
            sign << 31 | exponent << 23 | ((i * 41941u + exponent * 7919u) & 0x7FFFFF);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        ASSERT_EQ(g15_7(value), reference::g15_7(value)) << std::hex << bits;
        ASSERT_EQ(list_real(value), reference::list_real(value)) << std::hex << bits;
      }
    }
  }
}

TEST(RealDigitsTest, NonFiniteValuesAreNamed) {
  EXPECT_EQ(g15_7(std::numeric_limits<float>::infinity()), "       Infinity");
  EXPECT_EQ(list_real(-std::numeric_limits<float>::infinity()), "      -Infinity");
  EXPECT_EQ(list_real(std::numeric_limits<float>::quiet_NaN()), "            NaN");
  char narrow[3];
  edit_g(narrow, std::numeric_limits<float>::infinity(), 3, 1);
  EXPECT_EQ(std::string(narrow, 3), "***");
}

}  // namespace

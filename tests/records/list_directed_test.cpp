// List-directed records and the list-directed integer reader.
#include <gtest/gtest.h>

#include <climits>

#include "records/records.hpp"
#include "render_helpers.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

using test::integer;
using test::real;
using test::render_list;
using test::text;

struct ListCase {
  std::vector<test::Item> items;
  std::vector<std::string> expected;
};

// Shows the case in test listings.
void describe(const ListCase& c, std::ostream* os) { *os << c.items.size() << " items"; }

class ListRecordTest : public testing::TestWithParam<ListCase> {};

TEST_P(ListRecordTest, Renders) {
  const test::Rendered r = render_list(GetParam().items);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.records, GetParam().expected);
}

// Text items refer to their bytes, so the texts of the tables live as long as the tests.
const std::string NAME = "DEC 3000-600s AXP alpha station                   ";  // 50
const std::string LONG_TEXT(100, 'x');
const std::string SEVENTY(70, 'y');
const std::string A78(78, 'a');
const std::string A79(79, 'a');

INSTANTIATE_TEST_SUITE_P(
    ProgramRecords, ListRecordTest,
    testing::Values(
        ListCase{{text("Duration is"), real(12.34f), text(" sec")},
                 {" Duration is      12.340000 sec"}},
        ListCase{{text("Duration is"), real(0.5f), text(" sec")},
                 {" Duration is   5.000000E-01 sec"}},
        ListCase{{integer(1000), text(" has been entered.")}, {"        1000 has been entered."}},
        ListCase{{integer(-7), text(" has been entered.")}, {"          -7 has been entered."}},
        ListCase{{text("Expansion length is considered:"), integer(717)},
                 {" Expansion length is considered:        717"}},
        ListCase{{text(NAME), real(15360.0f)}, {" " + NAME + "   15360.000000"}},
        ListCase{{}, {" "}}));

INSTANTIATE_TEST_SUITE_P(
    SeparatorsAndWidth, ListRecordTest,
    testing::Values(
        // A blank separates numeric items, but not a number from the text before it.
        ListCase{{integer(1), integer(2)}, {"           1           2"}},
        ListCase{{integer(1), text("x"), integer(2)}, {"           1x          2"}},
        ListCase{{real(1.0f), integer(2)}, {"        1.000000           2"}},
        // 79 columns after the leading blank; an item fits only if it is narrower than what
        // is left. A text is split; a number moves whole, separator and all, to a new record.
        ListCase{{text(A78)}, {" " + A78}}, ListCase{{text(A79)}, {" " + A79}},
        ListCase{{text(LONG_TEXT)}, {" " + std::string(79, 'x'), " " + std::string(21, 'x')}},
        ListCase{{text(A79), text("b")}, {" " + A79, " b"}},
        ListCase{{text(SEVENTY), integer(5)}, {" " + SEVENTY, "           5"}},
        ListCase{
            {integer(1), integer(2), integer(3), integer(4), integer(5), integer(6), integer(7)},
            {"           1           2           3           4           5           6",
             "            7"}}));

// Bytes from a string, for the reader.
class StringSource final : public records::detail::ByteSource {
 public:
  explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
  int peek(int ahead) override {
    const std::size_t at = position_ + static_cast<std::size_t>(ahead);
    return at < bytes_.size() ? static_cast<unsigned char>(bytes_[at]) : END;
  }
  void advance() override { ++position_; }
  std::string rest() const { return bytes_.substr(position_); }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

struct Answer {
  std::string input;
  int32_t status;  // 0, -1, or 1 for any positive status
  int32_t value;   // the variable afterwards; it starts as 16000
};

// Shows the case in test listings.
void describe(const Answer& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class IntegerReaderTest : public testing::TestWithParam<Answer> {};

TEST_P(IntegerReaderTest, StoresOrKeeps) {
  const Answer& a = GetParam();
  StringSource source(a.input);
  int32_t variable = 16000;
  int32_t status = records::detail::read_list_integer(source, variable);
  if (status > 0) status = 1;
  EXPECT_EQ(status, a.status) << a.input;
  EXPECT_EQ(variable, a.value) << a.input;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, IntegerReaderTest,
    testing::Values(Answer{"1000\n", 0, 1000}, Answer{"  1000\n", 0, 1000},
                    Answer{"1000 abc\n", 0, 1000}, Answer{"\t1000\r\n", 0, 1000},
                    Answer{"\n\n  \r\n42\n", 0, 42}, Answer{"1000", 0, 1000},
                    Answer{"+17\n", 0, 17}, Answer{"-7\n", 0, -7}, Answer{"1000,2000\n", 0, 1000},
                    Answer{"1000/\n", 0, 1000}, Answer{"2147483647\n", 0, INT_MAX},
                    Answer{"-2147483648\n", 0, INT_MIN},
                    Answer{"000000000000000000000000000000000001000\n", 0, 1000},
                    // The radix form base#digits; # alone is base 16.
                    Answer{"16#FF\n", 0, 255}, Answer{"#ff\n", 0, 255}, Answer{"2#101\n", 0, 5},
                    Answer{"36#z\n", 0, 35}, Answer{"2*-7\n", 0, -7},
                    // The repeat form stores its value; count* alone is a null value.
                    Answer{"3*250\n", 0, 250}, Answer{"3*\n", 0, 16000}, Answer{"3*,\n", 0, 16000},
                    // A null value and the slash leave the variable as it was.
                    Answer{",\n", 0, 16000}, Answer{"  ,5\n", 0, 16000}, Answer{"/\n", 0, 16000}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, IntegerReaderTest,
    testing::Values(Answer{"abc\n", 1, 16000}, Answer{"12.5\n", 1, 16000},
                    Answer{"3000000000\n", 1, 16000}, Answer{"2147483648\n", 1, 16000},
                    Answer{"-2147483649\n", 1, 16000},
                    Answer{"99999999999999999999999999\n", 1, 16000}, Answer{"+\n", 1, 16000},
                    Answer{"-\n", 1, 16000}, Answer{"1e3\n", 1, 16000}, Answer{"'5'\n", 1, 16000},
                    Answer{"#\n", 1, 16000}, Answer{"37#1\n", 1, 16000}, Answer{"1#1\n", 1, 16000},
                    Answer{"8#9\n", 1, 16000}, Answer{"0*5\n", 1, 16000}, Answer{"*5\n", 1, 16000},
                    Answer{"-3*5\n", 1, 16000}, Answer{"2*3*4\n", 1, 16000},
                    Answer{"16#FFFFFFFF\n", 1, 16000},
                    // A radix form has no sign.
                    Answer{"-16#10\n", 1, 16000}, Answer{"+16#10\n", 1, 16000},
                    Answer{"+#10\n", 1, 16000}, Answer{"-#10\n", 1, 16000},
                    // A CR that is not before LF is no line end but a character.
                    Answer{"12\r3\n", 1, 16000}, Answer{"\r5\n", 1, 16000},
                    Answer{"\x1a"
                           "b\n",
                           1, 16000}));

INSTANTIATE_TEST_SUITE_P(EndOfInput, IntegerReaderTest,
                         testing::Values(Answer{"", -1, 16000}, Answer{"\n\n", -1, 16000},
                                         Answer{"   ", -1, 16000}, Answer{"\x1a\r\n", -1, 16000},
                                         Answer{"\x1a\n", -1, 16000}, Answer{"\n \x1a", -1, 16000},
                                         Answer{"12\x1a\r\n", -1, 16000}));

TEST(IntegerReaderTest, TheRestOfTheLineIsDiscardedAndTheNextReadStartsOnANewLine) {
  StringSource source("5 6 7\n\n8 9\n");
  int32_t variable = 0;
  EXPECT_EQ(records::detail::read_list_integer(source, variable), 0);
  EXPECT_EQ(variable, 5);
  EXPECT_EQ(source.rest(), "\n8 9\n");
  EXPECT_EQ(records::detail::read_list_integer(source, variable), 0);
  EXPECT_EQ(variable, 8);
  EXPECT_EQ(source.rest(), "");
  EXPECT_EQ(records::detail::read_list_integer(source, variable), -1);
  EXPECT_EQ(variable, 8);
}

TEST(IntegerReaderTest, AnEndOfInputLineIsConsumed) {
  StringSource source("\x1a\r\n7\n");
  int32_t variable = 0;
  EXPECT_EQ(records::detail::read_list_integer(source, variable), -1);
  EXPECT_EQ(source.rest(), "7\n");
}

}  // namespace

// Formatted records: every edit the program's formats use, reversion and the failures.
#include <gtest/gtest.h>

#include <climits>

#include "records/format.hpp"
#include "records/records.hpp"
#include "render_helpers.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

using test::integer;
using test::Item;
using test::real;
using test::render;
using test::text;

const std::string PROMPT =
    "(' Enter number of digits for pi (\xF2"
    "4; \xF3', i5, ') ', $)";

// Text items refer to their bytes, so the texts of the tables live as long as the tests.
const std::string NAME_FIELD = "MY PC" + std::string(45, ' ');

struct OneRecord {
  std::string format;
  std::vector<Item> items;
  std::string expected;
  bool continues = false;
};

// Shows the case in test listings.
void describe(const OneRecord& c, std::ostream* os) { *os << c.format; }

class OneRecordTest : public testing::TestWithParam<OneRecord> {};

TEST_P(OneRecordTest, RendersExactly) {
  const OneRecord& c = GetParam();
  const test::Rendered r = render(c.format, c.items);
  ASSERT_EQ(r.status, 0) << c.format;
  ASSERT_EQ(r.records.size(), 1u) << c.format;
  EXPECT_EQ(r.records[0], c.expected) << c.format;
  EXPECT_EQ(r.last_continues, c.continues) << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFormats, OneRecordTest,
    testing::Values(
        // The prompt: single bytes 0xF2 and 0xF3, 44 characters, the line left open by `$`.
        OneRecord{PROMPT,
                  {integer(64000)},
                  " Enter number of digits for pi (\xF2"
                  "4; \xF3"
                  "64000) ",
                  true},
        // The literal after the item is written because the format ends, not at a data edit.
        OneRecord{"(' You misspelled.', i6, ' is maximum. Retry, please.')",
                  {integer(64000)},
                  " You misspelled. 64000 is maximum. Retry, please."},
        OneRecord{"(' Speed test data: dimension is ',I5)",
                  {integer(251)},
                  " Speed test data: dimension is   251"},
        OneRecord{"(' Speed test data: dimension is ',I5)",
                  {integer(16001)},
                  " Speed test data: dimension is 16001"},
        OneRecord{"(1X,A,1X,2(I2.2,':'),I2.2,'.',I2.2)",
                  {text("Start time"), integer(9), integer(5), integer(7), integer(3)},
                  " Start time 09:05:07.03"},
        OneRecord{"(1x,a,1x,2(i2.2,':'),i2.2,'.',i2.2)",
                  {text("End time  "), integer(23), integer(0), integer(59), integer(0)},
                  " End time   23:00:59.00"},
        OneRecord{"(a50, 1x, g15.7)",
                  {text(NAME_FIELD), real(123.4567f)},
                  NAME_FIELD + " " + "   123.4567    "},
        OneRecord{"(' Pi = 3.',(T9,15I4.4))", {integer(1415)}, " Pi = 3.1415"}));

INSTANTIATE_TEST_SUITE_P(
    IntegerEdits, OneRecordTest,
    testing::Values(
        OneRecord{"(I5)", {integer(64000)}, "64000"}, OneRecord{"(i6)", {integer(64000)}, " 64000"},
        OneRecord{"(I2.2)", {integer(7)}, "07"}, OneRecord{"(I2.2)", {integer(0)}, "00"},
        OneRecord{"(I4.4)", {integer(123)}, "0123"}, OneRecord{"(I4.4)", {integer(0)}, "0000"},
        OneRecord{"(I5)", {integer(0)}, "    0"}, OneRecord{"(I3)", {integer(-12)}, "-12"},
        OneRecord{"(I5.3)", {integer(-5)}, " -005"},
        OneRecord{"(I11)", {integer(INT_MIN)}, "-2147483648"},
        // Too wide for the field: asterisks, the sign counting as a column.
        OneRecord{"(I5)", {integer(123456)}, "*****"}, OneRecord{"(I2)", {integer(-12)}, "**"},
        OneRecord{"(I2.3)", {integer(5)}, "**"}));

// Fields as wide as the parser accepts render in full: digit counts beyond any number's own,
// up to the record length.
INSTANTIATE_TEST_SUITE_P(
    WideFields, OneRecordTest,
    testing::Values(
        OneRecord{"(I30.17)", {integer(123)}, std::string(13, ' ') + "00000000000000123"},
        OneRecord{
            "(I40.30)", {integer(-5)}, std::string(9, ' ') + "-" + std::string(29, '0') + "5"},
        OneRecord{"(I1024.1024)", {integer(7)}, std::string(1023, '0') + "7"},
        OneRecord{"(I1024.1024)", {integer(-7)}, std::string(1024, '*')},
        OneRecord{
            "(G60.44)", {real(0.5f)}, std::string(11, ' ') + ".5" + std::string(43, '0') + "    "},
        OneRecord{"(G60.50)",
                  {real(1234.5f)},
                  std::string(5, ' ') + "1234.5" + std::string(45, '0') + "    "},
        OneRecord{
            "(G60.50)", {real(1e-20f)}, std::string(5, ' ') + ".1" + std::string(49, '0') + "E-19"},
        OneRecord{"(G1024.1024)", {real(0.25f)}, std::string(1024, '*')},
        OneRecord{"(1023X,I1)", {integer(9)}, std::string(1023, ' ') + "9"}));

INSTANTIATE_TEST_SUITE_P(
    TextAndPositions, OneRecordTest,
    testing::Values(OneRecord{"(A)", {text("xyz")}, "xyz"},
                    OneRecord{"(A5)", {text("ab")}, "   ab"},
                    OneRecord{"(A3)", {text("abcdef")}, "abc"}, OneRecord{"('it''s')", {}, "it's"},
                    OneRecord{"(5X,'a')", {}, "     a"},
                    // T moves back over written columns; X at the end adds nothing.
                    OneRecord{"('abc',T2,'X')", {}, "aXc"},
                    OneRecord{"(T5,'a',T1,'b')", {}, "b   a"}, OneRecord{"('ab',3X)", {}, "ab"},
                    // No item left at a data edit: the statement ends there.
                    OneRecord{"('a',I5,'b')", {}, "a"},
                    // Repeated groups and descriptors.
                    OneRecord{"(2(I1,'-'),I1)", {integer(1), integer(2), integer(3)}, "1-2-3"},
                    OneRecord{"(3I2)", {integer(1), integer(2), integer(3)}, " 1 2 3"}));

// Words 1..count as a listing would pass them.
std::vector<Item> words(int count) {
  std::vector<Item> items;
  for (int i = 1; i <= count; ++i) items.push_back(integer((i * 7919) % 10000));
  return items;
}

std::string four_digits(int i) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04d", (i * 7919) % 10000);
  return buffer;
}

struct ListingCase {
  std::string format;
  int column;  // where the words start, 1-based
  int per_record;
  int words;
};

// Shows the case in test listings.
void describe(const ListingCase& c, std::ostream* os) { *os << c.words << " words"; }

class ListingTest : public testing::TestWithParam<ListingCase> {};

TEST_P(ListingTest, LabelOnceThenAlignedContinuations) {
  const ListingCase& c = GetParam();
  const test::Rendered r = render(c.format, words(c.words));
  ASSERT_EQ(r.status, 0);
  const std::size_t expected_records =
      static_cast<std::size_t>((c.words + c.per_record - 1) / c.per_record);
  ASSERT_EQ(r.records.size(), expected_records);
  const std::string label = c.format.substr(2, c.format.find('\'', 2) - 2);
  for (std::size_t k = 0; k < r.records.size(); ++k) {
    std::string expected =
        k == 0 ? label : std::string(static_cast<std::size_t>(c.column - 1), ' ');
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(c.column - 1));
    for (int w = static_cast<int>(k) * c.per_record + 1;
         w <= std::min(c.words, static_cast<int>(k + 1) * c.per_record); ++w) {
      expected += four_digits(w);
    }
    EXPECT_EQ(r.records[k], expected) << "record " << k;
  }
  EXPECT_FALSE(r.last_continues);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ListingTest,
    testing::Values(
        // 30 words: 13, 13 and the last 4 (41 characters); 26 words: exactly two records.
        ListingCase{"(' ArcTangent( 1 / 5 ) = 0.',(T26,13I4.4))", 26, 13, 30},
        ListingCase{"(' ArcTangent( 1 / 5 ) = 0.',(T26,13I4.4))", 26, 13, 26},
        ListingCase{"(' ArcTangent( 1/239 ) = 0.',(T26,13I4.4))", 26, 13, 13},
        ListingCase{"(' ArcTangent( 1/239 ) = 0.',(T26,13I4.4))", 26, 13, 1},
        ListingCase{"(' Pi = 3.',(T9,15I4.4))", 9, 15, 16000},
        ListingCase{"(' ArcTangent( 1 / 5 ) = 0.',(T26,25I4.4))", 26, 25, 16000},
        ListingCase{"(' Pi = 3.',(T9,25I4.4))", 9, 25, 251}));

TEST(FormatTest, ThirtyWordListingHasTheRecordLengthsOfTheExample) {
  const test::Rendered r = render("(' ArcTangent( 1 / 5 ) = 0.',(T26,13I4.4))", words(30));
  ASSERT_EQ(r.records.size(), 3u);
  EXPECT_EQ(r.records[0].size(), 77u);
  EXPECT_EQ(r.records[1].size(), 77u);
  EXPECT_EQ(r.records[2].size(), 41u);
}

TEST(FormatTest, ReversionResumesAtTheLastTopLevelGroupWithItsRepeatCount) {
  const test::Rendered r =
      render("('L',2(I1))", {integer(1), integer(2), integer(3), integer(4), integer(5)});
  EXPECT_EQ(r.records, (std::vector<std::string>{"L12", "34", "5"}));
}

TEST(FormatTest, ReversionWithoutGroupRestartsTheFormat) {
  const test::Rendered r = render("('<',I2)", {integer(1), integer(2), integer(3)});
  EXPECT_EQ(r.records, (std::vector<std::string>{"< 1", "< 2", "< 3"}));
}

// The walker alone: what a format yields for a number of items, as tokens: each data edit as
// written, each literal, X, T and $ as written, "/" for a record's end by reversion, "." for the
// statement's end and "!" for a format without data edits.
struct Walk {
  std::string name;
  std::string format;
  int items;
  std::string steps;
};

std::string walk(const std::string& text, int items) {
  using Kind = records::detail::FormatWalker::Step::Kind;
  const records::detail::Format* format = records::detail::find_format(text);
  if (format == nullptr) return "unusable";
  records::detail::FormatWalker walker(*format);
  std::string steps;
  for (int guard = 0; guard < 200; ++guard) {
    const auto step = walker.next(items > 0);
    if (!steps.empty()) steps += ' ';
    if (step.kind == Kind::end) return steps + ".";
    if (step.kind == Kind::no_data) return steps + "!";
    if (step.kind == Kind::record_end) {
      steps += '/';
      continue;
    }
    const records::detail::FormatNode& node = *step.node;
    using Node = records::detail::FormatNode::Kind;
    if (node.kind == Node::literal) {
      steps += "'" +
               std::string(format->text + node.offset, static_cast<std::size_t>(node.length)) + "'";
    } else if (node.kind == Node::skip) {
      steps += std::to_string(node.width) + "X";
    } else if (node.kind == Node::tab) {
      steps += "T" + std::to_string(node.width);
    } else if (node.kind == Node::dollar) {
      steps += "$";
    } else {
      steps += node.letter + (node.width < 0 ? "" : std::to_string(node.width)) +
               (node.digits < 0 ? "" : "." + std::to_string(node.digits));
      --items;
    }
  }
  return steps + " (no end)";
}

class FormatWalkerTest : public testing::TestWithParam<Walk> {};

TEST_P(FormatWalkerTest, YieldsTheEditsInOrder) {
  EXPECT_EQ(walk(GetParam().format, GetParam().items), GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatWalkerTest,
    testing::Values(Walk{"one_a50", "(a50)", 1, "A50 ."},
                    Walk{"repeated_a25", "(2A25)", 2, "A25 A25 ."},
                    Walk{"table_record", "(a50, 1x, g15.7)", 2, "A50 1X G15.7 ."},
                    // The literal after the last item still belongs to the record.
                    Walk{"literal_after_the_item", "(' You misspelled.', i6, ' is maximum.')", 1,
                         "' You misspelled.' I6 ' is maximum.' ."},
                    Walk{"clock_record", "(1X,A,1X,2(I2.2,':'),I2.2,'.',I2.2)", 5,
                         "1X A 1X I2.2 ':' I2.2 ':' I2.2 '.' I2.2 ."},
                    Walk{"prompt_dollar", "(' Enter (', i5, ') ', $)", 1, "' Enter (' I5 ') ' $ ."},
                    // Reversion goes back to the last top-level group with its repeat count; the
                    // label is not repeated.
                    Walk{"pi_listing_reverts", "(' Pi = 3.',(T9,2I4.4))", 5,
                         "' Pi = 3.' T9 I4.4 I4.4 / T9 I4.4 I4.4 / T9 I4.4 ."},
                    Walk{"pi_listing_ends_with_a_group", "(' Pi = 3.',(T9,2I4.4))", 4,
                         "' Pi = 3.' T9 I4.4 I4.4 / T9 I4.4 I4.4 ."},
                    // Without a group the whole format is used again.
                    Walk{"no_group_restarts", "(I2)", 3, "I2 / I2 / I2 ."},
                    Walk{"no_data_edit", "('none')", 1, "'none' / 'none' !"}));

TEST(FormatTest, UnusableFormatsAreRejected) {
  for (const char* format :
       {"", "(", "I5", "(I5", "(Q5)", "(I)", "(I0)", "(G15)", "('abc)", "(T0)", "(0(I1))", "(2T5)",
        "(I5)x", "((((((((((I1))))))))))",
        // Beyond the limits: widths, digits and positions up to the
        // record length, repeats up to the items of a statement.
        "(I1025)", "(I5.1025)", "(G15.1025)", "(G1025.7)", "(A1025)", "(T1025)", "(1025X)",
        "(16385I1)", "(16385(I1))", "(99999999999999999999I1)", "(I999999.999999)"}) {
    EXPECT_EQ(records::detail::find_format(format), nullptr) << format;
  }
}

TEST(FormatTest, ItemsThatTheirEditCannotTakeFail) {
  EXPECT_EQ(render("(I5)", {text("x")}).status, records::STATUS_BAD_ITEM);
  EXPECT_EQ(render("(A)", {integer(1)}).status, records::STATUS_BAD_ITEM);
  EXPECT_EQ(render("(G15.7)", {integer(1)}).status, records::STATUS_BAD_ITEM);
  // A format without data edits cannot take the items: no endless reversion.
  EXPECT_EQ(render("('x')", {integer(1)}).status, records::STATUS_BAD_FORMAT);
  EXPECT_EQ(render("(T1020,'abcdefgh')", {}).status, records::STATUS_RECORD_TOO_LONG);
  EXPECT_EQ(render("(1024X,I1)", {integer(1)}).status, records::STATUS_RECORD_TOO_LONG);
  EXPECT_EQ(render("(I1024,I1)", {integer(1), integer(2)}).status, records::STATUS_RECORD_TOO_LONG);
}

}  // namespace

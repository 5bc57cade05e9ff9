// The built program, run in a fresh directory through pipes and on a pseudo-terminal: its
// standard output, PI.Tst, PI.OUT and exit status, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "child_process.hpp"
#include "records/real_digits.hpp"
#include "rows.hpp"
#include "run_helpers.hpp"
#include "temp_dir.hpp"
#include "tu_mardo/timing.hpp"

namespace {

using test::PrintTo;

using test::Console;
using test::golden;
using test::ProgramRun;

const std::string DESCRIPTION =
    "This is a computing power benchmark based on PI number\r\n"
    "calculation. This program updates Tu_Mardo.Dat file:\r\n"
    "50 characters of a compurer identifier, e.g.,\r\n"
    "DEC 3000-600s AXP alpha station, are appended with\r\n"
    "the benchmark value, the last line is thought to contain\r\n"
    "YOUR COMPUTER NAME, which will be appended with its\r\n"
    "behchmark parameter if the calculation duration is more\r\n"
    "than 1 second.\r\n";
const std::string PROMPT =
    "Enter number of digits for pi (\xF2"
    "4; \xF3"
    "64000) ";

struct GoldenCase {
  std::string name;
  std::string input;
  Console console;
  std::string stdout_file;
  std::string pi_out_file;
  std::string pi_tst_file;  // empty: not compared
};

class GoldenTest : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, MatchesTheGoldenRun) {
  const GoldenCase& c = GetParam();
  if (c.console == Console::terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run;
  run.start(c.input, c.console);
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.out, golden(c.stdout_file));
  EXPECT_EQ(run.file("PI.OUT"), golden(c.pi_out_file));
  if (!c.pi_tst_file.empty()) {
    EXPECT_EQ(run.file("PI.Tst"), golden(c.pi_tst_file));
  }
  EXPECT_FALSE(run.exists("tu_mardo.dat"));  // half a second earns no value
}

INSTANTIATE_TEST_SUITE_P(
    Runs, GoldenTest,
    testing::Values(GoldenCase{"four_pipe", "4\n", Console::pipe, "run-4-pipe.stdout",
                               "run-4.PI.OUT", "run-4.PI.Tst"},
                    GoldenCase{"four_terminal", "4\n", Console::terminal, "run-4-terminal.stdout",
                               "run-4.PI.OUT", "run-4.PI.Tst"},
                    GoldenCase{"thousand_pipe", "64001\n3\n1000\n", Console::pipe,
                               "run-1000-pipe.stdout", "run-1000.PI.OUT", ""},
                    GoldenCase{"thousand_terminal", "64001\n3\n1000\n", Console::terminal,
                               "run-1000-terminal.stdout", "run-1000.PI.OUT", ""}),
    test::row_name);

// The prompt's two signs reach a UTF-8 terminal as the characters they stand for; pipes and
// other character sets get the bytes. Nothing else changes, in the files least of all.
struct Signs {
  std::string name;
  Console console;
  std::string locale;
  bool as_utf8;
};

class PromptSignsTest : public testing::TestWithParam<Signs> {};

TEST_P(PromptSignsTest, ShowTheSignsAsTheTerminalsCharacterSetHasThem) {
  const Signs& c = GetParam();
  if (c.console == Console::terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run;
  run.options.environment = {"LC_ALL=" + c.locale};
  run.start("4\n", c.console);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  std::string expected =
      golden(c.console == Console::terminal ? "run-4-terminal.stdout" : "run-4-pipe.stdout");
  if (c.as_utf8) {
    const std::size_t at = expected.find(
        "(\xF2"
        "4; \xF3");
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, 6,
                     "(\u2265"
                     "4; \u2264");
  }
  EXPECT_EQ(run.result.out, expected);
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

INSTANTIATE_TEST_SUITE_P(Locales, PromptSignsTest,
                         testing::Values(Signs{"terminal_utf8", Console::terminal, "C.UTF-8", true},
                                         Signs{"terminal_c", Console::terminal, "C", false},
                                         Signs{"pipe_utf8", Console::pipe, "C.UTF-8", false}),
                         test::row_name);

TEST(EndToEndTest, LongerOldFilesAreCutToTheNewRun) {
  ProgramRun run;
  test::write_file(run.path("PI.Tst"), std::string(100000, 'T'));
  test::write_file(run.path("PI.OUT"), std::string(100000, 'O'));
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, 0);
  EXPECT_EQ(run.file("PI.Tst"), golden("run-4.PI.Tst"));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
}

// The clock records of a real run, and the duration they imply.
struct TimeRecords {
  bool found = false;
  tu_mardo::ClockReading start, end;
  std::string duration_field;
};

// "hh:mm:ss.cc" at `at`, as a reading.
bool parse_time(const std::string& text, std::size_t at, tu_mardo::ClockReading& reading) {
  if (at + 11 > text.size()) return false;
  for (std::size_t i = 0; i < 11; ++i) {
    const char c = text[at + i];
    const char separator = i == 2 || i == 5 ? ':' : (i == 8 ? '.' : 0);
    if (separator != 0 ? c != separator : (c < '0' || c > '9')) return false;
  }
  auto number = [&](std::size_t i) {
    return static_cast<int16_t>((text[at + i] - '0') * 10 + (text[at + i + 1] - '0'));
  };
  reading = {number(0), number(3), number(6), number(9), 0};
  return true;
}

const std::string START = "Start time ";
const std::string END = "End time   ";
const std::string DURATION = "Duration is";

TimeRecords time_records(const std::string& text) {
  TimeRecords t;
  const std::size_t start = text.find(START);
  const std::size_t end = text.find(END);
  const std::size_t duration = text.find(DURATION);
  if (start == std::string::npos || end == std::string::npos || duration == std::string::npos ||
      !parse_time(text, start + START.size(), t.start) ||
      !parse_time(text, end + END.size(), t.end) ||
      text.compare(duration + DURATION.size() + 15, 4, " sec") != 0) {
    return t;
  }
  if (t.end.hour < t.start.hour) t.end.day = 1;  // the run passed midnight
  t.duration_field = text.substr(duration + DURATION.size(), 15);
  t.found = true;
  return t;
}

std::string list_field(float value) {
  char field[15];
  records::detail::edit_list_real(field, value);
  return std::string(field, 15);
}

// The text with the clock times and the duration field masked.
std::string without_times(std::string text) {
  tu_mardo::ClockReading ignored;
  for (const std::string& label : {START, END}) {
    const std::size_t at = text.find(label);
    if (at != std::string::npos && parse_time(text, at + label.size(), ignored)) {
      text.replace(at + label.size(), 11, "hh:mm:ss.cc");
    }
  }
  const std::size_t at = text.find(DURATION);
  if (at != std::string::npos && at + DURATION.size() + 15 <= text.size()) {
    text.replace(at + DURATION.size(), 15, "<duration>");
  }
  return text;
}

class RealClockTest : public testing::TestWithParam<Console> {};

TEST_P(RealClockTest, TimesFollowThePatternAndTheDurationFollowsFromThem) {
  const Console console = GetParam();
  if (console == Console::terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run(TU_MARDO_BINARY);
  run.start("4\n", console);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  const std::string expected =
      golden(console == Console::terminal ? "run-4-terminal.stdout" : "run-4-pipe.stdout");
  EXPECT_EQ(without_times(run.result.out), without_times(expected));
  EXPECT_EQ(without_times(run.file("PI.Tst")), without_times(golden("run-4.PI.Tst")));
  EXPECT_EQ(run.file("PI.OUT"), golden("run-4.PI.OUT"));
  for (const std::string& text : {run.result.out, run.file("PI.Tst")}) {
    const TimeRecords t = time_records(text);
    ASSERT_TRUE(t.found) << text;
    EXPECT_EQ(t.duration_field, list_field(tu_mardo::duration_between(t.start, t.end)));
  }
}

INSTANTIATE_TEST_SUITE_P(Consoles, RealClockTest,
                         testing::Values(Console::pipe, Console::terminal));

// What a run shows between the prompt and the dimension record.
struct Dialogue {
  std::string name;
  std::string input;
  std::string shown;  // the console bytes after the description, up to "has been accepted."
};

class DialogueTest : public testing::TestWithParam<Dialogue> {};

const std::string REPLY = PROMPT + " \r\n";  // separate units: the empty record follows

std::string entered(const std::string& field) { return field + " has been entered.\r\n"; }

TEST_P(DialogueTest, AcceptsTheAnswerItShould) {
  ProgramRun run;
  run.start(GetParam().input, Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  const std::string& out = run.result.out;
  ASSERT_EQ(out.compare(0, DESCRIPTION.size(), DESCRIPTION), 0);
  const std::size_t end = out.find("has been accepted.\r\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(out.substr(DESCRIPTION.size(), end + 20 - DESCRIPTION.size()), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DialogueTest,
    testing::Values(Dialogue{"below_and_above", "3\n0\n-7\n64001\n4\n",
                             REPLY + entered("          3") + REPLY + entered("          0") +
                                 REPLY + entered("         -7") + REPLY + entered("      64001") +
                                 "You misspelled. 64000 is maximum. Retry, please.\r\n" + REPLY +
                                 entered("          4") + "          4 has been accepted.\r\n"},
                    Dialogue{"widened_to_whole_words", "5\n",
                             REPLY + entered("          5") + "          8 has been accepted.\r\n"},
                    Dialogue{"blanks_text_and_empty_lines", "\n\n   53 digits please\n",
                             REPLY + entered("         53") + "         56 has been accepted.\r\n"},
                    Dialogue{"radix", "16#34\n",
                             REPLY + entered("         52") + "         52 has been accepted.\r\n"},
                    Dialogue{"repeat", "3*8\n",
                             REPLY + entered("          8") + "          8 has been accepted.\r\n"},
                    // A slash assigns nothing: after a rejected answer that answer stays and is
                    // rejected again; a comma (a null value) likewise.
                    Dialogue{"slash_and_comma_keep_the_last_answer", "3\n/\n,\n8\n",
                             REPLY + entered("          3") + REPLY + entered("          3") +
                                 REPLY + entered("          3") + REPLY + entered("          8") +
                                 "          8 has been accepted.\r\n"}),
    test::row_name);

// A null answer at the first prompt keeps the start value: the default of 16000 digits (that
// "/" and "," are null answers, DialogueTest shows).
TEST(EndToEndTest, ANullAnswerAtTheFirstPromptRunsTheDefault) {
  ProgramRun run;
  run.start("2*\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0);
  EXPECT_NE(
      run.result.out.find(REPLY + entered("      16000") + "      16000 has been accepted.\r\n"),
      std::string::npos);
  EXPECT_NE(run.result.out.find("Speed test data: dimension is  4001\r\n"), std::string::npos);
}

// Listing records hold 13 (console arctangents), 15 (console pi) or 25 words (PI.OUT).
std::vector<std::string> records_after(const std::string& text, const std::string& label) {
  std::vector<std::string> lines;
  std::size_t at = text.find(label);
  if (at == std::string::npos) return lines;
  for (;;) {
    const std::size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
    // Continuations are blank up to the digits: at least 7 columns on every listing.
    if (text.compare(at, 7, "       ") != 0) break;
  }
  return lines;
}

std::string known_decimals() {
  std::ifstream in(PI_DECIMALS_FILE);
  std::string digits, line;
  while (std::getline(in, line)) digits += line;
  return digits;
}

struct Size {
  int digits;
  int words;
};

// Shows the case in test listings.
void describe(const Size& c, std::ostream* os) { *os << c.digits << " digits"; }

class ListingSizeTest : public testing::TestWithParam<Size> {};

TEST_P(ListingSizeTest, RecordsHoldTheirWordsAndPiIsRight) {
  const Size& c = GetParam();
  if (c.digits > 20000 && test::under_cpu_emulator()) GTEST_SKIP() << "an hour under emulation";
  ProgramRun run;
  run.start(std::to_string(c.digits) + "\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  const int w = c.words;
  char dimension[64];
  std::snprintf(dimension, sizeof dimension, "Speed test data: dimension is %5d\r\n", w + 1);
  EXPECT_NE(run.result.out.find(dimension), std::string::npos);

  const auto console_arctg = records_after(run.result.out, "ArcTangent( 1 / 5 ) = 0.");
  const auto console_pi = records_after(run.result.out, "Pi = 3.");
  const auto file_arctg = records_after(run.file("PI.OUT"), " ArcTangent( 1/239 ) = 0.");
  const auto file_pi = records_after(run.file("PI.OUT"), " Pi = 3.");
  EXPECT_EQ(console_arctg.size(), static_cast<std::size_t>((w + 12) / 13));
  EXPECT_EQ(console_pi.size(), static_cast<std::size_t>((w + 14) / 15));
  EXPECT_EQ(file_arctg.size(), static_cast<std::size_t>((w + 24) / 25));
  ASSERT_EQ(file_pi.size(), static_cast<std::size_t>((w + 24) / 25));
  EXPECT_EQ(console_arctg.back().size(), 24u + 4u * static_cast<std::size_t>((w - 1) % 13 + 1));
  EXPECT_EQ(console_pi.back().size(), 7u + 4u * static_cast<std::size_t>((w - 1) % 15 + 1));

  const std::string known = known_decimals().substr(0, 4 * static_cast<std::size_t>(w));
  std::string digits, shown;
  for (const std::string& record : file_pi) digits += record.substr(8);
  for (const std::string& record : console_pi) shown += record.substr(7);
  EXPECT_EQ(digits, known);
  EXPECT_EQ(shown, known);
}

// 2440 digits: the one count below 3000 where arctan(1/5)'s difference from the truth and
// arctan(1/239)'s are not alike enough to hide a mix-up. 64000: the largest, checked whole.
INSTANTIATE_TEST_SUITE_P(Sizes, ListingSizeTest,
                         testing::Values(Size{52, 13}, Size{53, 14}, Size{100, 25}, Size{1000, 250},
                                         Size{2440, 610}, Size{17784, 4446}, Size{64000, 16000}),
                         [](const auto& param_info) {
                           return std::to_string(param_info.param.digits) + "_digits";
                         });

TEST(EndToEndTest, SingleFloatPrecisionSetsTheSeriesLengthAt17784Digits) {
  ProgramRun run;
  run.start("17784\n", Console::pipe);
  ASSERT_EQ(run.result.exit_code, 0);
  const std::string& out = run.result.out;
  const std::size_t first = out.find("Expansion length is considered:");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(out.substr(first, 44), "Expansion length is considered:      12722\r\n");
}

struct Failure {
  std::string name;
  std::string input;
  Console console;
  std::string tail;  // how standard output ends
  int status;
};

class ReadFailureTest : public testing::TestWithParam<Failure> {};

TEST_P(ReadFailureTest, EndsWithReturnCode901BeforeAnyFileIsOpened) {
  const Failure& c = GetParam();
  if (c.console == Console::terminal && !test::terminal_supported()) GTEST_SKIP();
  ProgramRun run;
  run.start(c.input, c.console);
  EXPECT_EQ(run.result.exit_code, test::status_seen(c.status));
  const std::string& out = run.result.out;
  ASSERT_GE(out.size(), c.tail.size());
  EXPECT_EQ(out.substr(out.size() - c.tail.size()), c.tail);
  EXPECT_EQ(out, DESCRIPTION + out.substr(DESCRIPTION.size()));
  EXPECT_FALSE(run.exists("PI.Tst"));
  EXPECT_FALSE(run.exists("PI.OUT"));
}

const std::string STOP_901 = "\r\nReturn code 901\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadFailureTest,
    testing::Values(Failure{"letters", "abc\n", Console::pipe, PROMPT + STOP_901, 901},
                    Failure{"fraction", "12.5\n", Console::pipe, PROMPT + STOP_901, 901},
                    Failure{"too_big", "3000000000\n", Console::pipe, PROMPT + STOP_901, 901},
                    Failure{"end_of_input", "", Console::pipe, PROMPT + STOP_901, 901},
                    Failure{"end_of_input_line", "\x1a\r\n", Console::pipe, PROMPT + STOP_901, 901},
                    Failure{"after_a_retry", "2\n", Console::pipe,
                            entered("          2") + PROMPT + STOP_901, 901},
                    // On a terminal the typed line end already moved to a new line, so
                    // no line end is owed before the message or at the exit.
                    Failure{"letters_terminal", "abc\n", Console::terminal,
                            PROMPT + "Return code 901\r\n", 901},
                    Failure{"end_of_input_terminal", "\x04", Console::terminal, PROMPT + STOP_901,
                            901}),
    test::row_name);

// A file that cannot be opened (a directory, a link to nowhere, another user's link) or written
// (read-only): the run stops with that file's message and status, the file as it was, and the
// files after it untouched. Links are POSIX's; read-only files hold where the system enforces
// them for the program.
enum class Blocker { directory, read_only, dangling_link, others_link, others_link_as_user };

struct Blocked {
  std::string name;
  std::string file;
  Blocker blocker;
  std::string message;
  int status;
  std::string later;  // a file the run must not have written (its content; "-": none)
  std::string later_content;
};

class BlockedFileTest : public testing::TestWithParam<Blocked> {};

TEST_P(BlockedFileTest, StopsWithItsMessageAndLeavesTheFilesAlone) {
  const Blocked& c = GetParam();
  ProgramRun run;
  run.clock = "10:00:00.00 10:01:30.50";
  const std::string old = c.file == "tu_mardo.dat" ? "MY PC\r\n" : "old\r\n";
  const std::string blocked = c.blocker >= Blocker::dangling_link ? "victim" : c.file;
  if (c.blocker == Blocker::directory) {
    test::make_directory(run.path(c.file));
  } else {
    test::write_file(run.path(blocked), old);
  }
  if (c.blocker == Blocker::read_only) {
    test::make_read_only(run.path(c.file));
    if (!test::read_only_holds(run.path(c.file))) GTEST_SKIP() << "read-only files can be written";
    run.options.unprivileged = true;
  }
#if defined(_WIN32)
  if (c.blocker >= Blocker::dangling_link) GTEST_SKIP() << "POSIX's links";
#else
  if (c.blocker >= Blocker::others_link && ::geteuid() != 0) GTEST_SKIP() << "needs root";
  const char* target = c.blocker == Blocker::dangling_link ? "nowhere/target" : "victim";
  if (c.blocker >= Blocker::dangling_link) {
    ASSERT_EQ(::symlink(target, run.path(c.file).c_str()), 0);
  }
  if (c.blocker >= Blocker::others_link) {
    ::chmod(run.path("victim").c_str(), 0666);  // anyone may write it: only the link keeps out
    ASSERT_EQ(::lchown(run.path(c.file).c_str(), 4242, 4242), 0);
    run.options.unprivileged = c.blocker == Blocker::others_link_as_user;
  }
#endif
  run.start("4\n", Console::pipe);
  EXPECT_EQ(run.result.exit_code, test::status_seen(c.status));
  const std::string tail = c.message + "\r\nReturn code " + std::to_string(c.status) + "\r\n\r\n";
  EXPECT_EQ(
      run.result.out.substr(run.result.out.size() - std::min(tail.size(), run.result.out.size())),
      tail);
  if (c.blocker != Blocker::directory && c.blocker != Blocker::dangling_link) {
    EXPECT_EQ(run.file(blocked), old);
  }
  if (c.blocker >= Blocker::others_link) {
    EXPECT_EQ(run.result.err,
              c.file + " is a symbolic link of user 4242, which this run does not follow.\n");
  }
#if defined(_WIN32)
  // There a name in another case is the blocked file itself.
  const auto same_letter = [](char a, char b) { return std::tolower(a) == std::tolower(b); };
  if (std::ranges::equal(c.later, c.file, same_letter)) return;
#endif
  EXPECT_EQ(run.exists(c.later) ? run.file(c.later) : "-", c.later_content) << c.later;
}

const std::string LOG_HEADER =
    " Speed test data: dimension is     2\r\n Start time 10:00:00.00\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, BlockedFileTest,
    testing::Values(
        Blocked{"pi_tst_directory", "PI.Tst", Blocker::directory, "Error opening Pi.Tst", 1000,
                "PI.OUT", "-"},
        Blocked{"pi_tst_dangling", "PI.Tst", Blocker::dangling_link, "Error opening Pi.Tst", 1000,
                "PI.OUT", "-"},
        Blocked{"pi_tst_read_only", "PI.Tst", Blocker::read_only,
                "Speed test data: dimension is     2\r\nWrite error.", 903, "tu_mardo.dat", "-"},
        Blocked{"pi_out_directory", "PI.OUT", Blocker::directory, "Error opening Pi.Out", 1001,
                "PI.Tst", ""},
        Blocked{"pi_out_dangling", "PI.OUT", Blocker::dangling_link, "Error opening Pi.Out", 1001,
                "PI.Tst", ""},
        Blocked{"pi_out_others_link", "PI.OUT", Blocker::others_link, "Error opening Pi.Out", 1001,
                "PI.Tst", ""},
        Blocked{"pi_out_read_only", "PI.OUT", Blocker::read_only,
                "ArcTangent( 1 / 5 ) = 0.1973\r\nWrite error.", 903, "PI.Tst", LOG_HEADER},
        Blocked{"table_directory", "tu_mardo.dat", Blocker::directory, "Error opening Tu_Mardo.Dat",
                1002, "Tu_Mardo.Dat", "-"},
        Blocked{"table_dangling", "tu_mardo.dat", Blocker::dangling_link,
                "Error opening Tu_Mardo.Dat", 1002, "Tu_Mardo.Dat", "-"},
        Blocked{"table_others_link_as_user", "tu_mardo.dat", Blocker::others_link_as_user,
                "Error opening Tu_Mardo.Dat", 1002, "Tu_Mardo.Dat", "-"},
        Blocked{"table_read_only", "tu_mardo.dat", Blocker::read_only,
                "Pi = 3.1415\r\nError reading/writing benchmark file.", 912, "Tu_Mardo.Dat", "-"}),
    test::row_name);

}  // namespace

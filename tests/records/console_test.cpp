// The console units: carriage control, the owed line end, the shared unit of an interactive
// console, console input through the units, and console failures.
#include <gtest/gtest.h>

#include <cerrno>

#include "child_process.hpp"
#include "fake_console.hpp"
#include "records/records.hpp"
#include "rows.hpp"

namespace {

using test::PrintTo;

using test::FakeConsole;
using test::start_fake_console;

const std::string PROMPT =
    "(' Enter number of digits for pi (\xF2"
    "4; \xF3', i5, ') ', $)";
const std::string SHOWN_PROMPT =
    "Enter number of digits for pi (\xF2"
    "4; \xF3"
    "64000) ";

void say(std::string_view text) {
  records::begin_write(records::CONSOLE_OUT, records::LIST_DIRECTED, false);
  records::put_text(text);
  records::end_write();
}

void say_formatted(std::string_view format) {
  records::begin_write(records::CONSOLE_OUT, format, false);
  records::end_write();
}

int32_t ask(int32_t& answer) {
  records::begin_write(records::CONSOLE_OUT, PROMPT, false);
  records::put_int32(64000);
  records::end_write();
  int32_t status = records::begin_read(records::CONSOLE_IN, records::LIST_DIRECTED, true);
  if (status == 0) status = records::get_int32(answer);
  return status != 0 ? status : records::end_read();
}

void echo(int32_t answer) {
  records::begin_write(records::CONSOLE_OUT, records::LIST_DIRECTED, false);
  records::end_write();
  records::begin_write(records::CONSOLE_OUT, records::LIST_DIRECTED, false);
  records::put_int32(answer);
  records::put_text(" has been entered.");
  records::end_write();
}

void stop() {
  records::finish_console_line();
  records::write_standard_output("Stop - Program terminated.\r\n");
  EXPECT_EQ(records::close_all_units(0), 0);
}

struct Mode {
  bool input_interactive;
  bool output_interactive;
  std::string expected;
};

// Shows the case in test listings.
void describe(const Mode& c, std::ostream* os) {
  *os << (c.input_interactive ? "terminal" : "redirected") << " input, "
      << (c.output_interactive ? "terminal" : "redirected") << " output";
}

class DialogueTest : public testing::TestWithParam<Mode> {};

TEST_P(DialogueTest, WritesTheBytesOfTheConsoleMode) {
  const Mode& mode = GetParam();
  start_fake_console(mode.input_interactive, mode.output_interactive, "1000\n");
  say("than 1 second.");
  int32_t answer = 16000;
  ASSERT_EQ(ask(answer), 0);
  EXPECT_EQ(answer, 1000);
  echo(answer);
  stop();
  EXPECT_EQ(FakeConsole::output, mode.expected);
}

const std::string SHARED =
    "than 1 second.\r\n" + SHOWN_PROMPT +
    "\r\n       1000 has been entered.\r\nStop - Program terminated.\r\n\r\n";
// With separate units the read leaves the prompt's line open: the empty record's blank
// follows it on the same line.
const std::string SEPARATE =
    "than 1 second.\r\n" + SHOWN_PROMPT +
    " \r\n       1000 has been entered.\r\nStop - Program terminated.\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(Modes, DialogueTest,
                         testing::Values(Mode{true, true, SHARED}, Mode{false, false, SEPARATE},
                                         Mode{true, false, SEPARATE}, Mode{false, true, SEPARATE}));

TEST(ConsoleTest, ThePromptIsShownBeforeTheReadWaits) {
  start_fake_console(false, false, "7\n");
  int32_t answer = 0;
  ASSERT_EQ(ask(answer), 0);
  EXPECT_EQ(FakeConsole::output_at_first_read, SHOWN_PROMPT);
}

TEST(ConsoleTest, SharedUnitEndsAnOwedLineBeforeReading) {
  start_fake_console(true, true, "5\n");
  say("question");
  int32_t answer = 0;
  ASSERT_EQ(records::begin_read(records::CONSOLE_IN, records::LIST_DIRECTED, true), 0);
  ASSERT_EQ(records::get_int32(answer), 0);
  ASSERT_EQ(records::end_read(), 0);
  say("next");  // the typed line end moved the cursor: no line end is owed
  EXPECT_EQ(FakeConsole::output, "question\r\nnext");
}

struct Control {
  std::vector<std::string> formats;
  std::string expected;
};

// Shows the case in test listings.
void describe(const Control& c, std::ostream* os) {
  for (const std::string& f : c.formats) *os << f << " ";
}

class CarriageControlTest : public testing::TestWithParam<Control> {};

TEST_P(CarriageControlTest, FirstCharacterChoosesThePrefix) {
  start_fake_console(false, false);
  for (const std::string& format : GetParam().formats) say_formatted(format);
  EXPECT_EQ(FakeConsole::output, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, CarriageControlTest,
    testing::Values(
        // The first record stands at the top; later ones start with the owed line end.
        Control{{"(' a')", "(' b')"}, "a\r\nb"}, Control{{"('0a')"}, "\r\na"},
        Control{{"(' a')", "('0b')"}, "a\r\n\r\nb"}, Control{{"(' a')", "('+b')"}, "a\rb"},
        Control{{"('+b')"}, "\rb"}, Control{{"('1a')", "('xb')"}, "a\r\nb"},
        // A record after `$` is written whole, its first character included.
        Control{{"(' a',$)", "(' b')"}, "a b"},
        Control{{"(' a',$)", "('0b')", "(' c')"}, "a0b\r\nc"}));

TEST(ConsoleTest, FinishingTheLineKeepsItOwedForTheExit) {
  start_fake_console(false, false);
  say("last");
  records::finish_console_line();
  EXPECT_EQ(FakeConsole::output, "last\r\n");
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(FakeConsole::output, "last\r\n\r\n");
}

TEST(ConsoleTest, NothingOwedNothingWrittenAtExit) {
  start_fake_console(false, false);
  EXPECT_EQ(records::close_all_units(0), 0);
  EXPECT_EQ(FakeConsole::output, "");
}

TEST(ConsoleTest, OutputOfAStatementGoesOutInOneWrite) {
  start_fake_console(false, false);
  records::begin_write(records::CONSOLE_OUT, "(' x',(T3,13I4.4))", false);
  for (int i = 0; i < 16000; ++i) records::put_int32(i % 10000);
  EXPECT_EQ(records::end_write(), 0);
  // 1230 full records of 54 characters and one of 42, each shown without its first
  // character and all but the first after CR LF.
  EXPECT_EQ(FakeConsole::output.size(), 53u + 1229u * (2u + 53u) + (2u + 41u));
  EXPECT_LE(FakeConsole::writes, 1 + static_cast<int>(FakeConsole::output.size() / 8192));
}

TEST(ConsoleTest, EndOfInputAtThePromptLeavesTheLineOwed) {
  start_fake_console(true, true, "");
  int32_t answer = 16000;
  EXPECT_EQ(ask(answer), -1);
  EXPECT_EQ(answer, 16000);
  records::finish_console_line();
  EXPECT_EQ(FakeConsole::output, SHOWN_PROMPT + "\r\n");
}

struct LineLimit {
  bool interactive;
  std::string line;
  int32_t status;  // 0, or 1 for any positive status
  int32_t value;
};

// Shows the case in test listings.
void describe(const LineLimit& c, std::ostream* os) {
  *os << (c.interactive ? "terminal" : "redirected") << ", " << c.line.size() << " bytes";
}

class LineLimitTest : public testing::TestWithParam<LineLimit> {};

TEST_P(LineLimitTest, InteractiveLinesMustFitTheRecordBuffer) {
  const LineLimit& c = GetParam();
  start_fake_console(c.interactive, c.interactive, c.line);
  int32_t answer = 16000;
  int32_t status = ask(answer);
  if (status > 0) status = 1;
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(answer, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineLimitTest,
    testing::Values(
        // 130 bytes and CR LF fill the 132-byte buffer exactly.
        LineLimit{true, std::string(126, ' ') + "1000\r\n", 0, 1000},
        LineLimit{true, std::string(127, ' ') + "1000\n", 1, 16000},
        LineLimit{true, "1000" + std::string(200, ' ') + "\n", 1, 16000},
        LineLimit{true, std::string(200, ' ') + "\n1000\n", 1, 16000},
        // Redirected input has no such limit and passes over any length.
        LineLimit{false, std::string(100000, ' ') + "1000 " + std::string(100000, 'x') + "\n", 0,
                  1000}));

TEST(ConsoleTest, FailedConsoleWriteEndsTheRunWithAMessage) {
  EXPECT_EXIT(
      {
        start_fake_console(false, false);
        FakeConsole::write_error = EPIPE;
        say("lost");
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "Error writing to standard output: ");
}

TEST(ConsoleTest, FailedStopMessageEndsTheRunWithAMessage) {
  EXPECT_EXIT(
      {
        start_fake_console(false, false);
        say("shown");
        FakeConsole::write_error = ENOSPC;
        records::finish_console_line();
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "Error writing to standard output: ");
}

TEST(ConsoleTest, AConsoleStatementThatCannotBeRenderedEndsTheRun) {
  EXPECT_EXIT(
      {
        start_fake_console(false, false);
        say_formatted("(Q)");
      },
      testing::ExitedWithCode(test::status_seen(records::CONSOLE_FAILED)),
      "^Record error on standard output: a format the service cannot use: \"\\(Q\\)\", "
      "stopped at offset 1\r?\n$");
}

}  // namespace

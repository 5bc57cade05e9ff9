// The benchmark run: one straight line from the description to the stop, with a single loop
// for the operator's answer.
#include "tu_mardo/run.hpp"

#include <cmath>
#include <cstdio>

#include "iter/iter.hpp"
#include "platform/platform.hpp"
#include "records/records.hpp"
#include "tu_mardo/clock.hpp"
#include "tu_mardo/counts.hpp"
#include "tu_mardo/statements.hpp"
#include "tu_mardo/stop.hpp"
#include "tu_mardo/table.hpp"
#include "tu_mardo/timing.hpp"
#include "tu_mardo/verify.hpp"

namespace tu_mardo {
namespace {

using iter::Word;

constexpr int32_t MAX_WORDS = 16000;
constexpr int16_t PI_TST = 1;
constexpr int16_t PI_OUT = 8;

int32_t WORD_DIGITS = 0;
int32_t MAX_DIGITS = 0;

// Digit vectors, word 1 first. A ends as the decimals of pi.
Word A[MAX_WORDS + 2];
Word B[MAX_WORDS + 1];
Word T[MAX_WORDS + 2];
Word P[MAX_WORDS + 2];

int32_t ios = 0;
int32_t ios_open = 0;
ClockReading start_reading;
ClockReading end_reading;
iter::SeriesTally series5;
iter::SeriesTally series239;

// 0xF2 and 0xF3 show as the signs >= and <= on the console's code page.
constexpr std::string_view PROMPT =
    "(' Enter number of digits for pi (\xF2"
    "4; \xF3', i5, ') ', $)";
constexpr std::string_view MISSPELLED = "(' You misspelled.', i6, ' is maximum. Retry, please.')";
constexpr std::string_view DIMENSION = "(' Speed test data: dimension is ',I5)";
constexpr std::string_view CLOCK_TIME = "(1X,A,1X,2(I2.2,':'),I2.2,'.',I2.2)";

struct Listing {
  const char* what;
  std::string_view console_format;
  std::string_view file_format;
};
constexpr Listing ARCTG_5{"arctan(1/5)", "(' ArcTangent( 1 / 5 ) = 0.',(T26,13I4.4))",
                          "(' ArcTangent( 1 / 5 ) = 0.',(T26,25I4.4))"};
constexpr Listing ARCTG_239{"arctan(1/239)", "(' ArcTangent( 1/239 ) = 0.',(T26,13I4.4))",
                            "(' ArcTangent( 1/239 ) = 0.',(T26,25I4.4))"};
constexpr Listing PI{"pi", "(' Pi = 3.',(T9,15I4.4))", "(' Pi = 3.',(T9,25I4.4))"};

// What the listing statements handed to the console and to PI.OUT, as the record service
// digested each record on its way: compared after the interval with the verified numbers.
struct Listed {
  uint64_t console = 0;
  uint64_t file = 0;
};
Listed listed_arctan5;
Listed listed_arctan239;
Listed listed_pi;

// A run that cannot vouch for its value records none: the table is not even opened. The line is
// formatted with interrupts held, as everything that calls into the C library is.
template <class... Values>
[[noreturn]] void refuse_value(int32_t status, const char* format, Values... values) {
  char line[160];
  if constexpr (sizeof...(Values) == 0) {
    platform::report_error(format);
  } else {
    {
      const platform::InterruptsHeld held;
      std::snprintf(line, sizeof line, format, values...);
    }
    platform::report_error(line);
  }
  stop_run(status);
}

constexpr const char* COUNTS_DISAGREE =
    "The counts of the run disagree; no benchmark value is recorded.";

// The counts, checked against their copy where they are used: a count changed in memory ends
// the run before a vector is indexed by it or a value computed from it. Callers take the copy.
RunCounts checked_counts() {
  if (!counts_agree(WORD_DIGITS, MAX_DIGITS) || counts.n > MAX_WORDS + 1) {
    refuse_value(STOP_WRONG_RESULT, COUNTS_DISAGREE);
  }
  return counts;
}

[[noreturn]] void write_error() {
  console("Write error.");
  stop_run(records::WRITE_FAILED);
}

// A write to PI.Tst or PI.OUT that did not succeed ends the run.
void write_or_stop(int32_t status) {
  if (status != 0) write_error();
}

// Words 1..nwords of a vector (never the guard word), each listing one statement.
void list(const Listing& listing, const Word* vector, Listed& listed) {
  const int32_t nwords = checked_counts().nwords;
  write_words(records::CONSOLE_OUT, listing.console_format, false, vector, nwords);
  listed.console = records::statement_digest();
  write_or_stop(write_words(PI_OUT, listing.file_format, true, vector, nwords));
  listed.file = records::statement_digest();
}

// Whether both statements of a listing showed exactly these words: rendered again, written
// nowhere, digested the same way.
bool listed_as(const Listing& listing, const Word* vector, const Listed& listed) {
  const int32_t nwords = checked_counts().nwords;
  const auto digest = [vector, nwords](std::string_view format) {
    const int32_t status = write_words(records::DIGEST_ONLY, format, true, vector, nwords);
    return status == 0 ? records::statement_digest() : 0;
  };
  return digest(listing.console_format) == listed.console &&
         digest(listing.file_format) == listed.file;
}

void write_clock_record(std::string_view label, const ClockReading& reading) {
  console_formatted(CLOCK_TIME, label, reading.hour, reading.minute, reading.second,
                    reading.hundredths);
  write_or_stop(to_file(PI_TST, CLOCK_TIME, label, reading.hour, reading.minute, reading.second,
                        reading.hundredths));
}

void set_constants() {
  iter::BASE = iter::WORD_BASE;
  iter::ROOT_BASE = static_cast<int32_t>(std::sqrt(static_cast<double>(iter::BASE)));
  const float decimal_log = static_cast<float>(std::log10(static_cast<double>(iter::BASE)));
  WORD_DIGITS = static_cast<int32_t>(static_cast<double>(decimal_log) + 0.5);
  MAX_DIGITS = WORD_DIGITS * MAX_WORDS;
}

void describe() {
  console("This is a computing power benchmark based on PI number");
  console("calculation. This program updates Tu_Mardo.Dat file:");
  console("50 characters of a compurer identifier, e.g.,");
  console("DEC 3000-600s AXP alpha station, are appended with");
  console("the benchmark value, the last line is thought to contain");
  console("YOUR COMPUTER NAME, which will be appended with its");
  console("behchmark parameter if the calculation duration is more");
  console("than 1 second.");
}

// Asks until an answer between 4 and MAX_DIGITS comes; stops with 901 if none can be read.
void ask_for_digits() {
  for (;;) {
    console_formatted(PROMPT, MAX_DIGITS);
    ios = records::begin_read(records::CONSOLE_IN, records::LIST_DIRECTED, true);
    if (ios == 0) ios = records::get_int32(counts.ndigits);
    if (ios == 0) ios = records::end_read();
    if (ios != 0) stop_run(STOP_READ_FAILED);
    console();
    console(counts.ndigits, " has been entered.");
    if (counts.ndigits < 4) continue;
    if (counts.ndigits > MAX_DIGITS) {
      console_formatted(MISSPELLED, MAX_DIGITS);
      continue;
    }
    return;
  }
}

// The run files are locked until the run ends, so that a second run in the same directory
// waits for this one instead of writing the same files and timing the same CPU. The three files
// must be three files: a name that leads to a file opened under another one fails as its open.
void open_files() {
  records::UnitRules one_run_at_a_time;
  one_run_at_a_time.exclusive = true;
  ios_open = records::open_unit(PI_TST, "PI.Tst", {}, {}, one_run_at_a_time);
  if (ios_open != 0) {
    console("Error opening Pi.Tst");
    stop_run(STOP_OPEN_PI_TST);
  }
  ios_open = records::open_unit(PI_OUT, "PI.OUT", {}, {}, one_run_at_a_time);
  if (ios_open != 0) {
    console("Error opening Pi.Out");
    stop_run(STOP_OPEN_PI_OUT);
  }
  if (table_is_a_run_file()) {
    console("Error opening Tu_Mardo.Dat");
    stop_run(STOP_OPEN_TABLE);
  }
}

[[noreturn]] void refuse_wrong(const char* what, int32_t first_wrong_decimal) {
  if (first_wrong_decimal > checked_counts().naccepted) {
    refuse_value(STOP_WRONG_RESULT,
                 "The computed digits of %s are wrong beyond the listed decimals; no benchmark "
                 "value is recorded.",
                 what);
  }
  if (first_wrong_decimal > 0) {
    refuse_value(STOP_WRONG_RESULT,
                 "The computed digits of %s are wrong from decimal %d on; no benchmark value is "
                 "recorded.",
                 what, static_cast<int>(first_wrong_decimal));
  }
  refuse_value(STOP_WRONG_RESULT,
               "The computed digits of %s are wrong; no benchmark value is recorded.", what);
}

// The counts as the answer made them, and each series as long as they make it: the estimate
// is made once more, apart from the one the series used.
bool counts_are_the_answers() {
  const auto series_fits = [](const iter::SeriesTally& series, int32_t x) {
    const int32_t length = iter::series_length(counts.n, x);
    return series.n == counts.n && series.x == x && series.length == length &&
           series.terms == length / 2 * 2 + 1;
  };
  return counts_agree(WORD_DIGITS, MAX_DIGITS) && series_fits(series5, 5) &&
         series_fits(series239, 239);
}

// The result exactly as a right calculation gives it, and every listing as it shows that
// result. arctan(1/239) and pi stand as they were computed; arctan(1/5), whose vector has
// been multiplied since, is checked through its listings, which must show the vector a right
// calculation gives (pi alone cannot tell a sixteenth in it, nor a word out of range).
void verify_result() {
  if (!counts_are_the_answers()) refuse_value(STOP_WRONG_RESULT, COUNTS_DISAGREE);
  const int32_t n = checked_counts().n;
  int64_t d5 = 0;
  int64_t d239 = 0;
  int64_t d_pi = 0;
  if (!expected_arctangent_difference(series239, d239)) refuse_wrong(ARCTG_239.what, 0);
  if (!expected_arctangent_difference(series5, d5)) refuse_wrong(ARCTG_5.what, 0);
  if (!expected_pi_difference(n, d5, d239, d_pi)) refuse_wrong(PI.what, 0);
  const Verdict arctan239 = check_arctangent(B, n, 239, d239);
  if (!arctan239.right) refuse_wrong(ARCTG_239.what, arctan239.first_wrong_decimal);
  const Verdict pi = check_pi(A, n, d_pi);
  if (!pi.right) refuse_wrong(PI.what, pi.first_wrong_decimal);
  expected_arctangent(n, 5, d5, T);
  const struct {
    const Listing& listing;
    const Word* vector;
    const Listed& listed;
  } listings[] = {
      {ARCTG_5, T, listed_arctan5}, {ARCTG_239, B, listed_arctan239}, {PI, A, listed_pi}};
  for (const auto& each : listings) {
    if (listed_as(each.listing, each.vector, each.listed)) continue;
    refuse_value(STOP_WRONG_RESULT,
                 "The listed digits of %s are not the computed ones; no benchmark value is "
                 "recorded.",
                 each.listing.what);
  }
}

// What a file holds, read back once written out and synced, against what it must hold.
void check_read_back(int16_t unit, const char* name, uint64_t expected) {
  uint64_t digest = 0;
  const int32_t status = records::read_back(unit, digest);
  if (status == records::STATUS_NOT_READABLE) return;  // a device, a FIFO, a write-only file
  if (status != 0) write_error();
  if (digest != expected) {
    refuse_value(STOP_WRONG_RESULT,
                 "%s does not hold what was written to it; no benchmark value is recorded.", name);
  }
}

// PI.Tst must hold the records written to it, PI.OUT the listings of the verified numbers,
// rendered again: nothing changed them on their way to the disk.
void verify_files() {
  check_read_back(PI_TST, "PI.Tst", records::image_digest(PI_TST));
  const int32_t nwords = checked_counts().nwords;
  records::restart_digest_only();
  for (const auto& [listing, vector] : {std::pair{ARCTG_5, T}, {ARCTG_239, B}, {PI, A}}) {
    if (write_words(records::DIGEST_ONLY, listing.file_format, true, vector, nwords) != 0) {
      refuse_wrong(listing.what, 0);
    }
  }
  check_read_back(PI_OUT, "PI.OUT", records::image_digest(records::DIGEST_ONLY));
}

// The duration and the value are numbers, and the wall clock ran as a clock that no one sets.
void verify_timing(float duration) {
  if (!std::isfinite(duration)) {
    refuse_value(STOP_WRONG_RESULT,
                 "The duration is not a number; no benchmark value is recorded.");
  }
  if (!clock_agrees(start_reading, end_reading, duration)) {
    refuse_value(STOP_CLOCK_CHANGED,
                 "The clock was changed during the run; no benchmark value is recorded.");
  }
}

// The value is the computer's only if the run had the processor for its interval.
void verify_time_had() {
  const TimeHad had = time_had(start_reading, end_reading);
  if (value_counts(had)) return;
  if (had.clocks_slow) {
    refuse_value(STOP_TIME_LOST,
                 "The process used more processor time than the clocks counted; no benchmark "
                 "value is recorded.");
  }
  refuse_value(STOP_TIME_LOST,
               "The run was stopped or kept waiting for the processor for %.1f s of %.1f s; no "
               "benchmark value is recorded.",
               had.lost, had.interval);
}

}  // namespace

void run() {
  set_constants();
  iter::between_terms = platform::let_interrupts_in;
  describe();
  ask_for_digits();
  accept_counts(WORD_DIGITS);
  console(counts.naccepted, " has been accepted.");
  open_files();

  // Every stage takes the word count as it is checked at that moment.
  read_clock(start_reading);  // the timed interval begins
  console_formatted(DIMENSION, checked_counts().n);
  write_or_stop(to_file(PI_TST, DIMENSION, checked_counts().n));
  write_clock_record("Start time", start_reading);

  console("Calculating arctg(1/5).");
  iter::arctg(A, T, P, checked_counts().n, 5, series5);
  list(ARCTG_5, A, listed_arctan5);
  console("Calculating arctg(1/239).");
  iter::arctg(B, T, P, checked_counts().n, 239, series239);
  list(ARCTG_239, B, listed_arctan239);

  console("Calculating arctg(1/5)*4.");
  iter::mp_mul(A, checked_counts().n, 4);
  console("Calculating arctg(1/5)*4-arctg(1/239).");
  iter::mp_sub(A, B, checked_counts().n);
  console("Calculating pi=(arctg(1/5)*4-arctg(1/239))*4.");
  iter::mp_mul(A, checked_counts().n, 4);
  A[0] = A[0] % iter::BASE;  // only the decimals: "3." is part of the label

  read_clock(end_reading);  // the timed interval ends
  // Where no trap is armed, an error shows only in the sticky flags: each check ends the run
  // where a trap would have, the calculation's before the end time is written, the duration's
  // after.
  platform::check_floating_point_errors();
  write_clock_record("End time  ", end_reading);
  const float duration = duration_between(start_reading, end_reading);
  platform::check_floating_point_errors();
  console("Duration is", duration, " sec");
  write_or_stop(to_file(PI_TST, records::LIST_DIRECTED, std::string_view("Duration is"), duration,
                        std::string_view(" sec")));

  list(PI, A, listed_pi);
  verify_result();
  verify_files();
  verify_timing(duration);
  if (!has_bench_value(duration)) stop_run();
  verify_time_had();
  // The value's inputs are the counts as they are checked now, not as they were at the checks.
  const float value = bench_value(checked_counts().naccepted, duration);
  platform::check_floating_point_errors();
  if (!std::isfinite(value)) {
    refuse_value(STOP_WRONG_RESULT, "The benchmark value is not a number; none is recorded.");
  }
  update_results_table(value);
}

}  // namespace tu_mardo

// The arctangent series and the estimate of its length.
//
// The estimate works in single precision on purpose: every stored value is a float and each
// expression between stores is evaluated in double. Doing it in double throughout gives a
// different length for some digit counts (17784 digits: 12723 terms instead of 12722), and
// the length decides the work the benchmark times.
#include <cmath>

#include "iter/iter.hpp"
#include "records/records.hpp"

namespace iter {

float target_log = 0.0f;
float inv_log_x = 0.0f;
int32_t solve_status = 0;
TermHook between_terms = [](int32_t, int32_t, int32_t) {};

namespace {

constexpr float LN_10 = 2.302585f;
constexpr int32_t MAX_NON_SHRINKING_STEPS = 6;

// Fixes target_log and inv_log_x for n words and x, then solves for the length.
int32_t estimate_length(int32_t n, int32_t x) {
  inv_log_x = static_cast<float>(1.0 / std::log(static_cast<double>(x)));
  const int32_t word_digits = static_cast<int32_t>(std::log10(static_cast<double>(BASE)) + 0.5);
  const int32_t decimals = word_digits * n;
  target_log = static_cast<float>(static_cast<double>(decimals) * static_cast<double>(LN_10));
  const float t = fixpoint_solve(series_length_map, target_log, 0.5f);
  return static_cast<int32_t>(t) + 1;
}

// The terms the series leaves out, from the first omitted one (`first`) on: the power vector
// holds floor(BASE^n / x^(2 first - 1)), a number of a few words at most by then (the term
// `first` is below a fiftieth of a unit), and `cut` the fraction below it.
double omitted_tail(const Word* power, int32_t n, double cut, int32_t x, int32_t first) {
  double value = cut;
  double scale = 1.0;
  for (int32_t i = n - 1; i >= 0 && i >= n - 3; --i) {
    value += power[i] * scale;
    scale *= BASE;
  }
  const double x_squared = static_cast<double>(x) * x;
  double tail = 0.0;
  for (int32_t j = first; value > 1e-30 * x_squared; ++j) {
    value /= x_squared;
    const double omitted = value / (2.0 * j + 1.0);
    tail += j % 2 == 0 ? omitted : -omitted;
  }
  return tail;
}

}  // namespace

float series_length_map(const float& t) {
  return static_cast<float>(0.5 *
                            ((static_cast<double>(target_log) - std::log(static_cast<double>(t))) *
                                 static_cast<double>(inv_log_x) +
                             1.0));
}

float fixpoint_solve(Map g, const float& start, const float& tol) {
  solve_status = 0;
  float t = start;
  int32_t count = 0;
  float prev = t;
  t = g(t);
  float step = static_cast<float>(std::fabs(static_cast<double>(t) - static_cast<double>(prev)));
  for (;;) {
    const float prev_step = step;
    prev = t;
    t = g(t);
    step = static_cast<float>(std::fabs(static_cast<double>(t) - static_cast<double>(prev)));
    if (static_cast<double>(step) <= static_cast<double>(tol) * std::fabs(static_cast<double>(t))) {
      return t;
    }
    if (!(prev_step > step)) ++count;  // never counted back down
    if (count == MAX_NON_SHRINKING_STEPS) {
      solve_status = SOLVE_GAVE_UP;
      return t;
    }
  }
}

int32_t series_length(int32_t n, int32_t x) { return estimate_length(n, x); }

void arctg(Word* result, Word* term, Word* power, int32_t n, int32_t x) {
  SeriesTally unused;
  arctg(result, term, power, n, x, unused);
}

// Beside the word loops, each division's remainder r by d keeps `cut`, the fraction that the
// floors have cut off BASE^n / x^(2j+1), exact but for rounding: power + cut is that quotient,
// so (power + cut) / d = floor(power / d) + (r + cut) / d. A term's division by 2j+1 cuts off
// (r + cut) / (2j+1) more, which is what the term lies below its exact value.
void arctg(Word* result, Word* term, Word* power, int32_t n, int32_t x, SeriesTally& tally) {
  // Below the root of BASE, x*x is still a small divisor and one division per term does;
  // above it, x divides twice so that the divisor stays below BASE.
  const bool square_divisor = x < ROOT_BASE;
  const int32_t divisor = square_divisor ? x * x : x;
  double cut = 0.0;
  int32_t unproven = 0;
  // A remainder in 0..d-1 proves the division: V = d Q + r with it makes Q the floor.
  auto divide = [&](Word* v, int32_t d) {
    const int32_t remainder = mp_div_rem(v, n, d);
    if (remainder < 0 || remainder >= d) ++unproven;
    return (static_cast<double>(remainder) + cut) / static_cast<double>(d);
  };
  auto divide_power = [&] {
    cut = divide(power, divisor);
    if (!square_divisor) cut = divide(power, divisor);
  };

  power[0] = BASE;  // 1.0: the one value whose first word is not below BASE
  mp_zero_tail(power, n, 2);

  const int32_t length = estimate_length(n, x);
  records::begin_write(records::CONSOLE_OUT, records::LIST_DIRECTED, false);
  records::put_text("Expansion length is considered:");
  records::put_int32(length);
  records::end_write();
  records::begin_write(records::CONSOLE_OUT, records::LIST_DIRECTED, false);
  records::end_write();

  cut = divide(power, x);
  mp_copy(power, result, n);
  // What the floors took from the terms: added terms make the sum smaller, subtracted ones
  // larger.
  double taken = cut;
  int32_t terms = 1;
  // Every iteration makes all its passes over all n words, even once the terms are zero:
  // the work is fixed by n and x alone.
  const int32_t iterations = length / 2;
  for (int32_t k = 2; k <= 2 * iterations; k += 2) {
    divide_power();
    const int32_t q = 2 * k - 1;
    mp_copy(power, term, n);
    taken -= divide(term, q);
    mp_sub(result, term, n);
    divide_power();
    mp_copy(power, term, n);
    taken += divide(term, q + 2);
    mp_add(result, term, n);
    terms += 2;
    between_terms(x, terms, 2 * iterations + 1);
  }
  tally.n = n;
  tally.x = x;
  tally.length = length;
  tally.terms = terms;
  tally.unproven = unproven;
  tally.deviation = -taken - omitted_tail(power, n, cut, x, terms);
}

}  // namespace iter

// The arctangent series and the estimate of its length.
//
// The estimate works in single precision on purpose: every stored value is a float and each
// expression between stores is evaluated in double. Doing it in double throughout gives a
// different length for some digit counts (17784 digits: 12723 terms instead of 12722), and
// the length decides the work the benchmark times.
#include <cmath>

#include "iter/iter.hpp"
#include "platform/platform.hpp"
#include "records/records.hpp"

namespace iter {

float target_log = 0.0f;
float inv_log_x = 0.0f;
int32_t solve_status = 0;

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
  // Below the root of BASE, x*x is still a small divisor and one division per term does;
  // above it, x divides twice so that the divisor stays below BASE.
  const bool square_divisor = x < ROOT_BASE;
  const int32_t divisor = square_divisor ? x * x : x;
  auto divide_power = [&] {
    mp_div(power, n, divisor);
    if (!square_divisor) mp_div(power, n, divisor);
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

  mp_div(power, n, x);
  mp_copy(power, result, n);
  // Every iteration makes all its passes over all n words, even once the terms are zero:
  // the work is fixed by n and x alone.
  const int32_t iterations = length / 2;
  for (int32_t k = 2; k <= 2 * iterations; k += 2) {
    divide_power();
    const int32_t q = 2 * k - 1;
    mp_copy(power, term, n);
    mp_div(term, n, q);
    mp_sub(result, term, n);
    divide_power();
    mp_copy(power, term, n);
    mp_div(term, n, q + 2);
    mp_add(result, term, n);
    platform::let_interrupts_in();  // nothing, but where a Stop has to be fetched
  }
}

}  // namespace iter

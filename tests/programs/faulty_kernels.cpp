// A test-only build of the program that computes wrongly on purpose: its word loops are the
// real ones with the fault named by TU_MARDO_FAULT, so that the run's check of its result can
// be seen to catch it. Faults: first_word and middle_word (one unit more in that word of the
// result), above_bound and below_bound (the true value plus or minus the bound and one unit:
// the smallest error the check must catch),
// lost_carry (a carry lost in one addition of the series), dropped_division (one division
// pass not made), non_normalised (word n/2 of pi - 3 holds 10000 more, the word before it one
// less: the same number, a listing with asterisks), arctan239_up and arctan239_down (one unit
// more or less in the last listed word of arctan(1/239)), arctan5_beyond_bound (arctan(1/5)
// the truth plus its bound and one unit, which pi's bound still allows), division_by_zero (a
// floating-point division by zero in the first multiplication, which traps or is flagged).
#include <cstdlib>
#include <string>

#include "iter/kernels.hpp"
#include "tu_mardo/truth.hpp"
#include "tu_mardo/verify.hpp"

namespace {

using iter::Word;

const iter::kernels::KernelSet* real = nullptr;
std::string fault;
int multiplications = 0;
int additions = 0;
int divisions = 0;

// Adds `units` of word `word` (1-based) to the vector as one number; what carries out of word
// 1 is dropped.
void add_units(Word* v, int32_t word, int64_t units) {
  for (int32_t i = word - 1; i >= 0 && units != 0; --i) {
    const int64_t sum = v[i] + units;
    const int64_t kept = ((sum % iter::BASE) + iter::BASE) % iter::BASE;
    v[i] = static_cast<Word>(kept);
    units = (sum - kept) / iter::BASE;
  }
}

volatile double zero = 0.0;

void mul(Word* v, int32_t n, int32_t m, int32_t base) {
  real->mul(v, n, m, base);
  if (multiplications == 0 && fault == "division_by_zero") {
    const volatile double infinite = 1.0 / zero;
    (void)infinite;
  }
  if (++multiplications != 2) return;  // the second multiplication gives pi - 3
  if (fault == "first_word") add_units(v, 1, 1);
  if (fault == "middle_word") add_units(v, n / 2 + 1, 1);
  if (fault == "non_normalised") {
    v[n / 2] += 10000;
    v[n / 2 - 1] -= 1;
  }
  if (fault == "above_bound" || fault == "below_bound") {
    for (int32_t i = 0; i < n; ++i) v[i] = tu_mardo::PI_TRUTH_WORDS[i];
    const int64_t error = tu_mardo::result_bound(n) + 1;
    add_units(v, n, fault == "above_bound" ? error : -error);
  }
}

// The last addition of each series gives its result: K of them for arctan(1/5), then K for
// arctan(1/239), K half the series length.
void add(Word* a, const Word* b, int32_t n, int32_t base) {
  real->add(a, b, n, base);
  ++additions;
  if (additions == 3 && fault == "lost_carry") add_units(a, n / 2, -1);
  const int32_t k5 = iter::series_length(n, 5) / 2;
  const int32_t k239 = iter::series_length(n, 239) / 2;
  if (additions == k5 && fault == "arctan5_beyond_bound") {
    for (int32_t i = 0; i < n; ++i) a[i] = tu_mardo::ARCTAN5_TRUTH_WORDS[i];
    add_units(a, n, tu_mardo::arctangent_bound(n, 5) + 1);
  }
  if (additions == k5 + k239 && fault == "arctan239_up") add_units(a, n - 1, 1);
  if (additions == k5 + k239 && fault == "arctan239_down") add_units(a, n - 1, -1);
}

void sub(Word* a, const Word* b, int32_t n, int32_t base) { real->sub(a, b, n, base); }

void div(Word* v, int32_t n, int32_t d, int32_t base) {
  if (++divisions == 5 && fault == "dropped_division") return;
  real->div(v, n, d, base);
}

const iter::kernels::KernelSet FAULTY{"faulty", [] { return true; }, mul, add, sub, div};

// Chosen before the program starts, in place of the set the CPU would get.
const bool installed = [] {
  const char* name = std::getenv("TU_MARDO_FAULT");
  fault = name != nullptr ? name : "";
  real = &iter::kernels::best_for_this_cpu();
  iter::kernels::select(FAULTY);
  return true;
}();

}  // namespace

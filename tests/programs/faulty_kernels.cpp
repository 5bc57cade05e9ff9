// A test-only build of the program that computes wrongly on purpose: its word loops are the
// real ones with the fault named by TU_MARDO_FAULT, so that the run's checks can be seen to
// catch it. Each fault is the nearest wrong run a check could miss:
// - in pi - 3 (the second multiplication): first_word and middle_word (one unit more in that
//   word), last_word_1 and last_word_9 (one and nine units more in the last listed word),
//   non_normalised (word n/2 holds 10000 more, the word before it one less: the same number,
//   listed with asterisks);
// - in the series: lost_carry (a carry lost in one addition), dropped_division (one division
//   pass not made), guard_bit (bit 12 of arctan(1/5)'s guard word flipped halfway), power_unit
//   (one unit more in the power vector's last word near the end of arctan(1/5)), and at the last
//   addition of a series: arctan5_last_word_1 and _9, arctan239_up, arctan239_down and
//   arctan239_last_word_9 (units in the last listed word), arctan5_sixteenth (word 1 plus 625:
//   16 times that is a whole BASE^n, so pi cannot tell), arctan5_out_of_range (word n/2 plus
//   10000, the word before it minus one, which the next multiplication puts right);
// - listed_byte: a word of arctan(1/239) one more while it is listed and put back before pi is
//   formed (what was listed is not what the checks see);
// - word_count and digit_count: a bit of the run's word count (its highest, which shortens it)
//   or of its accepted digit count flipped as the calculation starts; word_count_between_terms:
//   bit 20 of the word count flipped halfway through arctan(1/239), which would index far beyond
//   the vectors;
// - lying_division_5 and lying_division_239: halfway through the series, a term division whose
//   last quotient word is BASE too low and whose remainder is BASE d too high, as one wrong
//   double in the loop makes them: consistent with each other, but no floor;
// - guard_word: one unit more in pi's guard word, which is never listed;
// - division_by_zero: a floating-point division by zero in the first multiplication, which
//   traps or is flagged.
#include <cstdlib>
#include <string>

#include "iter/kernels.hpp"
#include "tu_mardo/counts.hpp"

namespace {

using iter::Word;

const iter::kernels::KernelSet* real = nullptr;
std::string fault;
int multiplications = 0;
int additions = 0;
int divisions = 0;
Word* listed_vector = nullptr;  // listed_byte: the word to put back, and its value
int32_t listed_word = 0;
Word listed_value = 0;

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

void out_of_range(Word* v, int32_t n) {
  v[n / 2] += 10000;
  v[n / 2 - 1] -= 1;
}

volatile double zero = 0.0;

void mul(Word* v, int32_t n, int32_t m, int32_t base) {
  if (listed_vector != nullptr) {
    listed_vector[listed_word] = listed_value;
    listed_vector = nullptr;
  }
  real->mul(v, n, m, base);
  if (multiplications == 0 && fault == "division_by_zero") {
    const volatile double infinite = 1.0 / zero;
    (void)infinite;
  }
  if (++multiplications != 2) return;  // the second multiplication gives pi - 3
  if (fault == "first_word") add_units(v, 1, 1);
  if (fault == "middle_word") add_units(v, n / 2 + 1, 1);
  if (fault == "last_word_1") add_units(v, n - 1, 1);
  if (fault == "last_word_9") add_units(v, n - 1, 9);
  if (fault == "guard_word") add_units(v, n, 1);
  if (fault == "non_normalised") out_of_range(v, n);
}

// The last addition of each series gives its result: K of them for arctan(1/5), then K for
// arctan(1/239), K half the series length.
void add(Word* a, const Word* b, int32_t n, int32_t base) {
  real->add(a, b, n, base);
  ++additions;
  if (additions == 3 && fault == "lost_carry") add_units(a, n / 2, -1);
  const int32_t k5 = iter::series_length(n, 5) / 2;
  const int32_t k239 = iter::series_length(n, 239) / 2;
  if (additions == k5 / 2 && fault == "guard_bit") a[n - 1] ^= 1 << 12;
  if (additions == k5) {
    if (fault == "arctan5_last_word_1") add_units(a, n - 1, 1);
    if (fault == "arctan5_last_word_9") add_units(a, n - 1, 9);
    if (fault == "arctan5_sixteenth") add_units(a, 1, 625);
    if (fault == "arctan5_out_of_range") out_of_range(a, n);
  }
  if (additions == k5 + k239) {
    if (fault == "arctan239_up") add_units(a, n - 1, 1);
    if (fault == "arctan239_down") add_units(a, n - 1, -1);
    if (fault == "arctan239_last_word_9") add_units(a, n - 1, 9);
    if (fault == "listed_byte") {
      listed_vector = a;
      listed_word = n / 3;
      listed_value = a[listed_word];
      a[listed_word] = (listed_value + 1) % 10000;
    }
  }
}

void sub(Word* a, const Word* b, int32_t n, int32_t base) { real->sub(a, b, n, base); }

// Highest bit of a positive count.
int32_t highest_bit(int32_t count) {
  int32_t bit = 1;
  while (bit <= count / 2) bit <<= 1;
  return bit;
}

int32_t div(Word* v, int32_t n, int32_t d, int32_t base) {
  ++divisions;
  if (divisions == 1 && fault == "word_count")
    tu_mardo::counts.n ^= highest_bit(tu_mardo::counts.n);
  if (divisions == 1 && fault == "digit_count") tu_mardo::counts.naccepted ^= 1 << 11;
  if (divisions == 5 && fault == "dropped_division") return 0;
  int32_t remainder = real->div(v, n, d, base);
  // arctan(1/5) divides at division 1, then the power vector at divisions 2 + 4i and 4 + 4i of
  // iteration i (from 0) and the term at 3 + 4i and 5 + 4i; arctan(1/239) divides at the next
  // one, then the power twice and the term once, twice an iteration.
  const int32_t k5 = iter::series_length(n, 5) / 2;
  const int32_t k239 = iter::series_length(n, 239) / 2;
  const int32_t term5 = 3 + 4 * (k5 / 2);
  const int32_t term239 = 1 + 4 * k5 + 1 + 6 * (k239 / 2) + 3;
  if (divisions == 2 + 4 * (k5 - 3) && fault == "power_unit") add_units(v, n, 1);
  if ((divisions == term5 && fault == "lying_division_5") ||
      (divisions == term239 && fault == "lying_division_239")) {
    v[n - 1] -= base;
    remainder += base * d;
  }
  if (divisions == term239 && fault == "word_count_between_terms") tu_mardo::counts.n ^= 1 << 20;
  return remainder;
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

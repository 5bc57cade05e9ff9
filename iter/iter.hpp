// Fixed-point arithmetic on digit vectors in base BASE, and the arctangent series.
//
// A DigitVector is a fraction in [0, 1) held in n words w1..wn of a caller-owned array, passed
// as a pointer to w1 with its length n beside it; its value is the sum of wi * BASE^-i. There
// is no integer word: carries and borrows out of w1 are dropped. Every operation is one pass
// over all n words; how much work a call does depends on n alone, never on the digits.
#pragma once

#include <cstdint>

namespace iter {

using Word = int32_t;

// The radix of the words, which the main program assigns to BASE at start-up.
inline constexpr int32_t WORD_BASE = 10000;

// Set by the main program at start-up (WORD_BASE and its square root, 100); every operation
// reads them.
extern int32_t BASE;
extern int32_t ROOT_BASE;

// The series estimate's working values, shared because series_length_map takes one argument.
extern float target_log;      // ln 10^D, D the decimals all n words hold
extern float inv_log_x;       // 1 / ln x
extern int32_t solve_status;  // 0 converged, 2001 gave up

inline constexpr int32_t SOLVE_GAVE_UP = 2001;

void mp_copy(const Word* src, Word* dst, int32_t n);
void mp_zero_tail(Word* v, int32_t n, int32_t k);  // words k..n (1-based) become 0
void mp_mul(Word* v, int32_t n, int32_t m);        // V = V * m mod BASE^n
void mp_add(Word* a, const Word* b, int32_t n);    // A = A + B mod BASE^n
void mp_sub(Word* a, const Word* b, int32_t n);    // A = A - B mod BASE^n
void mp_div(Word* v, int32_t n, int32_t d);        // V = floor(V / d)
// mp_div, keeping what it drops: returns V mod d.
int32_t mp_div_rem(Word* v, int32_t n, int32_t d);

// What a series hands back beside its result, for the check after the timed interval. Read as
// an integer S of n words, the result is the alternating sum of the exact floors
// T_j = floor(BASE^n / ((2j+1) x^(2j+1))), so S lies below arctan(1/x) BASE^n by the sum of
// the fractions the floors cut off, and those follow from the remainders of the divisions,
// which the word loops return: a few floating-point operations a term, nothing a word.
struct SeriesTally {
  int32_t n = 0;  // the length the series was computed with
  int32_t x = 0;
  int32_t length = 0;      // the series length it estimated
  int32_t terms = 0;       // the terms it summed, counted apart from the length
  double deviation = 0.0;  // S - arctan(1/x) BASE^n, in units of word n
  // Divisions whose remainder lay outside 0..d-1: their quotient is not the floor, however
  // consistent the two are with each other.
  int32_t unproven = 0;
};

// result = the truncated series arctan(1/x) = 1/x - 1/(3x^3) + ...; term and power are
// scratch. Writes the series length and an empty record to the console first.
void arctg(Word* result, Word* term, Word* power, int32_t n, int32_t x);
void arctg(Word* result, Word* term, Word* power, int32_t n, int32_t x, SeriesTally& tally);

// Called once an iteration of a series, with x, the terms summed so far and the terms it sums in
// all: where a run lets an interrupt in and shows how far it is (the run sets it; nothing by
// default). The arithmetic itself knows no system.
using TermHook = void (*)(int32_t x, int32_t terms, int32_t all);
extern TermHook between_terms;

using Map = float (*)(const float&);
float fixpoint_solve(Map g, const float& start, const float& tol);
float series_length_map(const float& t);

// The number of series terms arctg estimates for n words and x (what it reports).
int32_t series_length(int32_t n, int32_t x);

}  // namespace iter

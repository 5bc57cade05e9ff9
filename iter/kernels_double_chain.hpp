// The word loops with the carried value kept in a double register, for the kernel sets of CPUs
// that truncate a double in one instruction (x86-64-v2 and up: roundsd; aarch64: frintz;
// WebAssembly: f64.trunc). Each such set is one translation unit that cmake/kernel_sets.cmake
// generates from its declaration: this header and one TU_MARDO_DOUBLE_CHAIN_SET line, built
// with that set's flags. The loops have internal linkage, so no two sets ever share a copy
// compiled for the other's CPU.
//
// Each loop is a chain through its carry or remainder, so its speed is the latency of one
// step. Truncation is std::trunc; BASE*r + v and s + 0.5 - d*q are one multiply-add each,
// fused where the set's CPU has FMA (exact either way: every value is an integer or a
// half-integer below 2^32); the + 0.5 is added off the chain. Every step still makes one
// division and two truncations, as the portable loops do.
#pragma once

#include <cmath>

#include "iter/iter.hpp"

namespace iter::kernels {
namespace {  // each including file gets its own copy, built with its own flags

// How a set truncates a double: by the CPU's instruction (std::trunc), or, where the compiler
// has none for it but the CPU converts to an integer toward zero in one instruction and back in
// another (RISC-V's fcvt), by conversion, exact here: every value is below 2^32.
enum class Truncation { instruction, conversion };

template <Truncation T>
inline double truncate(double x) {
  if constexpr (T == Truncation::instruction) {
    return std::trunc(x);
  } else {
    return static_cast<double>(static_cast<int64_t>(x));
  }
}

// a * b + c, fused or as a multiplication and an addition (both exact here).
template <bool FUSED>
inline double multiply_add(double a, double b, double c) {
  if constexpr (FUSED) {
    return std::fma(a, b, c);
  } else {
    return a * b + c;
  }
}

template <bool FUSED, Truncation T>
void chain_mul(Word* v, int32_t n, int32_t m, int32_t base) {
  const double b = base;
  const double factor = m;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    // The product does not depend on the carry: only the addition is on the chain.
    const double s = factor * static_cast<double>(v[j]) + carry;
    carry = truncate<T>(s / b);
    v[j] = static_cast<Word>(multiply_add<FUSED>(-b, carry, s + 0.5));
  }
}

template <bool FUSED, Truncation T>
void chain_add(Word* a, const Word* w, int32_t n, int32_t base) {
  const double b = base;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const double s = static_cast<double>(a[j] + w[j]) + carry;
    carry = truncate<T>(s / b);
    a[j] = static_cast<Word>(multiply_add<FUSED>(-b, carry, s + 0.5));
  }
}

// Branchless: the borrow is the sign bit of the difference.
inline void chain_sub(Word* a, const Word* w, int32_t n, int32_t base) {
  int32_t borrow = 0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const int32_t s = a[j] - w[j] - borrow;
    borrow = static_cast<int32_t>(static_cast<uint32_t>(s) >> 31);
    a[j] = s + (base & -borrow);
  }
}

template <bool FUSED, Truncation T>
int32_t chain_div(Word* v, int32_t n, int32_t d, int32_t base) {
  const double b = base;
  const double divisor = d;
  double remainder = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double s = multiply_add<FUSED>(b, remainder, static_cast<double>(v[i]));
    const double q = truncate<T>(s / divisor);
    remainder = truncate<T>(multiply_add<FUSED>(-divisor, q, s + 0.5));
    v[i] = static_cast<Word>(q);
  }
  return static_cast<int32_t>(remainder);
}

}  // namespace
}  // namespace iter::kernels

// The set `id`'s four loops; FUSED where its CPU has a fused multiply-add, TRUNCATION one of
// Truncation's.
#define TU_MARDO_DOUBLE_CHAIN_SET(id, FUSED, TRUNCATION)                                        \
  namespace iter::kernels::id {                                                                 \
  constexpr Truncation T = Truncation::TRUNCATION;                                              \
  void mul(Word* v, int32_t n, int32_t m, int32_t base) { chain_mul<FUSED, T>(v, n, m, base); } \
  void add(Word* a, const Word* b, int32_t n, int32_t base) {                                   \
    chain_add<FUSED, T>(a, b, n, base);                                                         \
  }                                                                                             \
  void sub(Word* a, const Word* b, int32_t n, int32_t base) { chain_sub(a, b, n, base); }       \
  int32_t div(Word* v, int32_t n, int32_t d, int32_t base) {                                    \
    return chain_div<FUSED, T>(v, n, d, base);                                                  \
  }                                                                                             \
  }

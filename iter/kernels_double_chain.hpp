// The word loops with the carried value kept in a double register, for the kernel sets of CPUs
// that truncate a double in one instruction (x86-64-v2 and up: roundsd; aarch64: frintz).
// Included by each such set's translation unit, built with that set's flags; the loops have
// internal linkage, so no two sets ever share a copy compiled for the other's CPU.
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

// a * b + c, fused or as a multiplication and an addition (both exact here).
template <bool FUSED>
inline double multiply_add(double a, double b, double c) {
  if constexpr (FUSED) {
    return std::fma(a, b, c);
  } else {
    return a * b + c;
  }
}

template <bool FUSED>
void chain_mul(Word* v, int32_t n, int32_t m, int32_t base) {
  const double b = base;
  const double factor = m;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    // The product does not depend on the carry: only the addition is on the chain.
    const double s = factor * static_cast<double>(v[j]) + carry;
    carry = std::trunc(s / b);
    v[j] = static_cast<Word>(multiply_add<FUSED>(-b, carry, s + 0.5));
  }
}

template <bool FUSED>
void chain_add(Word* a, const Word* w, int32_t n, int32_t base) {
  const double b = base;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const double s = static_cast<double>(a[j] + w[j]) + carry;
    carry = std::trunc(s / b);
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

template <bool FUSED>
int32_t chain_div(Word* v, int32_t n, int32_t d, int32_t base) {
  const double b = base;
  const double divisor = d;
  double remainder = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double s = multiply_add<FUSED>(b, remainder, static_cast<double>(v[i]));
    const double q = std::trunc(s / divisor);
    remainder = std::trunc(multiply_add<FUSED>(-divisor, q, s + 0.5));
    v[i] = static_cast<Word>(q);
  }
  return static_cast<int32_t>(remainder);
}

}  // namespace
}  // namespace iter::kernels

// The word loops for x86-64 CPUs with FMA and AVX2 (this file alone is built for them).
//
// Each loop is a chain through its carry or remainder, so its speed is the latency of one step.
// The chain stays in double registers: truncation is one rounding instruction, BASE*r + v and
// s + 0.5 - d*q are single fused multiply-adds (exact: every value is an integer or a
// half-integer below 2^32), and the + 0.5 is added off the chain. Every step still makes one
// division and two truncations, as the portable loops do.
#include <cmath>
#include <cstring>

#include "iter/kernels.hpp"

namespace iter::kernels {
namespace {

void mul(Word* v, int32_t n, int32_t m, int32_t base) {
  const double b = base;
  const double factor = m;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    // The product does not depend on the carry: only the addition is on the chain.
    const double s = factor * static_cast<double>(v[j]) + carry;
    carry = std::trunc(s / b);
    v[j] = static_cast<Word>(std::fma(-b, carry, s + 0.5));
  }
}

void add(Word* a, const Word* w, int32_t n, int32_t base) {
  const double b = base;
  double carry = 0.0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const double s = static_cast<double>(a[j] + w[j]) + carry;
    carry = std::trunc(s / b);
    a[j] = static_cast<Word>(std::fma(-b, carry, s + 0.5));
  }
}

void sub(Word* a, const Word* w, int32_t n, int32_t base) {
  int32_t borrow = 0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const int32_t s = a[j] - w[j] - borrow;
    borrow = static_cast<int32_t>(static_cast<uint32_t>(s) >> 31);
    a[j] = s + (base & -borrow);
  }
}

void div(Word* v, int32_t n, int32_t d, int32_t base) {
  const double b = base;
  const double divisor = d;
  double remainder = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double s = std::fma(b, remainder, static_cast<double>(v[i]));
    const double q = std::trunc(s / divisor);
    remainder = std::trunc(std::fma(-divisor, q, s + 0.5));
    v[i] = static_cast<Word>(q);
  }
}

}  // namespace

const KernelSet FMA_AVX2{"fma-avx2", mul, add, sub, div};

}  // namespace iter::kernels

// The word loops as plainly written: any CPU, any compiler. Each carry, quotient and word is
// truncated to an integer by conversion.
#include "iter/kernels.hpp"

namespace iter::kernels::portable {

void mul(Word* v, int32_t n, int32_t m, int32_t base) {
  const double b = base;
  int32_t carry = 0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const double s = static_cast<double>(m) * static_cast<double>(v[j]) + carry;
    carry = static_cast<int32_t>(s / b);
    v[j] = static_cast<Word>(s - b * carry + 0.5);
  }
}

void add(Word* a, const Word* w, int32_t n, int32_t base) {
  const double b = base;
  int32_t carry = 0;
  for (int32_t j = n - 1; j >= 0; --j) {
    const double s = static_cast<double>(a[j]) + static_cast<double>(w[j]) + carry;
    carry = static_cast<int32_t>(s / b);
    a[j] = static_cast<Word>(s - b * carry + 0.5);
  }
}

void sub(Word* a, const Word* w, int32_t n, int32_t base) {
  int32_t borrow = 0;
  for (int32_t j = n - 1; j >= 0; --j) {
    int32_t s = a[j] - w[j] - borrow;
    if (s < 0) {
      s += base;
      borrow = 1;
    } else {
      borrow = 0;
    }
    a[j] = s;
  }
}

int32_t div(Word* v, int32_t n, int32_t d, int32_t base) {
  const double b = base;
  const double divisor = d;
  int32_t remainder = 0;
  for (int32_t i = 0; i < n; ++i) {
    const double s = b * remainder + v[i];
    const int32_t q = static_cast<int32_t>(s / divisor);
    remainder = static_cast<int32_t>(s - divisor * q + 0.5);
    v[i] = q;
  }
  return remainder;
}

}  // namespace iter::kernels::portable

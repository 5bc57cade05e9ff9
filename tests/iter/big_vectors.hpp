// Digit vectors as exact big integers (GMP), for checking the word arithmetic.
#pragma once

#include <gmp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "iter/iter.hpp"

namespace test {

// Owns one mpz_t.
class Big {
 public:
  Big() { mpz_init(value_); }
  explicit Big(unsigned long v) { mpz_init_set_ui(value_, v); }
  ~Big() { mpz_clear(value_); }
  Big(const Big& other) { mpz_init_set(value_, other.value_); }
  Big& operator=(const Big& other) {
    mpz_set(value_, other.value_);
    return *this;
  }
  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }
  bool operator==(const Big& other) const { return mpz_cmp(value_, other.value_) == 0; }

 private:
  mpz_t value_;
};

// BASE^n.
inline Big modulus(int32_t n) {
  Big m;
  mpz_ui_pow_ui(m.get(), 10000, static_cast<unsigned long>(n));
  return m;
}

// The integer V = sum of w_i * BASE^(n-i).
inline Big to_big(const std::vector<iter::Word>& words) {
  Big v;
  for (iter::Word w : words) {
    mpz_mul_ui(v.get(), v.get(), 10000);
    mpz_add_ui(v.get(), v.get(), static_cast<unsigned long>(w));
  }
  return v;
}

// n words of V mod BASE^n, normalised.
inline std::vector<iter::Word> to_words(const Big& value, int32_t n) {
  Big rest = value;
  mpz_mod(rest.get(), rest.get(), modulus(n).get());
  std::vector<iter::Word> words(static_cast<std::size_t>(n));
  for (int32_t i = n - 1; i >= 0; --i) {
    words[static_cast<std::size_t>(i)] =
        static_cast<iter::Word>(mpz_fdiv_q_ui(rest.get(), rest.get(), 10000));
  }
  return words;
}

}  // namespace test

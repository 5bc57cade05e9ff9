// The sweep of float rendering: G15.7 and the list-directed field of at least 100 million
// floats over every exponent and both signs (zero, subnormals and the largest finite value
// among them), and of every float within 64 units in the last place of each power of ten from
// 1e-10 to 1e10, against the slow exact reference. Not part of `make test`: run
// `make float-sweep` (about a hundred million floats; minutes on two cores).
// Usage: float_sweep [floats per exponent and sign, default 205000] [threads, default 2]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "float_reference.hpp"
#include "records/real_digits.hpp"

namespace {

std::mutex report_lock;
long mismatches = 0;

float from_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Compares one float; reports the first mismatches.
bool check(float value) {
  char g[15], list[15];
  records::detail::edit_g(g, value, 15, 7);
  records::detail::edit_list_real(list, value);
  const std::string expected_g = reference::g15_7(value);
  const std::string expected_list = reference::list_real(value);
  if (expected_g == std::string(g, 15) && expected_list == std::string(list, 15)) return true;
  std::lock_guard<std::mutex> guard(report_lock);
  if (++mismatches <= 20) {
    std::printf(
        "mismatch %.9g (0x%08x): g15.7 [%.15s] expected [%s]; list [%.15s] expected [%s]\n",
        static_cast<double>(value),
        [&] {
          uint32_t bits;
          std::memcpy(&bits, &value, sizeof bits);
          return bits;
        }(),
        g, expected_g.c_str(), list, expected_list.c_str());
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t per_class = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 205000;
  const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 2;
  const auto start = std::chrono::steady_clock::now();

  // Every exponent field (0: zero and subnormals) with both signs, the mantissas spread
  // evenly with an odd stride so that every low bit pattern turns up.
  std::vector<uint32_t> classes;
  for (uint32_t sign = 0; sign < 2; ++sign) {
    for (uint32_t exponent = 0; exponent < 255; ++exponent)
      classes.push_back(sign << 31 | exponent << 23);
  }
  const uint32_t stride = (0x800000 / per_class) | 1;
  std::vector<long> checked(threads, 0);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (std::size_t c = t; c < classes.size(); c += threads) {
        for (uint32_t i = 0; i < per_class; ++i) {
          const uint32_t mantissa = (i * stride + static_cast<uint32_t>(c) * 7919u) & 0x7FFFFF;
          check(from_bits(classes[c] | mantissa));
          ++checked[t];
        }
        // The ends of each class: mantissa 0 and all ones.
        check(from_bits(classes[c]));
        check(from_bits(classes[c] | 0x7FFFFF));
        checked[t] += 2;
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  long total = 0;
  for (long count : checked) total += count;

  // Around each power of ten: the boundaries where the digits and the forms change.
  long near_powers = 0;
  for (int power = -10; power <= 10; ++power) {
    const float center = static_cast<float>(std::pow(10.0, power));
    uint32_t bits;
    std::memcpy(&bits, &center, sizeof bits);
    for (int32_t step = -64; step <= 64; ++step) {
      const uint32_t near = static_cast<uint32_t>(static_cast<int64_t>(bits) + step);
      check(from_bits(near));
      check(from_bits(near | 0x80000000u));
      near_powers += 2;
    }
  }
  for (float special :
       {0.0f, -0.0f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min()}) {
    check(special);
    ++near_powers;
  }

  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf(
      "checked %ld floats over every exponent and sign, %ld near powers of ten and special\n",
      total, near_powers);
  std::printf("mismatches: %ld; %.1f s with %u threads\n", mismatches, took.count(), threads);
  return mismatches == 0 ? 0 : 1;
}

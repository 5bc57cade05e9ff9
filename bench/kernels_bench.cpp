// The word loops the benchmark program times, per kernel set, at the largest vector length
// (16001 words), and arctg(1/5) at 10000 digits. Besides time per word step, each case shows
// core cycles per word step: the core clock is measured first by a chain of dependent adds,
// one cycle each.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "iter/iter.hpp"
#include "iter/kernels.hpp"
#include "records/records.hpp"

namespace {

using iter::Word;

double measure_core_hz() {
#if defined(__x86_64__)
  constexpr uint64_t ADDS = 400'000'000;
  double best = 0.0;
  for (int round = 0; round < 5; ++round) {
    uint64_t value = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < ADDS / 8; ++i) {
      asm volatile(
          "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\t"
          "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0"
          : "+r"(value));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::max(best, static_cast<double>(ADDS) / took.count());
  }
  return best;
#else
  return 0.0;
#endif
}

const double CORE_HZ = measure_core_hz();

constexpr int32_t N = 16001;

std::vector<Word> random_vector(uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<Word> word(0, 9999);
  std::vector<Word> v(N);
  for (Word& w : v) w = word(random);
  return v;
}

using Clock = std::chrono::steady_clock;

// Time and core cycles per word step over the whole measured loop.
void per_word(benchmark::State& state, Clock::time_point start, double words_per_iteration) {
  const std::chrono::duration<double> took = Clock::now() - start;
  const double steps = words_per_iteration * static_cast<double>(state.iterations());
  state.counters["ns/word"] = took.count() * 1e9 / steps;
  if (CORE_HZ > 0.0) state.counters["cycles/word"] = took.count() * CORE_HZ / steps;
}

using iter::kernels::KernelSet;

void BM_mp_div(benchmark::State& state, const KernelSet* set) {
  iter::kernels::select(*set);
  std::vector<Word> v = random_vector(1);
  const auto start = Clock::now();
  for (auto _ : state) {
    v[0] = 10000;  // keeps the quotient from running down to zero
    iter::mp_div(v.data(), N, 91565);
    benchmark::DoNotOptimize(v.data());
  }
  per_word(state, start, N);
}

void BM_mp_mul(benchmark::State& state, const KernelSet* set) {
  iter::kernels::select(*set);
  std::vector<Word> v = random_vector(2);
  const auto start = Clock::now();
  for (auto _ : state) {
    iter::mp_mul(v.data(), N, 4);
    benchmark::DoNotOptimize(v.data());
  }
  per_word(state, start, N);
}

void BM_mp_add(benchmark::State& state, const KernelSet* set) {
  iter::kernels::select(*set);
  std::vector<Word> a = random_vector(3);
  const std::vector<Word> b = random_vector(4);
  const auto start = Clock::now();
  for (auto _ : state) {
    iter::mp_add(a.data(), b.data(), N);
    benchmark::DoNotOptimize(a.data());
  }
  per_word(state, start, N);
}

void BM_mp_sub(benchmark::State& state, const KernelSet* set) {
  iter::kernels::select(*set);
  std::vector<Word> a = random_vector(5);
  const std::vector<Word> b = random_vector(6);
  const auto start = Clock::now();
  for (auto _ : state) {
    iter::mp_sub(a.data(), b.data(), N);
    benchmark::DoNotOptimize(a.data());
  }
  per_word(state, start, N);
}

void BM_mp_copy(benchmark::State& state) {
  const std::vector<Word> a = random_vector(7);
  std::vector<Word> b(N);
  const auto start = Clock::now();
  for (auto _ : state) {
    iter::mp_copy(a.data(), b.data(), N);
    benchmark::DoNotOptimize(b.data());
  }
  per_word(state, start, N);
}

// arctg(1/5) at n = 2501 (10000 digits): every pass of the series, word steps counted over
// all of them.
void BM_arctg_5(benchmark::State& state, const KernelSet* set) {
  iter::kernels::select(*set);
  constexpr int32_t n = 2501;
  std::vector<Word> result(n), term(n), power(n);
  const int32_t iterations = iter::series_length(n, 5) / 2;
  const auto start = Clock::now();
  for (auto _ : state) {
    iter::arctg(result.data(), term.data(), power.data(), n, 5);
    benchmark::DoNotOptimize(result.data());
  }
  per_word(state, start, static_cast<double>(n) * (3 + 8.0 * iterations));
}

// Every loop of every set this CPU can run, forced in turn.
void register_benchmarks() {
  using Loop = void (*)(benchmark::State&, const KernelSet*);
  const std::pair<const char*, Loop> loops[] = {{"mp_div", BM_mp_div},
                                                {"mp_mul", BM_mp_mul},
                                                {"mp_add", BM_mp_add},
                                                {"mp_sub", BM_mp_sub},
                                                {"arctg_5", BM_arctg_5}};
  for (const auto& [loop_name, loop] : loops) {
    for (const KernelSet* set : iter::kernels::all_sets()) {
      if (!set->cpu_can_run()) continue;
      const std::string name = std::string(loop_name) + "/" + set->name;
      auto* registered = benchmark::RegisterBenchmark(name.c_str(), loop, set);
      if (loop == BM_arctg_5) registered->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RegisterBenchmark("mp_copy", BM_mp_copy);
}

}  // namespace

int main(int argc, char** argv) {
  // arctg reports its series length on the console; keep that out of the table.
  platform::ConsoleStreams quiet;
  quiet.read_input = [](char*, std::size_t) -> int64_t { return 0; };
  quiet.write_output = [](const char*, std::size_t) { return 0; };
  records::start_up(quiet);
  register_benchmarks();
  benchmark::Initialize(&argc, argv);
  if (CORE_HZ > 0.0) std::printf("core clock measured: %.2f GHz\n", CORE_HZ / 1e9);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

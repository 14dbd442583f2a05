// Time per call of realft_sp at the default grid of the rate estimate
// (N = 2048) and at a large one. The transform works in place, so each
// iteration first restores the input; bm_copy times that copy alone so it
// can be subtracted.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "numerics/realft.h"

namespace {

std::vector<double> input(std::size_t n, int isign) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = u(gen);
  // The inverse gets a real spectrum to work on.
  if (isign == numerics::kInverse) numerics::realft_sp(v, numerics::kForward);
  return v;
}

void bm_realft(benchmark::State& state, int isign) {
  const std::vector<double> original = input(static_cast<std::size_t>(state.range(0)), isign);
  std::vector<double> work(original.size());
  for (auto _ : state) {
    work = original;
    numerics::realft_sp(work, isign);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void bm_copy(benchmark::State& state) {
  const std::vector<double> original = input(static_cast<std::size_t>(state.range(0)), numerics::kForward);
  std::vector<double> work(original.size());
  for (auto _ : state) {
    work = original;
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}

// The estimator's use: forward, damp, inverse.
void bm_round_trip(benchmark::State& state) {
  const std::vector<double> original = input(static_cast<std::size_t>(state.range(0)), numerics::kForward);
  std::vector<double> work(original.size());
  for (auto _ : state) {
    work = original;
    numerics::realft_sp(work, numerics::kForward);
    for (std::size_t i = 2; i < work.size(); ++i) work[i] *= 0.5;
    numerics::realft_sp(work, numerics::kInverse);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK_CAPTURE(bm_realft, forward, numerics::kForward)->Arg(2048)->Arg(16384);
BENCHMARK_CAPTURE(bm_realft, inverse, numerics::kInverse)->Arg(2048)->Arg(16384);
BENCHMARK(bm_copy)->Arg(2048)->Arg(16384);
BENCHMARK(bm_round_trip)->Arg(2048);

}  // namespace

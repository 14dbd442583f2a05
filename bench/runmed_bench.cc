// Time of one runmed pass over a million random points (uniform on [0, 1),
// fixed seed) for window half-widths from 10 to 10000, in both modes, and
// of RunmedSeries::run on a daily series of a century (36,500 points), the
// length whose cross-validation of k sweeps every k from 3 to n/4.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "numerics/runmed.h"

namespace {

constexpr int kSeriesLength = 36500;
constexpr int kSweepFirst = 3;
constexpr int kSweepLast = kSeriesLength / 4;

std::vector<double> uniform(std::size_t n) {
  std::mt19937_64 gen(20240611);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = u(gen);
  return v;
}

void bmRunmed(benchmark::State& state, int mode) {
  const std::vector<double> x = uniform(1'000'000);
  std::vector<double> y(x.size());
  const int k = static_cast<int>(state.range(0));
  for (auto _ : state) {
    numerics::runmed(k, x, y, mode);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}

// One scheme on its own: the sorted window and the blocks around the k
// where runmed switches between them.
void bmScheme(benchmark::State& state, void (*scheme)(int, std::span<const double>, std::span<double>, int)) {
  const std::vector<double> x = uniform(1'000'000);
  std::vector<double> y(x.size());
  const int k = static_cast<int>(state.range(0));
  for (auto _ : state) {
    scheme(k, x, y, numerics::kRunmedMedian);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
}

void bmSeriesRun(benchmark::State& state) {
  const numerics::RunmedSeries series(uniform(kSeriesLength));
  std::vector<double> y(kSeriesLength);
  const int k = static_cast<int>(state.range(0));
  for (auto _ : state) {
    series.run(k, y, numerics::kRunmedLeaveOneOut);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
}

// The whole cross-validation sweep on one thread.
void bmSeriesSweep(benchmark::State& state) {
  const numerics::RunmedSeries series(uniform(kSeriesLength));
  std::vector<double> y(kSeriesLength);
  for (auto _ : state) {
    for (int k = kSweepFirst; k <= kSweepLast; ++k) {
      series.run(k, y, numerics::kRunmedLeaveOneOut);
      benchmark::DoNotOptimize(y.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kSweepLast - kSweepFirst + 1));
}

void bmSeriesConstruct(benchmark::State& state) {
  const std::vector<double> x = uniform(kSeriesLength);
  for (auto _ : state) {
    numerics::RunmedSeries series(x);
    benchmark::DoNotOptimize(&series);
  }
}

// On a shared machine the least time of several repetitions
// (--benchmark_repetitions=N) is the one least disturbed by other work.
double least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

BENCHMARK_CAPTURE(bmRunmed, median, numerics::kRunmedMedian)
    ->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(bmRunmed, leave_one_out, numerics::kRunmedLeaveOneOut)
    ->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(bmScheme, sorted_window, numerics::detail::runmedSortedWindow)
    ->Arg(20)->Arg(25)->Arg(30)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK_CAPTURE(bmScheme, blocks, numerics::detail::runmedBlocks)
    ->Arg(20)->Arg(25)->Arg(30)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
// 18 and 19 straddle the switch from the sorted window to the ranks.
BENCHMARK(bmSeriesRun)
    ->Arg(3)->Arg(18)->Arg(19)->Arg(100)->Arg(1000)->Arg(9125)
    ->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(bmSeriesConstruct)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(bmSeriesSweep)->Unit(benchmark::kSecond)->Iterations(1)->ComputeStatistics("min", least);

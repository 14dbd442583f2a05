// Time of one Gaussian kernel sum over 2.5 million pairs (about what 1000
// real events and their pseudodata give), for bandwidths from the small to
// the large end of a search range over times in [0, 100], and of the sweep
// the cross-validation makes: 400 bandwidths from 0.05 to 50, on one thread.
// "exps" counts the exponentials evaluated, i.e. the pairs not skipped as
// underflowing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "numerics/gausssum.h"

namespace {

constexpr std::size_t kPairs = 2'500'000;
constexpr double kSpan = 100.0;
constexpr int kSweepBandwidths = 400;
constexpr double kSweepHmin = 0.05;
constexpr double kSweepHmax = 50.0;

// Squared differences of independent uniform times, ascending: the
// distances of pairs of events spread over the whole record, as one row.
const std::vector<double>& pairs() {
  static const std::vector<double> d2 = [] {
    std::mt19937_64 gen(20240611);
    std::uniform_real_distribution<double> u(0.0, kSpan);
    std::vector<double> v(kPairs);
    for (double& x : v) {
      const double d = u(gen) - u(gen);
      x = d * d;
    }
    std::sort(v.begin(), v.end());
    return v;
  }();
  return d2;
}

// Pairs that a sum at h evaluates (the rest underflow).
double evaluated(double h) {
  // A term is evaluated when d2 < 745.14 * 2 h^2; for pairs of uniform times
  // over kSpan the share with |d| < c is c/kSpan * (2 - c/kSpan).
  const double c = std::min(kSpan, std::sqrt(-numerics::detail::kExpCutoff * 2.0) * h);
  return static_cast<double>(kPairs) * (c / kSpan) * (2.0 - c / kSpan);
}

void bmSum(benchmark::State& state) {
  const double h = static_cast<double>(state.range(0)) / 100.0;
  for (auto _ : state) {
    numerics::RowSums sums(std::vector<double>{h});
    sums.add(pairs());
    benchmark::DoNotOptimize(sums.sum(0));
  }
  state.counters["exps/ns"] =
      benchmark::Counter(evaluated(h) * static_cast<double>(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
  state.SetLabel("h=" + std::to_string(h));
}
BENCHMARK(bmSum)->Arg(5)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The sweep of the cross-validation: 400 bandwidths over one row.
void bmSweep(benchmark::State& state) {
  std::vector<double> h(kSweepBandwidths);
  double exps = 0.0;
  for (int j = 0; j < kSweepBandwidths; ++j) {
    h[static_cast<std::size_t>(j)] = kSweepHmin + j * (kSweepHmax - kSweepHmin) / (kSweepBandwidths - 1);
    exps += evaluated(h[static_cast<std::size_t>(j)]);
  }
  for (auto _ : state) {
    numerics::RowSums sums(h);
    sums.add(pairs());
    benchmark::DoNotOptimize(sums.sum(0));
  }
  state.counters["exps/ns"] =
      benchmark::Counter(exps * static_cast<double>(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
}
BENCHMARK(bmSweep)->Unit(benchmark::kMillisecond);

// The exponential alone on data already in the first-level cache, to tell
// its cost from that of streaming the distances from memory.
void bmSumExpCached(benchmark::State& state) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> u(0.0, 700.0);
  std::vector<double> d2(4096);
  for (double& v : d2) v = u(gen);
  for (auto _ : state) {
    benchmark::DoNotOptimize(numerics::detail::sumExp(d2, -1.0));
  }
  state.counters["exps/ns"] = benchmark::Counter(
      static_cast<double>(d2.size()) * static_cast<double>(state.iterations()) * 1e-9,
      benchmark::Counter::kIsRate);
}
BENCHMARK(bmSumExpCached);

}  // namespace

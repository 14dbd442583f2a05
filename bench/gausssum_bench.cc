// Time of one Gaussian kernel sum over 2.5 million pairs (about what 1000
// real events and their pseudodata give), for bandwidths from the small to
// the large end of a search range over times in [0, 100], and of the sweep
// the cross-validation makes: 400 bandwidths from 0.05 to 50, on one thread
// and spread over two (wall time).
// "exps" counts the exponentials evaluated, i.e. the pairs not skipped as
// underflowing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "numerics/gausssum.h"

namespace {

constexpr std::size_t kPairs = 2'500'000;
constexpr double kSpan = 100.0;
constexpr int kSweepBandwidths = 400;
constexpr double kSweepHmin = 0.05;
constexpr double kSweepHmax = 50.0;

// Squared differences of independent uniform times: the distances of pairs
// of events spread over the whole record.
const numerics::GaussianSums& pairs() {
  static const numerics::GaussianSums sums = [] {
    std::mt19937_64 gen(20240611);
    std::uniform_real_distribution<double> u(0.0, kSpan);
    std::vector<double> d2(kPairs);
    for (double& v : d2) {
      const double d = u(gen) - u(gen);
      v = d * d;
    }
    return numerics::GaussianSums(std::move(d2));
  }();
  return sums;
}

// Pairs that sum(h) evaluates (the rest underflow).
double evaluated(const numerics::GaussianSums& sums, double h) {
  // A term is evaluated when d2 < 745.14 * 2 h^2; for pairs of uniform times
  // over kSpan the share with |d| < c is c/kSpan * (2 - c/kSpan).
  const double c = std::min(kSpan, std::sqrt(-numerics::detail::kExpCutoff * 2.0) * h);
  return static_cast<double>(sums.size()) * (c / kSpan) * (2.0 - c / kSpan);
}

void bmSum(benchmark::State& state) {
  const numerics::GaussianSums& sums = pairs();
  const double h = static_cast<double>(state.range(0)) / 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sums.sum(h));
  }
  state.counters["exps/ns"] = benchmark::Counter(
      evaluated(sums, h) * static_cast<double>(state.iterations()) * 1e-9,
      benchmark::Counter::kIsRate);
  state.SetLabel("h=" + std::to_string(h));
}
BENCHMARK(bmSum)->Arg(5)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

void bmSweep(benchmark::State& state) {
  const numerics::GaussianSums& sums = pairs();
  double exps = 0.0;
  for (int j = 0; j < kSweepBandwidths; ++j) {
    exps += evaluated(sums, kSweepHmin + j * (kSweepHmax - kSweepHmin) / (kSweepBandwidths - 1));
  }
  for (auto _ : state) {
    double total = 0.0;
    for (int j = 0; j < kSweepBandwidths; ++j) {
      total += sums.sum(kSweepHmin + j * (kSweepHmax - kSweepHmin) / (kSweepBandwidths - 1));
    }
    benchmark::DoNotOptimize(total);
  }
  state.counters["exps/ns"] = benchmark::Counter(
      exps * static_cast<double>(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
}
BENCHMARK(bmSweep)->Unit(benchmark::kMillisecond);

// Bandwidths dealt out alternately to two threads, as the caller does.
void bmSweepTwoThreads(benchmark::State& state) {
  const numerics::GaussianSums& sums = pairs();
  const auto half = [&sums](int first) {
    double total = 0.0;
    for (int j = first; j < kSweepBandwidths; j += 2) {
      total += sums.sum(kSweepHmin + j * (kSweepHmax - kSweepHmin) / (kSweepBandwidths - 1));
    }
    benchmark::DoNotOptimize(total);
  };
  for (auto _ : state) {
    std::thread other(half, 1);
    half(0);
    other.join();
  }
}
BENCHMARK(bmSweepTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// The cross-validation of the background window, at the default krel (the
// windows k = 3..n/4), on one thread and on all cores; both give the same
// curves bit for bit.
//
// - a century of daily values (36,500 points) with occasional floods;
// - hourly gauge records of 40,000 and 100,000 points: AR(1) noise on a
//   seasonal cycle;
// - the same at 1,000,000 points, which takes minutes and so runs only
//   with MORVEK_BENCH_LONG=1 in the environment.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "morvek/background.h"

namespace {

// A seasonal cycle with noise and occasional floods.
std::vector<double> dailySeries(std::size_t n) {
  std::mt19937 gen(2026);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::exponential_distribution<double> flood(0.2);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double season = 10.0 * std::sin(2.0 * M_PI * static_cast<double>(i) / 365.25);
    x[i] = 50.0 + season + 3.0 * noise(gen) + (i % 97 == 0 ? flood(gen) * 10.0 : 0.0);
  }
  return x;
}

// Hourly values: a yearly cycle and AR(1) noise with a memory of a few hours.
std::vector<double> hourlySeries(std::size_t n) {
  std::mt19937 gen(2027);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(n);
  double ar = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ar = 0.8 * ar + noise(gen);
    x[i] = 20.0 + 8.0 * std::sin(2.0 * M_PI * static_cast<double>(i) / 8766.0) + 2.0 * ar;
  }
  return x;
}

void crossValidate(benchmark::State& state, const std::vector<double>& x, unsigned threads) {
  const int kmin = 3;
  const int kmax = static_cast<int>(static_cast<double>(x.size()) * 0.25);
  morvek::CvMedData cm;
  cm.cv1.create(kmax - kmin + 1);
  cm.cvm.create(kmax - kmin + 1);
  cm.cvj.create(kmax - kmin + 1);
  int kcv1 = 0, kcvm = 0;
  for (auto _ : state) {
    morvek::Progress quiet(nullptr, "", "", 0);
    morvek::cvmed(x, kmin, kmax, cm, kcv1, kcvm, quiet, threads);
    benchmark::DoNotOptimize(cm.cv1.span().data());
  }
  state.counters["windows"] = kmax - kmin + 1;
  state.counters["kcv1"] = kcv1;
  state.counters["kcvm"] = kcvm;
}

// Arguments: points, threads (0: all cores).
void bm_cvmed(benchmark::State& state) {
  crossValidate(state, dailySeries(static_cast<std::size_t>(state.range(0))), static_cast<unsigned>(state.range(1)));
}
BENCHMARK(bm_cvmed)->Args({36500, 1})->Args({36500, 0})->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void bm_cvmed_hourly(benchmark::State& state) {
  crossValidate(state, hourlySeries(static_cast<std::size_t>(state.range(0))), static_cast<unsigned>(state.range(1)));
}
BENCHMARK(bm_cvmed_hourly)->Args({40000, 0})->Args({100000, 0})->Unit(benchmark::kSecond)->Iterations(1)
    ->UseRealTime();

const bool registeredLong = [] {
  if (std::getenv("MORVEK_BENCH_LONG") != nullptr) {
    benchmark::RegisterBenchmark("bm_cvmed_hourly/1000000/0", [](benchmark::State& state) {
      crossValidate(state, hourlySeries(1000000), 0);
    })->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
  }
  return true;
}();

}  // namespace

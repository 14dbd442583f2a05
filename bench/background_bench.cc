// The cross-validation of the background window on a century of daily
// values (36,500 points, the default krel: k = 3..9125), on one thread and
// on all cores; both give the same curves bit for bit.
#include <benchmark/benchmark.h>

#include <cmath>
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

void bm_cvmed(benchmark::State& state) {
  const std::vector<double> x = dailySeries(static_cast<std::size_t>(state.range(0)));
  const int kmin = 3;
  const int kmax = static_cast<int>(static_cast<double>(x.size()) * 0.25);
  morvek::CvMedData cm;
  cm.cv1.create(kmax - kmin + 1);
  cm.cvm.create(kmax - kmin + 1);
  cm.cvj.create(kmax - kmin + 1);
  int kcv1 = 0, kcvm = 0;
  for (auto _ : state) {
    morvek::Progress quiet(nullptr, "", "", 0);
    morvek::cvmed(x, kmin, kmax, cm, kcv1, kcvm, quiet, static_cast<unsigned>(state.range(1)));
    benchmark::DoNotOptimize(cm.cv1.span().data());
  }
  state.counters["windows"] = kmax - kmin + 1;
  state.counters["kcv1"] = kcv1;
  state.counters["kcvm"] = kcvm;
}

// Arguments: points, threads (0: all cores).
BENCHMARK(bm_cvmed)->Args({36500, 1})->Args({36500, 0})->Unit(benchmark::kSecond)->Iterations(1)
    ->UseRealTime();

}  // namespace

// The kernel rate estimate at the default grid (2048 cells) for 1,000
// events, binned afresh and reusing the transform; the bandwidth
// cross-validation of one class of 1,000 real events with its pseudodata
// at 400 and 10,000 search points; and the bootstrap band of one class, at
// the defaults with 2,000 replicates and at 16,384 grid points with 10,000
// replicates, with the peak memory of the process. On one thread and on all
// cores.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <sys/resource.h>
#include <vector>

#include "morvek/bandwidth.h"
#include "morvek/bootstrap.h"
#include "morvek/pseudodata.h"
#include "morvek/rate.h"

namespace {

std::vector<double> eventTimes(std::size_t n) {
  std::mt19937 gen(1871);
  std::uniform_real_distribution<double> within(0.0, 100.0);
  std::vector<double> t(n);
  for (double& x : t) x = within(gen);
  std::sort(t.begin(), t.end());
  return t;
}

void bm_intest(benchmark::State& state, morvek::Binning binning) {
  const std::vector<double> times = eventTimes(1000);
  std::vector<double> y(2048), ft(2048);
  morvek::intest(times, -10.0, 110.0, 2.0, y, ft, morvek::Binning::fresh);
  for (auto _ : state) {
    morvek::intest(times, -10.0, 110.0, 2.0, y, ft, binning);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK_CAPTURE(bm_intest, fresh, morvek::Binning::fresh);
BENCHMARK_CAPTURE(bm_intest, reuse, morvek::Binning::reuse);

// One class of events on [0, 100], as the risk estimation leaves it before
// the search.
morvek::State oneClass(const std::vector<double>& events, int nhsrch, int ngrid = 2048) {
  using namespace morvek;
  State s;
  Setting& g = s.setting;
  g.datatype = DataType::times;
  g.n1 = g.n2 = g.n3 = static_cast<int>(events.size());
  enter(s, Stage::start);
  s.data.t1.assign(events);
  g.tobsl = 0;
  g.tobsr = 100;
  s.parameters.nhsrch = nhsrch;
  s.parameters.ngrid = ngrid;
  g.l = 1;
  make(s, Group::g3a);
  g.n4[0] = g.n3;
  make(s, Group::g3b);
  for (std::size_t i = 0; i < events.size(); ++i) s.data.t4.at(0, i) = events[i];
  for (Group group : {Group::g4a, Group::g4b, Group::g4c, Group::g4e}) make(s, group);
  hminmax(s);
  intensityx(s);
  pseudodata(s);
  return s;
}

void bm_cvint(benchmark::State& state) {
  morvek::State s = oneClass(eventTimes(1000), static_cast<int>(state.range(0)));
  for (auto _ : state) {
    morvek::Progress quiet(nullptr, "", "", 0);
    morvek::cvint(s, quiet, static_cast<unsigned>(state.range(1)));
    benchmark::DoNotOptimize(s.data.cv.at(0, 0));
  }
  state.counters["pseudodata"] = s.setting.n[0] - 1000;
}
// Arguments: search points, threads (0: all cores).
BENCHMARK(bm_cvint)->Args({400, 1})->Args({400, 0})->Args({10000, 0})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Large event sets at the default 400 search points, on all cores, with the
// peak memory of the process: run one size per process
// (--benchmark_filter=bm_cvint_events/20000) for its own peak.
void bm_cvint_events(benchmark::State& state) {
  morvek::State s = oneClass(eventTimes(static_cast<std::size_t>(state.range(0))), 400);
  for (auto _ : state) {
    morvek::Progress quiet(nullptr, "", "", 0);
    morvek::cvint(s, quiet);
    benchmark::DoNotOptimize(s.data.cv.at(0, 0));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(bm_cvint_events)->Arg(10000)->Arg(20000)->Arg(50000)->Unit(benchmark::kSecond)
    ->Iterations(1)->UseRealTime();

// The band for a bandwidth near the cross-validated one of such classes.
void bm_confidence(benchmark::State& state) {
  const auto events = static_cast<std::size_t>(state.range(0));
  morvek::State s = oneClass(eventTimes(events), 100, static_cast<int>(state.range(1)));
  s.setting.h[0] = 2.0;
  s.setting.nsim.create(1);
  morvek::intensity(s, 0);  // a new rate: no band yet
  s.setting.nsim[0] = static_cast<int>(state.range(2));
  std::int32_t seed = -1;
  numerics::ran(s.random, seed);
  for (auto _ : state) {
    morvek::Progress quiet(nullptr, "", "", 0);
    morvek::confidence(s, 0, quiet, static_cast<unsigned>(state.range(3)));
    benchmark::DoNotOptimize(s.data.lyl.at(0, 0));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
// Arguments: real events, grid points, replicates, threads (0: all cores).
BENCHMARK(bm_confidence)->Args({500, 2048, 2000, 1})->Args({500, 2048, 2000, 0})
    ->Args({1000, 16384, 10000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Time per call of sort and indexx_sp on random data, with all values
// distinct and with only ten distinct values (heavy ties, as in binned or
// rounded series). sort works in place, so each call first restores the
// unsorted input; that copy is linear and small next to the sort itself.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "numerics/sort.h"

namespace {

enum class Values { kDistinct, kTied };

std::vector<double> input(std::size_t n, Values kind) {
  std::mt19937 gen(12345);
  std::vector<double> v(n);
  if (kind == Values::kDistinct) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& x : v) x = u(gen);
  } else {
    std::uniform_int_distribution<int> pick(0, 9);
    for (double& x : v) x = pick(gen);
  }
  return v;
}

void bm_sort(benchmark::State& state, Values kind) {
  const std::vector<double> original = input(static_cast<std::size_t>(state.range(0)), kind);
  std::vector<double> work(original.size());
  for (auto _ : state) {
    work = original;
    numerics::sort(work);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void bm_indexx_sp(benchmark::State& state, Values kind) {
  const std::vector<double> arr = input(static_cast<std::size_t>(state.range(0)), kind);
  std::vector<int> index(arr.size());
  for (auto _ : state) {
    numerics::indexx_sp(arr, index);
    benchmark::DoNotOptimize(index.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK_CAPTURE(bm_sort, distinct, Values::kDistinct)->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK_CAPTURE(bm_sort, tied, Values::kTied)->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK_CAPTURE(bm_indexx_sp, distinct, Values::kDistinct)
    ->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK_CAPTURE(bm_indexx_sp, tied, Values::kTied)->Arg(1000)->Arg(100000)->Arg(1000000);

}  // namespace

// Writing the plot files of a long series: type 1 draws every point of the
// interval, two scientific fields a row.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "morvek/plot.h"

namespace {

class NoRunner : public morvek::PlotRunner {
 public:
  void run(const std::string&) override {}
};

void BM_PlotSeries(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "morvek-plot-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  morvek::State s;
  const auto n = static_cast<int>(state.range(0));
  s.setting.n1 = s.setting.n2 = n;
  s.data.t2.create(n);
  s.data.x2.create(n);
  for (int i = 0; i < n; ++i) {
    s.data.t2[static_cast<std::size_t>(i)] = 1900.0 + i * 0.01;
    s.data.x2[static_cast<std::size_t>(i)] = 1000.0 + (i * 7919 % 1000) * 0.37;
  }
  s.settingp[morvek::PlotType::data].xl = 1900.0;
  s.settingp[morvek::PlotType::data].xu = 1900.0 + n * 0.01;
  std::istringstream in;
  std::ostringstream out;
  morvek::Console console(in, out);
  NoRunner runner;
  for (auto _ : state) morvek::plot(s, console, runner, morvek::PlotType::data);
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_PlotSeries)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

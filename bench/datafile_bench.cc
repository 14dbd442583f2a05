// Reading long series: the pre-scan (count and layout checks, several passes
// over the text) and the read of the values, on files of n lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "morvek/datafile.h"

namespace {

std::string makeFile(long lines) {
  const std::string name = (std::filesystem::temp_directory_path() /
                            ("morvek-bench-" + std::to_string(lines) + ".dat")).string();
  if (!std::filesystem::exists(name)) {
    std::ofstream out(name);
    out.precision(12);
    for (long i = 0; i < lines; ++i) {
      out << 1900.0 + i * 0.01 << ' ' << 1000.0 + (i * 7919 % 1000) * 0.37 << '\n';
    }
  }
  return name;
}

morvek::State stateFor(const std::string& name) {
  morvek::State s;
  s.setting.datatype = morvek::DataType::ordinary;
  s.setting.inputfile = name;
  return s;
}

void BM_Prescan(benchmark::State& state) {
  const std::string name = makeFile(state.range(0));
  std::istringstream in;
  std::ostringstream out;
  morvek::Console console(in, out);
  for (auto _ : state) {
    morvek::State s = stateFor(name);
    benchmark::DoNotOptimize(morvek::read1(s, console, morvek::ReadOption::count));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadValues(benchmark::State& state) {
  const std::string name = makeFile(state.range(0));
  std::istringstream in;
  std::ostringstream out;
  morvek::Console console(in, out);
  morvek::State s = stateFor(name);
  s.setting.n1 = static_cast<int>(state.range(0));
  morvek::enter(s, morvek::Stage::start);
  for (auto _ : state) {
    morvek::read1(s, console, morvek::ReadOption::values);
    benchmark::DoNotOptimize(s.data.t1[0]);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Prescan)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadValues)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

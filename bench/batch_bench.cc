// A study of many series: morvek-batch on 200 daily series of 40 years
// (14,610 points each) against 200 replays of their answers.txt through
// morvek, one after the other, with gnuplot replaced by true. Both use the
// default configuration, z = 2.5, one class, the cross-validated window
// and bandwidth, and 1000 bootstrap simulations.
//
// The series are written once, into a folder of the system's temporary
// folder; the replays need the batch's answers, so run both benchmarks
// (the default). MORVEK_BATCH_SERIES sets another number of series, and
// MORVEK_REPLAY another morvek for the replays (an earlier build's).
#include <benchmark/benchmark.h>

#include <cmath>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path& studyFolder() {
  static const fs::path folder = fs::temp_directory_path() / "morvek-batch-bench";
  return folder;
}

int seriesCount() {
  const char* count = std::getenv("MORVEK_BATCH_SERIES");
  return count != nullptr ? std::max(1, std::atoi(count)) : 200;
}

void shell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// Daily values with a seasonal cycle, noise and rare hot days; each series
// has its own generator. A study written before is kept with its results,
// so that another build's replays can take its answers.
void writeStudy() {
  static bool written = false;
  if (written) return;
  written = true;
  const fs::path data = studyFolder() / "data";
  if (fs::exists(data) && std::distance(fs::directory_iterator(data), fs::directory_iterator()) == seriesCount()) {
    return;
  }
  fs::remove_all(studyFolder());
  fs::create_directories(data);
  fs::create_directories(studyFolder() / "bin");
  std::ofstream(studyFolder() / "bin" / "gnuplot") << "#!/bin/sh\nexec true\n";
  fs::permissions(studyFolder() / "bin" / "gnuplot", fs::perms::owner_all);
  for (int s = 0; s < seriesCount(); ++s) {
    unsigned long long state = 1000003ULL * static_cast<unsigned long long>(s + 1);
    auto uniform = [&] {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    char name[32];
    std::snprintf(name, sizeof name, "station%03d.dat", s);
    std::ofstream out(data / name);
    out.precision(17);
    for (int i = 0; i < 14610; ++i) {
      double x = 10 + 8 * std::sin(2 * M_PI * i / 365.25) + 2 * uniform();
      if (uniform() < 0.02) x += 4 + 6 * uniform();
      out << 1980 + i / 365.25 << ' ' << x << '\n';
    }
  }
}

const std::string kOptions = "--z 2.5 --bandwidth cv --nsim 1000";

void BM_Batch(benchmark::State& state, const char* figures) {
  writeStudy();
  const fs::path& study = studyFolder();
  for (auto _ : state) {
    // The figures need the real gnuplot; the replays' stand-in draws nothing.
    const std::string path = std::string(figures) == "none" ? "PATH=\"$PWD/bin:$PATH\" " : "";
    shell(state, "cd '" + study.string() + "' && " + path + MORVEK_BATCH_BINARY " " + kOptions +
                     " --figures " + figures + " -o results-" + figures + " data/*.dat > /dev/null 2>&1");
  }
  state.counters["series"] = seriesCount();
}

// Each replay in a folder of its own with the data file and the
// configuration, as a user would run it.
void BM_Replays(benchmark::State& state) {
  writeStudy();
  const fs::path& study = studyFolder();
  if (!fs::exists(study / "results-none")) {
    state.SkipWithError("run BM_Batch/none first: the replays take its answers");
    return;
  }
  const char* other = std::getenv("MORVEK_REPLAY");
  const std::string morvek = other != nullptr ? other : MORVEK_BINARY;
  const std::string script =
      "cd '" + study.string() + "' && export PATH=\"$PWD/bin:$PATH\" && for f in data/*.dat; do "
      "n=$(basename \"$f\" .dat); r=replays/$n; mkdir -p \"$r\"; cp \"$f\" \"$r/\"; "
      "cp results-none/$n/morvek.cfg \"$r/\"; "
      "(cd \"$r\" && " + morvek + " < ../../results-none/$n/answers.txt > session.txt 2> /dev/null) || exit 1; done";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(study / "replays");
    state.ResumeTiming();
    shell(state, "bash -c '" + [&] {
      std::string quoted;
      for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      return quoted;
    }() + "'");
  }
  state.counters["series"] = seriesCount();
  // The replays must give the batch's files, or the comparison is void.
  const std::string check = "cd '" + study.string() +
                            "' && for d in results-none/*/; do n=$(basename \"$d\"); "
                            "cmp -s \"$d/morvek-3.dat\" replays/$n/morvek-3.dat || exit 1; done";
  if (std::system(check.c_str()) != 0) state.SkipWithError("a replay differs from the batch's results");
}

BENCHMARK_CAPTURE(BM_Batch, none, "none")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Replays)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, png, "png")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

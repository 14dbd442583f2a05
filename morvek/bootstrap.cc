// The bootstrap band.
//
// Storage: the replicate curves are needed twice, for their mean and then
// standardised by it, but only the rows inside the observation interval are
// pooled; so only those rows are kept (M rows by B replicates), the mean is
// accumulated over the whole grid as the replicates come, and the pooled
// absolute deviations overwrite the kept rows in place. The kq-th smallest
// is found by selection, which gives the value a full sort would.
//
// Threads: the resamples are drawn by one thread in the generator's order,
// a chunk of replicates at a time; the chunk's curves are then estimated on
// all cores, each by one thread alone, and added to the mean in replicate
// order. Every number is thus the same as on one thread.
//
// Names: N event times with pseudodata, B replicates, M grid rows inside
// the observation interval starting at row j1, q the band's multiplier.
#include "morvek/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/menus.h"
#include "morvek/parallel.h"
#include "morvek/rate.h"

namespace morvek {

namespace {

constexpr int kMinSimulations = 200;
constexpr int kMaxSimulations = 10000;
constexpr std::size_t kChunk = 64;  // replicates drawn ahead of their estimation

}  // namespace

void chsett8(State& s, Console& console, std::size_t cls) {
  s.setting.nsim[cls] =
      askInt(console, kMinSimulations, kMaxSimulations, "number of simulations", [&] {
        console.line();
        console.line("Class " + fmtI(static_cast<long long>(cls) + 1, 2) + " - number of bootstrap simulations");
        console.line(fmtI(kMinSimulations, 3) + " <= [nsim] <= " + fmtI(kMaxSimulations, 5));
      });
}

void chsett9(State& s, Console& console) {
  if (s.setting.flagseed) return;
  std::int32_t seed = ask([&]() -> std::optional<int> {
    console.line();
    console.line("Random number generator seed [negative integer]:");
    const auto answer = readIntsLine(console, 1);
    if (!answer) return std::nullopt;
    if (answer->front() < 0) return answer->front();
    console.advise("the seed must be a negative integer");
    return std::nullopt;
  });
  numerics::ran(s.random, seed);
  s.setting.flagseed = true;
}

void bootstrap(numerics::RanState& random, std::int32_t& idum, std::span<const double> x,
               std::span<double> xb) {
  const std::size_t n = x.size();
  for (double& draw : xb) {
    const double u = numerics::ran(random, idum);
    // u < 1, but u * n may round up to n.
    const auto j = std::min(static_cast<std::size_t>(u * static_cast<double>(n)), n - 1);
    draw = x[j];
  }
}

void confidence(State& s, std::size_t row, Progress& progress, unsigned threads) {
  const Setting& g = s.setting;
  const auto times = s.data.t.row(row).first(static_cast<std::size_t>(g.n[row]));
  const auto B = static_cast<std::size_t>(g.nsim[row]);
  const double h = g.h[row];
  const std::span<const double> lx = s.data.lx.span();
  const std::size_t ngrid = lx.size();
  // Named iterators rather than a structured binding: the lambda below
  // captures them, which Clang before 16 refuses for bindings.
  const auto extent = std::minmax_element(lx.begin(), lx.end());
  const auto a = extent.first;
  const auto b = extent.second;
  const GridRows inside = observedRows(s);
  const std::size_t j1 = inside.first, j2 = inside.end(), M = inside.count;

  std::vector<double> kept;
  allocating("confidence", [&] { kept.resize(M * B); });
  std::vector<double> mean(ngrid, 0.0);
  std::vector<double> resamples(kChunk * times.size()), curves(kChunk * ngrid);
  for (std::size_t first = 0; first < B; first += kChunk) {
    const std::size_t count = std::min(kChunk, B - first);
    for (std::size_t r = 0; r < count; ++r) {
      bootstrap(s.random, s.idum, times,
                std::span(resamples).subspan(r * times.size(), times.size()));
    }
    parallelFor(0, count, threads, [&](std::size_t r) {
      const std::span<double> y = std::span(curves).subspan(r * ngrid, ngrid);
      // Every replicate is binned afresh, into a transform of its thread's own.
      thread_local std::vector<double> work;
      work.resize(ngrid);
      if (intest(std::span(resamples).subspan(r * times.size(), times.size()), *a, *b, h, y, work,
                 Binning::fresh) != RateFault::none) {
        throw Fatal(std::vector<std::string>{"Error in subroutine confidence - simulations", ""});
      }
      progress.step();
    });
    for (std::size_t r = 0; r < count; ++r) {
      const double* y = &curves[r * ngrid];
      for (std::size_t j = 0; j < ngrid; ++j) mean[j] += y[j];
      std::copy(y + j1, y + j2, kept.begin() + static_cast<std::ptrdiff_t>((first + r) * M));
    }
  }
  for (double& m : mean) m /= static_cast<double>(B);

  parallelFor(0, B, threads, [&](std::size_t r) {
    double* y = &kept[r * M];
    for (std::size_t i = 0; i < M; ++i) y[i] = std::abs((y[i] - mean[j1 + i]) / std::sqrt(y[i]));
  });
  const double share = s.parameters.alpha * static_cast<double>(B) * static_cast<double>(M);
  const auto kq = static_cast<std::size_t>(std::llround(share));
  double q = 0;
  if (kq >= 1 && kq <= kept.size()) {
    const auto at = kept.begin() + static_cast<std::ptrdiff_t>(kq - 1);
    std::nth_element(kept.begin(), at, kept.end());
    q = *at;
  }

  for (std::size_t j = 0; j < ngrid; ++j) {
    const double spread = q * std::sqrt(s.data.ly.at(row, j));
    const double lower = mean[j] - spread;
    s.data.lyl.at(row, j) = lower > 0 ? lower : 0.0;
    s.data.lyu.at(row, j) = mean[j] + spread;
  }
}

Part5Choice decis6(const State& s, Console& console) {
  const Setting& g = s.setting;
  Menu menu{{"", "Part 5: Bootstrap Simulations", ""},
            {{key(Part5Choice::bootstrap), "Bootstrap setting                        [b]"}}};
  addEarlierParts(menu, g.datatype, 5);
  menu.entries.push_back({key(Part5Choice::exit), "Output and exit                          [x]"});
  console.blank(2);
  return ask([&]() -> std::optional<Part5Choice> {
    const auto answer = offer(console, menu);
    if (!answer) return std::nullopt;
    const auto choice = static_cast<Part5Choice>(*answer);
    if (choice == Part5Choice::exit && std::find(g.nsim.begin(), g.nsim.end(), kUnsetInt) != g.nsim.end()) {
      console.line("Bootstrap simulations have not all yet been done");
      return std::nullopt;
    }
    return choice;
  });
}

}  // namespace morvek

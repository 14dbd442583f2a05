// Background and variability by running medians, and the cross-validation
// of their window.
//
// Every window of the cross-validation is independent of the others, so
// they are spread over the cores in groups of neighbouring windows, which
// share work; each entry is computed by one thread alone in a fixed order
// of operations, and the minima are searched afterwards in order of k, so
// the outcome is the same on any number of threads.
#include "morvek/background.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "morvek/format.h"
#include "morvek/parallel.h"
#include "numerics/runmed.h"

namespace morvek {

namespace {

// Start value of the running minima: above any criterion a series can give.
constexpr double kNoMinimum = 9.9e29;
// Below this the variability counts as zero.
constexpr double kLowVariability = 1e-12;

// Windows taken together by one thread: consecutive windows share work, and
// there are still enough groups to keep every core busy to the end.
constexpr int kWindowsAtOnce = 18;

}  // namespace

void cvmed(std::span<const double> x, int kmin, int kmax, CvMedData& cm, int& kcv1, int& kcvm,
           Progress& progress, unsigned threads) {
  kcv1 = 0;
  kcvm = 0;
  const int entries = kmax - kmin + 1;
  if (entries <= 0) return;
  assert(static_cast<std::size_t>(entries) <= cm.cv1.size());
  assert(2 * static_cast<std::size_t>(kmax) + 1 <= x.size());

  const numerics::RunmedSeries series(x);
  const int groups = (entries + kWindowsAtOnce - 1) / kWindowsAtOnce;
  // A thread's groups come one after the other, so its workspace carries
  // the work they share from one to the next.
  const auto workspace = [&] { return numerics::ResidualWorkspace(series); };
  parallelFor(0, static_cast<std::size_t>(groups), threads, workspace, [&](numerics::ResidualWorkspace& work,
                                                                           std::size_t g) {
    const int first = static_cast<int>(g) * kWindowsAtOnce;
    const int count = std::min(kWindowsAtOnce, entries - first);
    std::array<int, kWindowsAtOnce> ks;
    std::array<numerics::Residuals, kWindowsAtOnce> r;
    for (int j = 0; j < count; ++j) ks[static_cast<std::size_t>(j)] = kmin + first + j;
    const auto used = static_cast<std::size_t>(count);
    series.residuals(std::span(ks).first(used), numerics::kRunmedLeaveOneOut, std::span(r).first(used), work);
    for (int j = 0; j < count; ++j) {
      const auto at = static_cast<std::size_t>(first + j);
      cm.cv1[at] = r[static_cast<std::size_t>(j)].mean;
      cm.cvm[at] = r[static_cast<std::size_t>(j)].median;
      cm.cvj[at] = ks[static_cast<std::size_t>(j)];
      progress.step();
    }
  });

  double min1 = kNoMinimum, minm = kNoMinimum;
  for (int j = 0; j < entries; ++j) {
    const auto at = static_cast<std::size_t>(j);
    if (cm.cv1[at] < min1) {
      min1 = cm.cv1[at];
      kcv1 = cm.cvj[at];
    }
    if (cm.cvm[at] < minm) {
      minm = cm.cvm[at];
      kcvm = cm.cvj[at];
    }
  }
}

void background(State& s, Console& console) {
  Data& d = s.data;
  const int k = s.setting.k;
  const auto x2 = d.x2.span();
  numerics::runmed(k, x2, d.b2.span(), numerics::kRunmedMedian);
  std::vector<double> deviation(x2.size());
  for (std::size_t i = 0; i < x2.size(); ++i) deviation[i] = std::abs(x2[i] - d.b2[i]);
  numerics::runmed(k, deviation, d.v2.span(), numerics::kRunmedMedian);

  // A variability that is not a number says nothing about its size.
  bool low = false;
  for (double v : d.v2) low = low || v < kLowVariability;
  if (!low) return;
  console.line("There exist points where time-dependent variability is very low");
  console.line("This may cause problems with plotting and calculation");
  console.line();
  console.line("You may (1) choose a larger k");
  console.line("        (2) rescale the x data and start Morvek new");
  console.pause();
}

void chsett4(State& s, Console& console, PlotRunner& runner) {
  Setting& g = s.setting;
  const int kmin = s.parameters.kmin;
  console.blank(2);
  if (g.k == kUnsetInt) {
    Progress progress(console, "Cross-validation of the background window",
                      "windows", g.kmax - kmin + 1);
    cvmed(s.data.x2.span(), kmin, g.kmax, s.cvmeddata, g.kcv1, g.kcvm, progress, s.threads);
    if (g.kcv1 == kmin || g.kcvm == kmin) {
      const char* which = g.kcv1 != kmin ? "k_cvm is" : g.kcvm != kmin ? "k_cv1 is" : "k_cv1 and k_cvm are";
      console.advise(std::string(which) + " the smallest window offered (k = " + std::to_string(kmin) +
                         "): the curves may have no inner minimum;",
                     "look at them, and consider a larger k for a background of the slow changes only");
    }
  }
  g.k = askInt(console, kmin, g.kmax, "window", [&] {
    console.line();
    console.line("Background estimation via running-median smoothing (2 * k + 1 window points)");
    console.line();
    console.line("k_cv1  = " + fmtI(g.kcv1, 6));
    console.line("k_cvm  = " + fmtI(g.kcvm, 6));
    console.line();
    console.pause("Continue with Enter to inspect cross-validation functions");
    plot(s, console, runner, PlotType::window);
    console.line("k:       " + fmtI(kmin, 6) + " <= [INT] <= " + fmtI(g.kmax, 6));
  });
}

}  // namespace morvek

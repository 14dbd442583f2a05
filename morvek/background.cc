// Background and variability by running medians, and the cross-validation
// of their window.
//
// Every window of the cross-validation is independent of the others, so
// they are spread over the cores; each entry is computed by one thread
// alone in a fixed order of operations, and the minima are searched
// afterwards in order of k, so the outcome is the same on any number of
// threads.
#include "morvek/background.h"

#include <algorithm>
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

// The median of r, which is reordered.
double median(std::span<double> r) {
  const std::size_t n = r.size();
  const auto upper = r.begin() + static_cast<std::ptrdiff_t>(n / 2);
  std::nth_element(r.begin(), upper, r.end());
  if (n % 2 == 1) return *upper;
  const double below = *std::max_element(r.begin(), upper);
  return (below + *upper) / 2;
}

struct Criteria {
  double c1, cm;
};

Criteria criteria(std::span<const double> x, std::span<const double> y, std::span<double> r) {
  double sum = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    r[i] = std::abs(x[i] - y[i]);
    sum += r[i];
  }
  return {sum / static_cast<double>(x.size()), median(r)};
}

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
  parallelFor(0, static_cast<std::size_t>(entries), threads, [&](std::size_t j) {
    thread_local std::vector<double> y, r;
    y.resize(x.size());
    r.resize(x.size());
    const int k = kmin + static_cast<int>(j);
    series.run(k, y, numerics::kRunmedLeaveOneOut);
    const Criteria c = criteria(x, y, r);
    cm.cv1[j] = c.c1;
    cm.cvm[j] = c.cm;
    cm.cvj[j] = k;
    progress.step();
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
    Progress progress(Progress::terminal(), "Cross-validation of the background window",
                      "windows", g.kmax - kmin + 1);
    cvmed(s.data.x2.span(), kmin, g.kmax, s.cvmeddata, g.kcv1, g.kcvm, progress);
    if (g.kcv1 == kmin || g.kcvm == kmin) {
      const char* which = g.kcv1 != kmin ? "k_cvm is" : g.kcvm != kmin ? "k_cv1 is" : "k_cv1 and k_cvm are";
      console.advise(std::string(which) + " the smallest window offered (k = " + std::to_string(kmin) +
                         "): the curves may have no inner minimum;",
                     "look at them, and consider a larger k for a background of the slow changes only");
    }
  }
  g.k = askInt(console, kmin, g.kmax, [&] {
    console.line();
    console.line("Background estimation via running-median smoothing (2 * k + 1 window points)");
    console.line();
    console.line("k_cv1  = " + fmtI(g.kcv1, 6));
    console.line("k_cvm  = " + fmtI(g.kcvm, 6));
    console.line();
    console.pause("Continue with Enter to inspect cross-validation functions");
    plot(s, console, runner, kWindowPlot);
    console.line("k:       " + fmtI(kmin, 6) + " <= [INT] <= " + fmtI(g.kmax, 6));
  });
}

}  // namespace morvek

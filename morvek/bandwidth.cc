// Least-squares cross-validation of the kernel bandwidth.
//
// C(h) is the integral of the squared rate estimate over the observation
// interval minus twice the sum, over the real events, of the leave-one-out
// estimate at each event (pseudodata included, the event itself not). The
// kernel sums dominate the cost: their squared distances are formed once
// per class, and every bandwidth is one pass over them. Each bandwidth is
// computed by one thread alone in a fixed order, so the results are the
// same on any number of threads.
#include "morvek/bandwidth.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/parallel.h"
#include "morvek/rate.h"
#include "numerics/gausssum.h"

namespace morvek {

namespace {

constexpr double kInvSqrt2Pi = 0.3989422804014327;

struct ClassRuns {
  std::span<const double> left, real, right;  // runs of the class's times with pseudodata
};

// The pseudodata lie outside the observation interval, the real events
// inside it.
ClassRuns runs(const State& s, std::size_t row) {
  const auto times = s.data.t.row(row).first(static_cast<std::size_t>(s.setting.n[row]));
  const auto left = static_cast<std::size_t>(
      std::count_if(times.begin(), times.end(), [&](double t) { return t < s.setting.tobsl; }));
  const auto notAbove = static_cast<std::size_t>(
      std::count_if(times.begin(), times.end(), [&](double t) { return t <= s.setting.tobsr; }));
  const std::size_t p = std::max(left, notAbove);
  return {times.first(left), times.subspan(left, p - left), times.subspan(p)};
}

// Bandwidths whose kernel sums one pass over the pairs makes: enough to
// use each row of distances while it is in the cache, few enough to spread
// the search evenly over the cores and to show progress.
constexpr std::size_t kBandwidthsAtOnce = 16;

// The kernel sums of one class at every bandwidth h[j]: every real event
// against every pseudodatum, and every pair of real events (counted twice),
// without the kernel's factor 1/(h sqrt(2 pi)). The distances stream row by
// row (one event against a run of pseudodata, or against the later events),
// each row ascending since the times are, so memory holds one row per
// thread. Each group of bandwidths is summed by one thread over the rows in
// their fixed order: the sums are the same on any number of threads.
std::vector<double> kernelSums(std::span<const double> events, const ClassRuns& r,
                               std::span<const double> h, unsigned threads, Progress& progress) {
  std::vector<double> sums(h.size());
  const std::size_t groups = (h.size() + kBandwidthsAtOnce - 1) / kBandwidthsAtOnce;
  parallelFor(0, groups, threads, [&](std::size_t group) {
    const std::size_t first = group * kBandwidthsAtOnce;
    const auto mine = h.subspan(first, std::min(kBandwidthsAtOnce, h.size() - first));
    numerics::RowSums pseudo(mine), pairs(mine);
    // Rows end where the kernels of these bandwidths have underflowed.
    const double reach = pseudo.reach();
    std::vector<double> row;
    row.reserve(std::max({events.size(), r.left.size(), r.right.size()}));
    // The squared distances of x to the times from `from` on, nearest first,
    // up to the first that reaches `reach`: they ascend, so a binary search
    // finds it, and the loop that forms them is vectorised.
    auto fill = [&](double x, auto from, auto to) {
      const auto within = [&](double t) { return (x - t) * (x - t) < reach; };
      row.resize(static_cast<std::size_t>(std::partition_point(from, to, within) - from));
      for (std::size_t i = 0; i < row.size(); ++i) {
        const double d = x - from[static_cast<std::ptrdiff_t>(i)];
        row[i] = d * d;
      }
    };
    for (const double x : events) {
      fill(x, r.left.rbegin(), r.left.rend());
      pseudo.add(row);
      fill(x, r.right.begin(), r.right.end());
      pseudo.add(row);
    }
    // Each pair of real events once: the i-th of the run against the later
    // events.
    for (std::size_t i = 0; i + 1 < r.real.size(); ++i) {
      fill(r.real[i], events.begin() + static_cast<std::ptrdiff_t>(std::min(i + 1, events.size())), events.end());
      pairs.add(row);
    }
    for (std::size_t m = 0; m < mine.size(); ++m) {
      sums[first + m] = pseudo.sum(m) + 2.0 * pairs.sum(m);
      progress.step();
    }
  });
  return sums;
}

[[noreturn]] void searchFault(RateFault fault) {
  throw Fatal(std::vector<std::string>{"Error in cross-validation (h): " + fmtI(static_cast<int>(fault), 8), ""});
}

// An optimum at an end of the search is seldom a real one.
void adviseOnTheOptimum(const State& s, Console& console, std::size_t row) {
  const Held2<std::array<double, 2>>& cv = s.data.cv;
  if (cv.cols() == 0) return;
  const std::string which = "h_cv of class " + std::to_string(row + 1);
  if (s.setting.hcvint[row] == cv.at(row, 0)[0]) {
    console.advise(which + " is the smallest bandwidth searched: clustered events (several per flood)",
                   "lead the cross-validation there; decluster them first (morvek-prep decluster)");
  } else if (s.setting.hcvint[row] == cv.at(row, cv.cols() - 1)[0]) {
    console.advise(which + " is the largest bandwidth searched; a larger hrelmax in morvek.cfg",
                   "widens the search, or the rate may simply be nearly constant");
  }
}

}  // namespace

void hminmax(State& s) {
  const auto [first, last] = std::minmax_element(s.data.t1.begin(), s.data.t1.end());
  const double span = *last - *first;
  s.setting.hmin = 0.5 * span / s.setting.n3;
  s.setting.hmax = s.parameters.hrelmax * span;
}

void cvint(State& s, Progress& progress, unsigned threads) {
  const Setting& g = s.setting;
  const int nhsrch = s.parameters.nhsrch;
  const auto points = static_cast<std::size_t>(nhsrch);
  const std::span<const double> lx = s.data.lx.span();
  // Named iterators rather than a structured binding: the lambda below
  // captures them, which Clang before 16 refuses for bindings.
  const auto extent = std::minmax_element(lx.begin(), lx.end());
  const auto a = extent.first;
  const auto b = extent.second;
  const GridRows inside = observedRows(s);
  const double span = g.tobsr - g.tobsl;
  const auto count = static_cast<double>(inside.count);

  for (std::size_t row = 0; row < static_cast<std::size_t>(g.l); ++row) {
    const auto times = s.data.t.row(row).first(static_cast<std::size_t>(g.n[row]));
    const auto events = s.data.t4.row(row).first(static_cast<std::size_t>(g.n4[row]));
    std::vector<double> bandwidths(points);
    for (std::size_t j = 0; j < points; ++j) {
      bandwidths[j] = static_cast<double>(j) * (g.hmax - g.hmin) / (nhsrch - 1) + g.hmin;
    }
    // One bandwidth's integral of the squared estimate. The estimator
    // refuses a bandwidth that is not positive before any sum is formed.
    std::vector<double> integral(points);
    auto integrate = [&](std::size_t j, std::span<double> y, Binning binning) {
      const RateFault fault = intest(times, *a, *b, bandwidths[j], y, s.data.ft.span(), binning);
      if (fault != RateFault::none) searchFault(fault);
      double c = 0;
      for (std::size_t i = inside.first; i < inside.end(); ++i) c += y[i] * y[i];
      integral[j] = c * span / count;
      progress.step();
    };
    // The first bandwidth bins the times; the others reuse the transform.
    std::vector<double> first(lx.size());
    integrate(0, first, Binning::fresh);
    parallelFor(1, points, threads, [&](std::size_t j) {
      thread_local std::vector<double> y;
      y.resize(lx.size());
      integrate(j, y, Binning::reuse);
    });
    const std::vector<double> sums = kernelSums(events, runs(s, row), bandwidths, threads, progress);
    for (std::size_t j = 0; j < points; ++j) {
      const double h = bandwidths[j];
      s.data.cv.at(row, j) = {h, integral[j] - 2.0 * (kInvSqrt2Pi / h * sums[j])};
    }

    // The smallest bandwidth wins on equal criteria.
    std::size_t best = 0;
    for (std::size_t j = 1; j < points; ++j) {
      if (s.data.cv.at(row, j)[1] < s.data.cv.at(row, best)[1]) best = j;
    }
    s.setting.hcvint[row] = s.data.cv.at(row, best)[0];
  }
}

void chsett7(State& s, Console& console, std::size_t row) {
  Setting& g = s.setting;
  adviseOnTheOptimum(s, console, row);
  g.h[row] = askReal(console, g.hmin, g.hmax, "bandwidth", [&] {
    console.line();
    console.line("Class " + fmtI(static_cast<long long>(row) + 1, 2) + " - kernel bandwidth h [time units]");
    console.line(fmtES(g.hmin, 10, 3) + " <= [h] <= " + fmtES(g.hmax, 10, 3) + "    - h_cv: " +
                 fmtES(g.hcvint[row], 10, 3));
  });
}

}  // namespace morvek

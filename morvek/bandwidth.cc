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

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <new>
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

// The kernel sums of one class: every real event against every
// pseudodatum, and every pair of real events (counted twice).
struct KernelSums {
  numerics::GaussianSums pseudo, pairs;
  double at(double h) const { return kInvSqrt2Pi / h * (pseudo.sum(h) + 2.0 * pairs.sum(h)); }
};

KernelSums kernelSums(std::span<const double> events, const ClassRuns& r, std::size_t limit) {
  const std::size_t pseudoCount = events.size() * (r.left.size() + r.right.size());
  std::size_t pairCount = 0;
  for (std::size_t i = 0; i + 1 < r.real.size(); ++i) {
    pairCount += events.size() > i + 1 ? events.size() - i - 1 : 0;
  }
  return allocating("cvint", [&]() -> KernelSums {
    // Every distance is held at once (sorted, each bandwidth stops where
    // the kernel underflows), so their number is checked first: the system
    // may end a process that overcommits memory instead of refusing it.
    if (pseudoCount > limit || pairCount > limit - pseudoCount) throw std::bad_alloc();
    std::vector<double> pseudo, pairs;
    pseudo.reserve(pseudoCount);
    pairs.reserve(pairCount);
    numerics::appendSquaredDistances(events, r.left, pseudo);
    numerics::appendSquaredDistances(events, r.right, pseudo);
    // Each pair of real events once: the i-th of the run against the later
    // events.
    for (std::size_t i = 0; i + 1 < r.real.size(); ++i) {
      for (std::size_t k = i + 1; k < events.size(); ++k) {
        const double d = r.real[i] - events[k];
        pairs.push_back(d * d);
      }
    }
    return {numerics::GaussianSums(std::move(pseudo)), numerics::GaussianSums(std::move(pairs))};
  });
}

[[noreturn]] void searchFault(int fault) {
  throw Fatal(std::vector<std::string>{"Error in cross-validation (h): " + fmtI(fault, 8), ""});
}

// An optimum at an end of the search is seldom a real one.
void adviseOnTheOptimum(const State& s, Console& console, int cls) {
  const auto row = static_cast<std::size_t>(cls - 1);
  const Held2<std::array<double, 2>>& cv = s.data.cv;
  if (cv.cols() == 0) return;
  const std::string which = "h_cv of class " + std::to_string(cls);
  if (s.setting.hcvint[row] == cv.at(row, 0)[0]) {
    console.advise(which + " is the smallest bandwidth searched: clustered events (several per flood)",
                   "lead the cross-validation there; decluster them first (morvek-prep decluster)");
  } else if (s.setting.hcvint[row] == cv.at(row, cv.cols() - 1)[0]) {
    console.advise(which + " is the largest bandwidth searched; a larger hrelmax in morvek.cfg",
                   "widens the search, or the rate may simply be nearly constant");
  }
}

}  // namespace

std::size_t kernelDistanceLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::size_t>::max();
  return static_cast<std::size_t>(pages) / 2 * static_cast<std::size_t>(pageSize) / sizeof(double);
}

void hminmax(State& s) {
  const auto [first, last] = std::minmax_element(s.data.t1.begin(), s.data.t1.end());
  const double span = *last - *first;
  s.setting.hmin = 0.5 * span / s.setting.n3;
  s.setting.hmax = s.parameters.hrelmax * span;
}

void cvint(State& s, Progress& progress, unsigned threads, std::size_t distanceLimit) {
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
    const KernelSums sums = kernelSums(events, runs(s, row), distanceLimit);
    auto bandwidth = [&](std::size_t j) {
      return static_cast<double>(j) * (g.hmax - g.hmin) / (nhsrch - 1) + g.hmin;
    };
    // One bandwidth: the integral of the squared estimate, then the sums.
    auto criterion = [&](std::size_t j, std::span<double> y, Binning binning) {
      const double h = bandwidth(j);
      const int fault = intest(times, *a, *b, h, y, s.data.ft.span(), binning);
      if (fault != kRateOk) searchFault(fault);
      double c = 0;
      for (std::size_t i = inside.first; i < inside.end(); ++i) c += y[i] * y[i];
      c = c * span / count;
      s.data.cv.at(row, j) = {h, c - 2.0 * sums.at(h)};
      progress.step();
    };

    // The first bandwidth bins the times; the others reuse the transform.
    std::vector<double> first(lx.size());
    criterion(0, first, Binning::fresh);
    parallelFor(1, points, threads, [&](std::size_t j) {
      thread_local std::vector<double> y;
      y.resize(lx.size());
      criterion(j, y, Binning::reuse);
    });

    // The smallest bandwidth wins on equal criteria.
    std::size_t best = 0;
    for (std::size_t j = 1; j < points; ++j) {
      if (s.data.cv.at(row, j)[1] < s.data.cv.at(row, best)[1]) best = j;
    }
    s.setting.hcvint[row] = s.data.cv.at(row, best)[0];
  }
}

void chsett7(State& s, Console& console, int cls) {
  Setting& g = s.setting;
  const auto row = static_cast<std::size_t>(cls - 1);
  adviseOnTheOptimum(s, console, cls);
  g.h[row] = askReal(console, g.hmin, g.hmax, [&] {
    console.line();
    console.line("Class " + fmtI(cls, 2) + " - kernel bandwidth h [time units]");
    console.line(fmtES(g.hmin, 10, 3) + " <= [h] <= " + fmtES(g.hmax, 10, 3) + "    - h_cv: " +
                 fmtES(g.hcvint[row], 10, 3));
  });
}

}  // namespace morvek

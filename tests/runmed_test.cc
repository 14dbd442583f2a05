// Every scheme behind runmed selects order statistics, so each must agree
// exactly with a brute-force median of every window (copy, sort, pick). The
// schemes are run one by one, over values of k on both sides of the points
// where runmed and RunmedSeries switch between them, over series lengths
// that do and do not fill whole blocks of the block scheme, and over data
// with heavy ties, where slot and heap order are most likely to go wrong.
// Windows too wide for the brute force are checked against the double heap.
#include "numerics/runmed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "numerics/nrerror.h"

namespace numerics {
namespace {

using Smoother = std::function<void(int, std::span<const double>, std::span<double>, int)>;

struct Scheme {
  std::string name;
  Smoother smooth;
};

const std::vector<Scheme>& schemes() {
  static const std::vector<Scheme> all = {
      {"runmed", runmed},
      {"heaps", detail::runmedHeaps},
      {"sorted window", detail::runmedSortedWindow},
      {"blocks", detail::runmedBlocks},
      {"series", [](int k, std::span<const double> x, std::span<double> y,
                    int mode) { RunmedSeries(x).run(k, y, mode); }},
  };
  return all;
}

// The result definition, window by window.
std::vector<double> bruteForce(int k, const std::vector<double>& x, int mode) {
  const std::size_t n = x.size();
  const auto uk = static_cast<std::size_t>(k);
  std::vector<double> y(n);
  std::vector<double> w;
  for (std::size_t i = uk; i + uk < n; ++i) {
    w.assign(x.begin() + static_cast<std::ptrdiff_t>(i - uk), x.begin() + static_cast<std::ptrdiff_t>(i + uk + 1));
    if (mode == kRunmedLeaveOneOut) {
      w.erase(w.begin() + k);  // the centre point
      std::sort(w.begin(), w.end());
      y[i] = 0.5 * (w[uk - 1] + w[uk]);
    } else {
      std::sort(w.begin(), w.end());
      y[i] = w[uk];
    }
  }
  for (std::size_t i = 0; i < uk; ++i) {
    y[i] = y[uk];
    y[n - 1 - i] = y[n - 1 - uk];
  }
  return y;
}

// Exact equality (NaN equal to NaN), or bit-for-bit equality, which tells
// -0 from +0; reports the first differing point only.
::testing::AssertionResult sameSeries(const std::vector<double>& got, const std::vector<double>& want,
                                      bool bitwise = false) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "length " << got.size();
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool same = bitwise ? std::bit_cast<std::uint64_t>(got[i]) == std::bit_cast<std::uint64_t>(want[i])
                              : got[i] == want[i] || (std::isnan(got[i]) && std::isnan(want[i]));
    if (!same) return ::testing::AssertionFailure() << "y[" << i << "] = " << got[i] << ", expected " << want[i];
  }
  return ::testing::AssertionSuccess();
}

std::vector<double> smoothed(const Smoother& smooth, int k, const std::vector<double>& x, int mode) {
  std::vector<double> y(x.size(), -7.0);
  smooth(k, x, y, mode);
  return y;
}

// Few distinct values, so that most windows hold many equal ones.
std::vector<double> tied(std::size_t n, unsigned seed, int distinct = 5) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, distinct - 1);
  std::vector<double> v(n);
  for (double& x : v) x = 0.5 * pick(gen) - 1.0;
  return v;
}

std::vector<double> distinct(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = normal(gen);
  return v;
}

// Two interleaved groups far apart in value: the window's ranks form two
// clusters, and the median keeps jumping across the wide gap between them.
std::vector<double> groups(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = u(gen) + (i % 2 == 0 ? 0.0 : 1000.0);
  return v;
}

constexpr int kModes[] = {kRunmedMedian, kRunmedLeaveOneOut};

// Runs every scheme on x for k and both modes against the brute force.
void expectAllMatchBruteForce(int k, const std::vector<double>& x, const std::string& what) {
  for (int mode : kModes) {
    const std::vector<double> want = bruteForce(k, x, mode);
    for (const Scheme& s : schemes()) {
      EXPECT_TRUE(sameSeries(smoothed(s.smooth, k, x, mode), want))
          << s.name << ", " << what << ", n=" << x.size() << ", k=" << k << ", mode " << mode;
    }
  }
}

// Half-widths around every switch between schemes, and series lengths from
// a single window to a few windows' worth.
std::vector<int> halfWidths() {
  return {1, 2, 3, 8, detail::kSortedWindowMaxK, detail::kSortedWindowMaxK + 1,
          detail::kSeriesSortedWindowMaxK, detail::kSeriesSortedWindowMaxK + 1, 97};
}

std::vector<std::size_t> lengths(int k) {
  const auto h = 2 * static_cast<std::size_t>(k) + 1;
  return {h, h + 1, 2 * h + 1, 3 * h + 5};
}

// Ties (five values, two values) and distinct values.
TEST(RunmedMatchesBruteForce, TiedAndDistinctValues) {
  unsigned seed = 1;
  for (int k : halfWidths()) {
    for (std::size_t n : lengths(k)) {
      expectAllMatchBruteForce(k, tied(n, seed++), "tied");
      expectAllMatchBruteForce(k, distinct(n, seed++), "distinct");
    }
  }
  for (int k : {1, 4, 60}) expectAllMatchBruteForce(k, tied(3 * (2 * k + 1) + 2, seed++, 2), "two values");
}

// Series longer than one block of the block scheme: windows that straddle
// two blocks, a last block that is short, or empty, or exactly full.
TEST(RunmedMatchesBruteForce, BlockBoundaries) {
  constexpr int kBlock = detail::kMinBlockLength;
  const int k = detail::kSortedWindowMaxK + 1;
  const int h = 2 * k + 1;
  unsigned seed = 300;
  for (int n : {kBlock + h - 1, 2 * kBlock, 2 * kBlock + 1, 3 * kBlock + 5}) {
    const auto un = static_cast<std::size_t>(n);
    expectAllMatchBruteForce(k, seed % 2 == 0 ? tied(un, seed) : distinct(un, seed), "block boundaries");
    ++seed;
  }
}

TEST(RunmedMatchesBruteForce, ConstantTrendsStepsAndGroups) {
  const std::vector<double> constant(250, -2.75);
  for (int k : {1, 13, 60, 124}) expectAllMatchBruteForce(k, constant, "constant");
  std::vector<double> up(300), down(300), steps(300);
  for (std::size_t i = 0; i < up.size(); ++i) {
    up[i] = 0.01 * static_cast<double>(i);
    down[i] = -up[i];
    steps[i] = static_cast<double>((i / 37) % 3);
  }
  for (int k : {1, 5, 45, 149}) {
    expectAllMatchBruteForce(k, up, "rising");
    expectAllMatchBruteForce(k, down, "falling");
    expectAllMatchBruteForce(k, steps, "steps");
  }
  expectAllMatchBruteForce(detail::kSeriesSortedWindowMaxK + 3, groups(6000, 7), "interleaved");
}

// Windows too wide for the brute force within the time budget: the schemes
// must agree with the double heap, checked against the brute force above.
// Blocks are then exactly one window long. The sorted window, quadratic in
// k and never chosen for such k, is left out.
TEST(RunmedMatchesHeaps, WideWindows) {
  const int k = 1100;
  const auto h = 2 * static_cast<std::size_t>(k) + 1;
  for (const auto& x : {distinct(3 * h + 17, 1100), groups(2 * h + 3, 11), tied(4 * h, 5)}) {
    for (int mode : kModes) {
      const std::vector<double> want = smoothed(detail::runmedHeaps, k, x, mode);
      for (const Scheme& s : schemes()) {
        if (s.name == "sorted window") continue;
        EXPECT_TRUE(sameSeries(smoothed(s.smooth, k, x, mode), want)) << s.name << ", n=" << x.size() << ", mode " << mode;
      }
    }
  }
}

// Known values, so that the brute force itself is pinned.
TEST(RunmedKnownValues, SmallSeries) {
  struct Case {
    int k, mode;
    std::vector<double> x, want;
  };
  const std::vector<Case> cases = {
      {1, kRunmedMedian, {3, 1, 2, 5, 4}, {2, 2, 2, 4, 4}},
      // Neighbours of each centre: {3,2}, {1,5}, {2,4}.
      {1, kRunmedLeaveOneOut, {3, 1, 2, 5, 4}, {2.5, 2.5, 3, 3, 3}},
      // One window is the whole series; without the middle point 3: {1, 2, 5, 7, 8, 9}.
      {3, kRunmedMedian, {9, 1, 7, 3, 5, 8, 2}, std::vector<double>(7, 5.0)},
      {3, kRunmedLeaveOneOut, {9, 1, 7, 3, 5, 8, 2}, std::vector<double>(7, 6.0)},
      // The centre at the median: next below 2, next above 7; the next value
      // above the removed 5 is the other 5.
      {2, kRunmedLeaveOneOut, {1, 2, 5, 7, 9}, std::vector<double>(5, 4.5)},
      {2, kRunmedLeaveOneOut, {9, 2, 5, 5, 1}, std::vector<double>(5, 3.5)},
      {2, kRunmedLeaveOneOut, {5, 5, 5, 1, 9}, std::vector<double>(5, 5.0)},
      // The ends repeat the first and last centre: medians 4, 6, 3, 6, 5 for centres 3..7.
      {2, kRunmedMedian, {4, 8, 1, 6, 2, 9, 3, 7, 5}, {4, 4, 4, 6, 3, 6, 5, 5, 5}},
  };
  for (const Case& c : cases) {
    for (const Scheme& s : schemes()) EXPECT_EQ(smoothed(s.smooth, c.k, c.x, c.mode), c.want) << s.name << ", k=" << c.k;
  }
}

// Infinities are ordinary ordered values; NaN gives no defined median, but
// must not upset any scheme (the sanitizer build watches for that).
TEST(RunmedSpecialValues, InfinitiesAndNaN) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> x = tied(400, 3);
  for (std::size_t i = 0; i < x.size(); i += 7) x[i] = (i % 2 == 0) ? kInf : -kInf;
  for (int k : {1, 30, 90}) expectAllMatchBruteForce(k, x, "infinities");
  // Quiet NaN, and the NaNs whose bits are all ones past the sign, so at the
  // very ends of the order of bit patterns.
  const double nans[] = {std::numeric_limits<double>::quiet_NaN(), std::bit_cast<double>(~std::uint64_t{0}),
                         std::bit_cast<double>(~std::uint64_t{0} >> 1)};
  for (std::size_t i = 3; i < x.size(); i += 5) x[i] = nans[i % 3];
  for (int k : {1, 30, 90}) {
    for (int mode : kModes) {
      for (const Scheme& s : schemes()) smoothed(s.smooth, k, x, mode);
    }
  }
}

// -0 and +0 are equal values, so either may be the median; but the schemes
// other than the double heap order by bit pattern and must agree on which.
TEST(RunmedSpecialValues, SignedZeros) {
  std::vector<double> x = tied(3000, 17, 3);  // -1, -0.5 and 0
  for (std::size_t i = 0; i < x.size(); i += 2) {
    if (x[i] == 0.0) x[i] = -0.0;
  }
  for (int k : {1, 20, 30}) expectAllMatchBruteForce(k, x, "signed zeros");
  for (int k : {1, 20, 30, 600}) {
    for (int mode : kModes) {
      const std::vector<double> want = smoothed(detail::runmedBlocks, k, x, mode);
      for (const Scheme& s : schemes()) {
        if (s.name == "heaps" || (s.name == "sorted window" && k > 100)) continue;
        EXPECT_TRUE(sameSeries(smoothed(s.smooth, k, x, mode), want, true)) << s.name << ", k=" << k << ", mode " << mode;
      }
    }
  }
}

TEST(RunmedModes, OtherModesStopAndLeaveTheOutputAlone) {
  const std::vector<double> x = tied(300, 9);
  for (const Scheme& s : schemes()) {
    for (int k : {1, 100}) {
      for (int mode : {1, -2}) {
        SCOPED_TRACE(s.name + ", k=" + std::to_string(k) + ", mode " + std::to_string(mode));
        std::vector<double> y(x.size(), 42.0);
        try {
          s.smooth(k, x, y, mode);
          ADD_FAILURE() << "no NrError";
        } catch (const NrError& e) {
          EXPECT_STREQ(e.what(), "Error in subroutine runmed");
          EXPECT_EQ(e.stop_text(), "Morvek terminates unsuccessfully");
        }
        EXPECT_EQ(y, std::vector<double>(x.size(), 42.0));
      }
    }
  }
}

// One series serves many half-widths, from two threads at once, as the
// cross-validation uses it.
TEST(RunmedSeriesReuse, ManyHalfWidthsFromTwoThreads) {
  const std::vector<double> x = tied(700, 21, 9);
  const RunmedSeries series(x);
  std::vector<std::pair<int, int>> runs;
  for (int k : {1, detail::kSeriesSortedWindowMaxK, detail::kSeriesSortedWindowMaxK + 1, 100, 250, 349}) {
    for (int mode : kModes) runs.emplace_back(k, mode);
  }
  std::vector<std::vector<double>> ys[2];
  auto work = [&](int t) {
    ys[t].assign(runs.size(), std::vector<double>(x.size()));
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const std::size_t j = t == 0 ? i : runs.size() - 1 - i;
      series.run(runs[j].first, ys[t][j], runs[j].second);
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  for (std::size_t j = 0; j < runs.size(); ++j) {
    const std::vector<double> want = bruteForce(runs[j].first, x, runs[j].second);
    for (const auto& y : ys) EXPECT_TRUE(sameSeries(y[j], want)) << "k=" << runs[j].first << ", mode " << runs[j].second;
  }
}

}  // namespace
}  // namespace numerics

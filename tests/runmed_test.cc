// Every scheme behind runmed selects order statistics, so each must equal
// the brute-force median of every window, and as all of them order by bit
// pattern (-0 below +0), they must agree bit for bit.
#include "numerics/runmed.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <numeric>
#include <random>

#include "morvek/fatal.h"
#include "numerics/nrerror.h"
#include "tests/test_support.h"

namespace numerics {
namespace {

using namespace detail;
using Smoother = std::function<void(int, std::span<const double>, std::span<double>, int)>;
const std::vector<std::pair<std::string, Smoother>> kSchemes = {
    {"runmed", runmed}, {"window", runmedSortedWindow}, {"blocks", runmedBlocks},
    {"series", [](int k, std::span<const double> x, std::span<double> y, int m) { RunmedSeries(x).run(k, y, m); }}};

std::vector<double> smoothed(const Smoother& f, int k, const std::vector<double>& x, int mode) {
  std::vector<double> y(x.size(), -7.0);  // an output left unwritten shows
  return f(k, x, y, mode), y;
}

long firstDiff(const std::vector<double>& y, const std::vector<double>& z, bool (*same)(double, double)) {
  const auto [p, q] = std::mismatch(y.begin(), y.end(), z.begin(), z.end(), same);
  return p == y.end() && q == z.end() ? -1 : p - y.begin();
}

using G = std::mt19937;
constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
const std::vector<std::pair<std::string, std::function<double(std::size_t, G&)>>> kData = {
    {"distinct", [](std::size_t, G& g) { return std::normal_distribution<double>()(g); }},
    {"five values", [](std::size_t, G& g) { return 0.5 * (g() % 5) - 1.0; }},
    {"two values", [](std::size_t, G& g) { return 1.0 * (g() % 2); }},
    {"rising", [](std::size_t i, G&) { return 0.01 * i; }}, {"falling", [](std::size_t i, G&) { return -0.01 * i; }},
    {"constant", [](std::size_t, G&) { return -2.75; }}, {"steps", [](std::size_t i, G&) { return i / 37 % 3 * 1.0; }},
    // Two interleaved groups far apart: the median jumps far in rank.
    {"clusters", [](std::size_t i, G& g) { return 1000.0 * (i % 2) + 0x1p-32 * g(); }},
    {"infinities", [](std::size_t i, G& g) { return i % 7 ? 0.5 * (g() % 5) : i % 2 ? -kInf : kInf; }},
    {"signed zeros", [](std::size_t i, G& g) { return g() % 3 ? 0.5 * (g() % 2) - 1.0 : i % 2 ? 0.0 : -0.0; }},
    // No median, but no upset either: quiet NaN, the NaNs at both ends of the bits.
    {"NaN", [](std::size_t i, G& g) {
       return i % 5 != 3 ? 0.5 * (g() % 5) : i % 3 ? std::bit_cast<double>(~0ull >> (i % 3 - 1)) : kNaN;
     }},
};

TEST(Runmed, EverySchemeMatchesTheBruteForceAndRefusesOtherModes) {
  const int block = kMinBlockLength, series = kSeriesSortedWindowMaxK, window = kSortedWindowMaxK;
  const auto sameBits = [](double a, double b) { return std::bit_cast<long long>(a) == std::bit_cast<long long>(b); };
  const auto sameValue = [](double a, double b) { return a == b; };
  unsigned seed = 1;
  for (const auto& [name, draw] : kData) {
    for (int k : {1, 2, 3, 8, series, series + 1, window, window + 1, 97, 520}) {  // 520: blocks one window long
      const int h = 2 * k + 1;
      std::vector<int> lengths = {h, h + 1, k < 520 ? 2 * h + 1 : h + 40};
      if (k < 520) lengths.push_back(3 * h + 5);
      // Windows straddling blocks, a last block short, full or of one point.
      if (k == window + 1) lengths.insert(lengths.end(), {block + h - 1, 2 * block, 2 * block + 1, 5000});
      for (int n : lengths) {
        std::vector<double> x(static_cast<std::size_t>(n));
        G gen(seed++);
        for (std::size_t i = 0; i < x.size(); ++i) x[i] = draw(i, gen);
        for (int mode : {kRunmedMedian, kRunmedLeaveOneOut}) {
          const std::vector<double> want = name == "NaN" ? x : morvek::testing::bruteRunmed(x, k, mode != 0);
          const std::vector<double> blocks = smoothed(runmedBlocks, k, x, mode);
          for (const auto& [scheme, f] : kSchemes) {
            const std::vector<double> y = smoothed(f, k, x, mode);
            const std::string at = scheme + ", " + name + ", n=" + std::to_string(n) + ", k=" + std::to_string(k);
            EXPECT_EQ(name == "NaN" ? -1 : firstDiff(y, want, sameValue), -1) << at << ", mode " << mode;
            EXPECT_EQ(firstDiff(y, blocks, sameBits), -1) << at << ", mode " << mode;
            std::vector<double> kept(x.size(), 42.0);  // other modes stop and leave the output alone
            EXPECT_THROW(f(k, x, kept, mode == 0 ? 1 : -2), NrError) << at;
            EXPECT_EQ(kept, std::vector<double>(x.size(), 42.0)) << at;
          }
        }
      }
    }
  }
  std::vector<double> y(3);
  try {
    runmed(1, y, y, 1);
    ADD_FAILURE() << "no NrError";
  } catch (const NrError& e) {
    EXPECT_EQ(e.what() + (" / " + std::string(morvek::closingLine(e.kind()))),
              "Error in subroutine runmed / Morvek terminates unsuccessfully");
  }
}

// The residuals of a series' running medians, for the cross-validation of
// the window: the mean sums |x - y| in order, the median is the middle value
// or the mean of the middle two, both bit for bit as from run()'s output
// (itself checked against the brute force above). Windows come one at a
// time, in runs and in scattered groups, and two series take turns on one
// thread, each with its workspace, so that nothing kept from one call leaks
// into the next. The passes that any x86-64 runs give the same as those for
// newer units.
TEST(RunmedSeries, ResidualsMatchTheirDefinitionForEveryWindow) {
  const std::vector<std::string> kinds = {"distinct", "five values", "two values", "constant", "steps", "clusters",
                                          "signed zeros"};
  const auto draw = [](const std::string& kind, int n, unsigned seed) {
    const auto& f = std::find_if(kData.begin(), kData.end(), [&](const auto& d) { return d.first == kind; })->second;
    std::vector<double> x(static_cast<std::size_t>(n));
    G gen(seed);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = f(i, gen);
    return x;
  };
  // expected(x, mode)[k - 1]: by definition, from run()'s outputs.
  const auto expected = [](const std::vector<double>& x, int mode) {
    const RunmedSeries series(x);
    std::vector<Residuals> e;
    std::vector<double> y(x.size()), r(x.size());
    for (int k = 1; 2 * k + 1 <= static_cast<int>(x.size()); ++k) {
      series.run(k, y, mode);
      double sum = 0;
      for (std::size_t i = 0; i < x.size(); ++i) sum += r[i] = std::abs(x[i] - y[i]);
      std::sort(r.begin(), r.end());
      e.push_back({sum / static_cast<double>(x.size()), (r[(r.size() - 1) / 2] + r[r.size() / 2]) / 2});
    }
    return e;
  };
  const auto bits = [](Residuals r) { return std::pair(std::bit_cast<long long>(r.mean), std::bit_cast<long long>(r.median)); };
  unsigned seed = 100;
  for (const std::string& kind : kinds) {
    for (int n : {5, 64, 129, 700, 1501}) {
      if (n == 1501 && kind != "distinct") continue;  // several pairs of long blocks
      const std::vector<double> x = draw(kind, n, seed++), other = draw("distinct", n + 3, seed++);
      const RunmedSeries series(x), turn(other);
      ResidualWorkspace work(series), turnWork(turn);
      for (int mode : {kRunmedLeaveOneOut, kRunmedMedian}) {
        const std::vector<Residuals> want = expected(x, mode), wantOther = expected(other, mode);
        const auto check = [&](std::span<const int> ks, const RunmedSeries& s, ResidualWorkspace& sw,
                               const std::vector<Residuals>& w, const std::string& what) {
          std::vector<Residuals> got(ks.size()), onAny(ks.size());
          s.residuals(ks, mode, got, sw);
          s.residuals(ks, mode, onAny, sw, VectorUnit::baseline);
          for (std::size_t j = 0; j < ks.size(); ++j) {
            const auto expect = bits(w[static_cast<std::size_t>(ks[j] - 1)]);
            const std::string where = kind + ", n=" + std::to_string(n) + ", k=" + std::to_string(ks[j]) +
                                      ", mode " + std::to_string(mode);
            EXPECT_EQ(bits(got[j]), expect) << what << ", " << where;
            EXPECT_EQ(bits(onAny[j]), expect) << what << " on any x86-64, " << where;
          }
        };
        std::vector<int> ks(want.size());
        std::iota(ks.begin(), ks.end(), 1);
        // Groups of 1, 2, 3, ... windows, each followed by a window of the
        // other series, and every seventh window alone.
        for (std::size_t at = 0, size = 1; at < ks.size(); at += size, ++size) {
          const auto group = std::span(ks).subspan(at, std::min(size, ks.size() - at));
          check(group, series, work, want, "in a group");
          const int k = std::min(group.back(), static_cast<int>(wantOther.size()));
          check(std::span(&k, 1), turn, turnWork, wantOther, "the other series");
        }
        for (std::size_t at = 0; at < ks.size(); at += 7) check(std::span(ks).subspan(at, 1), series, work, want, "alone");
        std::vector<int> everyOther;  // neighbours in the call, but not neighbouring windows
        for (int k = 1; k <= static_cast<int>(ks.size()); k += 2) everyOther.push_back(k);
        check(everyOther, series, work, want, "every other");
      }
    }
  }
}

}  // namespace
}  // namespace numerics

// Running median: the choice of scheme by k, and a series ranked once for
// many passes.
//
// Every output is an order statistic of a window (or the mean of two), and
// every scheme orders the values by their order keys (orderkey.h: -0 just
// below +0, NaNs beyond the infinities), so all of them give the same bits,
// ties and signed zeros included; runmed and RunmedSeries::run pick the
// fastest for k (thresholds in runmed.h, found by measurement):
//
// - a sorted window for small k (sortedwindow.cc), O(k) per step in whole
//   vectors;
// - a set of ranks for large k (rankset.h), whose median moves by at most
//   one member a step: runmed ranks blocks of at least 2k+1 points
//   (runmedblocks.cc), RunmedSeries the whole series once in its
//   constructor, so that a pass needs no sorting at all;
// - RunmedSeries::residuals, the many passes of a cross-validation of k,
//   has an engine of its own (runmedresiduals.cc).
//
// Names: n points, half-width k; rank_[p] the rank of position p,
//        sorted_[r] the value of rank r.
#include "numerics/runmed.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "numerics/arena.h"
#include "numerics/nrerror.h"
#include "numerics/radixsort.h"
#include "numerics/rankset.h"

namespace numerics {

namespace detail {

void checkMode(int mode) {
  if (mode != kRunmedMedian && mode != kRunmedLeaveOneOut) {
    throw NrError(NrError::Kind::runmedMode, "Error in subroutine runmed");
  }
}

void checkSizes([[maybe_unused]] int k, [[maybe_unused]] std::span<const double> x,
                [[maybe_unused]] std::span<double> y) {
  assert(k >= 1);
  assert(2 * static_cast<std::size_t>(k) + 1 <= x.size());
  assert(x.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max()));
  assert(y.size() == x.size());
}

void repeatEnds(int k, std::span<double> y) {
  const auto uk = static_cast<std::size_t>(k);
  std::fill(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(uk), y[uk]);
  std::fill(y.end() - static_cast<std::ptrdiff_t>(uk), y.end(), y[y.size() - uk - 1]);
}

}  // namespace detail

using namespace detail;

void runmed(int k, std::span<const double> x, std::span<double> y, int mode) {
  if (k <= detail::kSortedWindowMaxK) {
    detail::runmedSortedWindow(k, x, y, mode);
  } else {
    detail::runmedBlocks(k, x, y, mode);
  }
}

RunmedSeries::RunmedSeries(std::span<const double> x)
    : x_(x.begin(), x.end()), rank_(x.size()), position_(x.size()), sorted_(x.size()) {
  const std::size_t n = x.size();
  Arena arena(Arena::bytesFor<Entry>(n) + Arena::bytesFor<Key>(KeySorter::storageFor(n)));
  Entry* order = arena.take<Entry>(n);
  KeySorter(arena.take<Key>(KeySorter::storageFor(n)), n).sort(x, order);
  for (std::size_t r = 0; r < n; ++r) {
    sorted_[r] = keyValue(order[r].key);
    rank_[static_cast<std::size_t>(order[r].pos)] = static_cast<int>(r);
    position_[r] = order[r].pos;
  }
}

void RunmedSeries::run(int k, std::span<double> y, int mode) const {
  checkMode(mode);
  checkSizes(k, x_, y);
  if (k <= detail::kSeriesSortedWindowMaxK) {
    detail::runmedSortedWindow(k, x_, y, mode);
    return;
  }
  const int n = static_cast<int>(x_.size());
  std::vector<Key> storage(RankSet::storageFor(n));
  RankSet set(storage.data(), n);
  for (int p = 0; p <= 2 * k; ++p) set.insert(rank_[static_cast<std::size_t>(p)]);
  double* out = y.data() + k;
  if (mode == kRunmedLeaveOneOut) {
    slideRanks<true>(set, rank_.data(), sorted_.data(), k, n - 2 * k, Store{out});
  } else {
    slideRanks<false>(set, rank_.data(), sorted_.data(), k, n - 2 * k, Store{out});
  }
  repeatEnds(k, y);
}

}  // namespace numerics

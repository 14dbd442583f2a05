// Running median by a sorted window, for small k.
//
// w holds the window's keys in ascending order. A step counts the keys
// below the leaving and the entering key and rewrites w with the run
// between their places shifted by one. O(k) per step, but without branches
// and in whole vectors: two counts and one pass of selects, all of which
// vectorize, instead of binary searches whose every step waits for the
// previous load. Past the h keys the buffers are padded with the largest
// key up to a multiple of kLanes, so that no count sees the padding.
//
// Names: h = 2k+1 window length; w the sorted keys, next the buffer the
//        step writes; out the leaving key, in the entering key, po the
//        place of out, below the count of keys below in.
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "numerics/cpu.h"
#include "numerics/orderkey.h"
#include "numerics/runmed.h"

namespace numerics::detail {

namespace {

constexpr int kLanes = 8;

// Slides the window over x and writes the centre outputs y[k..n-k-1].
[[gnu::always_inline]] inline void slide(int k, const double* x, int n, double* y, bool omitCentre) {
  const int h = 2 * k + 1;
  const int padded = (h + kLanes - 1) / kLanes * kLanes;
  // One guard key before each buffer, so that reading w[j-1] at j = 0 stays
  // inside; its value is never used.
  std::vector<Key> store(2 * static_cast<std::size_t>(padded + 2), kKeyAboveAll);
  Key* w = store.data() + 1;
  Key* next = w + padded + 2;
  for (int j = 0; j < h; ++j) w[j] = orderKey(x[j]);
  std::sort(w, w + h);
  for (int i = k;; ++i) {
    if (omitCentre) {
      // Without the centre c, the k-th and (k+1)-th smallest; selected, not
      // branched on, as c's side of the median is random.
      const Key c = orderKey(x[i]);
      const Key a = pick(c < w[k], w[k], w[k - 1]);
      const Key b = pick(c > w[k], w[k], w[k + 1]);
      y[i] = 0.5 * (keyValue(a) + keyValue(b));
    } else {
      y[i] = keyValue(w[k]);
    }
    if (i + 1 >= n - k) break;
    // Replace the leaving key out by the entering key in.
    const Key out = orderKey(x[i - k]);
    const Key in = orderKey(x[i + k + 1]);
    // Counts and places are 64-bit, like the keys, so that the loops run in
    // full vector lanes.
    std::int64_t po = 0;     // place of out
    std::int64_t below = 0;  // keys below in, out among them or not
    for (std::int64_t j = 0; j < padded; ++j) {
      po += w[j] < out ? 1 : 0;
      below += w[j] < in ? 1 : 0;
    }
    // Keys from place lo to hi move one place toward po, and in lands at its
    // end: below in < out, or above in >= out.
    const bool downward = in < out;
    const std::int64_t at = downward ? below : std::max(below - 1, po);
    const std::int64_t lo = downward ? below : po;
    const std::int64_t hi = downward ? po : at;
    const Key* shifted = downward ? w - 1 : w + 1;
    for (std::int64_t j = 0; j < padded; ++j) {
      const Key moved = shifted[j];
      const Key kept = w[j];
      const Key v = (j >= lo && j <= hi) ? moved : kept;
      next[j] = j == at ? in : v;
    }
    std::swap(w, next);
  }
}

// The same steps for any x86-64, and in the wider vectors of newer units.
void slideBaseline(int k, const double* x, int n, double* y, bool omitCentre) { slide(k, x, n, y, omitCentre); }

__attribute__((target("avx2"))) void slideAvx2(int k, const double* x, int n, double* y, bool omitCentre) {
  slide(k, x, n, y, omitCentre);
}

}  // namespace

void runmedSortedWindow(int k, std::span<const double> x, std::span<double> y, int mode) {
  checkMode(mode);
  checkSizes(k, x, y);
  const auto slideOn = available(VectorUnit::x86_64_v3) ? slideAvx2 : slideBaseline;
  slideOn(k, x.data(), static_cast<int>(x.size()), y.data(), mode == kRunmedLeaveOneOut);
  repeatEnds(k, y);
}

}  // namespace numerics::detail

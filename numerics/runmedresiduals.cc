// Leave-one-out cross-validation of a running median's window: the mean
// and the median of the residuals |x(i) - y(i)| for many half-widths k of
// one series, without keeping any y.
//
// The passes slide over pairs of neighbouring blocks like the block scheme
// (runmedblocks.cc), with L the power of two from h to 2h-1. The pairs are
// ranked from the order of the whole series, not sorted, once for every
// window of that L, so the rank set stays at least a quarter full and the
// neighbours of the median are nearly always in its word. The slide notes
// the median and its neighbours for a stretch of windows; the outputs of up
// to three window lengths (k-1, k, k+1) follow from those notes in vector
// lanes, and their residuals are summed and counted against a band around
// the median expected, which is then selected among the few in the band.
//
// What one call learns serves the next on the same thread: the pairing of
// the last block length and the median of the last window, a guess for the
// next band. It lives in a ResidualWorkspace the caller keeps, one to a
// thread and series; it changes the speed, never a result.
//
// Names: n points, half-width k, window h = 2k+1, block length L (len);
//        m median rank, below/above (below2/above2) the members next to it
//        (and next but one), c centre rank; pr[p] the rank of pair
//        position p, vals[r] the value of rank r.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "numerics/cpu.h"
#include "numerics/orderkey.h"
#include "numerics/rankset.h"
#include "numerics/runmed.h"

// Vectors of ranks (GCC's vector extension) are returned only between
// inline functions of this file, never across a call whose convention the
// vector width would change. GCC tells of it when the file ends, so the
// warning stays off for the whole file.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace numerics {

namespace {

using detail::Key;
using detail::RankSet;
using detail::RankSlider;
using detail::slideRanks;

// The ranks x and y of the two values whose mean is a leave-one-out output:
// from the median m of a window, the members next to it and its centre c,
// the k-th and (k+1)-th smallest without c.
//
// The functions below take ranks as int or as a vector of them, lane by
// lane the same selections: one conditional operator per choice, and no
// branch in the vector form. They take their arguments by reference.


template <class R>
struct MiddleRanks {
  R x, y;
};

template <class R>
MiddleRanks<R> withoutCentre(const R& m, const R& below, const R& above, const R& c) {
  return {c < m ? m : below, m < c ? m : above};
}

template <class R>
R least(const R& a, const R& b) {
  return a < b ? a : b;
}

template <class R>
R most(const R& a, const R& b) {
  return a < b ? b : a;
}

// Half-width k+1 from the window of k at start j: that window, two members
// a and b more (the two points after it) and its centre c one point on.
// The median and its neighbours are among the window's median, the two
// members either side of that and the two new ranks.
template <class R>
MiddleRanks<R> longerByTwo(const R& m, const R& below2, const R& below, const R& above, const R& above2,
                           const R& a, const R& b, const R& c) {
  const R lo = least(a, b), hi = most(a, b);
  // Both new ranks below m: the median moves down one member; both above:
  // up one; one on each side: it stays.
  const auto down = hi < m, up = lo > m;
  const R downMedian = most(below, hi);
  const R downBelow = below < hi ? most(below, lo) : most(below2, hi);
  const R upMedian = least(above, lo);
  const R upAbove = lo < above ? least(above, hi) : least(above2, lo);
  const R m2 = down ? downMedian : (up ? upMedian : m);
  const R nearBelow = down ? downBelow : (up ? m : most(below, lo));
  const R nearAbove = down ? m : (up ? upAbove : least(above, hi));
  return withoutCentre(m2, nearBelow, nearAbove, c);
}

// The window left when two members u and v leave a window, centred on c:
// the k-1 window at the same start (u and v its last two points), or one
// that ends where it does. Its median moves up one member when both left
// below m (or one below and m itself), down one when neither left below,
// and stays otherwise; it and its neighbours are among m and the two
// members either side of it.
template <class R>
MiddleRanks<R> shorterByTwo(const R& m, const R& below2, const R& below, const R& above, const R& above2,
                            const R& u, const R& v, const R& c) {
  const R zero{}, one = zero + 1;
  const R lo = least(u, v), hi = most(u, v);
  const R left = (lo < m ? one : zero) + (hi < m ? one : zero);  // members that left below m
  const auto gone = (lo == m) | (hi == m);
  const auto up = (left == 2) | ((left == 1) & gone);
  const auto down = left == 0;
  // The nearest members left either side of m.
  const R nearBelow = lo == below ? below2 : below;
  const R nearAbove = hi == above ? above2 : above;
  const R m0 = up ? above : (down ? below : m);
  const R lo0 = left == 2 ? m : (down ? below2 : nearBelow);
  const R hi0 = (down & (gone == 0)) ? m : (up ? above2 : nearAbove);
  return withoutCentre(m0, lo0, hi0, c);
}

// Slides a window of h = 2k+1 ranks over pr, window 0 already in set, and
// hands the output of window j to sink(j, value) for j < windows, in order
// of j.


// A band of residuals around a guess at their median (the median of a
// neighbouring window, say): those within w of it, gathered as they come.
// The median of the residuals changes by less than a tenth of w from one
// window to the next as a rule, and the band holds a few thousandths of
// them, so the test is nearly always false and nearly never mispredicted.
struct ResidualBand {
  // w: the half-width of the band; NaN without a guess.
  ResidualBand(double guess, double w, double* members) : guess(guess), w(w), members(members) {}

  // Counts r below the band or above it, or keeps it.
  void offer(double r) {
    below += guess - r > w ? 1 : 0;
    above += r - guess > w ? 1 : 0;
    if (std::abs(r - guess) <= w) members[count++] = r;
  }

  // The same for r[0..m-1], counted in whole vectors; the members, a few in
  // a thousand, are looked for only where the counts tell of some.
  void offer(const double* r, int m) {
    std::size_t lo = 0, hi = 0;
    for (int i = 0; i < m; ++i) {
      lo += guess - r[i] > w ? 1 : 0;
      hi += r[i] - guess > w ? 1 : 0;
    }
    below += lo;
    above += hi;
    if (std::isnan(w)) return;  // no guess, no band
    const auto size = static_cast<std::size_t>(m);
    for (std::size_t i = 0, in = size - lo - hi; in > 0 && i < size; ++i) {
      if (std::abs(r[i] - guess) <= w) {
        members[count++] = r[i];
        --in;
      }
    }
  }

  double guess, w;  // NaN without a guess: an empty band
  double* members;
  std::size_t count = 0;             // residuals kept
  std::size_t below = 0, above = 0;  // residuals further than w below the guess, and above it
};

// The value of rank `at` among v[0..count-1], or its mean with the one
// ranked just below when withBelow. Reorders v.
double middleOf(double* v, std::size_t count, std::size_t at, bool withBelow) {
  double* m = v + at;
  std::nth_element(v, m, v + count);
  if (!withBelow) return *m;
  return (*std::max_element(v, m) + *m) / 2;
}

// The median of n residuals, all offered to band: the middle one or the
// mean of the middle two, where both lie in the band; NaN where one does
// not. Reorders the band's members.
double bandMedian(std::size_t n, ResidualBand& band) {
  assert(n > 0);
  if (!std::isfinite(band.guess)) return std::numeric_limits<double>::quiet_NaN();
  assert(band.count == n - band.below - band.above);
  const std::size_t upper = n / 2;
  const std::size_t lower = n % 2 == 1 ? upper : upper - 1;
  // The band holds the residuals with ranks from band.below on.
  if (band.below > lower || upper >= n - band.above) return std::numeric_limits<double>::quiet_NaN();
  return middleOf(band.members, band.count, upper - band.below, lower < upper);
}

// Ranks after the last pair, so that reads of a vector's length past a
// pair's windows stay in the array.
constexpr int kPairPadding = 32;

// The series cut into blocks of L points, and the points of each pair of
// neighbouring blocks ranked among themselves (Suomela's scheme, with the
// ranks read off the whole series' order instead of sorting). A window of
// at most L points starting in block b lies in pair b, so it slides over
// the pair's ranks: a universe of 2L ranks of which the window fills more
// than a quarter when L < 2h, where a neighbour is nearly always a bit scan
// within one word. One pairing serves every window of L/2 < h <= L.
class PairRanks {
 public:
  // Ranks for blocks of length len over the series whose order is given by
  // rank (of each position) and position (of each rank).
  void build(std::span<const double> x, std::span<const int> rank, std::span<const int> position, int len) {
    const int n = static_cast<int>(x.size());
    len_ = len;
    const int blocks = (n + len - 1) / len;
    // Pair b starts at 2L b; the last, block b alone, ends the series.
    const std::size_t room = 2 * static_cast<std::size_t>(len) * static_cast<std::size_t>(blocks - 1) +
                             static_cast<std::size_t>(n - (blocks - 1) * len);
    // Past the last pair, padding for reads a vector long.
    ranks_.resize(room + kPairPadding);
    values_.resize(room);
    // Each block's positions in ascending order, by walking the order of
    // the whole series.
    std::vector<int> ordered(x.size()), next(static_cast<std::size_t>(blocks));
    for (int b = 0; b < blocks; ++b) next[static_cast<std::size_t>(b)] = b * len;
    for (const int p : position) ordered[static_cast<std::size_t>(next[static_cast<std::size_t>(p / len)]++)] = p;
    for (int b = 0; b < blocks; ++b) {
      // Merge block b and block b+1 (if any) by rank.
      const int* a = ordered.data() + static_cast<std::ptrdiff_t>(b) * len;
      const int na = std::min(len, n - b * len);
      const int* c = a + na;
      const int nc = std::clamp(n - (b + 1) * len, 0, len);
      const std::size_t base = 2 * static_cast<std::size_t>(len) * static_cast<std::size_t>(b);
      int* pr = ranks_.data() + base;
      double* vals = values_.data() + base;
      const int start = b * len;
      const auto rankOf = [&](int p) { return rank[static_cast<std::size_t>(p)]; };
      for (int ia = 0, ic = 0, r = 0; r < na + nc; ++r) {
        const bool fromA = ic == nc || (ia < na && rankOf(a[ia]) < rankOf(c[ic]));
        const int p = fromA ? a[ia++] : c[ic++];
        pr[p - start] = r;
        vals[r] = x[static_cast<std::size_t>(p)];
      }
    }
  }

  int length() const { return len_; }
  // Pair b: ranks by position from the block's start, and values by rank.
  const int* ranks(int b) const { return ranks_.data() + offset(b); }
  const double* values(int b) const { return values_.data() + offset(b); }

 private:
  std::size_t offset(int b) const { return 2 * static_cast<std::size_t>(len_) * static_cast<std::size_t>(b); }

  int len_ = 0;
  std::vector<int> ranks_;
  std::vector<double> values_;
};

// The residuals of one window length as they come: summed in order of the
// points and offered to a band for their median. They are not kept: at a
// million points, arrays of them would be most of what a pass moves
// through memory.
struct ResidualSum {
  ResidualSum(std::span<const double> x, ResidualBand band) : x(x), band(band) {}

  void add(int i, double v) {
    const double e = std::abs(x[static_cast<std::size_t>(i)] - v);
    sum += e;
    band.offer(e);
  }

  std::span<const double> x;
  ResidualBand band;
  double sum = 0;
};

// The residuals of up to three window lengths of one series, taken
// together in a pass, with room for a stretch of them: the series is held
// once, so that the sums stay in registers.
template <int kLengths, int kStretch>
struct ResidualSums {
  explicit ResidualSums(std::array<ResidualSum*, kLengths> of) : of(of), x(of[0]->x.data()) {
    for (int l = 0; l < kLengths; ++l) {
      assert(of[l]->x.data() == x);
      sum[l] = of[l]->sum;
    }
  }

  // Writes the sums back.
  void into() const {
    for (int l = 0; l < kLengths; ++l) of[l]->sum = sum[l];
  }

  // The residual of output v at point i, summed and offered to the band.
  template <int l>
  void add(int i, double v) {
    const double e = std::abs(x[i] - v);
    sum[l] += e;
    of[l]->band.offer(e);
  }

  // The residual of output v at point i, summed and kept at place t of
  // the stretch; the band comes later.
  template <int l>
  void keep(int i, int t, double v) {
    const double e = std::abs(x[i] - v);
    stretch[l][t] = e;
    sum[l] += e;
  }

  // Offers the first count residuals of the stretch to the band.
  template <int l>
  void offer(int count) {
    of[l]->band.offer(stretch[l].data(), count);
  }

  std::array<ResidualSum*, kLengths> of;
  const double* x;
  std::array<double, kLengths> sum;
  std::array<std::array<double, kStretch>, kLengths> stretch;
};

// One pass of the running median with half-width k over the pairs, taking
// the residuals as the windows slide, in order of the points: the first k
// repeat the first centre output, the last k the last.
void medianResiduals(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& out) {
  ResidualSums<1, 1> one({&out});
  const int n = static_cast<int>(out.x.size());
  const int h = 2 * k + 1;
  const int len = pairs.length();
  double v = 0;
  for (int b = 0, start = 0; start <= n - h; ++b, start += len) {
    const int* pr = pairs.ranks(b);
    RankSet set(setStorage, std::min(2 * len, n - start));
    for (int p = 0; p < h; ++p) set.insert(pr[p]);
    slideRanks<false>(set, pr, pairs.values(b), k, std::min(len, n - h - start + 1), [&](int j, double value) {
      v = value;
      for (int i = j > 0 || b > 0 ? k : 0; i <= k; ++i) one.add<0>(start + j + i, v);
    });
  }
  for (int i = n - k; i < n; ++i) one.add<0>(i, v);
  one.into();
}

// One pass of the leave-one-out running median with half-width k over the
// pairs, taking the residuals as the windows slide, in order of the points:
// the first k repeat the first centre output, the last k the last. With
// kLonger and kShorter, the residuals of half-widths k+1 and k-1 come along
// (into longerOut and shorterOut), derived from the same slide; the windows
// of k+1 must fit the pairs as well.
//
// The slide is one chain of dependent steps; the outputs are not. So the
// slide runs ahead a stretch of windows, noting each median and its
// neighbours, and the ranks of the stretch's outputs follow in vector
// lanes. Their values, residuals and sums then go one by one, in order of
// the points, and the band counts the stretch's residuals in vector lanes.
template <bool kLonger, bool kShorter>
void leaveOneOutResiduals(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& oneOut,
                          ResidualSum* longerOut, ResidualSum* shorterOut) {
  // Lengths: 0 for k, then k+1 and k-1 where they come along.
  constexpr int kLengths = 1 + (kLonger ? 1 : 0) + (kShorter ? 1 : 0);
  constexpr int kTwo = 1, kThree = kLonger ? 2 : 1;
  std::array<ResidualSum*, kLengths> of{&oneOut};
  if constexpr (kLonger) of[kTwo] = longerOut;
  if constexpr (kShorter) of[kThree] = shorterOut;
  // A stretch of windows: medians and neighbours, then the ranks of each
  // output, kStretch at most and in whole vectors.
  using Ranks = int __attribute__((vector_size(32)));
  constexpr int kLanes = sizeof(Ranks) / sizeof(int);
  constexpr int kStretch = 128;
  ResidualSums<kLengths, kStretch> sums(of);
  const int n = static_cast<int>(oneOut.x.size());
  const int h = 2 * k + 1;
  const int len = pairs.length();
  static_assert(kStretch % kLanes == 0 && kPairPadding >= kLanes + 2);
  struct Stretch {
    std::array<int, kStretch> med, below2, below, above, above2;
    std::array<std::array<int, kStretch>, kLengths> x, y;
  };
  // Zero, so that the lanes past a short stretch hold no indeterminate values.
  alignas(64) Stretch st{};
  const auto lanes = [](const int* p) {
    Ranks v;
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  double v = 0, w = 0, z = 0;  // the last outputs of k, k+1 and k-1
  for (int b = 0, start = 0; start <= n - h; ++b, start += len) {
    const int* pr = pairs.ranks(b);
    const double* vals = pairs.values(b);
    const auto value = [vals](MiddleRanks<int> r) { return 0.5 * (vals[r.x] + vals[r.y]); };
    RankSet set(setStorage, std::min(2 * len, n - start));
    for (int p = 0; p < h; ++p) set.insert(pr[p]);
    RankSlider<true> slider(set, pr, vals, k);
    const int windows = std::min(len, n - h - start + 1);
    const int both = kLonger ? std::clamp(n - h - 2 - start + 1, 0, len) : 0;
    {
      const int m = slider.median();
      const auto& nb = slider.around();
      v = value(withoutCentre(m, nb.below, nb.above, pr[k]));
      for (int i = b == 0 ? 0 : k; i <= k; ++i) sums.template add<0>(start + i, v);
      if constexpr (kLonger) {
        if (both > 0) {
          w = value(longerByTwo(m, nb.below2, nb.below, nb.above, nb.above2, pr[2 * k + 1], pr[2 * k + 2], pr[k + 1]));
          for (int i = b == 0 ? 0 : k + 1; i <= k + 1; ++i) sums.template add<kTwo>(start + i, w);
        }
      }
      if constexpr (kShorter) {
        z = value(shorterByTwo(m, nb.below2, nb.below, nb.above, nb.above2, pr[2 * k - 1], pr[2 * k], pr[k - 1]));
        for (int i = b == 0 ? 0 : k - 1; i <= k - 1; ++i) sums.template add<kThree>(start + i, z);
      }
    }
    for (int j0 = 1; j0 < windows; j0 += kStretch) {
      const int count = std::min(kStretch, windows - j0);
      for (int t = 0; t < count; ++t) {
        slider.advance(j0 + t);
        const auto& nb = slider.around();
        st.med[t] = slider.median();
        st.below2[t] = nb.below2;
        st.below[t] = nb.below;
        st.above[t] = nb.above;
        st.above2[t] = nb.above2;
      }
      // The ranks of every output of the stretch, lanes past count included
      // (the pairs are padded for their reads).
      const int* p = pr + j0;
      for (int t = 0; t < count; t += kLanes) {
        const Ranks m = lanes(&st.med[t]), below2 = lanes(&st.below2[t]), below = lanes(&st.below[t]),
                    above = lanes(&st.above[t]), above2 = lanes(&st.above2[t]);
        const auto put = [&](int l, const MiddleRanks<Ranks>& r) {
          std::memcpy(&st.x[l][t], &r.x, sizeof r.x);
          std::memcpy(&st.y[l][t], &r.y, sizeof r.y);
        };
        put(0, withoutCentre(m, below, above, lanes(p + t + k)));
        if constexpr (kLonger) {
          put(kTwo, longerByTwo(m, below2, below, above, above2, lanes(p + t + 2 * k + 1), lanes(p + t + 2 * k + 2),
                                lanes(p + t + k + 1)));
        }
        if constexpr (kShorter) {
          put(kThree, shorterByTwo(m, below2, below, above, above2, lanes(p + t + 2 * k - 1), lanes(p + t + 2 * k),
                                   lanes(p + t + k - 1)));
        }
      }
      // Window j0+t is centred on point j0+t+k; its residuals go there, one
      // point on for k+1 and one back for k-1, in order of the points.
      const int longer = kLonger ? std::clamp(both - j0, 0, count) : 0;
      const auto output = [&](int l, int t) { return value({st.x[l][t], st.y[l][t]}); };
      const int i0 = start + j0 + k;
      for (int t = 0; t < count; ++t) {
        sums.template keep<0>(i0 + t, t, output(0, t));
        if constexpr (kLonger) {
          if (t < longer) sums.template keep<kTwo>(i0 + t + 1, t, output(kTwo, t));
        }
        if constexpr (kShorter) sums.template keep<kThree>(i0 + t - 1, t, output(kThree, t));
      }
      sums.template offer<0>(count);
      if constexpr (kLonger) sums.template offer<kTwo>(longer);
      if constexpr (kShorter) sums.template offer<kThree>(count);
      // The last outputs, for the ends.
      v = output(0, count - 1);
      if constexpr (kLonger) {
        if (longer > 0) w = output(kTwo, longer - 1);
      }
      if constexpr (kShorter) z = output(kThree, count - 1);
    }
    // The last two windows of k-1 start after the last of k, which holds
    // both: without its first and last point, and without its first two.
    if constexpr (kShorter) {
      if (start + windows - 1 == n - h) {
        const int* p = pr + windows - 1;
        const int m = slider.median();
        const auto& nb = slider.around();
        z = value(shorterByTwo(m, nb.below2, nb.below, nb.above, nb.above2, p[0], p[2 * k], p[k]));
        sums.template add<kThree>(n - k - 1, z);
        z = value(shorterByTwo(m, nb.below2, nb.below, nb.above, nb.above2, p[0], p[1], p[k + 1]));
        sums.template add<kThree>(n - k, z);
      }
    }
  }
  for (int i = n - k; i < n; ++i) sums.template add<0>(i, v);
  if constexpr (kLonger) {
    for (int i = n - k - 1; i < n; ++i) sums.template add<kTwo>(i, w);
  }
  if constexpr (kShorter) {
    for (int i = n - k + 1; i < n; ++i) sums.template add<kThree>(i, z);
  }
  sums.into();
}

inline void leaveOneOutPass(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one, ResidualSum* longer,
                            ResidualSum* shorter) {
  if (longer && shorter) {
    leaveOneOutResiduals<true, true>(pairs, k, setStorage, one, longer, shorter);
  } else if (longer) {
    leaveOneOutResiduals<true, false>(pairs, k, setStorage, one, longer, nullptr);
  } else if (shorter) {
    leaveOneOutResiduals<false, true>(pairs, k, setStorage, one, nullptr, shorter);
  } else {
    leaveOneOutResiduals<false, false>(pairs, k, setStorage, one, nullptr, nullptr);
  }
}

// The passes, compiled twice: for any x86-64, and for the bit-manipulation
// and vector units of newer processors (x86-64-v3: BMI, LZCNT, AVX2), where
// the bit scans of the rank set take one instruction each and the ranks of
// the outputs come eight to a vector; residuals takes the second on any
// unit from x86-64-v3 up. GCC is told to inline the whole pass into each.
struct Passes {
  void (*leaveOneOut)(const PairRanks&, int, Key*, ResidualSum&, ResidualSum*, ResidualSum*);
  void (*median)(const PairRanks&, int, Key*, ResidualSum&);
};

#define MORVEK_V3 __attribute__((target("arch=x86-64-v3")))

NUMERICS_FLATTEN void leaveOneOutBaseline(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one,
                                        ResidualSum* longer, ResidualSum* shorter) {
  leaveOneOutPass(pairs, k, setStorage, one, longer, shorter);
}

NUMERICS_FLATTEN MORVEK_V3 void leaveOneOutV3(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one,
                                            ResidualSum* longer, ResidualSum* shorter) {
  leaveOneOutPass(pairs, k, setStorage, one, longer, shorter);
}

NUMERICS_FLATTEN void medianBaseline(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one) {
  medianResiduals(pairs, k, setStorage, one);
}

NUMERICS_FLATTEN MORVEK_V3 void medianV3(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one) {
  medianResiduals(pairs, k, setStorage, one);
}

#undef MORVEK_V3

constexpr Passes kBaselinePasses{leaveOneOutBaseline, medianBaseline};
constexpr Passes kV3Passes{leaveOneOutV3, medianV3};

}  // namespace

// The working storage of the passes, kept from call to call: the pairing of
// the last block length used, for the next windows of the same length, and
// buffers that long series need not map afresh.
struct ResidualWorkspace::Scratch {
  PairRanks pairs;
  std::vector<Key> set;
  std::vector<double> band, band2, band3, outputs;
  double guess = std::numeric_limits<double>::quiet_NaN();  // the median of the last window
  int guessK = 0;    // and its half-width
  double slope = 0;  // the change of the median from the window before, a point each side
};

ResidualWorkspace::ResidualWorkspace(const RunmedSeries& series)
    : series_(&series), scratch_(std::make_unique<Scratch>()) {}
ResidualWorkspace::ResidualWorkspace(ResidualWorkspace&&) noexcept = default;
ResidualWorkspace::~ResidualWorkspace() = default;

void RunmedSeries::residuals(std::span<const int> ks, int mode, std::span<Residuals> out, ResidualWorkspace& work,
                             VectorUnit unit) const {
  assert(work.series_ == this && available(unit));
  const Passes& passes = unit >= VectorUnit::x86_64_v3 ? kV3Passes : kBaselinePasses;
  detail::checkMode(mode);
  assert(out.size() == ks.size());
  const std::size_t n = x_.size();
  ResidualWorkspace::Scratch& scratch = *work.scratch_;
  for (auto* v : {&scratch.band, &scratch.band2, &scratch.band3, &scratch.outputs}) v->resize(n);
  // The median of the window before is the guess for the next; a call's
  // first window takes the last of the previous call on the workspace, a
  // nearby window as a rule. The median moves with k, fastest for short
  // windows, so the band is widened by what the last change foretells and,
  // for a guess from further off, by more: where the median fell outside
  // the band, it would have to be selected among all residuals. How wide
  // the band is affects the speed only.
  double& guess = scratch.guess;
  std::size_t at = 0;  // the next window of ks
  // The band for windows lo..hi.
  const auto bandFor = [&](int lo, int hi, double* members) {
    const int off = std::max(std::abs(lo - scratch.guessK), std::abs(hi - scratch.guessK));
    const double w = guess / 256 * std::max(1.0, off / 4.0) + std::abs(scratch.slope) * off;
    return ResidualBand(guess, w, members);
  };
  // The median of window k's residuals from its band, or where the band
  // misses it (rarely, and on a workspace's first window), among all of them,
  // which a second run gives.
  const auto finish = [&](ResidualSum& r) {
    double median = bandMedian(n, r.band);
    if (std::isnan(median)) {
      std::vector<double>& e = scratch.outputs;
      run(ks[at], e, mode);
      for (std::size_t i = 0; i < n; ++i) e[i] = std::abs(x_[i] - e[i]);
      median = middleOf(e.data(), n, n / 2, n % 2 == 0);
    }
    out[at] = {r.sum / static_cast<double>(n), median};
    const int step = ks[at] - scratch.guessK;
    scratch.slope = step > 0 && step <= 4 && std::isfinite(guess) ? (median - guess) / step : 0;
    guess = median;
    scratch.guessK = ks[at++];
  };
  const auto blockLength = [](int k) { return static_cast<int>(std::bit_ceil(2 * static_cast<unsigned>(k) + 1)); };
  while (at < ks.size()) {
    const int k = ks[at];
    assert(k >= 1 && 2 * static_cast<std::size_t>(k) + 1 <= n);
    if (k <= detail::kSeriesSortedWindowMaxK) {
      ResidualSum one(x_, bandFor(k, k, scratch.band.data()));
      run(k, scratch.outputs, mode);
      for (std::size_t i = 0; i < n; ++i) one.add(static_cast<int>(i), scratch.outputs[i]);
      finish(one);
      continue;
    }
    const auto pairsFor = [&](int slid) {
      const int len = blockLength(slid);
      if (scratch.pairs.length() != len) {
        scratch.pairs.build(x_, rank_, position_, len);
        scratch.set.resize(RankSet::storageFor(2 * len));
      }
    };
    if (mode == kRunmedMedian) {
      ResidualSum one(x_, bandFor(k, k, scratch.band.data()));
      pairsFor(k);
      passes.median(scratch.pairs, k, scratch.set.data(), one);
      finish(one);
      continue;
    }
    // The windows one point shorter and one point longer each side come
    // along with the one in the middle when they are next in ks; the slide
    // is for the middle one, and the longer must be of its block length.
    const bool pairShorter = at + 1 < ks.size() && ks[at + 1] == k + 1;
    const int middle = pairShorter ? k + 1 : k;
    const std::size_t next = pairShorter ? at + 2 : at + 1;
    const bool pairLonger = next < ks.size() && ks[next] == middle + 1 && 2 * middle + 3 <= blockLength(middle) &&
                            2 * static_cast<std::size_t>(middle) + 3 <= n;
    pairsFor(middle);
    const int last = pairLonger ? middle + 1 : middle;
    ResidualSum one(x_, bandFor(k, last, scratch.band.data()));
    ResidualSum mid(x_, bandFor(k, last, scratch.band2.data()));
    ResidualSum two(x_, bandFor(k, last, scratch.band3.data()));
    ResidualSum& centre = pairShorter ? mid : one;
    passes.leaveOneOut(scratch.pairs, middle, scratch.set.data(), centre, pairLonger ? &two : nullptr,
                    pairShorter ? &one : nullptr);
    finish(one);
    if (pairShorter) finish(mid);
    if (pairLonger) finish(two);
  }
}

}  // namespace numerics

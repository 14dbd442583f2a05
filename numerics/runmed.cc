// Running median: three ways to the same order statistics.
//
// Every output is an order statistic of a window (or the mean of two), so
// the three schemes below agree bit for bit; runmed and RunmedSeries::run
// pick the fastest for k (thresholds in runmed.h, found by measurement).
//
// 1. Double heap (detail::runmedHeaps), the classic formulation. Window
//    slots V(-k..k) hold the values; H(-k..k) lists slots by heap place:
//    H(0) is the median, H(1..k) a min-heap of the k largest values (children
//    of p are 2p, 2p+1), H(-1..-k) its mirror, a max-heap of the k smallest.
//    P(s) is the heap place of slot s, so H(P(s)) = s, and
//    V(H(-1)) <= V(H(0)) <= V(H(1)). A step lifts the leaving slot to the
//    root of its heap, stores the entering value there and sifts it down
//    (maxheap, minheap). O(log k) per step, but nearly every comparison is
//    an unpredictable branch, so it serves as the reference only.
//
// 2. Sorted window (small k): w holds the window's keys in ascending order.
//    A step counts the keys below the leaving and the entering key and
//    rewrites w with the run between their places shifted by one. O(k) per
//    step, but without branches and in whole vectors.
//
// 3. Rank set (large k): values are replaced by ranks in the total order
//    (key, position), so a window is a set of distinct integers, kept in a
//    two-level bitset. Exactly k members lie below the median rank m, so m
//    moves by at most one member per step; m and its neighbours are found
//    by bit scans.
//    - runmed cuts the series into blocks of L >= h points (Suomela's
//      sorting-based median filter), so that each window lies in two
//      neighbouring blocks A and B. Each block is sorted once (LSD radix on
//      keys) and A and B are merged, so ranks run over A and B only: the
//      bitset has 2L bits, holds h of them and stays in the L1 cache.
//    - RunmedSeries ranks the whole series once in its constructor, so a
//      pass needs no sorting at all; the bitset spans the series.
//    - RunmedSeries::residuals, for the many passes of a cross-validation,
//      slides over pairs of blocks like runmed, with L the power of two
//      from h to 2h-1. The pairs are ranked from the order of the whole
//      series, not sorted, once for every window of that L, so the bitset
//      stays at least a quarter full and the neighbours of m are nearly
//      always in m's word. The slide notes the median and its neighbours
//      for a stretch of windows; the outputs of up to three window lengths
//      follow from those notes in vector lanes, and their residuals are
//      summed and counted against a band around the median expected.
//
// Keys: orderKey maps a double's bits onto an unsigned integer of the same
// order (-0 just below +0, NaNs beyond the infinities). Comparing keys gives
// a total order even for NaN, so no scheme can lose track of its window.
//
// Names: n points, half-width k, window h = 2k+1, block length L; w sorted
//        window keys; m median rank, lo and hi the members next to it,
//        d leaving rank, e entering rank, c centre rank; pr[p] the rank of
//        position p (pair-local in runmed), vals[r] the value of rank r.
#include "numerics/runmed.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "numerics/nrerror.h"
#include "numerics/sort.h"

namespace numerics {

namespace {

using Key = std::uint64_t;

void checkMode(int mode) {
  if (mode != kRunmedMedian && mode != kRunmedLeaveOneOut) {
    throw NrError("Error in subroutine runmed", "Morvek terminates unsuccessfully");
  }
}

void checkSizes([[maybe_unused]] int k, [[maybe_unused]] std::span<const double> x,
                [[maybe_unused]] std::span<double> y) {
  assert(k >= 1);
  assert(2 * static_cast<std::size_t>(k) + 1 <= x.size());
  assert(x.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max()));
  assert(y.size() == x.size());
}

// y(1..k) repeat the first centre output, y(n-k+1..n) the last.
void repeatEnds(int k, std::span<double> y) {
  const auto uk = static_cast<std::size_t>(k);
  std::fill(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(uk), y[uk]);
  std::fill(y.end() - static_cast<std::ptrdiff_t>(uk), y.end(), y[y.size() - uk - 1]);
}

// cond ? a : b for choices that are random, where a branch would be
// mispredicted half the time: a conditional move on x86-64, which the
// compiler does not always choose by itself, and masks elsewhere.
template <class T>
T pick(bool cond, T a, T b) {
#if defined(__x86_64__) && defined(__GNUC__)
  static_assert(sizeof(T) == 4 || sizeof(T) == 8);
  asm("test %b1, %b1\n\tcmovnz %2, %0" : "+r"(b) : "q"(cond), "r"(a) : "cc");
  return b;
#else
  return b ^ ((a ^ b) & (T{0} - static_cast<T>(cond)));
#endif
}

// x == y ? a : b, the same way, straight from the comparison.
inline int pickIfEqual(int x, int y, int a, int b) {
#if defined(__x86_64__) && defined(__GNUC__)
  asm("cmp %2, %1\n\tcmove %3, %0" : "+r"(b) : "r"(x), "r"(y), "r"(a) : "cc");
  return b;
#else
  return pick(x == y, a, b);
#endif
}

// x < y ? a : b, the same way, but straight from the comparison.
inline int pickIfLess(int x, int y, int a, int b) {
#if defined(__x86_64__) && defined(__GNUC__)
  asm("cmp %2, %1\n\tcmovl %3, %0" : "+r"(b) : "r"(x), "r"(y), "r"(a) : "cc");
  return b;
#else
  return pick(x < y, a, b);
#endif
}

constexpr Key kSignBit = Key{1} << 63;

// Keys that no value maps to, for guards and padding.
constexpr Key kKeyBelowAll = 0;
constexpr Key kKeyAboveAll = ~Key{0};

Key orderKey(double v) {
  const auto b = std::bit_cast<Key>(v);
  // Negative values: all bits flipped; others: only the sign bit.
  Key key = b ^ (static_cast<Key>(static_cast<std::int64_t>(b) >> 63) | kSignBit);
  // Only two NaNs would reach the guard keys; they become their neighbours,
  // NaNs too.
  key += key == kKeyBelowAll ? 1 : 0;
  key -= key == kKeyAboveAll ? 1 : 0;
  return key;
}

double keyValue(Key key) {
  return std::bit_cast<double>(key ^ (static_cast<Key>(static_cast<std::int64_t>(~key) >> 63) | kSignBit));
}

// Scratch arrays of one pass, carved from a single allocation. The
// allocator then hands the same block back call after call, where arrays of
// this size allocated one by one tend to be mapped afresh each time, and on
// some systems the page faults cost more than the pass itself.
class Arena {
 public:
  template <class T>
  static constexpr std::size_t bytesFor(std::size_t count) {
    return (count * sizeof(T) + kAlign - 1) / kAlign * kAlign;
  }

  explicit Arena(std::size_t bytes) : store_(std::make_unique_for_overwrite<std::byte[]>(bytes)), size_(bytes) {}

  // count uninitialised values of a trivial type T.
  template <class T>
  T* take(std::size_t count) {
    const std::size_t bytes = bytesFor<T>(count);
    assert(used_ + bytes <= size_);
    T* p = reinterpret_cast<T*>(store_.get() + used_);
    used_ += bytes;
    return p;
  }

 private:
  static constexpr std::size_t kAlign = 64;  // a cache line; new[] gives at least 16
  std::unique_ptr<std::byte[]> store_;
  std::size_t size_;
  std::size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Double heap.

// The median of the window without its centre, from the window's three middle
// values lo <= mid <= hi and the centre's place: below mid, at mid or above.
double leaveOneOut(int centreSide, double lo, double mid, double hi) {
  if (centreSide < 0) return 0.5 * (mid + hi);
  if (centreSide > 0) return 0.5 * (lo + mid);
  return 0.5 * (lo + hi);
}

// The working storage of the double heap, indexed -k..k through offset
// pointers so that the heap arithmetic reads as in the formulation.
class DoubleHeap {
 public:
  DoubleHeap(int k, std::span<const double> first)
      : k_(k), vStore_(first.begin(), first.end()), hStore_(first.size()), pStore_(first.size()) {
    assert(first.size() == 2 * static_cast<std::size_t>(k) + 1);
    V = vStore_.data() + k;
    H = hStore_.data() + k;
    P = pStore_.data() + k;
    // The j-th smallest value goes to heap place j-k-1: a sorted array
    // satisfies both heap orders.
    std::vector<int> order(first.size());
    indexx_sp(vStore_, order);
    for (int j = 0; j < 2 * k + 1; ++j) put(j - k, order[static_cast<std::size_t>(j)] - k);
  }

  DoubleHeap(const DoubleHeap&) = delete;
  DoubleHeap& operator=(const DoubleHeap&) = delete;

  double median() const { return V[H[0]]; }

  // Output of mode -1 for the centre slot c.
  double leaveOneOutOf(int c) const {
    const int q = P[c];
    return leaveOneOut(q < 0 ? -1 : (q > 0 ? 1 : 0), V[H[-1]], V[H[0]], V[H[1]]);
  }

  // Replaces the value of slot s by v and restores both heap orders.
  void replace(int s, double v) {
    const int side = P[s] < 0 ? -1 : (P[s] > 0 ? 1 : 0);
    toroot(s);
    V[s] = v;
    if (side > 0) {
      upperRootIn(v);
    } else if (side < 0) {
      lowerRootIn(v);
    } else {
      medianIn(v);
    }
  }

 private:
  void put(int p, int s) {
    H[p] = s;
    P[s] = p;
  }

  void swapPlaces(int a, int b) {
    const int sa = H[a];
    put(a, H[b]);
    put(b, sa);
  }

  // Lifts slot s to the root of its heap without comparing values: every
  // slot on the path moves one level down.
  void toroot(int s) {
    int p = P[s];
    if (p >= -1 && p <= 1) return;
    int q = p / 2;
    for (;;) {
      put(p, H[q]);
      if (q == 1 || q == -1) break;
      p = q;
      q = p / 2;
    }
    put(q, s);
  }

  // The new value v sits at the upper root.
  void upperRootIn(double v) {
    if (!(v < V[H[0]])) {
      maxheap();
      return;
    }
    swapPlaces(0, 1);  // the old median is no greater than any upper value
    if (V[H[-1]] > v) {
      swapPlaces(0, -1);
      minheap();
    }
  }

  // The new value v sits at the lower root.
  void lowerRootIn(double v) {
    if (!(V[H[0]] < v)) {
      minheap();
      return;
    }
    swapPlaces(0, -1);
    if (v > V[H[1]]) {
      swapPlaces(0, 1);
      maxheap();
    }
  }

  // The new value v sits at the median place.
  void medianIn(double v) {
    if (V[H[-1]] <= v && v <= V[H[1]]) return;
    if (V[H[-1]] > v) {
      swapPlaces(0, -1);
      minheap();
    } else {
      swapPlaces(0, 1);
      maxheap();
    }
  }

  // Sift-down in the upper min-heap from place 1; on equal children the
  // left one is taken.
  void maxheap() {
    if (k_ < 2) return;
    const int m = H[1];
    const double v = V[m];
    int p = 1;
    for (int c = 2; c <= k_; c = 2 * p) {
      if (c + 1 <= k_ && V[H[c + 1]] < V[H[c]]) ++c;
      if (!(V[H[c]] < v)) break;
      put(p, H[c]);
      p = c;
    }
    put(p, m);
  }

  // Sift-down in the lower max-heap from place -1, the mirror image.
  void minheap() {
    if (k_ < 2) return;
    const int m = H[-1];
    const double v = V[m];
    int p = -1;
    for (int c = -2; c >= -k_; c = 2 * p) {
      if (c - 1 >= -k_ && V[H[c - 1]] > V[H[c]]) --c;
      if (!(V[H[c]] > v)) break;
      put(p, H[c]);
      p = c;
    }
    put(p, m);
  }

  int k_;
  std::vector<double> vStore_;
  std::vector<int> hStore_;
  std::vector<int> pStore_;
  double* V;  // V[s]: value of slot s, s = -k..k
  int* H;     // H[p]: slot at heap place p
  int* P;     // P[s]: heap place of slot s
};

// ---------------------------------------------------------------------------
// Sorted window.

// The sorted window keeps its keys in one of two buffers and rewrites the
// whole window into the other at each step: two counts and one pass of
// selects, all of which vectorize, instead of binary searches whose every
// step waits for the previous load. Past the h keys, the buffers are padded
// with the largest key up to a multiple of kLanes, so that no count sees the
// padding and every pass runs in whole vectors.
constexpr int kLanes = 8;

// Slides the window over x and writes the centre outputs y[k..n-k-1].
// Compiled for AVX2 too where the processor has it, chosen at run time.
__attribute__((target_clones("avx2", "default"))) void slideSortedWindow(int k, const double* x, int n,
                                                                         double* y, bool omitCentre) {
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

// ---------------------------------------------------------------------------
// Rank set.

// A set of ranks 0..universe-1: one bit per rank, and a byte per 64-bit
// word telling whether the word holds any member, so that a scan for a
// neighbour crosses empty stretches 512 ranks at a time. The bytes are only
// ever stored, never read and modified, so an insertion or an erasure does
// not wait for the one before, as it would on summary bits that 4096 ranks
// share.
class RankSet {
 public:
  // Storage for a set over ranks below universe: words, then the bytes with
  // a zero word of padding on each side, so that scans read whole words.
  static std::size_t storageFor(int universe) {
    const std::size_t words = static_cast<std::size_t>(universe) / 64 + 1;
    return words + words / 8 + 3;
  }

  RankSet(Key* storage, int universe) : words_(storage) { reset(universe); }

  // Empties the set and limits it to ranks below universe, which must not
  // exceed the universe the storage was sized for.
  void reset(int universe) {
    nwords_ = universe / 64 + 1;
    const int padded = nwords_ / 8 + 3;
    std::fill_n(words_, nwords_ + padded, Key{0});
    occupied_ = reinterpret_cast<unsigned char*>(words_ + nwords_ + 1);
  }

  void insert(int r) {
    const auto u = static_cast<unsigned>(r);
    words_[u >> 6] |= bit(u);
    occupied_[u >> 6] = 1;
  }

  void erase(int r) {
    const auto u = static_cast<unsigned>(r);
    Key& word = words_[u >> 6];
    word &= ~bit(u);
    occupied_[u >> 6] = word != 0;
  }

  // The smallest member above r, or -1.
  int next(int r) const {
    const auto u = static_cast<unsigned>(r);
    const Key above = words_[u >> 6] & (~Key{1} << (u & 63));
    if (above != 0) return static_cast<int>((u & ~63u) | static_cast<unsigned>(std::countr_zero(above)));
    for (int q = static_cast<int>(u >> 6) + 1; q < nwords_; q += 8) {
      const Key eight = occupiedAt(q);  // words q..q+7, little-endian
      if (eight == 0) continue;
      const int wi = q + std::countr_zero(eight) / 8;
      return wi < nwords_ ? (wi << 6) | std::countr_zero(words_[wi]) : -1;
    }
    return -1;
  }

  // The largest member below r, or -1.
  int prev(int r) const {
    const auto u = static_cast<unsigned>(r);
    const Key below = words_[u >> 6] & (bit(u) - 1);
    if (below != 0) return static_cast<int>((u & ~63u) | static_cast<unsigned>(63 - std::countl_zero(below)));
    for (int q = static_cast<int>(u >> 6) - 1; q >= 0; q -= 8) {
      const Key eight = occupiedAt(q - 7);  // words q-7..q; before 0 the padding
      if (eight == 0) continue;
      const int wi = q - std::countl_zero(eight) / 8;
      return (wi << 6) | (63 - std::countl_zero(words_[wi]));
    }
    return -1;
  }

  // The members next below r and next above (-1 where there is none).
  struct Nearest {
    int below, above;
  };
  Nearest nearest(int r) const {
    const auto u = static_cast<unsigned>(r);
    const Key word = words_[u >> 6];
    const Key below = word & (bit(u) - 1);
    const Key above = word & (~Key{1} << (u & 63));
    if (below != 0 && above != 0) {
      const int base = static_cast<int>(u & ~63u);
      return {base + 63 - std::countl_zero(below), base + std::countr_zero(above)};
    }
    return {prev(r), next(r)};
  }

  // The two members next below m and the two next above (-1 where there is
  // none). With the set about half full, one word usually holds all four.
  struct Neighbours {
    int below2, below, above, above2;
  };
  Neighbours around(int m) const {
    const auto u = static_cast<unsigned>(m);
    const Key word = words_[u >> 6];
    const Key below = word & (bit(u) - 1);
    const Key above = word & (~Key{1} << (u & 63));
    if ((below & (below - 1)) != 0 && (above & (above - 1)) != 0) {
      const int base = static_cast<int>(u & ~63u);
      const int b1 = 63 - std::countl_zero(below);
      const Key rest = below ^ (Key{1} << b1);
      return {base + 63 - std::countl_zero(rest), base + b1, base + std::countr_zero(above),
              base + std::countr_zero(above & (above - 1))};
    }
    const int b1 = prev(m);
    const int a1 = next(m);
    return {b1 < 0 ? -1 : prev(b1), b1, a1, a1 < 0 ? -1 : next(a1)};
  }

  // The j-th smallest member (0-based), or -1.
  int select(int j) const {
    for (int wi = 0; wi < nwords_; ++wi) {
      Key word = words_[wi];
      const int c = std::popcount(word);
      if (j < c) {
        for (; j > 0; --j) word &= word - 1;
        return (wi << 6) | std::countr_zero(word);
      }
      j -= c;
    }
    return -1;
  }

 private:
  static Key bit(unsigned u) { return Key{1} << (u & 63); }

  Key occupiedAt(int q) const {
    Key eight;
    std::memcpy(&eight, occupied_ + q, sizeof eight);
    return eight;
  }

  Key* words_;
  unsigned char* occupied_ = nullptr;  // occupied_[w]: word w holds a member; 8 zero bytes either side
  int nwords_ = 0;
};

// A window of h = 2k+1 ranks sliding over pr: window j holds pr[j..j+2k].
// Window 0 must be in set when the slider is made.
//
// Whether the median moves, and which way, depends on the data at random,
// so a step takes both neighbours of m and selects without branches; in a
// dense set they are bit scans within m's word. Only the new median waits
// for the step before; its own neighbours, which the leave-one-out output
// needs, are found from it after.
template <bool kLeaveOneOut>
class RankSlider {
 public:
  RankSlider(RankSet& set, const int* pr, const double* vals, int k)
      : set_(set), pr_(pr), vals_(vals), k_(k), m_(set.select(k)) {
    if constexpr (kLeaveOneOut) around_ = set.around(m_);
  }

  int median() const { return m_; }
  // The two members next below the median and the two next above.
  const RankSet::Neighbours& around() const { return around_; }

  // The output of the current window j.
  double output(int j) const {
    if constexpr (kLeaveOneOut) {
      // Without the centre c, the k-th and (k+1)-th smallest.
      const int c = pr_[j + k_];
      const int a = pickIfLess(c, m_, m_, around_.below);
      const int b = pickIfLess(m_, c, m_, around_.above);
      return 0.5 * (vals_[a] + vals_[b]);
    } else {
      return vals_[m_];
    }
  }

  // From window j-1 to window j.
  void advance(int j) {
    const int d = pr_[j - 1];
    const int e = pr_[j + 2 * k_];
    set_.erase(d);
    set_.insert(e);
    // k members must stay below the median. It moves down one member when
    // e enters below and d left above (or was m itself), up one when e
    // enters above and d left below or was m.
    const bool down = (e < m_) & (d >= m_);
    const bool up = (e > m_) & (d <= m_);
    if constexpr (kLeaveOneOut) {
      // The new median is m's nearest member below (or above) in the new
      // set: the old nearest unless d took it, or e. No scan, so the chain
      // from one step to the next is a few selections long.
      const auto& nb = around_;
      const int nearBelow = pickIfEqual(d, nb.below, nb.below2, nb.below);
      const int nearAbove = pickIfEqual(d, nb.above, nb.above2, nb.above);
      const int below = pickIfLess(nearBelow, e, e, nearBelow);  // used only when e entered below
      const int above = pickIfLess(e, nearAbove, e, nearAbove);  // and when above
      m_ = pick(down, below, pick(up, above, m_));
      around_ = set_.around(m_);
    } else {
      const auto [below, above] = set_.nearest(m_);
      m_ = pick(down, below, pick(up, above, m_));
    }
  }

 private:
  RankSet& set_;
  const int* pr_;
  const double* vals_;
  int k_;
  int m_;  // the median rank
  RankSet::Neighbours around_{};
};

// The ranks x and y of the two values whose mean is a leave-one-out output:
// from the median m of a window, the members next to it and its centre c,
// the k-th and (k+1)-th smallest without c.
//
// The functions below take ranks as int or as a vector of them (GCC's vector
// extension), lane by lane the same selections: one conditional operator per
// choice, and no branch in the vector form.
// They take their arguments by reference, and vectors of ranks are returned
// only between inline functions of this file, never across a call whose
// convention the vector width would change. (GCC tells of it when the file
// ends, so the warning stays off to the end.)
#pragma GCC diagnostic ignored "-Wpsabi"

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
template <bool kLeaveOneOut, class Sink>
void slideRanks(RankSet& set, const int* pr, const double* vals, int k, int windows, Sink sink) {
  RankSlider<kLeaveOneOut> slider(set, pr, vals, k);
  sink(0, slider.output(0));
  for (int j = 1; j < windows; ++j) {
    slider.advance(j);
    sink(j, slider.output(j));
  }
}

// The sink of a pass that keeps its outputs.
struct Store {
  double* out;
  void operator()(int j, double v) const { out[j] = v; }
};

// A value of a sorted block: its key and its position in the block.
struct Entry {
  Key key;
  int pos;
};

// Stable LSD radix sort of doubles by order key, one byte per pass. The
// items are the keys with their low bits replaced by the position, so one
// 64-bit word carries both; the passes over those low key bits look the key
// up by position. Passes whose digit is the same in every key are skipped.
class KeySorter {
 public:
  // Working storage for sorting up to len values.
  static constexpr std::size_t storageFor(std::size_t len) { return 3 * len; }

  explicit KeySorter(Key* storage, std::size_t len) : full_(storage), ping_(storage + len), pong_(storage + 2 * len) {}

  // Writes the values of x in ascending order of key to out; equal keys
  // keep the order of their positions.
  void sort(std::span<const double> x, Entry* out) {
    const std::size_t len = x.size();
    if (len == 0) return;
    const int posBits = static_cast<int>(std::bit_width(len - 1));
    const Key posMask = (Key{1} << posBits) - 1;
    for (auto& h : hist_) h.fill(0);
    for (std::size_t j = 0; j < len; ++j) {
      const Key f = orderKey(x[j]);
      full_[j] = f;
      ping_[j] = (f & ~posMask) | j;
      for (std::size_t d = 0; d < kPasses; ++d) ++hist_[d][(f >> (kDigitBits * d)) & kDigitMask];
    }
    Key* src = ping_;
    Key* dst = pong_;
    for (std::size_t d = 0; d < kPasses; ++d) {
      const auto& h = hist_[d];
      const int shift = static_cast<int>(kDigitBits * d);
      if (h[(full_[0] >> shift) & kDigitMask] == len) continue;
      std::array<std::uint32_t, kBuckets> at;
      std::uint32_t sum = 0;
      for (std::size_t b = 0; b < kBuckets; ++b) {
        at[b] = sum;
        sum += h[b];
      }
      if (shift < posBits) {
        for (std::size_t t = 0; t < len; ++t) {
          const Key v = src[t];
          dst[at[(full_[v & posMask] >> shift) & kDigitMask]++] = v;
        }
      } else {
        for (std::size_t t = 0; t < len; ++t) {
          const Key v = src[t];
          dst[at[(v >> shift) & kDigitMask]++] = v;
        }
      }
      std::swap(src, dst);
    }
    for (std::size_t t = 0; t < len; ++t) {
      const Key p = src[t] & posMask;
      out[t] = {full_[p], static_cast<int>(p)};
    }
  }

 private:
  static constexpr std::size_t kDigitBits = 8;
  static constexpr std::size_t kPasses = 64 / kDigitBits;
  static constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  static constexpr Key kDigitMask = kBuckets - 1;
  Key* full_;  // full_[p]: key of position p
  Key* ping_;  // the items, sorted by the digits done so far
  Key* pong_;
  std::array<std::array<std::uint32_t, kBuckets>, kPasses> hist_;
};

// Merges the sorted blocks A (pair positions 0..na-1) and B (na..na+nb-1)
// into ranks over both: vals[r] is the value of rank r and pr[p] the rank of
// pair position p. A comes first among equal keys, as its positions do.
// Both blocks need a guard entry before and after.
//
// Which block gives the next rank is as good as random, so each step
// selects by masks; and the merge runs from both ends at once, so that two
// independent chains of loads overlap.
void mergePair(Entry* a, int na, Entry* b, int nb, double* vals, int* pr) {
  a[-1] = b[-1] = {kKeyBelowAll, 0};
  a[na] = b[nb] = {kKeyAboveAll, 0};
  const Entry* fa = a;  // front: the smallest of A and of B not yet ranked
  const Entry* fb = b;
  const Entry* ba = a + na - 1;  // back: the largest not yet ranked
  const Entry* bb = b + nb - 1;
  const int total = na + nb;
  const int half = total / 2;
  for (int r = 0, rb = total - 1; r < half; ++r, --rb) {
    const Entry ea = *fa;
    const Entry eb = *fb;
    const int takeB = eb.key < ea.key ? 1 : 0;
    vals[r] = keyValue(pick(takeB != 0, eb.key, ea.key));
    pr[pick(takeB != 0, na + eb.pos, ea.pos)] = r;
    fa += 1 - takeB;
    fb += takeB;
    const Entry la = *ba;
    const Entry lb = *bb;
    const int takeA = la.key > lb.key ? 1 : 0;
    vals[rb] = keyValue(pick(takeA != 0, la.key, lb.key));
    pr[pick(takeA != 0, la.pos, na + lb.pos)] = rb;
    ba -= takeA;
    bb -= 1 - takeA;
  }
  if (total % 2 != 0) {
    const bool takeB = fb->key < fa->key;
    vals[half] = keyValue(takeB ? fb->key : fa->key);
    pr[takeB ? na + fb->pos : fa->pos] = half;
  }
}

template <bool kLeaveOneOut>
void slideBlocks(int k, std::span<const double> x, std::span<double> y) {
  const int n = static_cast<int>(x.size());
  const int h = 2 * k + 1;
  // Any block length of at least h keeps each window within two blocks.
  const int len = std::min(std::max(h, detail::kMinBlockLength), n);
  const auto ulen = static_cast<std::size_t>(len);
  Arena arena(2 * Arena::bytesFor<Entry>(ulen + 2) + Arena::bytesFor<double>(2 * ulen) +
              Arena::bytesFor<int>(2 * ulen) + Arena::bytesFor<Key>(KeySorter::storageFor(ulen)) +
              Arena::bytesFor<Key>(RankSet::storageFor(2 * len)));
  // Sorted blocks A and B, with a guard entry at each end.
  Entry* a = arena.take<Entry>(ulen + 2) + 1;
  Entry* b = arena.take<Entry>(ulen + 2) + 1;
  double* vals = arena.take<double>(2 * ulen);
  int* pr = arena.take<int>(2 * ulen);
  KeySorter sorter(arena.take<Key>(KeySorter::storageFor(ulen)), ulen);
  RankSet set(arena.take<Key>(RankSet::storageFor(2 * len)), 2 * len);
  sorter.sort(x.first(ulen), a);
  // Block A starts at s0, B follows; the windows that start in A lie in A
  // and B.
  for (int s0 = 0; s0 <= n - h; s0 += len) {
    const int na = std::min(len, n - s0);
    const int nb = std::max(0, std::min(len, n - s0 - len));
    if (nb > 0) sorter.sort(x.subspan(static_cast<std::size_t>(s0 + len), static_cast<std::size_t>(nb)), b);
    mergePair(a, na, b, nb, vals, pr);
    set.reset(na + nb);
    for (int p = 0; p < h; ++p) set.insert(pr[p]);
    const int windows = std::min(len, n - h - s0 + 1);
    slideRanks<kLeaveOneOut>(set, pr, vals, k, windows, Store{y.data() + s0 + k});
    std::swap(a, b);
  }
}

}  // namespace

// ---------------------------------------------------------------------------

namespace detail {

void runmedHeaps(int k, std::span<const double> x, std::span<double> y, int mode) {
  checkSizes(k, x, y);
  const int n = static_cast<int>(x.size());
  DoubleHeap heap(k, x.first(2 * static_cast<std::size_t>(k) + 1));
  checkMode(mode);
  const bool leaveOut = mode == kRunmedLeaveOneOut;
  auto output = [&](int centreSlot) { return leaveOut ? heap.leaveOneOutOf(centreSlot) : heap.median(); };
  y[static_cast<std::size_t>(k)] = output(0);
  // Slot s holds the point that leaves next, slot c the centre; both run
  // through -k..k and wrap.
  int s = -k;
  int c = 1;
  auto advance = [k](int slot) { return slot == k ? -k : slot + 1; };
  for (int i = k + 1; i < n - k; ++i) {
    heap.replace(s, x[static_cast<std::size_t>(i + k)]);
    y[static_cast<std::size_t>(i)] = output(c);
    s = advance(s);
    c = advance(c);
  }
  repeatEnds(k, y);
}

void runmedSortedWindow(int k, std::span<const double> x, std::span<double> y, int mode) {
  checkMode(mode);
  checkSizes(k, x, y);
  slideSortedWindow(k, x.data(), static_cast<int>(x.size()), y.data(), mode == kRunmedLeaveOneOut);
  repeatEnds(k, y);
}

void runmedBlocks(int k, std::span<const double> x, std::span<double> y, int mode) {
  checkMode(mode);
  checkSizes(k, x, y);
  if (mode == kRunmedLeaveOneOut) {
    slideBlocks<true>(k, x, y);
  } else {
    slideBlocks<false>(k, x, y);
  }
  repeatEnds(k, y);
}

}  // namespace detail

void runmed(int k, std::span<const double> x, std::span<double> y, int mode) {
  if (k <= detail::kSortedWindowMaxK) {
    detail::runmedSortedWindow(k, x, y, mode);
  } else {
    detail::runmedBlocks(k, x, y, mode);
  }
}

RunmedSeries::RunmedSeries(std::span<const double> x)
    : x_(x.begin(), x.end()), rank_(x.size()), position_(x.size()), sorted_(x.size()) {
  static std::atomic<std::uint64_t> made{0};
  generation_ = ++made;
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

namespace {

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

// The working storage of the residual passes of one thread, kept from call
// to call: the pairing of the last block length used, for the next windows
// of the same length, and buffers that long series need not map afresh.
struct ResidualScratch {
  std::uint64_t series = 0;  // the generation of the series all this is of
  PairRanks pairs;
  std::vector<Key> set;
  std::vector<double> band, band2, band3, outputs;
  double guess = 0;  // the median of the thread's last window
  int guessK = 0;    // and its half-width
  double slope = 0;  // the change of the median from the window before, a point each side
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
// the outputs come eight to a vector. A process takes the second where the
// processor has those units; the tests take both. GCC is told to inline the
// whole pass into each.
struct Passes {
  void (*leaveOneOut)(const PairRanks&, int, Key*, ResidualSum&, ResidualSum*, ResidualSum*);
  void (*median)(const PairRanks&, int, Key*, ResidualSum&);
};

#if defined(__clang__)
#define MORVEK_FLATTEN
#else
#define MORVEK_FLATTEN __attribute__((flatten))
#endif
#define MORVEK_V3 __attribute__((target("arch=x86-64-v3")))

MORVEK_FLATTEN void leaveOneOutBaseline(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one,
                                        ResidualSum* longer, ResidualSum* shorter) {
  leaveOneOutPass(pairs, k, setStorage, one, longer, shorter);
}

MORVEK_FLATTEN MORVEK_V3 void leaveOneOutV3(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one,
                                            ResidualSum* longer, ResidualSum* shorter) {
  leaveOneOutPass(pairs, k, setStorage, one, longer, shorter);
}

MORVEK_FLATTEN void medianBaseline(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one) {
  medianResiduals(pairs, k, setStorage, one);
}

MORVEK_FLATTEN MORVEK_V3 void medianV3(const PairRanks& pairs, int k, Key* setStorage, ResidualSum& one) {
  medianResiduals(pairs, k, setStorage, one);
}

#undef MORVEK_V3
#undef MORVEK_FLATTEN

constexpr Passes kBaselinePasses{leaveOneOutBaseline, medianBaseline};
constexpr Passes kV3Passes{leaveOneOutV3, medianV3};

bool hasV3() {
#if defined(__clang__)
  // Clang knows no name for the level; these imply the rest of it on every
  // processor made.
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("fma");
#else
  return __builtin_cpu_supports("x86-64-v3");
#endif
}

}  // namespace

void RunmedSeries::residuals(std::span<const int> ks, int mode, std::span<Residuals> out) const {
  static const bool v3 = hasV3();
  residuals(ks, mode, out, v3);
}

void detail::residualsOnAnyX86(const RunmedSeries& series, std::span<const int> ks, int mode,
                               std::span<Residuals> out) {
  series.residuals(ks, mode, out, false);
}

void RunmedSeries::residuals(std::span<const int> ks, int mode, std::span<Residuals> out, bool v3) const {
  const Passes& passes = v3 ? kV3Passes : kBaselinePasses;
  checkMode(mode);
  assert(out.size() == ks.size());
  const std::size_t n = x_.size();
  thread_local ResidualScratch scratch;
  for (auto* v : {&scratch.band, &scratch.band2, &scratch.band3, &scratch.outputs}) v->resize(n);
  // The median of the window before is the guess for the next; a call's
  // first window takes the last of this thread's previous call on the same
  // series, a nearby window as a rule. The median moves with k, fastest
  // for short windows, so the band is widened by what the last change
  // foretells and, for a guess from further off, by more: where the median
  // fell outside the band, it would have to be selected among all
  // residuals. How wide the band is affects the speed only.
  if (scratch.series != generation_) {
    scratch.series = generation_;
    scratch.pairs = PairRanks();
    scratch.guess = std::numeric_limits<double>::quiet_NaN();
    scratch.slope = 0;
  }
  double& guess = scratch.guess;
  std::size_t at = 0;  // the next window of ks
  // The band for windows lo..hi.
  const auto bandFor = [&](int lo, int hi, double* members) {
    const int off = std::max(std::abs(lo - scratch.guessK), std::abs(hi - scratch.guessK));
    const double w = guess / 256 * std::max(1.0, off / 4.0) + std::abs(scratch.slope) * off;
    return ResidualBand(guess, w, members);
  };
  // The median of window k's residuals from its band, or where the band
  // misses it (rarely, and on a thread's first window), among all of them,
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

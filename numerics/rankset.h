// The rank set: a window of a running median as a set of distinct ranks in
// a two-level bitset, and the slider that moves its median.
//
// Values are replaced by ranks in the total order (key, position), so a
// window of h = 2k+1 points is a set of h distinct integers. Exactly k
// members lie below the median rank m, so m moves by at most one member per
// step, and m and its neighbours are found by bit scans; in a set at least
// a quarter full they are nearly always in m's own word.
//
// Names: m median rank, d leaving rank, e entering rank, c centre rank;
//        pr[p] the rank of position p, vals[r] the value of rank r.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "numerics/orderkey.h"

namespace numerics::detail {

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

}  // namespace numerics::detail

// Running median by blocks, for large k (Suomela's sorting-based median
// filter).
//
// The series is cut into blocks of L >= h points, so that each window lies
// in two neighbouring blocks A and B. Each block is sorted once (radix sort
// on order keys) and A and B are merged, so ranks run over A and B only:
// the rank set has 2L bits, holds h of them and stays in the L1 cache, and
// a window slides over the pair like any other set of ranks.
//
// Names: n points, half-width k, window h = 2k+1, block length L (len);
//        s0 the start of block A; pr[p] the rank of pair position p,
//        vals[r] the value of rank r.
#include <algorithm>
#include <utility>

#include "numerics/arena.h"
#include "numerics/radixsort.h"
#include "numerics/rankset.h"
#include "numerics/runmed.h"

namespace numerics::detail {

namespace {

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

}  // namespace numerics::detail

// Stable LSD radix sort of doubles by order key; see radixsort.h.
#include "numerics/radixsort.h"

#include <bit>
#include <utility>

namespace numerics::detail {

void KeySorter::sort(std::span<const double> x, Entry* out) {
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

}  // namespace numerics::detail

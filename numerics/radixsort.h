// Stable LSD radix sort of doubles by order key, one byte per pass.
//
// The items are the keys with their low bits replaced by the position, so
// one 64-bit word carries both; the passes over those low key bits look the
// key up by position. Passes whose digit is the same in every key are
// skipped. Equal keys keep the order of their positions.
//
// Names: full_[p] the key of position p; ping_, pong_ the items, sorted by
//        the digits done so far; hist_[d] the counts of digit d.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "numerics/orderkey.h"

namespace numerics::detail {

// A value of a sorted block: its key and its position in the block.
struct Entry {
  Key key;
  int pos;
};

class KeySorter {
 public:
  // Working storage for sorting up to len values.
  static constexpr std::size_t storageFor(std::size_t len) { return 3 * len; }

  KeySorter(Key* storage, std::size_t len) : full_(storage), ping_(storage + len), pong_(storage + 2 * len) {}

  // Writes the values of x in ascending order of key to out.
  void sort(std::span<const double> x, Entry* out);

 private:
  static constexpr std::size_t kDigitBits = 8;
  static constexpr std::size_t kPasses = 64 / kDigitBits;
  static constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  static constexpr Key kDigitMask = kBuckets - 1;
  Key* full_;
  Key* ping_;
  Key* pong_;
  std::array<std::array<std::uint32_t, kBuckets>, kPasses> hist_;
};

}  // namespace numerics::detail

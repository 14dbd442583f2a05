// Order keys: a double's bits mapped onto an unsigned integer of the same
// order, and selections without branches.
//
// orderKey puts -0 just below +0 and the NaNs beyond the infinities, so
// comparing keys gives a total order even for NaN, and a running median
// kept by keys can never lose track of its window. Two keys, one below and
// one above every value's, serve as guards and padding; the two NaNs that
// would map onto them take their neighbours' keys.
//
// The running medians choose at random between neighbours at every step,
// where a branch would be mispredicted half the time; pick and its kin
// select instead (a conditional move on x86-64, which the compiler does not
// always choose by itself, and masks elsewhere).
#pragma once

#include <bit>
#include <cstdint>

namespace numerics::detail {

using Key = std::uint64_t;

inline constexpr Key kSignBit = Key{1} << 63;
inline constexpr Key kKeyBelowAll = 0;
inline constexpr Key kKeyAboveAll = ~Key{0};

inline Key orderKey(double v) {
  const auto b = std::bit_cast<Key>(v);
  // Negative values: all bits flipped; others: only the sign bit.
  Key key = b ^ (static_cast<Key>(static_cast<std::int64_t>(b) >> 63) | kSignBit);
  key += key == kKeyBelowAll ? 1 : 0;
  key -= key == kKeyAboveAll ? 1 : 0;
  return key;
}

inline double keyValue(Key key) {
  return std::bit_cast<double>(key ^ (static_cast<Key>(static_cast<std::int64_t>(~key) >> 63) | kSignBit));
}

// cond ? a : b.
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

// x == y ? a : b, straight from the comparison.
inline int pickIfEqual(int x, int y, int a, int b) {
#if defined(__x86_64__) && defined(__GNUC__)
  asm("cmp %2, %1\n\tcmove %3, %0" : "+r"(b) : "r"(x), "r"(y), "r"(a) : "cc");
  return b;
#else
  return pick(x == y, a, b);
#endif
}

// x < y ? a : b, straight from the comparison.
inline int pickIfLess(int x, int y, int a, int b) {
#if defined(__x86_64__) && defined(__GNUC__)
  asm("cmp %2, %1\n\tcmovl %3, %0" : "+r"(b) : "r"(x), "r"(y), "r"(a) : "cc");
  return b;
#else
  return pick(x < y, a, b);
#endif
}

}  // namespace numerics::detail

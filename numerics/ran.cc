// Names: ix the xorshift state, iy the congruential state, k Schrage's
// quotient; am = (1 - 2^-24) / (2^31 - 1) in single precision, so that the
// odd combined integer, at most 2^31 - 1, scales to a value below 1.
#include "numerics/ran.h"

#include <cstdlib>

namespace numerics {

namespace {

constexpr std::int32_t kIa = 16807;
constexpr std::int32_t kIm = 2147483647;
constexpr std::int32_t kIq = 127773;
constexpr std::int32_t kIr = 2836;

// |idum| without overflow for the most negative integer, which has no
// positive counterpart: it wraps to itself, as in 32-bit arithmetic.
std::uint32_t magnitude(std::int32_t idum) {
  const auto u = static_cast<std::uint32_t>(idum);
  return idum < 0 ? 0u - u : u;
}

}  // namespace

double ran(RanState& state, std::int32_t& idum) {
  if (idum <= 0 || state.iy < 0) {
    state.am = static_cast<float>((1.0 - 1.0 / 16777216.0) / kIm);
    const std::uint32_t m = magnitude(idum);
    state.iy = static_cast<std::int32_t>((888889999u ^ m) | 1u);
    state.ix = static_cast<std::int32_t>(777755555u ^ m);
    idum = static_cast<std::int32_t>(m + 1u);
  }
  // The shifts work on the bits: left shifts wrap, the right shift is logical.
  auto x = static_cast<std::uint32_t>(state.ix);
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  state.ix = static_cast<std::int32_t>(x);
  const std::int32_t k = state.iy / kIq;
  state.iy = kIa * (state.iy - k * kIq) - kIr * k;
  if (state.iy < 0) state.iy += kIm;
  const std::uint32_t combined =
      (static_cast<std::uint32_t>(kIm) & (x ^ static_cast<std::uint32_t>(state.iy))) | 1u;
  return static_cast<double>(state.am) * static_cast<double>(combined);
}

}  // namespace numerics

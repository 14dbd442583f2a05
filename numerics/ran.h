// Uniform random numbers in (0, 1): a multiplicative congruential generator
// (modulus 2^31 - 1, multiplier 16807, by Schrage's factorisation) combined
// with a 32-bit xorshift generator.
#pragma once

#include <cstdint>

namespace numerics {

// The generator's state for a whole run; unseeded until the first call.
struct RanState {
  std::int32_t ix = -1;  // xorshift state
  std::int32_t iy = -1;  // congruential state; negative: not yet seeded
  float am = 0;          // scale of the combined integer
};

// The next number u, 0 < u < 1. idum <= 0 (or an unseeded state) seeds the
// generator from |idum| and sets idum to |idum| + 1.
double ran(RanState& state, std::int32_t& idum);

}  // namespace numerics

// Fourier transform of a real sequence of power-of-2 length, in place, with
// the complex work in single precision.
//
// Sign convention: isign = kForward (+1) computes
//   F(j) = sum over k = 0 .. N-1 of x(k) * exp(+2*pi*i*j*k/N),
// isign = kInverse (-1) the same sum with exp(-2*pi*i*j*k/N). No transform
// is normalised.
//
// Packed real spectrum (realft_sp, length N): data[0] = F(0), data[1] =
// F(N/2), and data[2j], data[2j+1] = Re F(j), Im F(j) for j = 1 .. N/2-1.
// F(N-j) = conj F(j) is not stored. The inverse takes such a spectrum and
// returns N/2 times the real sequence it is the transform of; the caller
// multiplies by 2/N.
//
// Results are single precision: every value realft_sp writes is a float
// widened to double.
//
// Faults throw NrError: a length that is not a power of 2 (0 included) gives
// "nrerror: an assertion failed with this tag: n must be a power of 2 in
// realft_sp" of kind assertion; length 1 the same line with the tag "n must
// be at least 2 in realft_sp"; work arrays that cannot be obtained give
// "Out of memory" of kind outOfMemory. The data are untouched when a length
// check fails.
#pragma once

#include <span>

namespace numerics {

inline constexpr int kForward = 1;
inline constexpr int kInverse = -1;

// In-place transform of N reals, N a power of 2 and at least 2: forward
// leaves the packed spectrum, inverse takes one and leaves N/2 times the
// sequence.
void realft_sp(std::span<double> data, int isign);

}  // namespace numerics

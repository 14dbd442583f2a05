// Gaussian kernel sums: a vectorisable exp and a fixed-order sum over the
// squared distances of a set of pairs.
//
// exp(x), x in [-745.14, 0]: Cody-Waite reduction and the rational form of
// the classic fdlibm exp, with coefficients of our own fit.
//   k = round(x / ln2), read from the low bits of t = x * (1/ln2) + 1.5*2^52;
//   r = (x - k*ln2hi) - k*ln2lo, |r| <= ln2/2 (plus a hair when the rounding
//     of x/ln2 picks the other neighbour). ln2hi has 32 significant bits, so
//     k*ln2hi is exact for |k| < 2^21, and x - k*ln2hi is exact (Sterbenz);
//   R(r) = r (e^r + 1)/(e^r - 1) = 2 + z P(z), z = r^2, P of degree 4 fitted
//     by the Remez exchange on |r| <= 0.3467 (absolute error 3e-18);
//     with c = r - z P(z), exp(r) = 1 + (r + r c / (2 - c));
//   exp(x) = (exp(r) * 2^(k + 538)) * 2^-538. The first factor is a normal
//     number for k in [-1076, 0], so the first product is exact and a
//     subnormal result is rounded once, like any other.
//   No branches and no table look-ups: every lane of a vector does the same
//   operations. Measured error: below 1 ulp of the exact value (0.96).
//
// Sum: term i of a block of kBlock terms goes into partial sum i mod kLanes;
// the partial sums are combined by a fixed pairwise tree, and the block sums
// are added with Neumaier's compensation. The order is set by the code, not
// by the vector width, and every lane is the same sequence of IEEE
// operations, so the AVX2 build gives the bits of the baseline build.
//
// On machines with AVX-512 the terms take a second form of exp, with fused
// multiply-adds and a table, about a quarter faster there:
//   k = round(16 x / ln2) = 16 m + j, j in [0, 16), r = x - k ln2/16
//     (|r| <= ln2/32; ln2/16 in two parts, the first of 38 bits);
//   e^r = 1 + q, q = r + r^2 A(r), A of degree 4 fitted to (e^r - 1 - r)/r^2
//     on |r| <= ln2/32 (Chebyshev; error 6e-14, so below 3e-17 in q);
//   exp(x) = (T[j] + (T[j] q + t[j])) * 2^m, T + t = 2^(j/16) to 106 bits;
//     the scaling adds m to the exponent field where the result is normal,
//     and goes through 2^(m + 538) * 2^-538 where it may not be.
//   Measured error: below 0.75 ulp (0.81 of the spacing among subnormals).
//   A permute picks T[j] out of two registers.
// Both forms are within 1 ulp, but they round differently: the sums agree
// to the last bit on every machine of one kind (with AVX-512, or without),
// and between the kinds within 1e-15 relative.
//
// Invariants: d2_ ascending, all >= 0. The exp sees d2 * negC only for d2
// below kExpCutoff / negC, so its argument lies in [kExpCutoff, 0].
//
// Names: d2 squared distance of a pair, h bandwidth, negC = -1/(2 h^2), so a
//        term is exp(d2 * negC); x exp argument, k its power of 2, kd k as a
//        double, r reduced argument, z = r^2, pz = P(z), p = exp(r).

#include "numerics/gausssum.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <utility>

#include <immintrin.h>

// fp-contract=off: GCC contracts a*b + c into an FMA even in ISO C++ mode
// wherever FMA is available (GCC 12 does so in AVX-512 code). A fused step
// rounds once instead of twice; with contraction off every function
// computes exactly the operations written here, fused only where it says
// so, and the vector code keeps the bits of its scalar reference.
// O3: at -O2 the register allocator keeps the eight interleaved exps'
// constants in memory, one 64-byte load per operation, which costs 40% of
// the speed when the distances stream from memory. O3 changes no rounding.
#pragma GCC optimize("O3", "fp-contract=off")

namespace numerics {

namespace {

constexpr double kInvLn2 = 0x1.71547652b82fep0;
constexpr double kLn2Hi = 0x1.62e42fee00000p-1;  // low 21 bits zero
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
constexpr double kShifter = 0x1.8p52;  // y + kShifter rounds y to an integer in the low bits

// P(z), lowest degree first.
constexpr double kP0 = 0x1.5555555555543p-3;
constexpr double kP1 = -0x1.6c16c16bede2bp-9;
constexpr double kP2 = 0x1.1566aaeff7959p-14;
constexpr double kP3 = -0x1.bbd40625d9c61p-20;
constexpr double kP4 = 0x1.6367b7ae13c88p-25;

// 2^k = 2^(k + kHalfRange) * 2^-kHalfRange keeps the first factor normal
// for k in [-1076, 0].
constexpr int kHalfRange = 538;
constexpr std::uint64_t kExponentOffset = 1023 + kHalfRange;
constexpr double kTwoToMinusHalfRange = 0x1p-538;
constexpr int kMantissaBits = 52;

inline double expNonPositiveInline(double x) {
  const double t = x * kInvLn2 + kShifter;
  const double kd = t - kShifter;
  const double r = (x - kd * kLn2Hi) - kd * kLn2Lo;

  const double z = r * r;
  const double z2 = z * z;
  const double pz = (kP0 + kP1 * z) + z2 * ((kP2 + kP3 * z) + z2 * kP4);
  const double c = r - z * pz;
  const double p = 1.0 + (r + (r * c) / (2.0 - c));

  // The low 12 bits of t hold k modulo 2^12; shifted to the top, plus the
  // offset, they are the exponent field of 2^(k + kHalfRange).
  const std::uint64_t e = (std::bit_cast<std::uint64_t>(t) + kExponentOffset) << kMantissaBits;
  return (p * std::bit_cast<double>(e)) * kTwoToMinusHalfRange;
}

// 64 lanes are 8 AVX-512 registers: the compiler interleaves eight
// independent exp evaluations, which hides the latency of each one (about
// 60 cycles) and nearly doubles the throughput over one or two.
constexpr std::size_t kLanes = 64;
// Terms per block: each lane sees kBlock / kLanes additions before the block
// is folded into the compensated total, so a sum of millions of terms keeps
// the rounding error of a sum of a few dozen.
constexpr std::size_t kBlock = 2048;
static_assert(kBlock % kLanes == 0);
static_assert(std::has_single_bit(kLanes));

// Lane l holds terms l, l + kLanes, ...; the tail of a short block goes into
// the first lanes. The lane loop is unrolled before vectorisation, so that
// the compiler maps the lanes onto registers of any width, side by side,
// without changing which additions happen.
[[gnu::always_inline]] inline double blockSumBody(const double* d2, std::size_t n, double negC) {
  std::array<double, kLanes> acc{};
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
#pragma GCC unroll 64
    for (std::size_t l = 0; l < kLanes; ++l) {
      acc[l] += expNonPositiveInline(d2[i + l] * negC);
    }
  }
  for (std::size_t l = 0; i + l < n; ++l) {
    acc[l] += expNonPositiveInline(d2[i + l] * negC);
  }
  for (std::size_t width = kLanes / 2; width > 0; width /= 2) {
    for (std::size_t l = 0; l < width; ++l) acc[l] += acc[l + width];
  }
  return acc[0];
}

// The same body for each unit without AVX-512 (the AVX2 build vectorises
// four lanes at a time); tests hold them against each other.
double blockSumBaseline(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

__attribute__((target("avx2")))
double blockSumAvx2(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

// The fused form; the names follow the formulas at the top.
namespace fused {

constexpr double kInv = 0x1.71547652b82fep+4;  // 16 / ln2
constexpr double kStepHi = 0x1.62e42fefa0000p-5;  // ln2/16, 38 significant bits
constexpr double kStepLo = 0x1.cf79abc9e3b3ap-44;
// A(r), lowest degree first.
constexpr double kA0 = 0x1.0000000000000p-1, kA1 = 0x1.55555554dd388p-3, kA2 = 0x1.555555551946fp-5,
                 kA3 = 0x1.11120b03cd855p-7, kA4 = 0x1.6c17bb5ebddb4p-10;
// 2^(j/16) = kHi[j] + kLo[j].
alignas(64) constexpr double kHi[16] = {
    0x1.0000000000000p+0, 0x1.0b5586cf9890fp+0, 0x1.172b83c7d517bp+0, 0x1.2387a6e756238p+0,
    0x1.306fe0a31b715p+0, 0x1.3dea64c123422p+0, 0x1.4bfdad5362a27p+0, 0x1.5ab07dd485429p+0,
    0x1.6a09e667f3bcdp+0, 0x1.7a11473eb0187p+0, 0x1.8ace5422aa0dbp+0, 0x1.9c49182a3f090p+0,
    0x1.ae89f995ad3adp+0, 0x1.c199bdd85529cp+0, 0x1.d5818dcfba487p+0, 0x1.ea4afa2a490dap+0};
alignas(64) constexpr double kLo[16] = {
    0x0.0p+0, 0x1.8a62e4adc610bp-54, -0x1.19041b9d78a76p-55, 0x1.9b07eb6c70573p-54,
    0x1.6f46ad23182e4p-55, 0x1.ada0911f09ebcp-55, 0x1.d4397afec42e2p-56, 0x1.6324c054647adp-54,
    -0x1.bdd3413b26456p-54, -0x1.41577ee04992fp-55, 0x1.6e9f156864b27p-54, 0x1.c7c46b071f2bep-56,
    0x1.7a1cd345dcc81p-54, 0x1.11065895048ddp-55, 0x1.2ed02d75b3707p-55, -0x1.e9c23179c2893p-54};
// From here down every result is normal, and the exponent field may be
// added to directly (k >= -16343, so m >= -1022).
constexpr double kNormalFrom = -708.0;
constexpr int kTableBits = 4;

// One term, as each vector lane computes it; std::fma rounds once on any
// machine, so this is also the reference the vector code is held to.
inline double expFused(double x) {
  const double t = std::fma(x, kInv, kShifter);
  const double kd = t - kShifter;
  const double r = std::fma(kd, -kStepLo, std::fma(kd, -kStepHi, x));
  const double a = std::fma(r, std::fma(r, std::fma(r, std::fma(r, kA4, kA3), kA2), kA1), kA0);
  const double q = std::fma(r * r, a, r);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(t);
  const double hi = kHi[bits & 15];
  const double p = hi + std::fma(hi, q, kLo[bits & 15]);
  const std::uint64_t e = ((bits >> kTableBits) + kExponentOffset) << kMantissaBits;
  return (p * std::bit_cast<double>(e)) * kTwoToMinusHalfRange;
}

#define MORVEK_AVX512 __attribute__((target("avx512f,fma")))
// GCC 12 takes the unset pass-through operand inside its own AVX-512 shift
// intrinsics for an uninitialised variable.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

MORVEK_AVX512 inline __m512d c(double v) { return _mm512_set1_pd(v); }

template <bool kNormal>
MORVEK_AVX512 inline __m512d expFused8(__m512d x, const __m512d (&table)[4]) {
  const __m512d t = _mm512_fmadd_pd(x, c(kInv), c(kShifter));
  const __m512d kd = _mm512_sub_pd(t, c(kShifter));
  const __m512d r = _mm512_fnmadd_pd(kd, c(kStepLo), _mm512_fnmadd_pd(kd, c(kStepHi), x));
  __m512d a = _mm512_fmadd_pd(r, c(kA4), c(kA3));
  a = _mm512_fmadd_pd(r, a, c(kA2));
  a = _mm512_fmadd_pd(r, a, c(kA1));
  a = _mm512_fmadd_pd(r, a, c(kA0));
  const __m512d q = _mm512_fmadd_pd(_mm512_mul_pd(r, r), a, r);
  // The permutes read the low 4 bits of each lane of t: j.
  const __m512i bits = _mm512_castpd_si512(t);
  const __m512d hi = _mm512_permutex2var_pd(table[0], bits, table[1]);
  const __m512d lo = _mm512_permutex2var_pd(table[2], bits, table[3]);
  const __m512d p = _mm512_add_pd(hi, _mm512_fmadd_pd(hi, q, lo));
  const __m512i m = _mm512_srli_epi64(bits, kTableBits);
  if constexpr (kNormal) {
    return _mm512_castsi512_pd(_mm512_add_epi64(_mm512_castpd_si512(p), _mm512_slli_epi64(m, kMantissaBits)));
  } else {
    const __m512i e = _mm512_slli_epi64(_mm512_add_epi64(m, _mm512_set1_epi64(kExponentOffset)), kMantissaBits);
    return _mm512_mul_pd(_mm512_mul_pd(p, _mm512_castsi512_pd(e)), c(kTwoToMinusHalfRange));
  }
}

// The block sum of the fused form, in the lane order of blockSumBody. The
// lowest x of each 64 terms decides whether every result is normal; both
// ways give the same bits where it is.
MORVEK_AVX512 double blockSumFused(const double* d2, std::size_t n, double negC) {
  static_assert(kLanes == 64);
  const __m512d table[4] = {_mm512_load_pd(kHi), _mm512_load_pd(kHi + 8), _mm512_load_pd(kLo),
                            _mm512_load_pd(kLo + 8)};
  const __m512d scale = c(negC);
  __m512d acc[8];
  for (__m512d& v : acc) v = _mm512_setzero_pd();
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    __m512d x[8];
    __mmask8 low = 0;
#pragma GCC unroll 8
    for (std::size_t v = 0; v < 8; ++v) {
      x[v] = _mm512_mul_pd(_mm512_loadu_pd(d2 + i + 8 * v), scale);
      low |= _mm512_cmp_pd_mask(x[v], c(kNormalFrom), _CMP_LT_OQ);
    }
    if (low == 0) {
#pragma GCC unroll 8
      for (std::size_t v = 0; v < 8; ++v) acc[v] = _mm512_add_pd(acc[v], expFused8<true>(x[v], table));
    } else {
#pragma GCC unroll 8
      for (std::size_t v = 0; v < 8; ++v) acc[v] = _mm512_add_pd(acc[v], expFused8<false>(x[v], table));
    }
  }
  alignas(64) std::array<double, kLanes> lanes;
  for (std::size_t v = 0; v < 8; ++v) _mm512_store_pd(lanes.data() + 8 * v, acc[v]);
  for (std::size_t l = 0; i + l < n; ++l) lanes[l] += expFused(d2[i + l] * negC);
  for (std::size_t width = kLanes / 2; width > 0; width /= 2) {
    for (std::size_t l = 0; l < width; ++l) lanes[l] += lanes[l + width];
  }
  return lanes[0];
}

#pragma GCC diagnostic pop

}  // namespace fused

using BlockSum = double (*)(const double*, std::size_t, double);

// Neumaier's step: total + b, with what the sum loses kept in carry.
void compensatedAdd(double& total, double& carry, double b) {
  const double next = total + b;
  carry += std::abs(total) >= std::abs(b) ? (total - next) + b : (b - next) + total;
  total = next;
}

double compensatedBlocks(std::span<const double> d2, double negC, BlockSum blockSumOf) {
  double total = 0.0;
  double carry = 0.0;
  for (std::size_t start = 0; start < d2.size(); start += kBlock) {
    const std::size_t n = std::min(kBlock, d2.size() - start);
    compensatedAdd(total, carry, blockSumOf(d2.data() + start, n, negC));
  }
  return total + carry;
}

}  // namespace

RowSums::RowSums(std::span<const double> h) {
  totals_.reserve(h.size());
  for (const double b : h) {
    assert(b > 0.0);
    const double negC = -1.0 / (2.0 * b * b);
    // d2 * negC >= kExpCutoff for every d2 below the limit, up to roundings
    // of 1e-16 relative that the margin of the cutoff (1e-5) absorbs. When
    // 2 h^2 underflows only identical points (d2 = 0) count, each exactly 1.
    totals_.push_back({negC, std::isinf(negC) ? 0.0 : detail::kExpCutoff / negC});
    // Identical points (d2 = 0) count for every bandwidth.
    reach_ = std::max(reach_, std::nextafter(totals_.back().limit, INFINITY));
  }
}

void RowSums::add(std::span<const double> d2) {
  // NaN fails this test too, and would break the search.
  assert(std::is_sorted(d2.begin(), d2.end()) && (d2.empty() || d2.front() >= 0.0));
  for (Total& t : totals_) {
    if (std::isinf(t.negC)) {
      const auto zeros = std::upper_bound(d2.begin(), d2.end(), 0.0) - d2.begin();
      compensatedAdd(t.total, t.carry, static_cast<double>(zeros));
      continue;
    }
    const auto end = std::lower_bound(d2.begin(), d2.end(), t.limit);
    if (end == d2.begin()) continue;
    compensatedAdd(t.total, t.carry, detail::sumExp(std::span<const double>(d2.begin(), end), t.negC));
  }
}

namespace detail {

double expNonPositive(double x) { return expNonPositiveInline(x); }

double expFused(double x) { return fused::expFused(x); }

namespace {

BlockSum blockSumOn(VectorUnit unit) {
  switch (unit) {
    case VectorUnit::baseline:
      return blockSumBaseline;
    case VectorUnit::x86_64_v3:
      return blockSumAvx2;
    case VectorUnit::avx512:
      return fused::blockSumFused;
  }
  return blockSumBaseline;
}

}  // namespace

double sumExp(std::span<const double> d2, double negC) {
  // One choice for the process, so that every thread sums alike.
  static const BlockSum blockSum = blockSumOn(vectorUnit());
  return compensatedBlocks(d2, negC, blockSum);
}

double sumExpOn(VectorUnit unit, std::span<const double> d2, double negC) {
  assert(available(unit));
  return compensatedBlocks(d2, negC, blockSumOn(unit));
}

}  // namespace detail

}  // namespace numerics

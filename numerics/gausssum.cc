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
// operations without contraction, so each target clone gives the bits of
// the baseline build.
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

// fp-contract=off: the AVX-512 clone also has FMA, and GCC contracts
// a*b + c into an FMA even in ISO C++ mode when FMA is available (GCC 12
// does so in that clone). A fused step rounds once instead of twice, so that
// clone would differ in the last bits from the others. With contraction off
// every clone computes exactly the operations written here.
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

// The hot loop, on the widest vector unit the machine has.
__attribute__((target_clones("avx512f", "avx2", "default")))
double blockSum(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

// The same body for each unit by name, so that tests can hold every clone
// against the baseline on a machine that dispatches to only one of them.
double blockSumBaseline(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

__attribute__((target("avx2")))
double blockSumAvx2(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

__attribute__((target("avx512f")))
double blockSumAvx512(const double* d2, std::size_t n, double negC) {
  return blockSumBody(d2, n, negC);
}

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

double sumExp(std::span<const double> d2, double negC) {
  return compensatedBlocks(d2, negC, blockSum);
}

bool available(VectorUnit unit) {
  switch (unit) {
    case VectorUnit::kBaseline:
      return true;
    case VectorUnit::kAvx2:
      return __builtin_cpu_supports("avx2");
    case VectorUnit::kAvx512:
      return __builtin_cpu_supports("avx512f");
  }
  return false;
}

double sumExpOn(VectorUnit unit, std::span<const double> d2, double negC) {
  assert(available(unit));
  switch (unit) {
    case VectorUnit::kBaseline:
      return compensatedBlocks(d2, negC, blockSumBaseline);
    case VectorUnit::kAvx2:
      return compensatedBlocks(d2, negC, blockSumAvx2);
    case VectorUnit::kAvx512:
      return compensatedBlocks(d2, negC, blockSumAvx512);
  }
  return 0.0;
}

}  // namespace detail

}  // namespace numerics

// The exp is held against expl (64-bit significand, a reference about 2000
// times finer than double) over a dense grid of its whole domain, the
// subnormal range and the edges, and against std::exp. The sums are held
// against a long double sum of expl over the same pairs, for bandwidths from
// "almost every pair underflows" to "every term is 1". Every vector unit the
// machine has must give the bits of the baseline build, term by term and
// for whole sums, and so must concurrent calls.
#include "numerics/gausssum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

namespace numerics {
namespace {

using detail::VectorUnit;

// Measured maximum over the grids below: 0.95 ulp against the exact value
// (0.96 over 6 million random points), 1 ulp against std::exp. The bounds
// leave room for the rare point a grid misses: the roundings of r, of the
// tail and of 1 + tail add up to a little above 1 ulp at worst.
constexpr long double kMaxUlpVsExact = 1.5L;
constexpr std::int64_t kMaxUlpVsStdExp = 2;

// Terms of a sum carry the rounding of x = d2 * negC (two roundings: negC
// and the product), i.e. a relative error of about |x| * 2^-52, plus 1 ulp
// of the exp; for the data below the largest terms have |x| of a few units,
// and the blocked, compensated sum adds a few ulp more. Measured: at most
// 2e-16 here, 1.6e-15 for a million terms that are all nearly 1.
constexpr double kSumRelTol = 1e-13;

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Error in units of the spacing of doubles at the exact value (the
// subnormal spacing below DBL_MIN).
long double ulpErrorVsExact(double x) {
  const long double exact = std::exp(static_cast<long double>(x));
  const long double ulp = exact < DBL_MIN ? std::ldexp(1.0L, -1074)
                                          : std::ldexp(1.0L, std::ilogb(static_cast<double>(exact)) - 52);
  return std::fabs(static_cast<long double>(detail::expNonPositive(x)) - exact) / ulp;
}

std::int64_t ulpVsStdExp(double x) {
  return std::abs(static_cast<std::int64_t>(bits(detail::expNonPositive(x))) -
                  static_cast<std::int64_t>(bits(std::exp(x))));
}

TEST(ExpNonPositive, WithinBoundOnDenseGridAndEdges) {
  std::vector<double> xs;
  constexpr int kSteps = 1'000'000;
  for (int i = 0; i <= kSteps; ++i) xs.push_back(-745.0 * i / kSteps);
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> small(-1.0, 0.0);
  std::uniform_real_distribution<double> subnormal(-745.13, -708.0);
  for (int i = 0; i < 100'000; ++i) xs.push_back(small(gen));
  for (int i = 0; i < 100'000; ++i) xs.push_back(subnormal(gen));
  // Around the smallest normal result, deep in the subnormals, and at the
  // last argument whose exp is not 0.
  xs.insert(xs.end(), {-1.0, -0.5 * std::numbers::ln2, -std::numbers::ln2, -700.0, -708.3964185322641,
                       -708.4, -708.39641853226, -709.0, -720.0, -744.0, -744.4, -745.13,
                       -745.1332191019411});
  long double worst = 0.0L;
  double worstX = 0.0;
  std::int64_t worstStd = 0;
  for (const double x : xs) {
    if (const long double e = ulpErrorVsExact(x); e > worst) {
      worst = e;
      worstX = x;
    }
    worstStd = std::max(worstStd, ulpVsStdExp(x));
  }
  RecordProperty("max_ulp_vs_exact", std::to_string(static_cast<double>(worst)));
  EXPECT_LE(worst, kMaxUlpVsExact) << "at x = " << worstX;
  EXPECT_LE(worstStd, kMaxUlpVsStdExp);
}

TEST(ExpNonPositive, ExactAtZeroTinyArgumentsAndTheLastSubnormal) {
  EXPECT_EQ(detail::expNonPositive(0.0), 1.0);
  EXPECT_EQ(detail::expNonPositive(-0.0), 1.0);
  for (const double x : {-std::numeric_limits<double>::denorm_min(), -DBL_MIN, -1e-300, -1e-17,
                         -0x1p-54, -0x1p-53, -0x1p-52, -1e-10}) {
    EXPECT_EQ(detail::expNonPositive(x), std::exp(x)) << "x = " << x;
  }
  EXPECT_EQ(detail::expNonPositive(-745.1332191019411), std::numeric_limits<double>::denorm_min());
  // Beyond ln(2^-1075) the exact value rounds to 0, as std::exp gives.
  EXPECT_EQ(detail::expNonPositive(-745.134), 0.0);
  EXPECT_EQ(detail::expNonPositive(detail::kExpCutoff), 0.0);
  EXPECT_EQ(std::exp(detail::kExpCutoff), 0.0);
}

// Every vector unit must compute each term exactly as the scalar exp does:
// one term of interest per sum, in every lane position, the others exactly 0.
TEST(ExpNonPositive, EveryVectorUnitGivesTheScalarBits) {
  for (const VectorUnit unit : {VectorUnit::kBaseline, VectorUnit::kAvx2, VectorUnit::kAvx512}) {
    if (!detail::available(unit)) continue;
    std::vector<double> d2(64, -detail::kExpCutoff);
    for (int i = 0; i <= 4000; ++i) {
      const double x = -745.13 * i / 4000;
      const std::size_t lane = static_cast<std::size_t>(i) % d2.size();
      d2[lane] = -x;
      ASSERT_EQ(bits(detail::sumExpOn(unit, d2, -1.0)), bits(detail::expNonPositive(x)))
          << "unit " << static_cast<int>(unit) << ", x = " << x << ", lane " << lane;
      d2[lane] = -detail::kExpCutoff;
    }
  }
}

std::vector<double> uniformTimes(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 100.0);
  std::vector<double> t(n);
  for (double& v : t) v = u(gen);
  return t;
}

// Pairs of 300 "real" times with 200 others and among themselves.
std::vector<double> samplePairs() {
  const std::vector<double> a = uniformTimes(300, 1);
  std::vector<double> d2;
  appendSquaredDistances(a, uniformTimes(200, 2), d2);
  appendSquaredDistancesWithin(a, d2);
  return d2;
}

TEST(GaussianSums, MatchesLongDoubleSum) {
  // Two clusters far apart: the cross pairs are all beyond the cutoff, the
  // pairs within a cluster are not.
  const std::vector<double> a = {0.0, 0.001, 0.0025, 0.004};
  const std::vector<double> far = {50.0, 50.002};
  std::vector<double> clusters;
  appendSquaredDistances(a, far, clusters);
  appendSquaredDistancesWithin(a, clusters);
  appendSquaredDistancesWithin(far, clusters);
  const std::vector<double> sample = samplePairs();
  ASSERT_EQ(sample.size(), 300u * 200u + 300u * 299u / 2u);
  // From "nearly all pairs underflow" (0.001: only |d| < 0.04 counts) over
  // the search range of times spread over 100 units to "every term is
  // nearly 1".
  for (const auto& [d2, hs] : {std::pair{sample, std::vector{0.001, 0.01, 0.05, 0.3, 1.0, 2.5, 10.0, 50.0, 1e3, 1e8}},
                               std::pair{clusters, std::vector{0.0005, 0.001, 0.01}}}) {
    const GaussianSums sums(d2);
    for (const double h : hs) {
      const long double twoH2 = 2.0L * static_cast<long double>(h) * static_cast<long double>(h);
      long double ref = 0.0L;
      for (const double v : d2) ref += std::exp(-static_cast<long double>(v) / twoH2);
      ASSERT_GT(ref, 0.0L) << "h = " << h;
      const double got = sums.sum(h);
      EXPECT_LE(std::fabs(static_cast<long double>(got) - ref) / ref, kSumRelTol)
          << "n = " << d2.size() << ", h = " << h << ": " << got << " vs " << static_cast<double>(ref);
    }
  }
}

TEST(GaussianSums, ExactCases) {
  const GaussianSums empty({});
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.sum(1.0), 0.0);
  EXPECT_EQ(empty.sum(1e-200), 0.0);

  std::vector<double> d2;
  appendSquaredDistancesWithin(std::vector<double>{5.0, 5.0, 5.0, 5.0}, d2);  // 6 pairs at 0
  appendSquaredDistances(std::vector<double>{5.0}, std::vector<double>{95.0}, d2);  // underflows
  const GaussianSums identical(d2);
  // 1e-200: 2 h^2 underflows to 0, the identical points still count.
  for (const double h : {1e-200, 1e-150, 1e-3, 1.0}) EXPECT_EQ(identical.sum(h), 6.0) << "h = " << h;

  // d2 / (2 h^2) underflows to 0 for every pair: every term is exactly 1.
  const GaussianSums sums(samplePairs());
  EXPECT_EQ(sums.sum(1e300), static_cast<double>(sums.size()));
  EXPECT_EQ(sums.sum(std::numeric_limits<double>::infinity()), static_cast<double>(sums.size()));

  // A single pair is the exp of d2 * (-1 / (2 h^2)), rounded just so.
  for (const double one : {0.0, 0.25, 1.0, 7.5, 1000.0}) {
    for (const double h : {0.1, 1.0, 3.0}) {
      const double x = one * (-1.0 / (2.0 * h * h));
      EXPECT_EQ(GaussianSums({one}).sum(h), x < detail::kExpCutoff ? 0.0 : detail::expNonPositive(x))
          << "d2 = " << one << ", h = " << h;
    }
  }
}

TEST(SquaredDistances, AllPairsAndPairsWithinAppendedInOrder) {
  std::vector<double> out = {99.0};
  appendSquaredDistances(std::vector<double>{1.0, 4.0}, std::vector<double>{0.0, 2.0, 7.0}, out);
  appendSquaredDistances(std::vector<double>{}, std::vector<double>{1.0}, out);
  EXPECT_EQ(out, (std::vector<double>{99.0, 1.0, 1.0, 36.0, 16.0, 4.0, 9.0}));
  out = {99.0};
  appendSquaredDistancesWithin(std::vector<double>{1.0, 4.0, 6.0, 0.5}, out);
  appendSquaredDistancesWithin(std::vector<double>{3.0}, out);
  appendSquaredDistancesWithin(std::vector<double>{}, out);
  EXPECT_EQ(out, (std::vector<double>{99.0, 9.0, 25.0, 0.25, 4.0, 12.25, 30.25}));
}

// Sizes around the lane count and the block length, where the tail and
// block logic change.
TEST(Determinism, EveryVectorUnitGivesTheBaselineBits) {
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> u(0.0, 745.0);
  for (const std::size_t n : {0u, 1u, 7u, 63u, 64u, 65u, 1000u, 2047u, 2048u, 2049u, 10000u}) {
    std::vector<double> d2(n);
    for (double& v : d2) v = u(gen);
    for (const double negC : {-1.0, -0.01, -1e-6}) {
      const double baseline = detail::sumExpOn(VectorUnit::kBaseline, d2, negC);
      EXPECT_EQ(bits(detail::sumExp(d2, negC)), bits(baseline)) << "n = " << n;
      for (const VectorUnit unit : {VectorUnit::kAvx2, VectorUnit::kAvx512}) {
        if (!detail::available(unit)) continue;
        EXPECT_EQ(bits(detail::sumExpOn(unit, d2, negC)), bits(baseline))
            << "unit " << static_cast<int>(unit) << ", n = " << n;
      }
    }
  }
}

// The order of the input, repeated calls and concurrent calls change no bit.
TEST(Determinism, InputOrderRepeatedAndConcurrentCalls) {
  std::vector<double> d2 = samplePairs();
  const GaussianSums sums(d2);
  std::reverse(d2.begin(), d2.end());
  const GaussianSums reversed(d2);
  std::vector<double> hs;
  for (int j = 0; j < 40; ++j) hs.push_back(0.05 + j * (50.0 - 0.05) / 39);
  std::vector<double> once(hs.size());
  for (std::size_t j = 0; j < hs.size(); ++j) once[j] = sums.sum(hs[j]);

  std::vector<double> left(hs.size());
  std::vector<double> right(hs.size());
  std::thread a([&] {
    for (std::size_t j = 0; j < hs.size(); ++j) left[j] = sums.sum(hs[j]);
  });
  std::thread b([&] {
    for (std::size_t j = hs.size(); j-- > 0;) right[j] = sums.sum(hs[j]);
  });
  a.join();
  b.join();
  for (std::size_t j = 0; j < hs.size(); ++j) {
    SCOPED_TRACE("h = " + std::to_string(hs[j]));
    EXPECT_EQ(bits(sums.sum(hs[j])), bits(once[j]));
    EXPECT_EQ(bits(reversed.sum(hs[j])), bits(once[j]));
    EXPECT_EQ(bits(left[j]), bits(once[j]));
    EXPECT_EQ(bits(right[j]), bits(once[j]));
  }
}

}  // namespace
}  // namespace numerics

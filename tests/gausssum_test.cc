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

// Spacing of doubles at v >= 0 (the subnormal spacing below DBL_MIN).
long double ulpAt(double v) {
  if (v < DBL_MIN) return std::ldexp(1.0L, -1074);
  return std::ldexp(1.0L, std::ilogb(v) - 52);
}

long double ulpErrorVsExact(double x) {
  const long double exact = std::exp(static_cast<long double>(x));
  return std::fabs(static_cast<long double>(detail::expNonPositive(x)) - exact) /
         ulpAt(static_cast<double>(exact));
}

std::int64_t ulpDistance(double a, double b) {
  return std::abs(static_cast<std::int64_t>(bits(a)) - static_cast<std::int64_t>(bits(b)));
}

std::vector<double> denseGrid() {
  std::vector<double> xs;
  constexpr int kSteps = 1'000'000;
  for (int i = 0; i <= kSteps; ++i) xs.push_back(-745.0 * i / kSteps);
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> small(-1.0, 0.0);
  std::uniform_real_distribution<double> subnormal(-745.13, -708.0);
  for (int i = 0; i < 100'000; ++i) xs.push_back(small(gen));
  for (int i = 0; i < 100'000; ++i) xs.push_back(subnormal(gen));
  return xs;
}

TEST(ExpNonPositive, WithinBoundOfExactOnDenseGrid) {
  long double worst = 0.0L;
  double worstX = 0.0;
  for (const double x : denseGrid()) {
    const long double e = ulpErrorVsExact(x);
    if (e > worst) {
      worst = e;
      worstX = x;
    }
  }
  RecordProperty("max_ulp_vs_exact", std::to_string(static_cast<double>(worst)));
  EXPECT_LE(worst, kMaxUlpVsExact) << "at x = " << worstX;
}

TEST(ExpNonPositive, CloseToStdExpOnDenseGrid) {
  std::int64_t worst = 0;
  for (const double x : denseGrid()) {
    worst = std::max(worst, ulpDistance(detail::expNonPositive(x), std::exp(x)));
  }
  EXPECT_LE(worst, kMaxUlpVsStdExp);
}

TEST(ExpNonPositive, ExactAtZeroAndTinyArguments) {
  EXPECT_EQ(detail::expNonPositive(0.0), 1.0);
  EXPECT_EQ(detail::expNonPositive(-0.0), 1.0);
  for (const double x : {-std::numeric_limits<double>::denorm_min(), -DBL_MIN, -1e-300, -1e-17,
                         -0x1p-54, -0x1p-53, -0x1p-52, -1e-10}) {
    EXPECT_EQ(detail::expNonPositive(x), std::exp(x)) << "x = " << x;
  }
}

TEST(ExpNonPositive, Edges) {
  // Around the smallest normal result, deep in the subnormals, and at the
  // last argument whose exp is not 0.
  for (const double x : {-1.0, -0.5 * std::numbers::ln2, -std::numbers::ln2, -700.0, -708.3964185322641, -708.4,
                         -708.39641853226, -709.0, -720.0, -744.0, -744.4, -745.0, -745.13,
                         -745.1332191019411}) {
    EXPECT_LE(ulpErrorVsExact(x), kMaxUlpVsExact) << "x = " << x;
    EXPECT_LE(ulpDistance(detail::expNonPositive(x), std::exp(x)), kMaxUlpVsStdExp) << "x = " << x;
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
  const std::vector<double> xs = [] {
    std::vector<double> v;
    for (int i = 0; i <= 4000; ++i) v.push_back(-745.13 * i / 4000);
    return v;
  }();
  for (const VectorUnit unit : {VectorUnit::kBaseline, VectorUnit::kAvx2, VectorUnit::kAvx512}) {
    if (!detail::available(unit)) continue;
    std::vector<double> d2(64, -detail::kExpCutoff);
    for (std::size_t i = 0; i < xs.size(); ++i) {
      const std::size_t lane = i % d2.size();
      d2[lane] = -xs[i];
      ASSERT_EQ(bits(detail::sumExpOn(unit, d2, -1.0)), bits(detail::expNonPositive(xs[i])))
          << "unit " << static_cast<int>(unit) << ", x = " << xs[i] << ", lane " << lane;
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
  const std::vector<double> b = uniformTimes(200, 2);
  std::vector<double> d2;
  appendSquaredDistances(a, b, d2);
  appendSquaredDistancesWithin(a, d2);
  return d2;
}

long double referenceSum(const std::vector<double>& d2, double h) {
  const long double twoH2 = 2.0L * static_cast<long double>(h) * static_cast<long double>(h);
  long double s = 0.0L;
  for (const double v : d2) s += std::exp(-static_cast<long double>(v) / twoH2);
  return s;
}

TEST(GaussianSums, MatchesLongDoubleSum) {
  const std::vector<double> d2 = samplePairs();
  const GaussianSums sums(d2);
  ASSERT_EQ(sums.size(), 300u * 200u + 300u * 299u / 2u);
  // From "nearly all pairs underflow" (0.001: only |d| < 0.04 counts) over
  // the search range of times spread over 100 units to "every term is
  // nearly 1".
  for (const double h : {0.001, 0.01, 0.05, 0.3, 1.0, 2.5, 10.0, 50.0, 1e3, 1e8}) {
    const long double ref = referenceSum(d2, h);
    ASSERT_GT(ref, 0.0L) << "h = " << h;
    const double got = sums.sum(h);
    EXPECT_LE(std::fabs(static_cast<long double>(got) - ref) / ref, kSumRelTol)
        << "h = " << h << ": " << got << " vs " << static_cast<double>(ref);
  }
}

TEST(GaussianSums, MostPairsUnderflow) {
  // Two clusters far apart: the cross pairs are all beyond the cutoff, the
  // pairs within a cluster are not.
  std::vector<double> a = {0.0, 0.001, 0.0025, 0.004};
  const std::vector<double> far = {50.0, 50.002};
  std::vector<double> d2;
  appendSquaredDistances(a, far, d2);
  appendSquaredDistancesWithin(a, d2);
  appendSquaredDistancesWithin(far, d2);
  const GaussianSums sums(d2);
  for (const double h : {0.0005, 0.001, 0.01}) {
    const long double ref = referenceSum(d2, h);
    EXPECT_LE(std::fabs(static_cast<long double>(sums.sum(h)) - ref) / ref, kSumRelTol)
        << "h = " << h;
  }
}

TEST(GaussianSums, EmptySetSumsToZero) {
  const GaussianSums sums({});
  EXPECT_EQ(sums.size(), 0u);
  EXPECT_EQ(sums.sum(1.0), 0.0);
  EXPECT_EQ(sums.sum(1e-200), 0.0);
}

TEST(GaussianSums, IdenticalPointsContributeExactlyOne) {
  std::vector<double> d2;
  appendSquaredDistancesWithin(std::vector<double>{5.0, 5.0, 5.0, 5.0}, d2);  // 6 pairs at 0
  appendSquaredDistances(std::vector<double>{5.0}, std::vector<double>{95.0}, d2);  // underflows
  const GaussianSums sums(d2);
  // 1e-200: 2 h^2 underflows to 0, the identical points still count.
  for (const double h : {1e-200, 1e-150, 1e-3, 1.0}) EXPECT_EQ(sums.sum(h), 6.0) << "h = " << h;
}

TEST(GaussianSums, HugeBandwidthGivesOnePerPair) {
  const GaussianSums sums(samplePairs());
  const double n = static_cast<double>(sums.size());
  // d2 / (2 h^2) underflows to 0 for every pair: every term is exactly 1.
  EXPECT_EQ(sums.sum(1e300), n);
  EXPECT_EQ(sums.sum(std::numeric_limits<double>::infinity()), n);
}

TEST(GaussianSums, SinglePairIsTheExp) {
  for (const double d2 : {0.0, 0.25, 1.0, 7.5, 1000.0}) {
    const GaussianSums sums({d2});
    for (const double h : {0.1, 1.0, 3.0}) {
      const double x = d2 * (-1.0 / (2.0 * h * h));
      EXPECT_EQ(sums.sum(h), x < detail::kExpCutoff ? 0.0 : detail::expNonPositive(x))
          << "d2 = " << d2 << ", h = " << h;
    }
  }
}

TEST(GaussianSums, InputOrderDoesNotMatter) {
  std::vector<double> d2 = samplePairs();
  const GaussianSums first(d2);
  std::reverse(d2.begin(), d2.end());
  const GaussianSums second(d2);
  for (const double h : {0.05, 1.0, 50.0}) EXPECT_EQ(bits(first.sum(h)), bits(second.sum(h)));
}

TEST(SquaredDistances, AllPairsAppendedInOrder) {
  std::vector<double> out = {99.0};
  appendSquaredDistances(std::vector<double>{1.0, 4.0}, std::vector<double>{0.0, 2.0, 7.0}, out);
  EXPECT_EQ(out, (std::vector<double>{99.0, 1.0, 1.0, 36.0, 16.0, 4.0, 9.0}));
  appendSquaredDistances(std::vector<double>{}, std::vector<double>{1.0}, out);
  EXPECT_EQ(out.size(), 7u);
}

TEST(SquaredDistances, PairsWithinAppendedOnce) {
  std::vector<double> out = {99.0};
  appendSquaredDistancesWithin(std::vector<double>{1.0, 4.0, 6.0, 0.5}, out);
  EXPECT_EQ(out, (std::vector<double>{99.0, 9.0, 25.0, 0.25, 4.0, 12.25, 30.25}));
  appendSquaredDistancesWithin(std::vector<double>{3.0}, out);
  appendSquaredDistancesWithin(std::vector<double>{}, out);
  EXPECT_EQ(out.size(), 7u);
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

TEST(Determinism, RepeatedAndConcurrentCallsGiveTheSameBits) {
  const GaussianSums sums(samplePairs());
  std::vector<double> hs;
  for (int j = 0; j < 40; ++j) hs.push_back(0.05 + j * (50.0 - 0.05) / 39);
  std::vector<double> once(hs.size());
  for (std::size_t j = 0; j < hs.size(); ++j) once[j] = sums.sum(hs[j]);
  for (std::size_t j = 0; j < hs.size(); ++j) EXPECT_EQ(bits(sums.sum(hs[j])), bits(once[j]));

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
    EXPECT_EQ(bits(left[j]), bits(once[j])) << "h = " << hs[j];
    EXPECT_EQ(bits(right[j]), bits(once[j])) << "h = " << hs[j];
  }
}

}  // namespace
}  // namespace numerics

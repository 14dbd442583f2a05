// The exp and the sums against long double references; every vector unit
// the machine has must give the bits of the baseline build.
#include "numerics/gausssum.h"

#include <gtest/gtest.h>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

namespace numerics {
namespace {

long long bits(double v) { return std::bit_cast<long long>(v); }

std::vector<double> uniform(std::size_t n, double from, double to, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::vector<double> v(n);
  for (double& x : v) x = std::uniform_real_distribution<double>(from, to)(gen);
  return v;
}

// Measured at most 0.95 ulp (subnormals in units of their spacing), at worst
// a little above 1. Exact at 0, for tiny arguments and at the smallest normal
// and subnormal results; 0 beyond the last.
TEST(ExpNonPositive, WithinOneAndAHalfUlpOfExplAndExactAtTheEdges) {
  long double worst = 0.0L;
  for (const double x : uniform(1'000'000, -745.13, 0.0, 11)) {
    const long double exact = std::exp(static_cast<long double>(x));
    const int exponent = exact < DBL_MIN ? -1074 : std::ilogb(static_cast<double>(exact)) - 52;
    worst = std::max(worst, std::fabs(detail::expNonPositive(x) - exact) / std::ldexp(1.0L, exponent));
  }
  EXPECT_LE(worst, 1.5L);
  for (const double x : {0.0, -0.0, -std::numeric_limits<double>::denorm_min(), -1e-300, -1e-17, -0x1p-54, -0x1p-53,
                         -0x1p-52, -1e-10, -708.3964185322641, -745.1332191019411, -745.134}) {
    EXPECT_EQ(detail::expNonPositive(x), std::exp(x)) << "x = " << x;
  }
}

// Each term carries the rounding of d2 * negC (about |x| * 2^-52) and 1 ulp
// of the exp; the sum adds a few ulp more. Measured: at most 2e-16. From
// h = 0.001, nearly every pair beyond the cutoff, to "every term is 1".
TEST(GaussianSums, MatchLongDoubleSumsAndExactCases) {
  const std::vector<double> a = uniform(300, 0.0, 100.0, 1);
  std::vector<double> d2;
  appendSquaredDistances(a, uniform(200, 0.0, 100.0, 2), d2);
  appendSquaredDistancesWithin(a, d2);
  for (const double h : {0.001, 0.01, 0.05, 0.3, 1.0, 2.5, 10.0, 50.0, 1e3, 1e8}) {
    long double want = 0.0L;
    for (const double v : d2) want += std::exp(-static_cast<long double>(v) / (2.0L * h * h));
    EXPECT_LE(std::fabs(GaussianSums(d2).sum(h) - want) / want, 1e-13) << "h = " << h;
  }
  // d2 / (2 h^2) underflows to 0 for every pair: every term is exactly 1.
  EXPECT_EQ(GaussianSums(d2).sum(1e300), static_cast<double>(d2.size()));
  EXPECT_EQ(GaussianSums(d2).sum(std::numeric_limits<double>::infinity()), static_cast<double>(d2.size()));
  // 2 h^2 underflows to 0 at 1e-200; the 6 pairs of identical points still count.
  d2 = {8100.0};
  appendSquaredDistancesWithin(std::vector<double>{5.0, 5.0, 5.0, 5.0}, d2);
  for (const double h : {1e-200, 1e-150, 1e-3, 1.0}) EXPECT_EQ(GaussianSums(d2).sum(h), 6.0) << "h = " << h;
}

// Sizes around the lane count and the block length; the input order too.
TEST(Determinism, EveryVectorUnitAndInputOrderGiveTheBaselineBits) {
  using detail::VectorUnit;
  for (const unsigned n : {0, 1, 7, 63, 64, 65, 1000, 2047, 2048, 2049, 10000}) {
    const std::vector<double> d2 = uniform(n, 0.0, 745.0, n), reversed(d2.rbegin(), d2.rend());
    for (const double negC : {-1.0, -0.01, -1e-6}) {
      const double baseline = detail::sumExpOn(VectorUnit::kBaseline, d2, negC);
      EXPECT_EQ(bits(detail::sumExp(d2, negC)), bits(baseline)) << "n = " << n;
      for (const VectorUnit unit : {VectorUnit::kAvx2, VectorUnit::kAvx512}) {
        if (!detail::available(unit)) continue;
        EXPECT_EQ(bits(detail::sumExpOn(unit, d2, negC)), bits(baseline)) << "unit " << int(unit) << ", n = " << n;
      }
    }
    EXPECT_EQ(bits(GaussianSums(d2).sum(3.0)), bits(GaussianSums(reversed).sum(3.0))) << "n = " << n;
  }
}

}  // namespace
}  // namespace numerics

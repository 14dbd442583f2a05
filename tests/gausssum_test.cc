// The exp and the sums against long double references; every vector unit
// the machine has must give the bits of the baseline build.
#include "numerics/gausssum.h"

#include <gtest/gtest.h>
#include <algorithm>
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

// The pairs of a with b (or of a with its later points), as rows of
// ascending squared distances, the form the sums take them in.
std::vector<std::vector<double>> rows(const std::vector<double>& a, const std::vector<double>* b = nullptr) {
  std::vector<std::vector<double>> out;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::vector<double>& row = out.emplace_back();
    for (std::size_t k = b ? 0 : i + 1; k < (b ? b->size() : a.size()); ++k) {
      const double d = a[i] - (b ? (*b)[k] : a[k]);
      row.push_back(d * d);
    }
    std::sort(row.begin(), row.end());
  }
  return out;
}

// Each term carries the rounding of d2 * negC (about |x| * 2^-52) and 1 ulp
// of the exp; the sums add a few ulp more. Measured: at most 2e-16. From
// h = 0.001, nearly every pair beyond the cutoff, to "every term is 1"; all
// bandwidths at once, as the cross-validation asks for them.
TEST(RowSums, MatchLongDoubleSumsAndExactCases) {
  const std::vector<double> a = uniform(300, 0.0, 100.0, 1), b = uniform(200, 0.0, 100.0, 2);
  auto pairs = rows(a, &b), within = rows(a);
  pairs.insert(pairs.end(), within.begin(), within.end());
  const std::vector<double> h{0.001, 0.01, 0.05, 0.3, 1.0, 2.5, 10.0, 50.0, 1e3, 1e8, 1e300, INFINITY};
  RowSums sums(h);
  std::size_t count = 0;
  for (const auto& row : pairs) sums.add(row), count += row.size();
  for (std::size_t j = 0; j + 2 < h.size(); ++j) {
    long double want = 0.0L;
    for (const auto& row : pairs) {
      for (const double v : row) want += std::exp(-static_cast<long double>(v) / (2.0L * h[j] * h[j]));
    }
    EXPECT_LE(std::fabs(sums.sum(j) - want) / want, 1e-13) << "h = " << h[j];
  }
  // d2 / (2 h^2) underflows to 0 for every pair: every term is exactly 1.
  EXPECT_EQ(sums.sum(h.size() - 2), static_cast<double>(count));
  EXPECT_EQ(sums.sum(h.size() - 1), static_cast<double>(count));
  // 2 h^2 underflows to 0 at 1e-200; the 6 pairs of identical points still
  // count, and a row may end before the distance where every term is 0.
  const std::vector<double> tiny{1e-200, 1e-150, 1e-3, 1.0};
  RowSums identical(tiny);
  for (const auto& row : rows({5.0, 5.0, 5.0, 5.0})) identical.add(row);
  identical.add(std::vector<double>{8100.0});
  for (std::size_t j = 0; j < tiny.size(); ++j) EXPECT_EQ(identical.sum(j), 6.0) << "h = " << tiny[j];
  EXPECT_GT(identical.reach(), 0.0);
  EXPECT_LE(identical.reach(), 8100.0);
}

// Sizes around the lane count and the block length.
TEST(Determinism, EveryVectorUnitAndInputOrderGiveTheBaselineBits) {
  using detail::VectorUnit;
  for (const unsigned n : {0, 1, 7, 63, 64, 65, 1000, 2047, 2048, 2049, 10000}) {
    const std::vector<double> d2 = uniform(n, 0.0, 745.0, n);
    for (const double negC : {-1.0, -0.01, -1e-6}) {
      const double baseline = detail::sumExpOn(VectorUnit::kBaseline, d2, negC);
      EXPECT_EQ(bits(detail::sumExp(d2, negC)), bits(baseline)) << "n = " << n;
      for (const VectorUnit unit : {VectorUnit::kAvx2, VectorUnit::kAvx512}) {
        if (!detail::available(unit)) continue;
        EXPECT_EQ(bits(detail::sumExpOn(unit, d2, negC)), bits(baseline)) << "unit " << int(unit) << ", n = " << n;
      }
    }
  }
}

}  // namespace
}  // namespace numerics

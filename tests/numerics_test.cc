// The numerical toolkit: the Gaussian sums against long double references
// and bit for bit on every vector unit; the fixed-seed generator; the
// transforms against a naive DFT and through the round trip, with their
// output bits pinned, so that any change in the order of the float
// operations shows; the sorts, whose tie order callers that draw or smooth
// see.
#include <gtest/gtest.h>
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <numeric>
#include <random>

#include "morvek/fatal.h"
#include "numerics/gausssum.h"
#include "numerics/nrerror.h"
#include "numerics/ran.h"
#include "numerics/realft.h"
#include "numerics/sort.h"
#include "tests/test_support.h"

namespace numerics {
namespace {

std::vector<double> uniform(std::size_t n, double from, double to, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::vector<double> v(n);
  for (double& x : v) x = std::uniform_real_distribution<double>(from, to)(gen);
  return v;
}

// FNV-1a over the bytes of the values.
template <class T>
std::string hash(const std::vector<T>& v) {
  std::uint64_t h = 0xcbf29ce484222325;
  const auto* p = reinterpret_cast<const unsigned char*>(v.data());
  for (std::size_t i = 0; i < v.size() * sizeof(T); ++i) h = (h ^ p[i]) * 0x100000001b3;
  return std::to_string(h);
}

// The toolkit's stop line and closing line, or "no stop".
std::string stop(const std::function<void()>& call) try {
  call();
  return "no stop";
} catch (const NrError& e) {
  return e.what() + (" / " + std::string(morvek::closingLine(e.kind())));
}

// The two forms of exp the sums use. Measured at most 0.95 ulp for the
// rational one, and for the fused one 0.75 (0.81 among subnormals, in units
// of their spacing, where p is rounded twice). Exact at 0, for tiny
// arguments and at the smallest normal and subnormal results; 0 beyond the
// last.
TEST(ExpNonPositive, BothFormsWithinTheirUlpOfExplAndExactAtTheEdges) {
  const std::vector<double> xs = uniform(1'000'000, -745.13, 0.0, 11);
  for (const auto& [form, bound] : {std::pair{&detail::expNonPositive, 1.5L}, std::pair{&detail::expFused, 1.0L}}) {
    long double worst = 0.0L;
    for (const double x : xs) {
      const long double exact = std::exp(static_cast<long double>(x));
      const int exponent = exact < DBL_MIN ? -1074 : std::ilogb(static_cast<double>(exact)) - 52;
      worst = std::max(worst, std::fabs(form(x) - exact) / std::ldexp(1.0L, exponent));
    }
    EXPECT_LE(worst, bound);
    for (const double x : {0.0, -0.0, -std::numeric_limits<double>::denorm_min(), -1e-300, -1e-17, -0x1p-54,
                           -0x1p-53, -0x1p-52, -1e-10, -708.3964185322641, -745.1332191019411, -745.134}) {
      EXPECT_EQ(form(x), std::exp(x)) << "x = " << x << ", bound " << static_cast<double>(bound);
    }
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
// of the exp; compensated, the sums stay within 1e-16 (without, 1e-15). From
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
    EXPECT_LE(std::fabs(sums.sum(j) - want) / want, 4e-16) << "h = " << h[j];
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

// Without AVX-512 every unit gives the bits of the baseline, at sizes
// around the lane count and the block length. With it, each of the 64 lanes
// gives the bits of expFused, on the normal and the subnormal way alike (64
// equal terms sum exactly), and whole sums stay near the baseline's.
TEST(RowSums, EachVectorUnitGivesTheBitsOfItsForm) {
  const auto bits = [](double v) { return std::bit_cast<long long>(v); };
  const bool wide = available(VectorUnit::avx512);
  for (const unsigned n : {0, 1, 7, 63, 64, 65, 1000, 2047, 2048, 2049, 10000}) {
    const std::vector<double> d2 = uniform(n, 0.0, 745.0, n);
    for (const double negC : {-1.0, -0.01, -1e-6}) {
      const double baseline = detail::sumExpOn(VectorUnit::baseline, d2, negC);
      if (!wide) {
        EXPECT_EQ(bits(detail::sumExp(d2, negC)), bits(baseline)) << "n = " << n;
      }
      if (available(VectorUnit::x86_64_v3)) {
        EXPECT_EQ(bits(detail::sumExpOn(VectorUnit::x86_64_v3, d2, negC)), bits(baseline)) << "n = " << n;
      }
      if (wide) {
        const double fused = detail::sumExpOn(VectorUnit::avx512, d2, negC);
        EXPECT_EQ(bits(detail::sumExp(d2, negC)), bits(fused)) << "n = " << n;
        EXPECT_LE(std::fabs(fused - baseline), 1e-15 * baseline) << "n = " << n;
      }
    }
  }
  if (!wide) return;
  for (const double x : uniform(20'000, -745.13, 0.0, 12)) {
    const std::vector<double> same(64, -x);
    EXPECT_EQ(bits(detail::sumExpOn(VectorUnit::avx512, same, -1.0)), bits(64.0 * detail::expFused(x)))
        << "x = " << x;
  }
}

// Worked out outside this code: seeding with 7 gives iy = (888889999 ^ 7) | 1
// and ix = 777755555 ^ 7, then one xorshift and one congruential step per
// number; the millionth number after those pins the whole stream.
TEST(Ran, FixedSeedStreamReseedingAndRange) {
  RanState state, a, b;
  std::int32_t idum = -7, minus = -1, plus = 1;
  for (const double want : {0.22496709050806737, 0.6614288568203809, 0.8785065433714333, 0.1925416087520647}) {
    EXPECT_EQ(ran(state, idum), want);
  }
  EXPECT_EQ(std::pair(idum, std::bit_cast<std::uint32_t>(state.am)), std::pair(8, 0x2FFFFFFFu));
  double u = 0;
  for (int i = 0; i < 1000000; ++i) ASSERT_TRUE((u = ran(state, idum)) > 0.0 && u < 1.0) << u;  // never 0 or 1
  EXPECT_EQ(u, 0.7129717039594503);
  // Only the magnitude of the seed counts; a negative argument seeds again.
  const double first = ran(a, minus);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(i == 0 ? first : ran(a, minus), ran(b, plus)) << i;
  EXPECT_EQ(ran(a, minus = -1), first);
}

// Inputs uniform in [-1, 1) from the raw generator, whose output is fixed.
TEST(Realft, NaiveDftRoundTripExactBitsAndBadLengths) {
  using Cd = std::complex<double>;
  std::mt19937 gen(1);
  std::string golden;
  for (std::size_t n = 2; n <= 16384; n *= 2) {
    std::vector<double> x(n);
    for (double& v : x) v = 0x1p-31 * gen() - 1.0;
    std::vector<double> f = x, i = x;
    realft_sp(f, kForward);
    realft_sp(i, kInverse);
    golden += "N = " + std::to_string(n) + ": forward " + hash(f) + ", inverse " + hash(i) + "\n";
    // Inputs rounded to float, an epsilon per butterfly level: measured errors
    // stay below a sixth of this bound. Packed: F(0), F(N/2), Re and Im of F(j),
    // F(j) = sum x(k) exp(+2 pi i j k / N); every j up to N = 2048, then a spread.
    const double bound = 0x1p-23 * std::max(1.0, std::log2(static_cast<double>(n)));
    double err = 0.0, size = 0.0;
    for (std::size_t j = 0; j <= n / 2; j = j == n / 2 ? j + 1 : std::min(j + (n <= 2048 ? 1 : 37), n / 2)) {
      Cd want = 0.0;
      for (std::size_t k = 0; k < n; ++k) want += x[k] * std::polar(1.0, std::numbers::pi * (2 * j * k % (2 * n)) / n);
      err = std::max(err, std::abs((j == 0 ? f[0] : j == n / 2 ? f[1] : Cd(f[2 * j], f[2 * j + 1])) - want));
      size = std::max(size, std::abs(want));
    }
    EXPECT_LE(err / size, bound) << "N = " << n;
    // The inverse of the spectrum is N/2 times the data (all below 1).
    realft_sp(f, kInverse);
    err = 0.0;
    for (std::size_t k = 0; k < n; ++k) err = std::max(err, std::abs(f[k] / (n / 2) - x[k]));
    EXPECT_LE(err, 2 * bound) << "N = " << n;
  }
  // Lengths that are no power of 2, or 1, stop with their tag.
  for (std::size_t n : {0, 1, 6}) {
    std::vector<double> d(n);
    golden += "N = " + std::to_string(n) + ": " + stop([&] { realft_sp(d, kForward); }) + "\n";
  }
  morvek::testing::expectGolden("realft_bits.txt", golden);
}

// Few distinct values, so that almost every element has equals.
std::vector<double> tied(std::size_t n, unsigned seed, unsigned distinct = 7) {
  std::mt19937 gen(seed);
  std::vector<double> v(n);
  for (double& x : v) x = 0.25 * (gen() % distinct);
  return v;
}

// Both sorts select values, so every comparison is exact. Values against
// std::sort, positions against std::stable_sort where insertion alone runs
// (up to 15 elements, which keeps ties in order).
TEST(Sort, ValuesAndPositionsAgreeWithTheStandardSortsAndTiesKeepTheirOrder) {
  std::vector<double> up = tied(10000, 4, 50);
  std::sort(up.begin(), up.end());
  std::vector<std::vector<double>> cases = {tied(100, 1), tied(10000, 2), tied(10000, 3, 1000000), up,
                                            {up.rbegin(), up.rend()}, std::vector<double>(10000, 3.5), {2, 1}};
  for (unsigned n = 0; n <= 17; ++n) cases.push_back(tied(n, n, 3));
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const std::vector<double>& values = cases[c];
    std::vector<double> got = values, want = values;
    sort(got);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << "case " << c;
    std::vector<int> index(values.size(), -1), stable(values.size());
    indexx_sp(values, index);
    std::iota(stable.begin(), stable.end(), 0);
    std::stable_sort(stable.begin(), stable.end(), [&](int a, int b) { return values[a] < values[b]; });
    EXPECT_TRUE(values.size() > 15 || index == stable) << "case " << c;
    for (std::size_t k = 0; k < index.size(); ++k) got[k] = values.at(static_cast<std::size_t>(index[k]));
    EXPECT_EQ(got, want) << "case " << c;
    std::sort(index.begin(), index.end()), std::sort(stable.begin(), stable.end());
    EXPECT_EQ(index, stable) << "case " << c << ": not a permutation";
  }
  // Hand-traced: position 7 (a 2) is the pivot, the ends are swapped, the scans
  // leave it in slot 10; slots 11..15, then 0..9 are finished by insertion.
  const std::vector<double> arr = {2, 1, 2, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 1, 2, 1};
  std::vector<int> index(arr.size());
  indexx_sp(arr, index);
  EXPECT_EQ(index, (std::vector<int>{15, 10, 3, 4, 13, 12, 1, 11, 9, 14, 7, 8, 6, 5, 2, 0}));
  index.resize(10000);  // longer: the whole order as a hash
  indexx_sp(tied(10000, 4), index);
  EXPECT_EQ(hash(index), "8358300911333247737");
}

// The stack capacity counts integers: one pending subarray takes two, and a
// push is refused only beyond it. 16 elements need one push.
TEST(Sort, LengthMismatchAndStackOverflowAreFatal) {
  std::vector<int> index(4);
  EXPECT_EQ(stop([&] { indexx_sp(std::vector<double>(5, 1.0), index); }),
            "nrerror: an assert_eq failed with this tag: indexx_sp / program terminated by assert_eq2");
  std::vector<double> v = tied(16, 8);
  index.resize(16);
  EXPECT_EQ(stop([&] { detail::sort(v, 2), detail::indexx_sp(tied(16, 8), index, 2); }), "no stop");
  const std::string full = " NSTACK too small / program terminated by nrerror";
  EXPECT_EQ(stop([&] { detail::sort(v = tied(16, 8), 1); }), "nrerror: sort:" + full);
  EXPECT_EQ(stop([&] { detail::sort(v = tied(10000, 7), 2); }), "nrerror: sort:" + full);
  index.resize(10000);
  EXPECT_EQ(stop([&] { detail::indexx_sp(tied(10000, 7), index, 2); }), "nrerror: indexx:" + full);
}

}  // namespace
}  // namespace numerics

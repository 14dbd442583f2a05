// The transforms are checked three ways: against a naive DFT in double
// (sign convention, packing, scaling; tolerances in units of the float
// epsilon), through identities (round trip, constant sequence, single
// frequencies), and bit for bit against a plain step-by-step version of the
// algorithm written below without tables, caches or split arrays, so that
// the optimised code provably does the same arithmetic in the same order.
#include "numerics/realft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "numerics/nrerror.h"

namespace numerics {
namespace {

using Cf = std::complex<float>;
using Cd = std::complex<double>;

constexpr double kEps = 1.1920928955078125e-07;  // float epsilon, 2^-23
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Error bound for max|error| / max|value| of a float transform of length n:
// the inputs are rounded once (eps/2) and each of the log2(n) butterfly
// levels adds a rounding of at most about eps. Measured errors on random
// data are below a sixth of this (2.1e-7 against 1.3e-6 at N = 2048).
double transform_bound(std::size_t n) { return kEps * std::max(1.0, std::log2(static_cast<double>(n))); }

std::vector<double> random_reals(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = u(gen);
  return v;
}

std::vector<Cf> random_complex(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<Cf> v(n);
  for (Cf& z : v) z = {u(gen), u(gen)};
  return v;
}

// exp(sign*2*pi*i*j*k/n) for j*k mod n, so that the naive sums do not
// suffer from large angles.
std::vector<Cd> unit_roots(std::size_t n, int sign) {
  std::vector<Cd> r(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double a = sign * kTwoPi * static_cast<double>(k) / static_cast<double>(n);
    r[k] = {std::cos(a), std::sin(a)};
  }
  return r;
}

// F(j) = sum x(k) exp(+2*pi*i*j*k/N) for the listed j.
std::vector<Cd> naive_real_dft(const std::vector<double>& x, const std::vector<std::size_t>& freqs) {
  const std::size_t n = x.size();
  const std::vector<Cd> roots = unit_roots(n, +1);
  std::vector<Cd> f;
  for (std::size_t j : freqs) {
    Cd sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) sum += x[k] * roots[(j * k) % n];
    f.push_back(sum);
  }
  return f;
}

std::vector<Cd> naive_complex_dft(const std::vector<Cf>& x, int sign) {
  const std::size_t n = x.size();
  const std::vector<Cd> roots = unit_roots(n, sign);
  std::vector<Cd> f(n);
  for (std::size_t j = 0; j < n; ++j) {
    Cd sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) sum += Cd(x[k]) * roots[(j * k) % n];
    f[j] = sum;
  }
  return f;
}

// F(j) read from the packed spectrum, j = 0 .. N/2.
Cd packed(const std::vector<double>& d, std::size_t j) {
  const std::size_t n = d.size();
  if (j == 0) return d[0];
  if (j == n / 2) return d[1];
  return {d[2 * j], d[2 * j + 1]};
}

double max_abs(const std::vector<Cd>& v) {
  double m = 0.0;
  for (const Cd& z : v) m = std::max(m, std::abs(z));
  return m;
}

bool bitwise_equal(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// ---- The algorithm step by step, as a reference --------------------------
// 1-based Fortran-style loops on interleaved complex numbers; twiddles are
// recomputed on every call.

Cf mulf(Cf a, Cf b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
Cd muld(Cd a, Cd b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
Cd step_of(double theta) {
  const double s = std::sin(0.5 * theta);
  return {-2.0 * (s * s), std::sin(theta)};
}

// d(i, j), 1-based, column-major with `rows` rows.
struct Matrix {
  std::vector<Cf>& v;
  std::size_t rows;
  Cf& operator()(std::size_t i, std::size_t j) { return v[(i - 1) + rows * (j - 1)]; }
};

void ref_fourrow(std::vector<Cf>& v, std::size_t rows, int isign) {
  const std::size_t n = v.size() / rows;
  Matrix d{v, rows};
  const std::size_t nh = n / 2;
  std::size_t j = nh;
  for (std::size_t i = 1; i + 2 <= n; ++i) {
    if (j > i) {
      for (std::size_t r = 1; r <= rows; ++r) std::swap(d(r, j + 1), d(r, i + 1));
    }
    std::size_t m = nh;
    while (m >= 2 && j >= m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  for (std::size_t mmax = 1; mmax < n; mmax *= 2) {
    const std::size_t istep = 2 * mmax;
    const Cd wp = step_of(std::numbers::pi / static_cast<double>(isign * static_cast<long>(mmax)));
    Cd w = 1.0;
    for (std::size_t m = 1; m <= mmax; ++m) {
      const Cf ws(w);
      for (std::size_t i = m; i <= n; i += istep) {
        const std::size_t jj = i + mmax;
        for (std::size_t r = 1; r <= rows; ++r) {
          const Cf temp = mulf(ws, d(r, jj));
          d(r, jj) = d(r, i) - temp;
          d(r, i) = d(r, i) + temp;
        }
      }
      w = muld(w, wp) + w;
    }
  }
}

void ref_four1(std::vector<Cf>& data, int isign) {
  const std::size_t n = data.size();
  const std::size_t m1 = std::size_t{1} << static_cast<int>(std::ceil(0.5f * std::log(static_cast<float>(n)) / 0.693147f));
  const std::size_t m2 = n / m1;
  std::vector<Cf> datv = data;
  Matrix dat{datv, m1};
  ref_fourrow(datv, m1, isign);
  std::vector<Cd> wp(m1), w(m1, 1.0);
  for (std::size_t r = 1; r <= m1; ++r) {
    wp[r - 1] = step_of(static_cast<double>(isign * static_cast<long>(r - 1)) * kTwoPi / static_cast<double>(n));
  }
  for (std::size_t j = 2; j <= m2; ++j) {
    for (std::size_t r = 1; r <= m1; ++r) {
      w[r - 1] = muld(w[r - 1], wp[r - 1]) + w[r - 1];
      dat(r, j) = mulf(dat(r, j), Cf(w[r - 1]));
    }
  }
  std::vector<Cf> tempv(n);
  Matrix temp{tempv, m2};
  for (std::size_t i = 1; i <= m1; ++i) {
    for (std::size_t j = 1; j <= m2; ++j) temp(j, i) = dat(i, j);
  }
  ref_fourrow(tempv, m2, isign);
  data = tempv;
}

std::vector<Cd> ref_zroots_unity(long n, std::size_t nn) {
  std::vector<Cd> z(nn);
  if (nn == 0) return z;
  z[0] = 1.0;
  const double theta = kTwoPi / static_cast<double>(n);
  for (std::size_t k = 1; k < nn; k *= 2) {
    z[k] = {std::cos(static_cast<double>(k) * theta), std::sin(static_cast<double>(k) * theta)};
    for (std::size_t i = 1; k + i < std::min(2 * k, nn); ++i) z[k + i] = muld(z[k], z[i]);
  }
  return z;
}

void ref_realft(std::vector<double>& x, int isign) {
  const std::size_t n = x.size();
  const std::size_t nh = n / 2;
  const std::size_t nq = n / 4;
  std::vector<Cf> z(nh);  // z[k-1] is z(k)
  for (std::size_t k = 1; k <= nh; ++k) {
    z[k - 1] = {static_cast<float>(x[2 * k - 2]), static_cast<float>(x[2 * k - 1])};
  }
  float q;
  if (isign == 1) {
    q = -0.5f;
    ref_four1(z, +1);
  } else {
    q = 0.5f;
  }
  std::vector<Cd> w = ref_zroots_unity(isign * static_cast<long>(n), nq);
  for (Cd& v : w) v = {-v.imag(), v.real()};
  std::vector<Cf> e(nq + 1), d(nq + 1);
  auto scaled = [](float c, Cf v) { return Cf(c * v.real(), c * v.imag()); };
  for (std::size_t k = 2; k <= nq; ++k) {
    const std::size_t m = nh + 2 - k;
    e[k] = scaled(0.5f, z[k - 1] + std::conj(z[m - 1]));
    d[k] = scaled(q, z[k - 1] - std::conj(z[m - 1]));
  }
  for (std::size_t k = 2; k <= nq; ++k) {
    const std::size_t m = nh + 2 - k;
    const Cf wd = mulf(Cf(w[k - 1]), d[k]);
    z[k - 1] = e[k] + wd;
    z[m - 1] = std::conj(e[k] - wd);
  }
  const float a = z[0].real();
  const float b = z[0].imag();
  if (isign == 1) {
    z[0] = {a + b, a - b};
  } else {
    z[0] = {0.5f * (a + b), 0.5f * (a - b)};
    ref_four1(z, -1);
  }
  for (std::size_t k = 1; k <= nh; ++k) {
    x[2 * k - 2] = z[k - 1].real();
    x[2 * k - 1] = z[k - 1].imag();
  }
}

// ---- realft_sp ------------------------------------------------------------

const std::vector<std::size_t> kLengths = {2, 4, 8, 64, 1024, 2048, 16384};

// Every frequency up to 2048; above that a spread of them including the
// ends, to keep the naive sums cheap.
std::vector<std::size_t> checked_freqs(std::size_t n) {
  std::vector<std::size_t> f;
  const std::size_t stride = n <= 2048 ? 1 : 37;
  for (std::size_t j = 0; j <= n / 2; j += stride) f.push_back(j);
  for (std::size_t j : {std::size_t{1}, n / 4 - 1, n / 4, n / 4 + 1, n / 2 - 1, n / 2}) {
    if (j <= n / 2) f.push_back(j);
  }
  return f;
}

TEST(RealftForward, MatchesNaiveDft) {
  for (std::size_t n : kLengths) {
    SCOPED_TRACE("N = " + std::to_string(n));
    const std::vector<double> x = random_reals(n, static_cast<unsigned>(n));
    std::vector<double> d = x;
    realft_sp(d, kForward);
    const std::vector<std::size_t> freqs = checked_freqs(n);
    const std::vector<Cd> want = naive_real_dft(x, freqs);
    double err = 0.0;
    for (std::size_t i = 0; i < freqs.size(); ++i) err = std::max(err, std::abs(packed(d, freqs[i]) - want[i]));
    EXPECT_LE(err / max_abs(want), transform_bound(n));
  }
}

TEST(RealftForward, LengthTwoAndFour) {
  std::vector<double> d2 = {3.0, 5.0};
  realft_sp(d2, kForward);
  EXPECT_EQ(d2, (std::vector<double>{8.0, -2.0}));
  // F(0) = 10, F(2) = 1-2+3-4 = -2, F(1) = (1-3) + i(2-4) with exp(+i*pi/2) = i.
  std::vector<double> d4 = {1.0, 2.0, 3.0, 4.0};
  realft_sp(d4, kForward);
  EXPECT_EQ(d4, (std::vector<double>{10.0, -2.0, -2.0, -2.0}));
}

TEST(RealftForward, ConstantGoesToZeroFrequency) {
  const double c = 0.75;
  for (std::size_t n : kLengths) {
    SCOPED_TRACE("N = " + std::to_string(n));
    std::vector<double> d(n, c);
    realft_sp(d, kForward);
    EXPECT_NEAR(d[0], static_cast<double>(n) * c, transform_bound(n) * static_cast<double>(n) * c);
    double rest = 0.0;
    for (std::size_t i = 1; i < n; ++i) rest = std::max(rest, std::abs(d[i]));
    EXPECT_LE(rest, transform_bound(n) * static_cast<double>(n) * c);
  }
}

TEST(RealftInverse, ZeroFrequencyGivesConstant) {
  const double c = 0.75;
  for (std::size_t n : kLengths) {
    SCOPED_TRACE("N = " + std::to_string(n));
    std::vector<double> d(n, 0.0);
    d[0] = static_cast<double>(n) * c;
    realft_sp(d, kInverse);
    const double want = static_cast<double>(n / 2) * c;
    for (double v : d) ASSERT_NEAR(v, want, transform_bound(n) * want);
  }
}

// Sign convention of the inverse: F(j) = F(N-j) = N/2 is N/2 times the
// cosine of frequency j, F(j) = i*N/2 (and F(N-j) = -i*N/2) the sine.
TEST(RealftInverse, SingleFrequencies) {
  const std::size_t n = 64;
  for (std::size_t j : {1, 5, 16, 31}) {
    SCOPED_TRACE("j = " + std::to_string(j));
    std::vector<double> cosine(n, 0.0);
    std::vector<double> sine(n, 0.0);
    cosine[2 * j] = 1.0;
    sine[2 * j + 1] = 1.0;
    realft_sp(cosine, kInverse);
    realft_sp(sine, kInverse);
    for (std::size_t k = 0; k < n; ++k) {
      const double a = kTwoPi * static_cast<double>(j * k % n) / static_cast<double>(n);
      EXPECT_NEAR(cosine[k], std::cos(a), transform_bound(n));
      EXPECT_NEAR(sine[k], std::sin(a), transform_bound(n));
    }
  }
  // F(N/2) = 1 alone is the sequence (-1)^k / N, returned N/2 times.
  std::vector<double> nyquist(n, 0.0);
  nyquist[1] = 1.0;
  realft_sp(nyquist, kInverse);
  for (std::size_t k = 0; k < n; ++k) EXPECT_NEAR(nyquist[k], k % 2 == 0 ? 0.5 : -0.5, transform_bound(n));
}

TEST(RealftRoundTrip, ReturnsHalfNTimesInput) {
  for (std::size_t n : kLengths) {
    SCOPED_TRACE("N = " + std::to_string(n));
    const std::vector<double> x = random_reals(n, 100 + static_cast<unsigned>(n));
    std::vector<double> d = x;
    realft_sp(d, kForward);
    realft_sp(d, kInverse);
    const double scale = static_cast<double>(n / 2);
    double err = 0.0;
    double size = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      err = std::max(err, std::abs(d[k] - scale * x[k]));
      size = std::max(size, std::abs(scale * x[k]));
    }
    EXPECT_LE(err / size, 2.0 * transform_bound(n));
    EXPECT_GT(err, 0.0) << "a float transform cannot be exact on random doubles";
  }
}

TEST(RealftPrecision, EveryOutputIsAFloat) {
  for (std::size_t n : kLengths) {
    SCOPED_TRACE("N = " + std::to_string(n));
    std::vector<double> d = random_reals(n, 200 + static_cast<unsigned>(n));
    for (int isign : {kForward, kInverse}) {
      realft_sp(d, isign);
      for (double v : d) ASSERT_EQ(static_cast<double>(static_cast<float>(v)), v);
    }
  }
}

// The cached tables, split arrays and fused loops give exactly what the
// plain algorithm gives, for every length and both directions.
TEST(RealftExactness, MatchesStepByStepAlgorithm) {
  for (std::size_t n = 2; n <= 16384; n *= 2) {
    SCOPED_TRACE("N = " + std::to_string(n));
    const std::vector<double> x = random_reals(n, 300 + static_cast<unsigned>(n));
    for (int isign : {kForward, kInverse}) {
      std::vector<double> got = x;
      std::vector<double> want = x;
      realft_sp(got, isign);
      ref_realft(want, isign);
      EXPECT_TRUE(bitwise_equal(got, want)) << "isign = " << isign;
    }
  }
}

TEST(RealftExactness, RepeatedAndInterleavedCallsAgree) {
  const std::vector<double> x = random_reals(2048, 7);
  std::vector<double> first = x;
  realft_sp(first, kForward);
  // Other lengths and directions in between, more than the plans kept.
  for (std::size_t n = 2; n <= 4096; n *= 2) {
    std::vector<double> other = random_reals(n, 8);
    realft_sp(other, kForward);
    realft_sp(other, kInverse);
  }
  std::vector<double> again = x;
  realft_sp(again, kForward);
  EXPECT_TRUE(bitwise_equal(first, again));

  // Each thread has its own tables and scratch.
  std::vector<std::vector<double>> results(2, x);
  std::vector<std::thread> threads;
  for (auto& r : results) {
    threads.emplace_back([&r] {
      for (int i = 0; i < 20; ++i) {
        std::vector<double> d = r;
        realft_sp(d, kForward);
        if (i == 19) r = d;
      }
    });
  }
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_TRUE(bitwise_equal(r, first));
}

template <class Call>
void expect_stop(Call call, const std::string& line, const std::string& stop) {
  try {
    call();
    ADD_FAILURE() << "no NrError";
  } catch (const NrError& e) {
    EXPECT_EQ(std::string(e.what()), line);
    EXPECT_EQ(e.stop_text(), stop);
  }
}

TEST(RealftErrors, LengthNotAPowerOfTwo) {
  for (std::size_t n : {0, 3, 6, 12, 1000, 2047, 2049}) {
    SCOPED_TRACE("N = " + std::to_string(n));
    std::vector<double> d = random_reals(n, 9);
    const std::vector<double> before = d;
    expect_stop([&] { realft_sp(d, kForward); },
                "nrerror: an assertion failed with this tag: n must be a power of 2 in realft_sp",
                "program terminated by assert1");
    EXPECT_EQ(d, before);
  }
}

TEST(RealftErrors, LengthOne) {
  std::vector<double> d = {1.5};
  expect_stop([&] { realft_sp(d, kInverse); },
              "nrerror: an assertion failed with this tag: n must be at least 2 in realft_sp",
              "program terminated by assert1");
  EXPECT_EQ(d[0], 1.5);
}

// ---- four1_sp and fourrow_sp ------------------------------------------------

TEST(Four1, MatchesNaiveDft) {
  for (std::size_t m : {1, 2, 4, 8, 16, 32, 64, 128, 512, 1024}) {
    for (int isign : {kForward, kInverse}) {
      SCOPED_TRACE("M = " + std::to_string(m) + ", isign = " + std::to_string(isign));
      const std::vector<Cf> x = random_complex(m, 400 + static_cast<unsigned>(m));
      std::vector<Cf> got = x;
      four1_sp(got, isign);
      const std::vector<Cd> want = naive_complex_dft(x, isign);
      double err = 0.0;
      for (std::size_t j = 0; j < m; ++j) err = std::max(err, std::abs(Cd(got[j]) - want[j]));
      EXPECT_LE(err / max_abs(want), transform_bound(m));
      std::vector<Cf> ref = x;
      ref_four1(ref, isign);
      EXPECT_EQ(got, ref);
    }
  }
}

TEST(Four1, RowsAndColumns) {
  struct Case {
    std::size_t m, p, q;
  };
  for (const Case& c : {Case{1, 1, 1}, Case{2, 2, 1}, Case{4, 4, 1}, Case{8, 4, 2}, Case{16, 8, 2},
                        Case{32, 8, 4}, Case{512, 32, 16}, Case{1024, 64, 16}, Case{8192, 128, 64},
                        Case{std::size_t{1} << 20, 2048, 512}}) {
    const detail::FourStepShape s = detail::four_step_shape(c.m);
    EXPECT_EQ(s.rows, c.p) << "M = " << c.m;
    EXPECT_EQ(s.cols, c.q) << "M = " << c.m;
  }
}

TEST(Four1, LengthNotAPowerOfTwo) {
  for (std::size_t m : {0, 3, 6, 1023}) {
    SCOPED_TRACE("M = " + std::to_string(m));
    std::vector<Cf> d = random_complex(m, 10);
    const std::vector<Cf> before = d;
    expect_stop([&] { four1_sp(d, kInverse); },
                "nrerror: an assertion failed with this tag: n must be a power of 2 in four1_sp",
                "program terminated by assert1");
    EXPECT_EQ(d, before);
  }
}

TEST(Fourrow, TransformsEveryRow) {
  struct Case {
    std::size_t rows, cols;
  };
  for (const Case& c : {Case{1, 1}, Case{5, 1}, Case{3, 2}, Case{3, 8}, Case{1, 64}, Case{7, 32}}) {
    for (int isign : {kForward, kInverse}) {
      SCOPED_TRACE("rows = " + std::to_string(c.rows) + ", cols = " + std::to_string(c.cols));
      const std::vector<Cf> x = random_complex(c.rows * c.cols, 11);
      std::vector<Cf> got = x;
      fourrow_sp(got, c.rows, isign);
      for (std::size_t r = 0; r < c.rows; ++r) {
        std::vector<Cf> row(c.cols);
        for (std::size_t j = 0; j < c.cols; ++j) row[j] = x[r + c.rows * j];
        const std::vector<Cd> want = naive_complex_dft(row, isign);
        for (std::size_t j = 0; j < c.cols; ++j) {
          EXPECT_LE(std::abs(Cd(got[r + c.rows * j]) - want[j]), transform_bound(c.cols) * max_abs(want));
        }
      }
      std::vector<Cf> ref = x;
      ref_fourrow(ref, c.rows, isign);
      EXPECT_EQ(got, ref);
    }
  }
}

TEST(Fourrow, LengthNotAPowerOfTwo) {
  std::vector<Cf> d = random_complex(12, 12);
  expect_stop([&] { fourrow_sp(d, 4, kForward); },
              "nrerror: an assertion failed with this tag: n must be a power of 2 in fourrow_sp",
              "program terminated by assert1");
  std::vector<Cf> empty;
  expect_stop([&] { fourrow_sp(empty, 4, kForward); },
              "nrerror: an assertion failed with this tag: n must be a power of 2 in fourrow_sp",
              "program terminated by assert1");
}

}  // namespace
}  // namespace numerics

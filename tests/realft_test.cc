// The transforms against a naive DFT in double and through the round trip,
// and their exact output bits, pinned as those of a plain step-by-step version
// of the algorithm: any change in the order of the float operations shows.
#include "numerics/realft.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>

#include "numerics/nrerror.h"
#include "tests/test_support.h"

namespace numerics {
namespace {

using Cd = std::complex<double>;

// FNV-1a over the bytes of the values.
template <class T>
std::string hash(const std::vector<T>& v) {
  std::uint64_t h = 0xcbf29ce484222325;
  const auto* p = reinterpret_cast<const unsigned char*>(v.data());
  for (std::size_t i = 0; i < v.size() * sizeof(T); ++i) h = (h ^ p[i]) * 0x100000001b3;
  return std::to_string(h);
}

std::string stop(const std::function<void()>& call) try {
  call();
  return "no stop";
} catch (const NrError& e) {
  return e.what() + (" / " + e.stop_text());
}

// Inputs uniform in [-1, 1) from the raw generator, whose output is fixed.
TEST(Realft, NaiveDftRoundTripExactBitsAndBadLengths) {
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
  // Lengths that are no power of 2 (or 1 for realft_sp) stop with their tag;
  // the complex transforms of valid lengths (fourrow_sp in two rows) are pinned.
  for (std::size_t n : {0, 1, 6, 64}) {
    std::vector<double> d(n);
    std::vector<std::complex<float>> c(2 * n);
    for (auto& z : c) z = {0x1p-31f * gen() - 1, 0x1p-31f * gen() - 1};
    golden += "N = " + std::to_string(n) + ": " + stop([&] { realft_sp(d, kForward); });
    golden += "; " + stop([&] { four1_sp(c, kInverse); });  // in this order
    golden += "; " + stop([&] { fourrow_sp(c, 2, kForward); });
    golden += "; " + hash(c) + "\n";
  }
  morvek::testing::expectGolden("realft_bits.txt", golden);
}

}  // namespace
}  // namespace numerics

#include "morvek/trend.h"

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "morvek/format.h"

namespace morvek {

namespace {

// Chebyshev-fitted coefficients of the exponent, lowest power first.
constexpr std::array<double, 10> kErfc{-1.26551223, 1.00002368, 0.37409196, 0.09678418,
                                       -0.18628806, 0.27886807, -1.13520398, 1.48851587,
                                       -0.82215223, 0.17087277};
constexpr double kSqrt2 = 1.4142135623730951;

}  // namespace

double erfcc_s(double x) {
  const double z = std::abs(x);
  const double t = 1.0 / (1.0 + 0.5 * z);
  double poly = 0;
  for (auto c = kErfc.rbegin(); c != kErfc.rend(); ++c) poly = poly * t + *c;
  const double r = t * std::exp(-z * z + poly);
  return x >= 0 ? r : 2.0 - r;
}

void test(State& s, std::size_t row) {
  const int n = s.setting.n4[row];
  double& u = s.data.u[row];
  double& p = s.data.p[row];
  if (n <= 0) {
    u = p = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  const double span = s.setting.tobsr - s.setting.tobsl;
  double sum = 0;
  for (double t : s.data.t4.row(row).first(static_cast<std::size_t>(n))) sum += t;
  const double mean = sum / n;
  u = std::sqrt(12.0 * n) * (mean - s.setting.tobsl - span / 2) / span;
  p = 0.5 * erfcc_s(std::abs(u) / kSqrt2);
}

void info4(const State& s, Console& console, std::size_t row) {
  console.line();
  console.line("Cox-Lewis test for constant risk");
  // A class without events has no mean time, and so no statistic to show.
  if (std::isfinite(s.data.u[row])) {
    console.line("Test statistic u = " + fmtES(s.data.u[row], 10, 3));
    console.line("P (one sided)    = " + fmtES(s.data.p[row], 10, 3));
  } else {
    console.line("Too few events in this class for the test");
  }
  console.line();
  console.pause();
}

}  // namespace morvek

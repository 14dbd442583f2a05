// The kernel rate estimate on an FFT grid.
//
// Names (intest): L the length of the interval [a, b], step its cell width,
// w the weight of one event, c the damping constant of the Gaussian's
// transform, s the bandwidth in cells, Jmax the last spectrum index damped.
// Indices into the spectrum are 1-based in the comments, as the packed
// layout is described: 1 holds F(0), 2 holds F(N/2), 2r+1 and 2r+2 hold F(r).
#include "morvek/rate.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/menus.h"
#include "numerics/realft.h"

namespace morvek {

namespace {

constexpr int kEnoughEvents = 3;

// Linear binning onto a circle of cells: cell j (1-based) stands for the
// time a + (j-1) step; the last cell shares its weight with the first.
// Events outside the cells are dropped but still count as events.
void bin(std::span<const double> times, double a, double step, double w, std::span<double> ft) {
  const std::size_t cells = ft.size();
  std::fill(ft.begin(), ft.end(), 0.0);
  for (double x : times) {
    const double v = (x - (a - step)) / step;
    // Tested in floating point first, so that no value outside the cells
    // is ever converted to an integer.
    if (!(v >= 1.0 && v < static_cast<double>(cells) + 1.0)) continue;
    const auto i = static_cast<std::size_t>(v);
    const double f = (v - static_cast<double>(i)) * w;
    ft[i - 1] += w - f;
    ft[i == cells ? 0 : i] += f;
  }
}

}  // namespace

RateFault intest(std::span<const double> times, double a, double b, double h, std::span<double> y,
           std::span<double> ft, Binning binning) {
  assert(y.size() == ft.size());
  if (h <= 0) return RateFault::bandwidth;
  if (a >= b) return RateFault::interval;
  const std::size_t ngrid = y.size();
  const double m = static_cast<double>(times.size());
  const double L = b - a;
  const double step = L / static_cast<double>(ngrid);
  const double w = 1.0 / (m * step);
  const double q = std::numbers::pi * h / L;
  const double c = 2.0 * (q * q);
  const double s = h / step;

  if (binning == Binning::fresh) {
    bin(times, a, step, w, ft);
    numerics::realft_sp(ft, numerics::kForward);
  }

  std::fill(y.begin(), y.end(), 0.0);
  y[0] = ft[0];
  // Beyond Jmax the Gaussian's transform is below exp(-30).
  const double J = std::floor(std::sqrt(30.0 / c));
  const std::size_t last = ngrid - 1;
  const std::size_t jmax = J >= static_cast<double>(last) ? last : static_cast<std::size_t>(J);
  double r = 0;
  for (std::size_t j = 3; j <= jmax; j += 2) {
    r += 1;
    const double g = r * r * c;
    const double e = std::exp(-g) / (1.0 - g / (6.0 * s * s));
    y[j - 1] = e * ft[j - 1];
    y[j] = e * ft[j];
  }
  if (jmax == last) {
    const double half = static_cast<double>(ngrid / 2 - 1);
    y[1] = std::exp(-c * half * half) * ft[1];
  }
  numerics::realft_sp(y, numerics::kInverse);

  for (double& v : y) {
    if (v < 0) v = 0;
    v = 2.0 * v * m / static_cast<double>(ngrid);
    if (v < kRiskFloor) v = kRiskFloor;
  }
  return RateFault::none;
}

void intensityx(State& s) {
  const int ngrid = s.parameters.ngrid;
  const double l0 = s.setting.tobsl - 3.0 * s.setting.hmax;
  const double l1 = s.setting.tobsr + 3.0 * s.setting.hmax;
  for (int j = 1; j <= ngrid; ++j) {
    s.data.lx[static_cast<std::size_t>(j - 1)] = (j - 1) * (l1 - l0) / (ngrid - 1) + l0;
  }
}

GridRows observedRows(const State& s) {
  const auto lx = s.data.lx.first(s.parameters.ngrid);
  const auto below = std::ranges::count_if(lx, [&](double t) { return t < s.setting.tobsl; });
  const auto notAbove = std::ranges::count_if(lx, [&](double t) { return t <= s.setting.tobsr; });
  return {static_cast<std::size_t>(below),
          notAbove > below ? static_cast<std::size_t>(notAbove - below) : std::size_t{0}};
}

void intensity(State& s, std::size_t row) {
  const auto [a, b] = std::minmax_element(s.data.lx.begin(), s.data.lx.end());
  const auto times = s.data.t.row(row).first(static_cast<std::size_t>(s.setting.n[row]));
  if (intest(times, *a, *b, s.setting.h[row], s.data.ly.row(row), s.data.ft.span(), Binning::fresh) !=
      RateFault::none)
    throw Fatal(std::vector<std::string>{"Error in subroutine intensity", ""});
  std::ranges::fill(s.data.lyl.row(row), kUnsetReal);
  std::ranges::fill(s.data.lyu.row(row), kUnsetReal);
  s.setting.nsim[row] = kUnsetInt;
}

Part4Choice decis4(const State& s, Console& console) {
  const Setting& g = s.setting;
  const bool series = g.datatype == DataType::ordinary;
  Menu menu{{"", "Part 4: Risk Estimation", ""},
            {{key(Part4Choice::test), "Cox-Lewis test for constant risk         [t]"},
             {key(Part4Choice::bandwidth), "Kernel bandwidth                         [k]"}}};
  addEarlierParts(menu, g.datatype, 4);
  menu.entries.push_back({key(Part4Choice::proceed), "Continue                                 [c]"});

  const auto l = static_cast<std::size_t>(std::max(g.l, 0));
  std::size_t enough = 0;
  for (std::size_t j = 0; j < l; ++j) enough += g.n4[j] >= kEnoughEvents;
  const bool original = g.n1 == g.n2;
  // Half the mean spacing of the extremes can exceed the upper end of the
  // search, and no bandwidth could then be chosen.
  const bool searchable = g.hmin <= g.hmax;
  auto needOriginal = [&](const char* what) {
    if (original) return;
    console.line(what);
    console.line("extracted = original time interval (set in Part 1)");
    console.line("Please go back to Part 1");
  };

  console.blank(2);
  return ask([&]() -> std::optional<Part4Choice> {
    const auto answer = offer(console, menu);
    if (!answer) return std::nullopt;
    const auto choice = static_cast<Part4Choice>(*answer);
    switch (choice) {
      case Part4Choice::bandwidth:
        needOriginal("Risk estimation requires:");
        if (enough < l) console.line("Too few data points in at least one class");
        if (!searchable) {
          console.line("Too few extreme events for the bandwidth search range");
          console.line(series ? "Please lower the threshold (Part 2) or raise hrelmax in morvek.cfg"
                              : "Please raise hrelmax in morvek.cfg");
        }
        if (original && enough == l && searchable) return choice;
        return std::nullopt;
      case Part4Choice::test:
        needOriginal("H0 test requires:");
        if (enough == 0) console.line("Too few data points in all classes");
        if (original && enough > 0) return choice;
        return std::nullopt;
      case Part4Choice::proceed:
        for (std::size_t j = 0; j < l; ++j) {
          if (g.h[j] == kUnsetReal) {
            console.line("Kernel bandwidths have not all been set");
            return std::nullopt;
          }
        }
        return choice;
      default: return choice;
    }
  });
}

double zeroRiskShare(const State& s, std::size_t cls) {
  const GridRows inside = observedRows(s);
  const auto rate = s.data.ly.row(cls).subspan(inside.first, inside.count);
  if (inside.count == 0) return 0;
  const auto zero = std::ranges::count(rate, kRiskFloor);
  return static_cast<double>(zero) / static_cast<double>(inside.count);
}

void check2(const State& s, Console& console, std::size_t cls) {
  const double proportion = zeroRiskShare(s, cls);
  if (proportion == 0) return;
  console.line(fmtA("Magnitude class:", 45) + fmtI(static_cast<long long>(cls) + 1, 2));
  console.line();
  console.line("Proportion of points where risk = zero: " + fmtF(proportion, 4, 2));
  console.line(fmtA("Confidence level:", 40) + fmtF(s.parameters.alpha, 4, 2));
  console.line();
  console.line("If proportion is too large: confidence bounds are unreliable");
  console.line("                            try larger kernel bandwidth then");
  console.line();
  console.pause();
}

}  // namespace morvek

// The risk estimation: the kernel rate on its grid against the direct sum,
// the menu's refusals, the bandwidth criterion against its definition, and
// the parallel routines on one thread and on two.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "morvek/bandwidth.h"
#include "morvek/bootstrap.h"
#include "morvek/menus.h"
#include "morvek/rate.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;
using List = std::vector<double>;
constexpr std::size_t kCells = 2048;

// The estimate of `times` on the cells of [0, 100].
List estimate(const List& times, double h) {
  List y(kCells), ft(kCells);
  EXPECT_EQ(intest(times, 0.0, 100.0, h, y, ft, Binning::fresh), RateFault::none);
  return y;
}

TEST(IntestTest, AgreesWithTheDirectCircularKernelSumAndNamesFaults) {
  List times{99.99};  // shares its weight with the first cell
  for (int i = 0; i < 300; ++i) times.push_back(std::fmod(i * 61.803398875, 100.0));
  const double step = 100.0 / kCells;
  for (double h : {0.5, 2.0, 10.0}) {
    List want(kCells);
    for (std::size_t j = 0; j < kCells; ++j) {
      for (double t : times) {
        for (int wrap = -1; wrap <= 1; ++wrap) want[j] += gaussianKernel(j * step - t + wrap * 100.0, h);
      }
    }
    // Linear binning errs by at most a share (step/h)^2 / 4 of the peak; the
    // spectrum stops at index 2R+1 with R^2 c = 7.5, and the frequencies
    // dropped move the curve by at most 2m/L times their damping factors.
    const double q = std::numbers::pi * h / 100.0, c = 2 * q * q;
    double tolerance = *std::max_element(want.begin(), want.end()) * (0.25 * (step / h) * (step / h) + 1e-5);
    for (double r = std::floor(std::floor(std::sqrt(30.0 / c)) / 2); r <= kCells / 2.0; ++r) {
      tolerance += 2.0 * times.size() / 100.0 * std::exp(-r * r * c);
    }
    const List y = estimate(times, h);
    for (std::size_t j = 0; j < kCells; ++j) ASSERT_NEAR(y[j], std::max(want[j], kRiskFloor), tolerance) << h << ", " << j;
  }
  // Clipped ripples: never 0. An event at b falls behind the last cell, but
  // it still counts as an event.
  const List one = estimate({40.0}, 1.5);
  EXPECT_EQ(*std::min_element(one.begin(), one.end()), kRiskFloor);
  EXPECT_EQ(estimate({100.0}, 2.0), List(kCells, kRiskFloor));
  EXPECT_NEAR(estimate({50.0, 150.0}, 2.0)[1024], estimate({50.0}, 2.0)[1024], 1e-7);
  // With a bandwidth below the cell width, events on every other cell still
  // show as peaks: the highest frequency is damped by exp(-c (L/2 - 1)^2) =
  // 0.44, not dropped, so a peak stands about (1 + 0.44) / (1 - 0.44) = 2.6
  // times as high as its neighbour.
  List comb;
  for (std::size_t j = 1; j < kCells; j += 2) comb.push_back(static_cast<double>(j) * step);
  const List peaks = estimate(comb, 0.02);
  for (std::size_t j = 1; j < kCells; j += 2) ASSERT_GT(peaks[j], 2.0 * peaks[j - 1]) << j;
  List y(8), ft(8);
  EXPECT_EQ(intest(List{1.0}, 0.0, 10.0, -1.0, y, ft, Binning::fresh), RateFault::bandwidth);
  EXPECT_EQ(intest(List{1.0}, 10.0, 10.0, 1.0, y, ft, Binning::fresh), RateFault::interval);
}

TEST(RiskMenuTest, RefusalsNameWhatIsMissing) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1, 2, 3}, {{1, 2, 3, 4, 5}, {1, 2}, {1, 2, 3, 4}});
  std::string log;  // every transcript, with the key chosen
  auto menu = [&](const std::string& answers) {
    Scripted session(answers);
    const char chosen = key(decis4(s, session.console));
    log += session.text() + "=> " + chosen + "\n";
    return chosen;
  };
  s.setting.n2 = 1;  // an extracted interval
  EXPECT_EQ(menu("k\nt\nc\nx\n1\n"), '1');
  s.setting.n2 = s.setting.n1;  // a class with too few events allows the test only
  EXPECT_EQ(menu("k\nt\n"), 't');
  for (std::size_t missing = 0; missing < 3; ++missing) {  // every class needs its bandwidth
    s.setting.h.fill(1.0);
    s.setting.h[missing] = kUnsetReal;
    EXPECT_EQ(menu("c\nt\n"), 't') << missing;
  }
  s.setting.h.fill(1.0);
  s.setting.n4.fill(2);
  EXPECT_EQ(menu("t\nk\nc\n"), 'c');
  // With few extremes half their mean spacing can exceed the upper end of
  // the search: no bandwidth could be chosen, so the search is not started.
  s.setting.n4.fill(6);
  s.setting.hmin = 8.25;
  s.setting.hmax = 4.95;
  EXPECT_EQ(menu("k\nc\n"), 'c');
  s.setting.datatype = DataType::times;
  EXPECT_EQ(menu("k\nc\n"), 'c');
  s.setting.hmax = 8.25;  // a range of one bandwidth can still be chosen
  EXPECT_EQ(menu("k\n"), 'k');
  // Risk at the floor inside the interval, its ends included, is warned of.
  setGrid(s, -10, 110, 13);
  s.data.ly.fill(0.5);
  for (std::size_t j : {0, 1, 11, 12}) s.data.ly.at(1, j) = kRiskFloor;  // 2 of 11 inside
  Scripted warned("\n");
  check2(s, warned.console, 0);
  check2(s, warned.console, 1);
  expectGolden("risk_menu.txt", log + warned.text());
}

// Class 1: `count` events on [0, 100], two of them on its ends; class 2: one
// event; both with the same pseudodata. Class 3: two tight clusters without
// pseudodata, whose C(h) is smallest at the smallest bandwidth. C(h) at 100
// bandwidths from 0.5 to 20 on a grid with points on 0 and 100.
State withClasses(std::size_t count) {
  List real{0, 100}, pseudo{-60, -25, -3, 50, 104, 111, 170};
  for (std::size_t i = 2; i < count; ++i) real.push_back(std::fmod(i * 61.803398875, 100.0));
  std::sort(real.begin(), real.end());
  List all(pseudo.begin(), pseudo.begin() + 3);
  all.insert(all.end(), real.begin(), real.end());
  all.insert(all.end(), pseudo.begin() + 4, pseudo.end());
  State s = withData(DataType::ordinary, {0, 100});
  const List clusters{20, 20.05, 20.1, 60, 60.05, 60.1};
  setClasses(s, {0, 1, 2, 3}, {real, {50}, clusters});
  setPseudodata(s, {all, pseudo, clusters});
  s.parameters.nhsrch = 100;
  make(s, Group::g4c);
  setGrid(s, -30, 129.375, 256);
  s.setting.hmin = 0.5;
  s.setting.hmax = 20;
  return s;
}

// C(h) by its definition: the integral of the squared estimate over the
// observation interval, less twice the leave-one-out estimate at each event.
double naiveCriterion(const State& s, std::size_t row, double h) {
  const auto t = s.data.t.row(row).first(static_cast<std::size_t>(s.setting.n[row]));
  List y(256), ft(256);
  intest(t, -30, 129.375, h, y, ft, Binning::fresh);
  double integral = 0;
  for (std::size_t j = 48; j <= 208; ++j) integral += y[j] * y[j];  // lx[48] = 0, lx[208] = 100
  long double sum = 0;
  for (double x : s.data.t4.row(row).first(static_cast<std::size_t>(s.setting.n4[row]))) {
    for (double p : t) sum += p != x ? gaussianKernel(x - p, h) : 0;
  }
  return integral * 100 / 161 - 2 * static_cast<double>(sum);
}

TEST(BandwidthTest, CriterionMatchesItsDefinitionOnAnyNumberOfThreads) {
  State s = withClasses(40), two = withClasses(40);
  std::ostringstream shown;
  {
    Progress quiet(nullptr, "", "", 0), progress(&shown, "Bandwidths", "bandwidths", 600);
    cvint(s, quiet, 1);
    cvint(two, progress, 2);
  }
  EXPECT_NE(shown.str().find("Bandwidths: 600 of 600 bandwidths"), std::string::npos);
  for (std::size_t row = 0; row < 3; ++row) {
    double best = 1e300, bestH = 0;
    for (std::size_t j = 0; j < 100; ++j) {
      const double h = static_cast<double>(j) * 19.5 / 99 + 0.5, want = naiveCriterion(s, row, h);
      ASSERT_EQ(s.data.cv.at(row, j)[0], h);
      ASSERT_NEAR(s.data.cv.at(row, j)[1], want, 1e-12 * std::max(1.0, std::abs(want))) << row << ", h = " << h;
      ASSERT_EQ(s.data.cv.at(row, j)[1], two.data.cv.at(row, j)[1]);
      if (want < best) best = want, bestH = h;
    }
    EXPECT_EQ(s.setting.hcvint[row], bestH);
  }
  EXPECT_EQ(s.setting.hcvint[2], 0.5);
}

// The ends are shown rounded: what the prompt shows is the end itself.
TEST(BandwidthTest, DialogAcceptsTheRangeIncludingItsEnds) {
  State s = withClasses(3);
  Scripted session("0.4\n20.5\n20\n");
  chsett7(s, session.console, 1);
  EXPECT_EQ(s.setting.h[1], 20.0);
  s.setting.hmin = 0.29224;
  s.setting.hmax = 55.5086;
  for (const auto& [typed, taken] :
       {std::pair{"5.551E+01", 55.5086}, {"55.51", 55.5086}, {"2.922E-01", 0.29224}, {"55.5", 55.5}}) {
    Scripted shown(std::string(typed) + "\n");
    chsett7(s, shown.console, 0);
    EXPECT_EQ(s.setting.h[0], taken) << typed;
  }
  Scripted beyond("55.52\n0.2921\n5.552E+01\n0.29\n1e3\n");
  EXPECT_THROW(chsett7(s, beyond.console, 0), Fatal);
}

// The band comes out the same on two threads as on one, bit for bit, the
// generator's stream gone on as far; its values show in the sessions' rate
// files. The lower bound stops at zero.
TEST(BootstrapTest, BandIsTheSameOnAnyNumberOfThreads) {
  List x, ft(256);
  for (int i = 0; i < 60; ++i) x.push_back(std::fmod(i * 61.803398875, 100.0));
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1}, {{}});
  setPseudodata(s, {x});
  setGrid(s, -20, 107.5, 256);
  s.setting.h[0] = 4.0;
  s.setting.nsim[0] = 200;
  intest(x, -20.0, 107.5, 4.0, s.data.ly.row(0), ft, Binning::fresh);
  std::int32_t seed = -2026;
  numerics::ran(s.random, seed);
  State single = s;
  Progress quiet(nullptr, "", "", 0);
  confidence(s, 0, quiet, 2);
  confidence(single, 0, quiet, 1);
  EXPECT_TRUE(std::ranges::equal(s.data.lyl.row(0), single.data.lyl.row(0)) &&
              std::ranges::equal(s.data.lyu.row(0), single.data.lyu.row(0)));
  EXPECT_EQ(s.idum, single.idum);
  EXPECT_GT(std::ranges::count(s.data.lyl.row(0), 0.0), 0);
}

}  // namespace
}  // namespace morvek

#include "morvek/rate.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;
constexpr std::size_t kCells = 2048;

// The estimate of `times` on the cells of [0, 100].
List estimate(const List& times, double h) {
  List y(kCells), ft(kCells);
  EXPECT_EQ(intest(times, 0.0, 100.0, h, y, ft, Binning::fresh), kRateOk);
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
  List y(8), ft(8);
  EXPECT_EQ(intest(List{1.0}, 0.0, 10.0, -1.0, y, ft, Binning::fresh), kRateBandwidth);
  EXPECT_EQ(intest(List{1.0}, 10.0, 10.0, 1.0, y, ft, Binning::fresh), kRateInterval);
}

TEST(RiskMenuTest, RefusalsNameWhatIsMissing) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1, 2, 3}, {{1, 2, 3, 4, 5}, {1, 2}, {1, 2, 3, 4}});
  std::string log;  // every transcript, with the key chosen
  auto menu = [&](const std::string& answers) {
    Scripted session(answers);
    const char key = decis4(s, session.console);
    log += session.text() + "=> " + key + "\n";
    return key;
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
  check2(s, warned.console, 1);
  check2(s, warned.console, 2);
  expectGolden("risk_menu.txt", log + warned.text());
}

TEST(RateTest, GridAndClassEstimate) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1}, {{5}});
  setGrid(s, 0, 1, 64);
  s.setting.hmax = 10;
  intensityx(s);
  setPseudodata(s, {{-5, 5, 15}});
  s.setting.h[0] = 4;
  s.setting.nsim[0] = 200;  // a band around an earlier rate of the class
  s.data.lyl.fill(1.0);
  s.data.lyu.fill(2.0);
  intensity(s, 1);
  List y(64), ft(64);
  intest(List{-5, 5, 15}, -30.0, 130.0, 4.0, y, ft, Binning::fresh);
  EXPECT_TRUE(std::ranges::equal(s.data.ly.row(0), y));
  // The new rate has no band yet.
  EXPECT_EQ(s.setting.nsim[0], kUnsetInt);
  EXPECT_EQ(std::ranges::count(s.data.lyl.row(0), kUnsetReal) + std::ranges::count(s.data.lyu.row(0), kUnsetReal), 128);
  s.setting.h[0] = 0;
  try { intensity(s, 1); ADD_FAILURE(); } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), (std::vector<std::string>{"Error in subroutine intensity", ""}));
  }
}

}  // namespace morvek

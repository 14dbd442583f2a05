#include "morvek/rate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

constexpr std::size_t kCells = 2048;

// The circular sum of Gaussian kernels at the time of every cell: the
// estimate intest approximates by binning.
std::vector<double> directSum(const std::vector<double>& times, double a, double b, double h) {
  const double L = b - a;
  std::vector<double> y(kCells);
  for (std::size_t j = 0; j < kCells; ++j) {
    const double t = a + static_cast<double>(j) * L / kCells;
    double sum = 0;
    for (double ti : times) {
      for (int wrap = -2; wrap <= 2; ++wrap) {
        const double d = t - ti + wrap * L;
        sum += std::exp(-d * d / (2 * h * h)) / (h * std::sqrt(2 * std::numbers::pi));
      }
    }
    y[j] = sum;
  }
  return y;
}

struct Estimate {
  std::vector<double> y = std::vector<double>(kCells), ft = std::vector<double>(kCells);
  int fault;
};

Estimate estimate(const std::vector<double>& times, double a, double b, double h) {
  Estimate e;
  e.fault = intest(times, a, b, h, e.y, e.ft, Binning::fresh);
  return e;
}

TEST(IntestTest, AgreesWithTheDirectKernelSum) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> within(0.0, 100.0);
  std::vector<double> times(300);
  for (double& t : times) t = within(gen);
  times.push_back(99.99);  // shares its weight with the first cell
  for (double h : {0.5, 2.0, 10.0}) {
    const Estimate e = estimate(times, 0.0, 100.0, h);
    ASSERT_EQ(e.fault, kRateOk);
    const std::vector<double> want = directSum(times, 0.0, 100.0, h);
    const double peak = *std::max_element(want.begin(), want.end());
    // Two errors: linear binning, second order in the cell width (a share
    // (step/h)^2 / 4 of the peak at most), and the spectrum, which stops at
    // the index 2R+1 with R^2 c = 7.5; the frequencies dropped can move the
    // curve by at most 2m/L times the sum of their damping factors.
    const double step = 100.0 / kCells;
    const double q = std::numbers::pi * h / 100.0, c = 2 * q * q;
    const double R = std::floor(std::sqrt(30.0 / c)) / 2;
    double tail = 0;
    for (double r = std::floor(R); r <= kCells / 2.0; ++r) tail += std::exp(-r * r * c);
    const double m = static_cast<double>(times.size());
    const double tolerance = peak * (0.25 * (step / h) * (step / h) + 1e-5) + 2 * m / 100.0 * tail;
    for (std::size_t j = 0; j < kCells; ++j) {
      ASSERT_NEAR(e.y[j], std::max(want[j], kRiskFloor), tolerance) << "h = " << h << ", cell " << j;
    }
  }
}

TEST(IntestTest, OneEventIntegratesToOne) {
  const double h = 1.5;
  const Estimate e = estimate({40.0}, 0.0, 100.0, h);
  double integral = 0;
  for (double v : e.y) integral += v * 100.0 / kCells;
  // Clipping the small ripples of the cut spectrum adds a little mass.
  EXPECT_NEAR(integral, 1.0, 1e-3);
  const double peak = *std::max_element(e.y.begin(), e.y.end());
  EXPECT_NEAR(peak, 1.0 / (h * std::sqrt(2 * std::numbers::pi)), 1e-3);
  // Where the kernel has vanished the curve holds the floor, never 0.
  EXPECT_EQ(*std::min_element(e.y.begin(), e.y.end()), kRiskFloor);
}

TEST(IntestTest, FaultsLeaveTheCurveAlone) {
  Estimate e;
  std::fill(e.y.begin(), e.y.end(), 7.0);
  EXPECT_EQ(intest(std::vector<double>{1.0}, 0.0, 10.0, 0.0, e.y, e.ft, Binning::fresh), kRateBandwidth);
  EXPECT_EQ(intest(std::vector<double>{1.0}, 0.0, 10.0, -1.0, e.y, e.ft, Binning::fresh), kRateBandwidth);
  EXPECT_EQ(intest(std::vector<double>{1.0}, 10.0, 10.0, 1.0, e.y, e.ft, Binning::fresh), kRateInterval);
  EXPECT_EQ(e.y[5], 7.0);
}

TEST(IntestTest, HugeBandwidthGivesTheMeanRate) {
  const std::vector<double> times{1, 2, 3, 50, 97};
  const Estimate e = estimate(times, 0.0, 100.0, 1e4);
  for (double v : e.y) EXPECT_NEAR(v, 5.0 / 100.0, 1e-7);
}

TEST(IntestTest, EventsOutsideTheCellsCountButAreNotBinned) {
  // An event exactly at b falls behind the last cell.
  const Estimate outside = estimate({100.0}, 0.0, 100.0, 2.0);
  for (double v : outside.y) EXPECT_EQ(v, kRiskFloor);
  // Two events, one of them dropped: half the mass of one event alone.
  const Estimate one = estimate({50.0}, 0.0, 100.0, 2.0);
  const Estimate two = estimate({50.0, 150.0}, 0.0, 100.0, 2.0);
  EXPECT_NEAR(two.y[1024], one.y[1024], 1e-6 * one.y[1024]);
}

TEST(IntestTest, ReusedTransformGivesTheSameCurve) {
  const std::vector<double> times{10, 12, 40, 41, 42, 90};
  Estimate e = estimate(times, 0.0, 100.0, 3.0);
  std::vector<double> reused(kCells);
  ASSERT_EQ(intest(times, 0.0, 100.0, 6.0, reused, e.ft, Binning::reuse), kRateOk);
  EXPECT_EQ(reused, estimate(times, 0.0, 100.0, 6.0).y);
}

// A state with classes and a grid over [0, 100], the observation interval.
State withClasses(std::vector<int> counts) {
  State s;
  s.setting.datatype = DataType::ordinary;
  s.setting.n1 = s.setting.n2 = 50;
  s.setting.l = static_cast<int>(counts.size());
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  allocate3a(s);
  for (std::size_t j = 0; j < counts.size(); ++j) s.setting.n4[j] = counts[j];
  allocate4a(s);
  init4a(s);
  s.parameters.ngrid = 64;
  allocate4b(s);
  for (std::size_t j = 0; j < 64; ++j) s.data.lx[j] = -10.0 + 120.0 * static_cast<double>(j) / 63;
  return s;
}

const std::string kMenuAll = lines({"", "Part 4: Risk Estimation", "",
                                    "Cox-Lewis test for constant risk         [t]",
                                    "Kernel bandwidth                         [k]",
                                    "Part 1: Time Interval Extraction         [1]",
                                    "Part 2: Extreme Events Detection         [2]",
                                    "Part 3: Magnitude Classification         [3]",
                                    "Continue                                 [c]"});

TEST(RiskMenuTest, RefusalsNameWhatIsMissing) {
  State s = withClasses({5, 2});
  s.setting.n2 = 40;
  Scripted session("k\nt\nc\nx\n1\n");
  EXPECT_EQ(decis4(s, session.console), '1');
  const std::string original = lines({"extracted = original time interval (set in Part 1)",
                                      "Please go back to Part 1"});
  EXPECT_EQ(session.text(), "\n\n" + kMenuAll + "Risk estimation requires:\n" + original +
                                "Too few data points in at least one class\n" + kMenuAll +
                                "H0 test requires:\n" + original + kMenuAll +
                                "Kernel bandwidths have not all been set\n" + kMenuAll + kMenuAll);

  s.setting.n2 = 50;  // one class with enough events allows the test only
  Scripted test("k\nt\n");
  EXPECT_EQ(decis4(s, test.console), 't');
  s.setting.n4[0] = 2;
  Scripted none("t\nk\nc\n");
  s.setting.h[0] = s.setting.h[1] = 1.0;
  EXPECT_EQ(decis4(s, none.console), 'c');
  EXPECT_NE(none.text().find("Too few data points in all classes\n"), std::string::npos);
}

// With few extremes half their mean spacing can exceed the upper end of the
// search: no bandwidth could be chosen, so the search is not started.
TEST(RiskMenuTest, EmptyBandwidthRangeRefusesTheEstimate) {
  State s = withClasses({6});
  s.setting.hmin = 8.25;
  s.setting.hmax = 4.95;
  const std::string why = "Too few extreme events for the bandwidth search range\n";
  for (const auto& [type, help] :
       {std::pair{DataType::ordinary, "Please lower the threshold (Part 2) or raise hrelmax in morvek.cfg\n"},
        {DataType::times, "Please raise hrelmax in morvek.cfg\n"}}) {
    s.setting.datatype = type;
    Scripted session("k\nt\n");
    EXPECT_EQ(decis4(s, session.console), 't');
    EXPECT_NE(session.text().find(why + help), std::string::npos) << session.text();
  }
  s.setting.hmax = 8.25;  // a range of one bandwidth can still be chosen
  Scripted single("k\n");
  EXPECT_EQ(decis4(s, single.console), 'k');
}

TEST(RiskMenuTest, EventTimesHaveNoEarlierPartsToGoBackTo) {
  State s = withClasses({4});
  s.setting.datatype = DataType::times;
  Scripted session("2\n3\nk\n");
  EXPECT_EQ(decis4(s, session.console), 'k');
  EXPECT_EQ(session.text().find("[2]"), std::string::npos);
  EXPECT_EQ(session.text().find("[3]"), std::string::npos);
  s.setting.datatype = DataType::extreme;
  Scripted events("2\n3\n");
  EXPECT_EQ(decis4(s, events.console), '3');
}

TEST(RiskMenuTest, ZeroRiskInsideTheIntervalIsWarnedOf) {
  State s = withClasses({4, 4});
  s.data.ly.fill(0.5);
  Scripted quiet;
  check2(s, quiet.console, 2);
  EXPECT_EQ(quiet.text(), "");
  // Points outside the interval do not count; 11 of the 52 inside do.
  for (std::size_t j = 0; j < 64; ++j) {
    if (j < 10 || j > 50) s.data.ly.at(1, j) = kRiskFloor;
  }
  Scripted warned("\n");
  check2(s, warned.console, 2);
  EXPECT_EQ(warned.text(), lines({"Magnitude class:                              2", "",
                                  "Proportion of points where risk = zero: 0.21",
                                  "Confidence level:                       0.90", "",
                                  "If proportion is too large: confidence bounds are unreliable",
                                  "                            try larger kernel bandwidth then", "",
                                  "Continue with Enter"}));
}

TEST(RateTest, GridAndClassEstimate) {
  State s = withClasses({1});
  s.setting.hmax = 10;
  intensityx(s);
  EXPECT_EQ(s.data.lx[0], -30.0);
  EXPECT_EQ(s.data.lx[63], 130.0);
  EXPECT_EQ(s.data.lx[1], 1 * 160.0 / 63 - 30.0);
  allocate4e(s);
  allocate4f(s, 3);
  s.setting.n[0] = 3;
  s.data.t.at(0, 0) = -5;
  s.data.t.at(0, 1) = 5;
  s.data.t.at(0, 2) = 15;
  s.setting.h[0] = 4;
  // A band drawn around an earlier rate of the class.
  allocate5a(s);
  s.setting.nsim[0] = 200;
  s.data.lyl.fill(1.0);
  s.data.lyu.fill(2.0);
  intensity(s, 1);
  std::vector<double> y(64), ft(64);
  intest(std::vector<double>{-5, 5, 15}, -30.0, 130.0, 4.0, y, ft, Binning::fresh);
  EXPECT_EQ(std::vector<double>(s.data.ly.row(0).begin(), s.data.ly.row(0).end()), y);
  // The new rate has no band yet.
  EXPECT_EQ(s.setting.nsim[0], kUnsetInt);
  EXPECT_EQ(std::ranges::count(s.data.lyl.row(0), kUnsetReal), 64);
  EXPECT_EQ(std::ranges::count(s.data.lyu.row(0), kUnsetReal), 64);
  s.setting.h[0] = 0;
  try {
    intensity(s, 1);
    ADD_FAILURE();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), (std::vector<std::string>{"Error in subroutine intensity", ""}));
  }
}

}  // namespace
}  // namespace morvek

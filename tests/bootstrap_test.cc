#include "morvek/bootstrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "morvek/fatal.h"
#include "morvek/rate.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

TEST(BootstrapTest, ResampleFollowsTheGenerator) {
  // With seed 7 the generator gives 0.2250, 0.6614, 0.8785, 0.1925, so
  // five times pick positions 1, 3, 4 and 0.
  numerics::RanState random;
  std::int32_t idum = -7;
  const std::vector<double> x{10, 20, 30, 40, 50};
  std::vector<double> xb(4);
  bootstrap(random, idum, x, xb);
  EXPECT_EQ(xb, (std::vector<double>{20, 40, 50, 10}));
}

// One class of events on [0, 100] with its rate estimated, as Part 5 finds it.
State estimated(std::size_t events, int nsim, double h) {
  State s;
  Setting& g = s.setting;
  g.tobsl = 0;
  g.tobsr = 100;
  g.l = 1;
  s.parameters.ngrid = 256;
  allocate3a(s);
  allocate4a(s);
  allocate4b(s);
  allocate5a(s);
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> within(0.0, 100.0);
  std::vector<double> t(events);
  for (double& x : t) x = within(gen);
  std::sort(t.begin(), t.end());
  allocate4f(s, static_cast<int>(events));
  g.n[0] = static_cast<int>(events);
  for (std::size_t i = 0; i < events; ++i) s.data.t.at(0, i) = t[i];
  for (std::size_t j = 0; j < 256; ++j) s.data.lx[j] = -20.0 + 140.0 * static_cast<double>(j) / 255;
  g.h[0] = h;
  g.nsim[0] = nsim;
  std::vector<double> ft(256);
  intest(t, -20.0, 120.0, h, s.data.ly.row(0), ft, Binning::fresh);
  std::int32_t seed = -2026;
  numerics::ran(s.random, seed);
  g.flagseed = true;
  return s;
}

// The band by the steps as they read: all curves kept, the pooled list
// sorted in full.
void naiveBand(State& s, std::vector<double>& lower, std::vector<double>& upper) {
  const std::size_t N = static_cast<std::size_t>(s.setting.n[0]);
  const std::size_t B = static_cast<std::size_t>(s.setting.nsim[0]);
  std::vector<double> x(s.data.t.row(0).begin(), s.data.t.row(0).begin() + static_cast<long>(N));
  std::vector<std::vector<double>> Y(B, std::vector<double>(256));
  std::vector<double> xb(N), ft(256);
  for (std::size_t b = 0; b < B; ++b) {
    bootstrap(s.random, s.idum, x, xb);
    intest(xb, -20.0, 120.0, s.setting.h[0], Y[b], ft, Binning::fresh);
  }
  std::vector<double> mean(256, 0.0);
  for (std::size_t j = 0; j < 256; ++j) {
    for (std::size_t b = 0; b < B; ++b) mean[j] += Y[b][j];
    mean[j] /= static_cast<double>(B);
  }
  std::vector<double> pooled;
  for (std::size_t b = 0; b < B; ++b) {
    for (std::size_t j = 0; j < 256; ++j) {
      if (0 <= s.data.lx[j] && s.data.lx[j] <= 100) {
        pooled.push_back(std::abs((Y[b][j] - mean[j]) / std::sqrt(Y[b][j])));
      }
    }
  }
  std::sort(pooled.begin(), pooled.end());
  const double q = pooled[static_cast<std::size_t>(std::llround(0.9 * static_cast<double>(pooled.size()))) - 1];
  for (std::size_t j = 0; j < 256; ++j) {
    const double spread = q * std::sqrt(s.data.ly.at(0, j));
    lower.push_back(std::max(mean[j] - spread, 0.0));
    upper.push_back(mean[j] + spread);
  }
}

TEST(BootstrapTest, BandFollowsItsStepsExactly) {
  State s = estimated(60, 200, 4.0);
  State reference = s;
  Progress quiet(nullptr, "", "", 0);
  confidence(s, 1, quiet, 2);
  std::vector<double> lower, upper;
  naiveBand(reference, lower, upper);
  for (std::size_t j = 0; j < 256; ++j) {
    ASSERT_EQ(s.data.lyl.at(0, j), lower[j]) << j;
    ASSERT_EQ(s.data.lyu.at(0, j), upper[j]) << j;
  }
  // Where the band would reach below zero the bound is exactly zero.
  const auto lyl = s.data.lyl.row(0);
  EXPECT_TRUE(std::all_of(lyl.begin(), lyl.end(), [](double v) { return v >= 0; }));
  EXPECT_GT(std::count(lyl.begin(), lyl.end(), 0.0), 0);
  EXPECT_EQ(s.idum, reference.idum);  // the stream went on by as many draws
}

TEST(BootstrapTest, SameSeedSameBandOnAnyNumberOfThreads) {
  State one = estimated(300, 500, 2.0);
  State two = one;
  Progress quiet(nullptr, "", "", 0);
  confidence(one, 1, quiet, 1);
  confidence(two, 1, quiet, 2);
  for (std::size_t j = 0; j < 256; ++j) {
    ASSERT_EQ(one.data.lyl.at(0, j), two.data.lyl.at(0, j)) << j;
    ASSERT_EQ(one.data.lyu.at(0, j), two.data.lyu.at(0, j)) << j;
  }
}

TEST(BootstrapTest, SimulationAndSeedDialogs) {
  State s = estimated(10, 200, 1.0);
  Scripted session("199\n10001\nx\n10000\n");
  chsett8(s, session.console, 1);
  EXPECT_EQ(s.setting.nsim[0], 10000);
  const std::string prompt =
      lines({"", "Class  1 - number of bootstrap simulations", "200 <= [nsim] <= 10000"});
  EXPECT_EQ(session.text(), prompt + prompt + prompt + prompt);

  State fresh;
  Scripted seed("0\n5\n-5\n");
  chsett9(fresh, seed.console);
  const std::string ask = lines({"", "Random number generator seed [negative integer]:"});
  EXPECT_EQ(seed.text(), ask + ask + ask);
  EXPECT_TRUE(fresh.setting.flagseed);
  numerics::RanState direct;
  std::int32_t five = -5;
  numerics::ran(direct, five);
  EXPECT_EQ(fresh.random.iy, direct.iy);
  Scripted none;
  chsett9(fresh, none.console);  // once per run
  EXPECT_EQ(none.text(), "");
}

TEST(BootstrapTest, MenuRefusesToExitBeforeEveryBand) {
  State s;
  s.setting.datatype = DataType::ordinary;
  s.setting.l = 2;
  allocate5a(s);
  init5a(s);
  s.setting.nsim[0] = 200;
  Scripted session("x\n4\n");
  EXPECT_EQ(decis6(s, session.console), '4');
  const std::string menu = lines({"", "Part 5: Bootstrap Simulations", "",
                                  "Bootstrap setting                        [b]",
                                  "Part 1: Time Interval Extraction         [1]",
                                  "Part 2: Extreme Events Detection         [2]",
                                  "Part 3: Magnitude Classification         [3]",
                                  "Part 4: Risk Estimation                  [4]",
                                  "Output and exit                          [x]"});
  EXPECT_EQ(session.text(),
            "\n\n" + menu + "Bootstrap simulations have not all yet been done\n" + menu);
  s.setting.nsim[1] = 300;
  s.setting.datatype = DataType::times;
  Scripted times("2\n3\nx\n");
  EXPECT_EQ(decis6(s, times.console), 'x');
  EXPECT_EQ(times.text().find("[2]"), std::string::npos);
  EXPECT_EQ(times.text().find("[3]"), std::string::npos);
}

}  // namespace
}  // namespace morvek

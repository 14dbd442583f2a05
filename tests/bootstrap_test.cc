#include "morvek/bootstrap.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

#include "morvek/rate.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;

// The band of 200 replicates by the steps as they read: every curve kept,
// the pooled list over the grid points from 0 to 100 (lx[40] to lx[240])
// sorted in full.
TEST(BootstrapTest, BandFollowsItsStepsOnAnyNumberOfThreads) {
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
  State naive = s, single = s;
  Progress quiet(nullptr, "", "", 0);
  confidence(s, 1, quiet, 2);
  confidence(single, 1, quiet, 1);

  std::vector<List> Y(200, List(256));
  List xb(60), mean(256, 0.0), pooled;
  for (List& y : Y) {
    bootstrap(naive.random, naive.idum, x, xb);
    intest(xb, -20.0, 107.5, 4.0, y, ft, Binning::fresh);
    for (std::size_t j = 0; j < 256; ++j) mean[j] += y[j];
  }
  for (double& m : mean) m /= 200;
  for (const List& y : Y) {
    for (std::size_t j = 40; j <= 240; ++j) pooled.push_back(std::abs((y[j] - mean[j]) / std::sqrt(y[j])));
  }
  std::sort(pooled.begin(), pooled.end());
  const double q = pooled[std::llround(0.9 * static_cast<double>(pooled.size())) - 1];
  for (std::size_t j = 0; j < 256; ++j) {
    const double spread = q * std::sqrt(s.data.ly.at(0, j));
    ASSERT_EQ(s.data.lyl.at(0, j), std::max(mean[j] - spread, 0.0)) << j;
    ASSERT_EQ(s.data.lyu.at(0, j), mean[j] + spread) << j;
    ASSERT_EQ(s.data.lyl.at(0, j), single.data.lyl.at(0, j)) << j;
    ASSERT_EQ(s.data.lyu.at(0, j), single.data.lyu.at(0, j)) << j;
  }
  EXPECT_GT(std::ranges::count(s.data.lyl.row(0), 0.0), 0);  // the lower bound stops at zero
  EXPECT_EQ(s.idum, naive.idum);  // the stream went on by as many draws
}

TEST(BootstrapTest, DialogAndMenu) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1, 2}, {{}, {}});
  Scripted count("199\n10001\nx\n10000\n");
  chsett8(s, count.console, 1);
  EXPECT_EQ(s.setting.nsim[0], 10000);
  Scripted menu("x\n4\n");  // class 2 has no band yet
  EXPECT_EQ(decis6(s, menu.console), '4');
  EXPECT_NE(menu.text().find("[x]\nBootstrap simulations have not all yet been done\n"), std::string::npos);
  s.setting.nsim[1] = 300;
  Scripted all("x\n");
  EXPECT_EQ(decis6(s, all.console), 'x');
}

}  // namespace morvek

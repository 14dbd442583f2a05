#include "morvek/trend.h"

#include <gtest/gtest.h>

#include <cmath>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

State withEvents(std::vector<std::vector<double>> classes) {
  State s;
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  s.setting.l = static_cast<int>(classes.size());
  allocate3a(s);
  std::size_t most = 0;
  for (std::size_t j = 0; j < classes.size(); ++j) {
    s.setting.n4[j] = static_cast<int>(classes[j].size());
    most = std::max(most, classes[j].size());
  }
  allocate3b(s);
  init3c(s);
  for (std::size_t j = 0; j < classes.size(); ++j) {
    for (std::size_t i = 0; i < classes[j].size(); ++i) s.data.t4.at(j, i) = classes[j][i];
  }
  allocate4d(s);
  return s;
}

TEST(TrendTest, ErfcIsAccurateToItsStatedError) {
  for (double x = -6.0; x <= 9.0; x += 0.001) {
    const double want = std::erfc(x);
    ASSERT_NEAR(erfcc_s(x), want, 1.2e-7 * want) << "x = " << x;
  }
  EXPECT_NEAR(erfcc_s(0.0), 1.0, 1.2e-7);
}

TEST(TrendTest, StatisticOfEvenAndClusteredEvents) {
  State s = withEvents({{25, 75}, {90, 95, 99}, {1, 5, 10}, {}});
  for (int cls = 1; cls <= 4; ++cls) test(s, cls);
  EXPECT_EQ(s.data.u[0], 0.0);
  EXPECT_NEAR(s.data.p[0], 0.5, 0.5 * 1.2e-7);
  const double u = std::sqrt(36.0) * (284.0 / 3 - 50) / 100;  // 2.68
  EXPECT_NEAR(s.data.u[1], u, 1e-12);
  EXPECT_NEAR(s.data.u[2], -u, 1e-12);
  EXPECT_NEAR(s.data.p[1], 0.5 * std::erfc(u / std::sqrt(2.0)), 1e-9);
  EXPECT_NEAR(s.data.p[1], 0.0037, 0.0001);
  EXPECT_EQ(s.data.p[1], s.data.p[2]);
  // No events, no statistic: a message in its place, no number made up.
  EXPECT_TRUE(std::isnan(s.data.u[3]));
  EXPECT_TRUE(std::isnan(s.data.p[3]));
  Scripted shown("\n");
  info4(s, shown.console, 4);
  EXPECT_EQ(shown.text(), lines({"", "Cox-Lewis test for constant risk",
                                 "Too few events in this class for the test", "", "Continue with Enter"}));
  Scripted result("\n");
  info4(s, result.console, 2);
  EXPECT_EQ(result.text(), lines({"", "Cox-Lewis test for constant risk", "Test statistic u =  2.680E+00",
                                  "P (one sided)    =  3.681E-03", "", "Continue with Enter"}));
}

TEST(TrendTest, ClassPromptOnlyWithSeveralClasses) {
  State one = withEvents({{1}});
  Scripted silent;
  EXPECT_EQ(decis5(one, silent.console), 1);
  EXPECT_EQ(silent.text(), "");

  State three = withEvents({{1}, {2}, {3}});
  Scripted session("0\n4\nx\n2\n");
  EXPECT_EQ(decis5(three, session.console), 2);
  const std::string prompt = "\nClass number [ <=  3 ]: \n";
  EXPECT_EQ(session.text(), "\n" + prompt + prompt + prompt + prompt);
  Scripted wrong("0\n0\n0\n0\n0\n");
  EXPECT_THROW(decis5(three, wrong.console), Fatal);
}

}  // namespace
}  // namespace morvek

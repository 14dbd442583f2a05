#include "morvek/trend.h"

#include <gtest/gtest.h>
#include <cmath>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;

TEST(TrendTest, ErfcIsAccurateToItsStatedError) {
  for (double x = -6.0; x <= 9.0; x += 0.001) ASSERT_NEAR(erfcc_s(x), std::erfc(x), 1.2e-7 * std::erfc(x)) << x;
  EXPECT_NEAR(erfcc_s(0.0), 1.0, 1.2e-7);
}

// u = sqrt(12 n) (mean - L - span / 2) / span; P = erfc(|u| / sqrt 2) / 2.
TEST(TrendTest, StatisticOfEvenAndClusteredEventsAndOfNone) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1, 2, 3, 4}, {{25, 75}, {90, 95, 99}, {1, 5, 10}, {}});
  for (int cls = 1; cls <= 4; ++cls) test(s, cls);
  const double u = std::sqrt(36.0) * (284.0 / 3 - 50) / 100;  // 2.68
  EXPECT_EQ(s.data.u[0], 0.0);
  EXPECT_NEAR(s.data.p[0], 0.5, 0.5 * 1.2e-7);
  EXPECT_NEAR(s.data.u[1], u, 1e-12);
  EXPECT_NEAR(s.data.u[2], -u, 1e-12);
  EXPECT_NEAR(s.data.p[1], 0.5 * std::erfc(u / std::sqrt(2.0)), 1e-9);
  EXPECT_EQ(s.data.p[1], s.data.p[2]);
  EXPECT_TRUE(std::isnan(s.data.u[3]) && std::isnan(s.data.p[3]));  // no number made up
  Scripted shown("\n\n");
  info4(s, shown.console, 2);
  info4(s, shown.console, 4);
  EXPECT_EQ(shown.text(), lines({"", "Cox-Lewis test for constant risk", "Test statistic u =  2.680E+00",
                                 "P (one sided)    =  3.681E-03", "", "Continue with Enter", "",
                                 "Cox-Lewis test for constant risk", "Too few events in this class for the test", "",
                                 "Continue with Enter"}));
}

TEST(TrendTest, ClassPromptOnlyWithSeveralClasses) {
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1}, {{1}});
  Scripted silent;
  EXPECT_EQ(decis5(s, silent.console), 1);
  EXPECT_EQ(silent.text(), "");
  s.setting.l = 3;
  Scripted session("0\n4\nx\n2\n0\n0\n0\n0\n0\n");
  EXPECT_EQ(decis5(s, session.console), 2);
  const std::string prompt = "\nClass number [ <=  3 ]: \n";
  EXPECT_EQ(session.text(), "\n" + prompt + prompt + prompt + prompt);
  EXPECT_THROW(decis5(s, session.console), Fatal);
}

}  // namespace morvek

#include "morvek/extremes.h"

#include <gtest/gtest.h>

#include <cmath>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::readFile;
using testing::Scripted;
using testing::ScratchDir;
using testing::writeFile;

// An extracted time series with its background and variability given.
State smoothed(std::vector<double> x, std::vector<double> b, std::vector<double> v) {
  State s;
  s.setting.datatype = DataType::ordinary;
  s.setting.n2 = static_cast<int>(x.size());
  allocate1(s);
  allocate2a(s);
  for (std::size_t i = 0; i < x.size(); ++i) {
    s.data.t2[i] = 1990.0 + static_cast<double>(i);
    s.data.x2[i] = x[i];
    s.data.b2[i] = b[i];
    s.data.v2[i] = v[i];
  }
  return s;
}

TEST(ExtremesTest, ThresholdIsStrictOnBothSides) {
  // Thresholds at z = 2: 3, 5, 7, 9.
  State s = smoothed({3.0, 5.0000001, 12.0, -1.0}, {1, 1, 1, 1}, {1, 2, 3, 4});
  s.setting.z = 2;
  extremes(s);
  ASSERT_EQ(s.setting.n3, 2);
  EXPECT_EQ(s.data.t3[0], 1991.0);
  EXPECT_EQ(s.data.x3[0], (5.0000001 - 1.0) / 2.0);
  EXPECT_GT(s.data.x3[0], 2.0);
  EXPECT_EQ(s.data.t3[1], 1992.0);
  EXPECT_EQ(s.data.x3[1], 11.0 / 3.0);

  s.setting.z = -2;  // below 1 - 2 v: -1, -3, -5, -7
  extremes(s);
  EXPECT_EQ(s.setting.n3, 0);
  s.data.x2[3] = -7.5;
  extremes(s);
  ASSERT_EQ(s.setting.n3, 1);
  EXPECT_EQ(s.data.x3[0], -8.5 / 4.0);

  s.setting.z = 50;  // nothing beyond: empty arrays
  extremes(s);
  EXPECT_EQ(s.setting.n3, 0);
  EXPECT_TRUE(s.data.t3.held());
  EXPECT_EQ(s.data.t3.size(), 0u);
}

TEST(ExtremesTest, ZeroVariabilityGivesUnboundedValuesAsTheyAre) {
  State s = smoothed({2.0, 1.0, 3.0}, {1, 1, 1}, {0, 0, 1});
  s.setting.z = 0.5;
  extremes(s);
  ASSERT_EQ(s.setting.n3, 2);
  EXPECT_EQ(s.data.x3[0], INFINITY);
  EXPECT_EQ(s.data.x3[1], 2.0);
}

TEST(ExtremesTest, EventDataAreTheirOwnExtremes) {
  State s;
  s.setting.datatype = DataType::extreme;
  s.setting.n2 = 3;
  allocate1(s);
  s.data.t2.assign(std::vector<double>{1, 2, 3});
  s.data.x2.assign(std::vector<double>{-5, 0, 1e300});
  extremes(s);
  EXPECT_EQ(s.setting.n3, 3);
  EXPECT_EQ(std::vector<double>(s.data.x3.begin(), s.data.x3.end()),
            (std::vector<double>{-5, 0, 1e300}));

  State t;
  t.setting.datatype = DataType::times;
  t.setting.n2 = 2;
  allocate1(t);
  t.data.t2.assign(std::vector<double>{7, 8});
  extremes(t);
  EXPECT_EQ(t.setting.n3, 2);
  EXPECT_EQ(t.data.t3[1], 8.0);
  EXPECT_FALSE(t.data.x3.held());
}

TEST(ExtremesTest, ThresholdDialogAcceptsTheRangeLimitsOnly) {
  const std::string prompt = lines({"Set threshold z", "  0.001 <= abs(z) <= 100.000", "[z]:"});
  for (const char* accepted : {"0.001", "-0.001", "100", "-100", "2.5, 3"}) {
    State s;
    Scripted session(std::string(accepted) + "\n");
    chsett5(s, session.console);
    EXPECT_EQ(s.setting.z, std::stod(accepted));
    EXPECT_EQ(session.text(), prompt);
  }
  State s;
  Scripted refused("0\n0.0009\n100.5\nz\n-3\n");
  chsett5(s, refused.console);
  EXPECT_EQ(s.setting.z, -3.0);
  Scripted fifth("0\n0.0009\n100.5\nz\n\n");
  EXPECT_THROW(chsett5(s, fifth.console), Fatal);
  EXPECT_EQ(s.setting.z, -3.0);  // a failed dialog leaves the old threshold
}

const std::string kPart2Menu = lines({"", "Part 2: Extreme Events Detection", "",
                                      "Plot setting                             [p]",
                                      "Threshold setting                        [t]",
                                      "Background smoothing                     [b]",
                                      "Part 1: Time Interval Extraction         [1]",
                                      "Continue                                 [c]"});

TEST(ExtremesTest, MenuRefusesToGoOnWithoutThresholdOrEnoughExtremes) {
  State s;
  s.setting.n3 = 12;  // left from an earlier pass: still no threshold
  Scripted session("c\nT\nb\n");
  EXPECT_EQ(decis2(s, session.console), 'b');
  EXPECT_EQ(session.text(), "\n\n" + kPart2Menu + "Threshold has not yet been set\n" + kPart2Menu +
                                kPart2Menu);

  s.setting.z = 2;
  s.setting.n3 = 2;
  Scripted few("c\nc\nc\nc\nc\n");
  EXPECT_THROW(decis2(s, few.console), Fatal);
  EXPECT_EQ(few.text(), "\n\n" + kPart2Menu + "Too few points\n" + kPart2Menu + "Too few points\n" +
                            kPart2Menu + "Too few points\n" + kPart2Menu + "Too few points\n" +
                            kPart2Menu + "Too few points\n");
  s.setting.n3 = 3;
  Scripted enough("c\n");
  EXPECT_EQ(decis2(s, enough.console), 'c');
}

// Extremes where the variability is zero have no finite scaled value; the
// classes cannot hold them, so the menu asks for a wider window first.
TEST(ExtremesTest, MenuRefusesToGoOnWhileTheVariabilityIsZeroAtAnExtreme) {
  State s = smoothed({9, 1, 9, 9, 5}, {1, 1, 1, 1, 1}, {0, 1, 1, 0, 1});
  s.setting.z = 2;
  extremes(s);
  ASSERT_EQ(s.setting.n3, 4);
  Scripted session("c\nb\n");
  EXPECT_EQ(decis2(s, session.console), 'b');
  EXPECT_EQ(session.text(), "\n\n" + kPart2Menu +
                                lines({"Variability is zero at 2 of the extreme events",
                                       "Please choose a larger smoothing parameter k (Background smoothing [b])"}) +
                                kPart2Menu);
  s.data.v2[0] = s.data.v2[3] = 0.5;
  extremes(s);
  Scripted finite("c\n");
  EXPECT_EQ(decis2(s, finite.console), 'c');
}

TEST(ExtremesTest, SubmenusReturnTheirOwnLetters) {
  const std::string plotMenu = lines({"", "Plot setting:", "",
                                      "Horizontal range = extracted time interval [h]",
                                      "                   other                   [o]",
                                      "Vertical range                             [v]",
                                      "Vertical axis: linear                      [l]",
                                      "               log_10                      [g]"});
  const std::string thresholdMenu = lines({"", "Threshold setting:", "",
                                           "Test                                     [t]",
                                           "Set                                      [s]"});
  State s;
  Scripted plot("p\nx\ng\n");
  EXPECT_EQ(decis2(s, plot.console), 'g');
  EXPECT_EQ(plot.text(), "\n\n" + kPart2Menu + plotMenu + plotMenu);
  Scripted threshold("t\ns\n");
  EXPECT_EQ(decis2(s, threshold.console), 's');
  EXPECT_EQ(threshold.text(), "\n\n" + kPart2Menu + thresholdMenu);
  // A submenu counts its own five attempts.
  Scripted wrong("x\nx\nx\nx\nt\nx\nx\nx\nx\nt\n");
  EXPECT_EQ(decis2(s, wrong.console), 't');
  Scripted stop("t\nx\nx\nx\nx\nx\n");
  EXPECT_THROW(decis2(s, stop.console), Fatal);
}

TEST(ExtremesTest, SummaryShowsWhatIsSet) {
  State s;
  Scripted empty;
  info2(s, empty.console);
  EXPECT_EQ(empty.text(), "\n");

  s.setting.n3 = 4;  // event data: the count alone
  Scripted events;
  info2(s, events.console);
  EXPECT_EQ(events.text(), lines({"", "Number of extreme events:        4 points"}));

  s.setting.k = 12;
  s.setting.z = -2.25;
  const std::string block = lines({"Smoothing parameter k:          12", "Threshold z:                -2.250",
                                   "Number of extreme events:        4 points"});
  Scripted all;
  info2(s, all.console);
  EXPECT_EQ(all.text(), "\n" + block);

  ScratchDir dir;
  writeFile("morvek-1.dat", "head\n");
  info2(s, "morvek-1.dat");
  EXPECT_EQ(readFile("morvek-1.dat"), "head\n \n" + block);
  try {
    info2(s, "morvek-9.dat");
    ADD_FAILURE() << "a missing result file was opened";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Error during data file opening"});
  }
}

}  // namespace
}  // namespace morvek

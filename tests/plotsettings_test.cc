#include "morvek/plotsettings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

constexpr double kHuge = std::numeric_limits<double>::max();

template <class T>
void put(Held<T>& array, std::vector<T> values) {
  array.assign(values);
}

// Five points; the observation interval is wider than the data.
State series() {
  State s;
  s.setting.n1 = s.setting.n2 = 5;
  s.setting.tobsl = 1940.0;
  s.setting.tobsr = 2010.0;
  put(s.data.t2, {1950.0, 1960.0, 1970.0, 1980.0, 1990.0});
  put(s.data.x2, {10.0, 20.0, 100.0, 40.0, -5.0});
  put(s.data.b2, std::vector<double>(5, 8.0));
  put(s.data.v2, std::vector<double>(5, 1.0));
  return s;
}

bool sameAxes(const PlotAxes& a, const PlotAxes& b) {
  return a.xl == b.xl && a.xu == b.xu && a.yl == b.yl && a.yu == b.yu && a.logx == b.logx &&
         a.logy == b.logy;
}

TEST(PlotDefaults, HorizontalRangeIsTheObservationIntervalOrTheExtractedSpan) {
  for (bool extracted : {false, true}) {
    State s = series();
    if (extracted) s.setting.n1 = 9;
    s.data.t2[2] = std::numeric_limits<double>::quiet_NaN();  // skipped
    for (int type : {1, 5, 6, 8, 12}) {
      Scripted io;
      chsettp(s, io.console, type, '-');
      EXPECT_EQ(s.settingp[type].xl, extracted ? 1950.0 : 1940.0) << type;
      EXPECT_EQ(s.settingp[type].xu, extracted ? 1990.0 : 2010.0) << type;
    }
  }
  State empty;
  empty.setting.n1 = 4;
  empty.setting.n2 = 0;
  Scripted io;
  chsettp(empty, io.console, 1, '-');
  EXPECT_EQ(empty.settingp[1].xl, kHuge);
  EXPECT_EQ(empty.settingp[1].xu, -kHuge);
}

TEST(PlotDefaults, VerticalRangesAndScalesPerType) {
  State s = series();
  s.setting.l = 3;
  for (int type = 1; type <= 12; ++type) {
    s.settingp[type] = {1.0, 2.0, 3.0, 4.0, Scale::log, Scale::log};
  }
  s.settingp.zplot = {1.0, 1.0, 1.0};
  Scripted io;
  // Types other than 5 take their defaults whatever the option.
  for (int type : {1, 5, 6, 8, 9, 10, 11, 12}) chsettp(s, io.console, type, type == 5 ? '-' : 'v');
  EXPECT_EQ(io.text(), "");

  const auto& p = s.settingp;
  EXPECT_EQ(p[1].logy, Scale::lin);
  EXPECT_EQ(p[1].yl, 3.0);
  EXPECT_EQ(p[5].yl, kUnsetReal);
  EXPECT_EQ(p[5].logy, Scale::lin);
  EXPECT_EQ(p.zplot, (std::array<double, 3>{2.0, 4.0, 0.0}));
  EXPECT_EQ(p[6].yl, kUnsetReal);
  EXPECT_EQ(p[6].logy, Scale::log);
  EXPECT_TRUE(sameAxes(p[8], {1940.0, 2010.0, 0.0, 3.75, Scale::log, Scale::lin}));
  EXPECT_TRUE(sameAxes(p[9], {1.0, 2.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  EXPECT_TRUE(sameAxes(p[10], {1940.0, 2010.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  EXPECT_TRUE(sameAxes(p[11], {1940.0, 2010.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  EXPECT_TRUE(sameAxes(p[12], {1940.0, 2010.0, 0.0, 1.25, Scale::log, Scale::lin}));

  s.setting.l = 1;
  chsettp(s, io.console, 8, '-');
  EXPECT_EQ(p[8].yu, 1.25);
}

TEST(PlotDefaults, DistributionIsLogarithmicOnlyForPositiveExtremes) {
  State s = series();
  s.setting.n3 = 3;
  put(s.data.x3, {2.5, 0.5, 4.0, -7.0});  // the fourth lies beyond n3
  Scripted io;
  chsettp(s, io.console, 7, '-');
  EXPECT_TRUE(sameAxes(s.settingp[7], {0.5, 4.0, 1.0, 3.0, Scale::log, Scale::lin}));
  s.data.x3[1] = 0.0;
  chsettp(s, io.console, 7, '-');
  EXPECT_EQ(s.settingp[7].logx, Scale::lin);
  s.setting.n3 = 0;
  chsettp(s, io.console, 7, '-');
  EXPECT_TRUE(sameAxes(s.settingp[7], {kHuge, -kHuge, 1.0, 0.0, Scale::log, Scale::lin}));
}

TEST(PlotDefaults, TypesWithoutSettingsChangeNothing) {
  State s = series();
  for (int type = 1; type <= kPlotTypes; ++type) s.settingp[type].yl = 7.0;
  const SettingP before = s.settingp;
  Scripted io;
  for (int type : {2, 3, 4, 13, 14, 20, 0, 21}) chsettp(s, io.console, type, '-');
  chsettp(s, io.console, 5, 'x');
  for (int type = 1; type <= kPlotTypes; ++type) EXPECT_TRUE(sameAxes(s.settingp[type], before[type]));
  EXPECT_EQ(s.settingp.zplot, before.zplot);
}

TEST(BackgroundChoices, RangeScaleAndThresholdLetters) {
  State s = series();
  s.setting.n1 = 9;
  s.settingp[5] = {1.0, 2.0, 3.0, 4.0, Scale::lin, Scale::lin};
  Scripted io;
  chsettp(s, io.console, 5, 'h');
  EXPECT_TRUE(sameAxes(s.settingp[5], {1950.0, 1990.0, 3.0, 4.0, Scale::lin, Scale::lin}));
  chsettp(s, io.console, 5, 'g');
  EXPECT_EQ(s.settingp[5].logy, Scale::log);
  chsettp(s, io.console, 5, 'l');
  EXPECT_EQ(s.settingp[5].logy, Scale::lin);
  s.setting.z = 2.5;
  chsettp(s, io.console, 5, 's');
  EXPECT_EQ(s.settingp.zplot, (std::array<double, 3>{2.5, 0.0, 0.0}));
  EXPECT_EQ(io.text(), "");
}

const std::string kHorizontal = lines({"Horizontal range", "[left boundary, right boundary]: "});
const std::string kVertical = lines({"Vertical range", "[lower boundary, upper boundary]: "});
const std::string kTest =
    lines({"Test threshold values", "b + z(i) * v, i = 1, 2, 3", "[z(1), z(2), z(3)]:"});

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

State century() {
  State s = series();
  put(s.data.t2, {1900.0, 1950.0, 1960.0, 1970.0, 2000.0});
  return s;
}

TEST(BackgroundChoices, HorizontalRangeIsClippedToTheData) {
  State s = century();
  Scripted io("0 1e30\n");
  chsettp(s, io.console, 5, 'o');
  EXPECT_EQ(s.settingp[5].xl, 1900.0);
  EXPECT_EQ(s.settingp[5].xu, 2000.0);
  EXPECT_EQ(io.text(), kHorizontal);

  // Unreadable, out of the data, reversed: three failed attempts.
  Scripted retry("1950\n2100 2200\n1980,1960\n1955, 1965\n");
  chsettp(s, retry.console, 5, 'o');
  EXPECT_EQ(s.settingp[5].xl, 1955.0);
  EXPECT_EQ(s.settingp[5].xu, 1965.0);
  EXPECT_EQ(retry.text(), repeated(kHorizontal, 4));
}

TEST(BackgroundChoices, FifthRefusedHorizontalRangeStopsWithTheRangeClipped) {
  State s = century();
  Scripted io(repeated("2100 2200\n", 5) + "1950 1960\n");
  EXPECT_THROW(chsettp(s, io.console, 5, 'o'), Fatal);
  EXPECT_EQ(io.text(), repeated(kHorizontal, 5));
  EXPECT_EQ(s.settingp[5].xl, 2100.0);
  EXPECT_EQ(s.settingp[5].xu, 2000.0);
}

// The window 1950..1980 leaves out the lowest value (-5 at 1990); drawn in it
// are data 10..100 and the background 8.
class VerticalRange : public ::testing::Test {
 protected:
  VerticalRange() {
    s.settingp[5].xl = 1950.0;
    s.settingp[5].xu = 1980.0;
  }
  PlotAxes answer(const std::string& line) {
    Scripted io(line + "\n");
    chsettp(s, io.console, 5, 'v');
    EXPECT_EQ(io.text(), kVertical);
    return s.settingp[5];
  }
  State s = series();
};

TEST_F(VerticalRange, RoomOnBothSidesFallsBackToAutomatic) {
  s.settingp[5].logy = Scale::log;
  EXPECT_TRUE(sameAxes(answer("0 200"), {1950.0, 1980.0, kUnsetReal, 125.0, Scale::lin, Scale::lin}));
}

TEST_F(VerticalRange, LowerEndBelowEverythingIsRaisedToTheLowestDrawnValue) {
  const PlotAxes a = answer("0 60");
  EXPECT_EQ(a.yl, 8.0);
  EXPECT_EQ(a.yu, 75.0);
}

TEST_F(VerticalRange, UpperEndIsScaledAndKeptWhenBothEndsCut) {
  const PlotAxes a = answer("15 50");
  EXPECT_EQ(a.yl, 15.0);
  EXPECT_EQ(a.yu, 62.5);
}

TEST_F(VerticalRange, UpperEndAboveEverythingIsLoweredToTheHighestDrawnValue) {
  const PlotAxes a = answer("15 1000");  // first 1.25 * 100, then 100
  EXPECT_EQ(a.yl, 15.0);
  EXPECT_EQ(a.yu, 100.0);
}

TEST_F(VerticalRange, NegativeLowerEndMakesTheAxisLinearAgain) {
  s.settingp.zplot = {-10.0, 0.0, 0.0};  // drawn line b - 10 v = -2
  PlotAxes a = answer("-1 60");
  EXPECT_EQ(a.yl, -1.0);
  EXPECT_EQ(a.yu, 75.0);
  EXPECT_EQ(a.logy, Scale::lin);
  Scripted io;
  chsettp(s, io.console, 5, 'g');
  EXPECT_EQ(s.settingp[5].logy, Scale::log);
  EXPECT_EQ(answer("-1 60").logy, Scale::lin);
}

TEST_F(VerticalRange, ReversedOrUnreadableAnswersAreRefusedFiveTimes) {
  Scripted io("5 1\n1 1\nx 3\n0 200\n");
  chsettp(s, io.console, 5, 'v');
  EXPECT_EQ(io.text(), repeated(kVertical, 4));
  EXPECT_EQ(s.settingp[5].yl, kUnsetReal);

  Scripted refused(repeated("5 1\n", 5));
  EXPECT_THROW(chsettp(s, refused.console, 5, 'v'), Fatal);
  EXPECT_EQ(refused.text(), repeated(kVertical, 5));
}

TEST(BackgroundChoices, TestLinesAreStoredInAscendingOrder) {
  const struct {
    const char* answer;
    std::array<double, 3> stored;
  } cases[] = {
      {"2 4 6", {2.0, 4.0, 6.0}},
      {"6, 2, 4", {2.0, 4.0, 6.0}},
      {"3 0 0", {0.0, 0.0, 3.0}},
      {"-3 -2 0", {-3.0, -2.0, 0.0}},
      {"99.9 -99.9 0 100", {-99.9, 0.0, 99.9}},
  };
  for (const auto& c : cases) {
    State s = series();
    Scripted io(std::string(c.answer) + "\n");
    chsettp(s, io.console, 5, 't');
    EXPECT_EQ(s.settingp.zplot, c.stored) << c.answer;
    EXPECT_EQ(io.text(), kTest);
  }
}

TEST(BackgroundChoices, RefusedTestLinesSayWhy) {
  State s = series();
  Scripted io("100 0 0\n0 0 0\n1 2\n-0.5 0 0\n");
  chsettp(s, io.console, 5, 't');
  EXPECT_EQ(io.text(), kTest + lines({"Sorry - abs(z) must be smaller than 100", ""}) + kTest +
                           lines({"Sorry - at least one z must have abs(z) > 0", ""}) + kTest + "\n" +
                           kTest);
  EXPECT_EQ(s.settingp.zplot, (std::array<double, 3>{-0.5, 0.0, 0.0}));

  Scripted refused(repeated("0 0 -100\n", 4));  // then the input ends
  EXPECT_THROW(chsettp(s, refused.console, 5, 't'), Fatal);
  EXPECT_EQ(refused.text(),
            repeated(kTest + lines({"Sorry - abs(z) must be smaller than 100", ""}), 4) + kTest + "\n");
}

}  // namespace
}  // namespace morvek

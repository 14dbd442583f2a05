#include "morvek/plotsettings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

constexpr double kHuge = std::numeric_limits<double>::max();

// Five points; the observation interval is wider than the data.
State series() {
  State s;
  s.setting.n1 = s.setting.n2 = 5;
  s.setting.tobsl = 1940.0;
  s.setting.tobsr = 2010.0;
  s.data.t2.assign(std::vector{1950.0, 1960.0, 1970.0, 1980.0, 1990.0});
  s.data.x2.assign(std::vector{10.0, 20.0, 100.0, 40.0, -5.0});
  s.data.b2.assign(std::vector(5, 8.0));
  s.data.v2.assign(std::vector(5, 1.0));
  return s;
}

auto axes(const PlotAxes& a) { return std::tuple(a.xl, a.xu, a.yl, a.yu, a.logx, a.logy); }

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// What the type-5 dialog of `option` wrote, ending in "[stop]" when its
// fifth failure stopped the run.
std::string dialog(State& s, char option, const std::string& answers) {
  Scripted io(answers);
  try {
    chsettp(s, io.console, 5, option);
  } catch (const Fatal&) {
    return io.text() + "[stop]";
  }
  return io.text();
}

const std::string kHorizontal = lines({"Horizontal range", "[left boundary, right boundary]: "});
const std::string kVertical = lines({"Vertical range", "[lower boundary, upper boundary]: "});
const std::string kTest = lines({"Test threshold values", "b + z(i) * v, i = 1, 2, 3", "[z(1), z(2), z(3)]:"});

TEST(PlotDefaults, RangesAndScalesPerType) {
  State s = series();
  s.setting.l = s.setting.n3 = 3;
  s.data.x3.assign(std::vector{2.5, 0.5, 4.0, -7.0});  // the fourth lies beyond n3
  for (int type = 1; type <= kPlotTypes; ++type) s.settingp[type] = {1.0, 2.0, 3.0, 4.0, Scale::log, Scale::log};
  s.settingp.zplot = {1.0, 1.0, 1.0};
  const SettingP before = s.settingp;
  Scripted io;
  // Types other than 5 take their defaults whatever the option; types
  // without defaults change nothing.
  for (int type : {1, 5, 6, 7, 8, 9, 10, 11, 12}) chsettp(s, io.console, type, type == 5 ? '-' : 'v');
  for (int type : {2, 3, 4, 13, 14, 20, 0, 21}) chsettp(s, io.console, type, '-');
  EXPECT_EQ(io.text(), "");

  // The whole series shows the observation interval, wider than the data.
  const auto& p = s.settingp;
  EXPECT_EQ(axes(p[1]), axes({1940.0, 2010.0, 3.0, 4.0, Scale::log, Scale::lin}));
  EXPECT_EQ(axes(p[5]), axes({1940.0, 2010.0, kUnsetReal, 4.0, Scale::log, Scale::lin}));
  EXPECT_EQ(p.zplot, (std::array<double, 3>{2.0, 4.0, 0.0}));
  EXPECT_EQ(axes(p[6]), axes({1940.0, 2010.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  EXPECT_EQ(axes(p[7]), axes({0.5, 4.0, 1.0, 3.0, Scale::log, Scale::lin}));
  EXPECT_EQ(axes(p[8]), axes({1940.0, 2010.0, 0.0, 3.75, Scale::log, Scale::lin}));
  EXPECT_EQ(axes(p[9]), axes({1.0, 2.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  for (int type : {10, 11}) EXPECT_EQ(axes(p[type]), axes({1940.0, 2010.0, kUnsetReal, 4.0, Scale::log, Scale::log}));
  EXPECT_EQ(axes(p[12]), axes({1940.0, 2010.0, 0.0, 1.25, Scale::log, Scale::lin}));
  for (int type : {2, 3, 4, 13, 14, 20}) EXPECT_EQ(axes(p[type]), axes(before[type])) << type;

  // An extracted interval shows just the span of its times.
  s.setting.n1 = 9;
  s.data.t2[2] = std::numeric_limits<double>::quiet_NaN();  // skipped
  s.setting.l = 1;
  for (int type : {1, 5, 6, 8, 12}) {
    chsettp(s, io.console, type, '-');
    EXPECT_EQ(std::pair(p[type].xl, p[type].xu), std::pair(1950.0, 1990.0)) << type;
  }
  EXPECT_EQ(p[8].yu, 1.25);

  // The distribution is logarithmic only for positive extremes, or none.
  s.data.x3[1] = 0.0;
  chsettp(s, io.console, 7, '-');
  EXPECT_EQ(p[7].logx, Scale::lin);
  s.setting.n3 = 0;  // an empty set never narrows a range
  chsettp(s, io.console, 7, '-');
  EXPECT_EQ(axes(p[7]), axes({kHuge, -kHuge, 1.0, 0.0, Scale::log, Scale::lin}));
}

TEST(BackgroundChoices, RangeScaleAndThresholdLetters) {
  State s = series();
  s.setting.n1 = 9;
  s.setting.z = 2.5;
  s.settingp[5] = {1.0, 2.0, 3.0, 4.0, Scale::lin, Scale::lin};
  Scripted io;
  chsettp(s, io.console, 5, 'h');
  chsettp(s, io.console, 5, 'g');
  EXPECT_EQ(axes(s.settingp[5]), axes({1950.0, 1990.0, 3.0, 4.0, Scale::lin, Scale::log}));
  chsettp(s, io.console, 5, 'l');
  chsettp(s, io.console, 5, 's');
  chsettp(s, io.console, 5, 'x');  // no such letter: nothing changes
  EXPECT_EQ(axes(s.settingp[5]), axes({1950.0, 1990.0, 3.0, 4.0, Scale::lin, Scale::lin}));
  EXPECT_EQ(s.settingp.zplot, (std::array<double, 3>{2.5, 0.0, 0.0}));
  EXPECT_EQ(io.text(), "");
}

TEST(BackgroundChoices, HorizontalRangeIsClippedToTheData) {
  State s = series();
  s.data.t2.assign(std::vector{1900.0, 1950.0, 1960.0, 1970.0, 2000.0});
  const auto range = [&] { return std::pair(s.settingp[5].xl, s.settingp[5].xu); };
  EXPECT_EQ(dialog(s, 'o', "0 1e30\n"), kHorizontal);
  EXPECT_EQ(range(), std::pair(1900.0, 2000.0));
  // Unreadable, beyond the data, reversed.
  EXPECT_EQ(dialog(s, 'o', "1950\n2100 2200\n1980,1960\n1955, 1965\n"), repeated(kHorizontal, 4));
  EXPECT_EQ(range(), std::pair(1955.0, 1965.0));
  // A refused range stays clipped in place.
  EXPECT_EQ(dialog(s, 'o', repeated("2100 2200\n", 5) + "1950 1960\n"), repeated(kHorizontal, 5) + "[stop]");
  EXPECT_EQ(range(), std::pair(2100.0, 2000.0));
}

// The window 1950..1980 leaves out the lowest value (-5 at 1990); drawn in
// it are the data 10..100 and the background 8.
TEST(BackgroundChoices, VerticalRangeTakesEffectOnlyWhereItCutsIntoTheDrawing) {
  const struct { const char* answer; double z1, yl, yu; Scale logy; } cases[] = {
      {"0 200", 2.0, kUnsetReal, 125.0, Scale::lin},  // room on both sides: automatic
      {"0 60", 2.0, 8.0, 75.0, Scale::log},           // lower end raised to the lowest drawn value
      {"15 50", 2.0, 15.0, 62.5, Scale::log},         // both ends cut: kept, the upper one scaled
      {"15 1000", 2.0, 15.0, 100.0, Scale::log},      // 1.25 * 100, then lowered to the highest
      {"8 1000", 2.0, 8.0, 125.0, Scale::log},        // at the lowest drawn value: not below it, kept
      {"-1 60", -10.0, -1.0, 75.0, Scale::lin},       // line b - 10 v = -2 drawn; negative end: linear
  };
  for (const auto& c : cases) {
    State s = series();
    s.settingp[5] = {1950.0, 1980.0, 3.0, 4.0, Scale::lin, Scale::log};
    s.settingp.zplot[0] = c.z1;
    EXPECT_EQ(dialog(s, 'v', std::string(c.answer) + "\n"), kVertical);
    EXPECT_EQ(axes(s.settingp[5]), axes({1950.0, 1980.0, c.yl, c.yu, Scale::lin, c.logy})) << c.answer;
  }
  State s = series();
  EXPECT_EQ(dialog(s, 'v', "5 1\n1 1\nx 3\n0 60\n"), repeated(kVertical, 4));  // reversed, equal, unreadable
  EXPECT_EQ(s.settingp[5].yu, 75.0);
  EXPECT_EQ(dialog(s, 'v', repeated("5 1\n", 5)), repeated(kVertical, 5) + "[stop]");
}

// Ascending order puts unwanted zeros first when the wanted lines are positive.
TEST(BackgroundChoices, TestLinesAreSortedOrRefusedWithAReason) {
  const struct { const char* answer; std::array<double, 3> stored; } cases[] = {
      {"6, 2, 4", {2.0, 4.0, 6.0}},    {"3 0 0", {0.0, 0.0, 3.0}},
      {"-3 -2 0", {-3.0, -2.0, 0.0}},  {"99.9 -99.9 0 100", {-99.9, 0.0, 99.9}},
  };
  for (const auto& c : cases) {
    State s = series();
    EXPECT_EQ(dialog(s, 't', std::string(c.answer) + "\n"), kTest);
    EXPECT_EQ(s.settingp.zplot, c.stored) << c.answer;
  }
  State s = series();
  const std::string tooLarge = lines({"Sorry - abs(z) must be smaller than 100", ""});
  const std::string allZero = lines({"Sorry - at least one z must have abs(z) > 0", ""});
  EXPECT_EQ(dialog(s, 't', "100 0 0\n0 0 0\n1 2\n-0.5 0 0\n"),
            kTest + tooLarge + kTest + allZero + kTest + "\n" + kTest);
  EXPECT_EQ(s.settingp.zplot, (std::array<double, 3>{-0.5, 0.0, 0.0}));
  // The input ends after four answers.
  EXPECT_EQ(dialog(s, 't', repeated("0 0 -100\n", 4)), repeated(kTest + tooLarge, 4) + kTest + "\n[stop]");
}

}  // namespace
}  // namespace morvek

// The analysis up to the events of each class: the observation interval and
// its extraction, the extremes, the magnitude classes, their pseudodata
// beyond the interval's ends, and the trend test.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "morvek/classes.h"
#include "morvek/extremes.h"
#include "morvek/interval.h"
#include "morvek/pseudodata.h"
#include "morvek/trend.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;
using List = std::vector<double>;

List range(int n, double first = 1.0) {
  List v;
  for (int i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}

// The mean spacing (tobsr - tobsl) / (n1 + 1) may reach its bounds but not
// pass them.
TEST(TimeUnitTest, SpacingOutsideItsBoundsStops) {
  const double most = 1000000003.9958029, least = 9.999999960041972e-10;
  State s = withData(DataType::ordinary, {0, 1});
  s.setting.n1 = 1;
  for (double spacing : {most, least}) {
    s.setting.tobsr = 2 * spacing;
    EXPECT_EQ(stopLines([&] { check1(s); }), Lines{"(went on)"}) << spacing;
  }
  s.setting.tobsr = 2 * std::nextafter(most, 2 * most);
  EXPECT_EQ(stopLines([&] { check1(s); }), (Lines{"Average spacing is:  1000000003.995803",
                                                  "Maximum allowed is:  1000000003.995803", "",
                                                  "Rescale time units and start Morvek new", ""}));
  s.setting.tobsr = 2 * std::nextafter(least, 0.0);
  EXPECT_EQ(stopLines([&] { check1(s); }).at(1), "Minimum allowed is:           0.000000");
}

TEST(ExtractionTest, IntervalIsARunOfPointsClampedToTheDataAndResetsTheWindow) {
  State s = withData(DataType::extreme, range(10), range(10, 100.0));
  s.setting.k = 4;
  Scripted session("3.5 6\n-1e30, 1e30\n");
  interval(s, session.console, Part1Choice::newInterval);
  EXPECT_EQ(List(s.data.t2.begin(), s.data.t2.end()), (List{4, 5, 6}));  // three event points are enough
  EXPECT_EQ(List(s.data.x2.begin(), s.data.x2.end()), (List{103, 104, 105}));
  EXPECT_EQ(s.setting.k, kUnsetInt);
  s.setting.k = 4;
  interval(s, session.console, Part1Choice::newInterval);
  EXPECT_EQ(List(s.data.x2.begin(), s.data.x2.end()), range(10, 100.0));
  EXPECT_EQ(s.setting.k, kUnsetInt);
  s.setting.k = 4;
  interval(s, session.console, Part1Choice::original);  // the same interval again keeps the window
  EXPECT_EQ(s.setting.k, 4);

  s = withData(DataType::times, range(10));
  Scripted few("3.2 3.8\n2 3\n5 1\n20 30\n2 4\n");
  interval(s, few.console, Part1Choice::newInterval);
  EXPECT_EQ(s.setting.n2, 3);
  expectGolden("interval_extraction.txt", few.text());
  // Time series need the smoothable length; five cycles of too few points stop.
  s = withData(DataType::ordinary, range(20));
  Scripted cycles("1 6\n1 6\n1 6\n1 6\n1 6\n1 7\n");
  EXPECT_THROW(interval(s, cycles.console, Part1Choice::newInterval), Fatal);
  Scripted enough("1 7\n");
  interval(s, enough.console, Part1Choice::newInterval);
  EXPECT_EQ(s.setting.n2, 7);
}

// The threshold takes 0.001 <= |z| <= 100, both signs. The refusals of the
// menu show in the sessions; the plot settings, which no session opens,
// return their own letter.
TEST(ExtremesTest, ThresholdDialogAndPlotSettingsMenu) {
  State s;
  Scripted session("0\n0.0009\n100.5\nz\n100\n-0.0009\n-100.5\n-0.001\n-100\n"), menu("p\nx\ng\n");
  for (double z : {100.0, -0.001, -100.0}) {
    chsett5(s, session.console);
    EXPECT_EQ(s.setting.z, z);
  }
  EXPECT_EQ(decis2(s, menu.console).setting, BackgroundSetting::log);
  expectGolden("part2_menu.txt", menu.text());
}

// Classes of extremes at times 10, 20, ... of the data span 0 to 100, made
// by the dialog on `answers`, whose transcript goes to `log`.
State classified(DataType type, const List& values, const std::string& answers, std::string& log) {
  State s = withData(type, {0, 100});
  setExtremes(s, {10, 20, 30, 40, 50}, values);
  Scripted session(answers);
  const Lines stop = stopLines([&] { chsett6(s, session.console); });
  log += session.text();
  if (stop != Lines{"(went on)"}) throw Fatal(stop);
  enter(s, Stage::classes);
  classes(s);
  return s;
}

List row(const State& s, std::size_t j) { return List(s.data.t4.row(j).begin(), s.data.t4.row(j).end()); }

TEST(ClassesTest, EvenlySpacedClassesHoldEveryExtremeAndInnerBoundsGoBelow) {
  std::string log;
  State s = classified(DataType::ordinary, {3.0, 2.0, 4.0, 2.5, 3.5}, "0\n4\nx\n2\ne\n", log);  // 1 to 3
  EXPECT_EQ(List(s.setting.c.begin(), s.setting.c.end()), (List{2, 3, 4}));
  EXPECT_EQ(row(s, 0), (List{10, 20, 40}));  // in the order of the extremes
  EXPECT_EQ(row(s, 1), (List{30, 50, kUnsetReal}));
  EXPECT_EQ(s.setting.n4[1], 2);
  // -3 + (-0.7 - -3) rounds below -0.7: a top bound from the formula would
  // leave the largest extreme out of every class.
  for (const char* answers : {"1\n", "2\ne\n", "3\ne\n"}) {
    s = classified(DataType::ordinary, {-3.0, -2.0, -0.7, -3.0, -3.0}, answers, log);
    const auto l = static_cast<std::size_t>(s.setting.l);
    EXPECT_EQ((List{s.setting.c[0], s.setting.c[l]}), (List{-3.0, -0.7}));
    EXPECT_EQ(std::accumulate(s.setting.n4.begin(), s.setting.n4.end(), 0), 5) << answers;
  }
}

// Every error of an attempt is named, in order; the fifth failure stops.
TEST(ClassesTest, PerHandBoundsAndTheTable) {
  std::string log;
  const List values{2.0, 2.5, 3.0, 3.5, 4.0};
  State s = classified(DataType::ordinary, values, "2\nh\n2.0\n1.0\n5.0\nabc\n3.2\n", log);
  EXPECT_EQ(s.setting.c[1], 3.2);
  EXPECT_THROW(classified(DataType::ordinary, values, "3\nh\n3\n3.5 3\n3.5,3\n2.1\n3 x\n", log), Fatal);
  s = classified(DataType::ordinary, values, "3\ne\n", log);
  s.setting.h[0] = 12.5;
  Scripted table;
  info3(s, table.console);
  expectGolden("classes_dialogs.txt", log + table.text());
}

// An extreme on an end of the data switches the two-point rule to
// reflection; once switched the rule stays, only the mark goes.
TEST(ClassesTest, EventTimesMakeOneClassAndAnExtremeOnADataEndSwitchesTheRule) {
  std::string log;
  State s = classified(DataType::times, {}, "", log);
  EXPECT_EQ(row(s, 0), (List{10, 20, 30, 40, 50}));
  chsett6a(s);
  EXPECT_EQ(s.parameters.rule, Rule::twopoint);
  s.data.t4.at(0, 4) = 100;
  chsett6a(s);
  EXPECT_TRUE(s.parameters.rule == Rule::reflection && s.parameters.rule_reflection_reset);
  s = classified(DataType::extreme, {1, 2, 3, 0, 0}, "2\ne\n", log);  // times 10 40 50 | 20 30
  s.parameters.rule = Rule::reflection;
  s.parameters.rule_reflection_reset = true;
  chsett6a(s);
  EXPECT_TRUE(s.parameters.rule == Rule::reflection && !s.parameters.rule_reflection_reset);
  s.parameters.rule = Rule::twopoint;
  s.data.t4.at(1, 0) = 0;
  chsett6a(s);
  EXPECT_TRUE(s.parameters.rule == Rule::reflection && s.parameters.rule_reflection_reset);
}

constexpr double M = kMissingPseudo, U = kUnsetReal;
constexpr Rule R = Rule::reflection, T = Rule::twopoint;

// One side of one class over [0, 10] up to the grid end g.
TEST(PseudodataTest, SidesMirrorStopAndContinueByEitherRule) {
  struct Case { bool left; List x; double g; Rule rule; List want; };
  const Case cases[] = {
      // A side stops at the first candidate at or past the grid end.
      {true, {2, 5, 9}, -5, R, {-2, -5, M}},
      {false, {2, 5, 9}, 15, R, {11, 15, M}},
      {true, {0, 3, 4}, -100, R, {M, -3, -4}},  // an event on L is not mirrored
      // Two events on R give two markers, neither starts the continuation;
      // k = 3 mirrors the first event, and is still checked against the grid end.
      {false, {1, 10, 10}, 100, R, {M, M, 19}},
      {false, {1, 2, 10, 10}, 15, R, {M, M, 18, M}},
      // x(2) - L = 3 (x(1) - L) puts two-point candidate 2 on L: missing, and
      // on the left that ends the outward run, so the block (-1) is repeated.
      {true, {1, 3, 5, 7}, -100, T, {-1, -2, -3, -4}},
      // A side never holds more than n pseudodata, the continuation included.
      {true, {1, 2, 3}, -1e6, R, {-1, -2, -3}},
      {false, {1, 2, 3}, 1e6, R, {17, 18, 19}},
      {true, {1, 1, 5}, -1e6, R, {-1, -2, -3}},
      // Two events on L, then a tie: the block is (missing, missing, -3); the
      // copies shift only -3 and take no position for the missing entries.
      // A copy on the grid end is the last.
      {true, {0, 0, 3, 3, 5}, -6, R, {M, M, -3, -6, M}},
      {true, {0, 0, 3, 3, 5}, -1e3, R, {M, M, -3, -6, -9}},
      {false, {2, 6, 6, 10}, 18, R, {M, 14, 18, M}},  // on R, then a tie
      {false, {2, 6, 6, 10}, 1e3, R, {M, 14, 18, 22}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.left ? detail::leftSide(c.x, 0, 10, c.g, c.rule) : detail::rightSide(c.x, 0, 10, c.g, c.rule), c.want)
        << (c.left ? "left" : "right") << ", x[0] = " << c.x[0] << ", g = " << c.g;
  }
  // The order statistics X(j/3) hold the boundaries, the events and the
  // thirds between; the first two-point candidate is the reflection of x(1),
  // up to a few units in the last place of the largest time involved.
  const List thirds = detail::orderStatistics(List{4.0, 7.0}, 1.0, 10.0);
  ASSERT_EQ(thirds.size(), 10u);
  for (std::size_t j = 0; j < 10; ++j) EXPECT_DOUBLE_EQ(thirds[j], j + 1.0);
  const double a = 3.7, b = 12.9, tolerance = 64 * std::numeric_limits<double>::epsilon() * b;
  for (double inner : {3.7000001, 4.1, 5.25, 8.0, 12.3}) {
    EXPECT_EQ(detail::leftSide(List{inner, 12.5}, a, b, -1e6, R)[0], a - (inner - a));
    EXPECT_NEAR(detail::leftSide(List{inner, 12.5}, a, b, -1e6, T)[0], a - (inner - a), tolerance) << inner;
    EXPECT_NEAR(detail::rightSide(List{a, inner}, a, b, 1e6, T)[0], b + (b - inner), tolerance) << inner;
  }
}

// Row `row` of t for classes of events on [0, 10] and a rate grid from g0 to
// g1, t held before as when the classes are made again. It holds n(row)
// times, sorted by reflection, of ordinary size (no marker shifted), then unset.
List pseudo(const std::vector<List>& events, double g0, double g1, int& maxnrr, std::size_t row = 0, Rule rule = R) {
  State s;
  s.parameters.rule = rule;
  s.setting.tobsl = 0;
  s.setting.tobsr = 10;
  s.data.lx = held(List{g0, (g0 + g1) / 2, g1});
  setPseudodata(s, events);
  s.setting.n4 = s.setting.n;
  s.data.t4 = s.data.t;
  s.setting.l = static_cast<int>(events.size());
  s.setting.maxnrr = maxnrr;
  pseudodata(s);
  maxnrr = s.setting.maxnrr;
  const List t(s.data.t.row(row).begin(), s.data.t.row(row).end());
  const auto n = static_cast<std::size_t>(std::clamp(s.setting.n[row], 0, static_cast<int>(t.size())));
  EXPECT_EQ(static_cast<std::size_t>(std::count(t.begin(), t.end(), U)), t.size() - n);
  EXPECT_TRUE(rule == T || std::is_sorted(t.begin(), t.begin() + n));
  EXPECT_TRUE(std::all_of(t.begin(), t.begin() + n, [](double v) { return std::fabs(v) < 1e6; }));
  return t;
}

TEST(PseudodataTest, ClassesGetBothSidesInOrderWithinTheLargestExtent) {
  int most = kUnsetInt;
  EXPECT_EQ(pseudo({{2, 5, 9}, {4}, {}}, -5, 15, most), (List{-5, -2, 2, 5, 9, 11, 15}));
  EXPECT_EQ(pseudo({{2, 5, 9}, {4}, {}}, -5, 15, most, 1), (List{-4, 4, 16, U, U, U, U}));
  EXPECT_EQ(pseudo({{2, 5, 9}, {4}, {}}, -5, 15, most, 2), List(7, U));
  // Fewer events: the extent stays; more: it grows.
  EXPECT_EQ(pseudo({{5}, {3, 7}}, -100, 100, most, 1), (List{-7, -3, 3, 7, 13, 17, U}));
  EXPECT_EQ(pseudo({{0, 3, 4}, {1, 2, 3}}, -1e6, 1e6, most), (List{-4, -3, 0, 3, 4, 16, 17, 20, U}));
  EXPECT_EQ(pseudo({{0, 3, 4}, {1, 2, 3}}, -1e6, 1e6, most, 1), (List{-3, -2, -1, 1, 2, 3, 17, 18, 19}));
  // Classes without events need no space.
  EXPECT_EQ(pseudo({{}}, -4, 14, most = 20, 0, T), List(20, U));
  EXPECT_EQ(pseudo({{}}, -4, 14, most = kUnsetInt, 0, T), List{});
  EXPECT_EQ(most, 0);
  // Markers are left out.
  EXPECT_EQ(pseudo({{0, 0, 3, 3, 5}, {0, 2, 2, 2, 2, 2}}, -5, 20, most), (List{-6, -3, 0, 0, 3, 3, 5, 15, 17, 22, U}));
  for (Rule rule : {R, T}) pseudo({{0, 0, 3, 3, 5}, {2, 6, 6, 10}, {0, 2, 2, 2, 2, 2}}, -5, 20, most, 2, rule);
}

// erfc to its stated error. u = sqrt(12 n) (mean - L - span / 2) / span:
// 6 (284 / 3 - 50) / 100 = 2.68 for the late cluster, -2.68 for the early
// one, with the same one-sided P. A class without events has no statistic;
// with one class nobody is asked which.
TEST(TrendTest, ErfcTheStatisticOfClusteredEventsAndOfNone) {
  for (double x = -6.0; x <= 9.0; x += 0.001) ASSERT_NEAR(erfcc_s(x), std::erfc(x), 1.2e-7 * std::erfc(x)) << x;
  EXPECT_NEAR(erfcc_s(0.0), 1.0, 1.2e-7);
  State s = withData(DataType::ordinary, {0, 100});
  setClasses(s, {0, 1, 2, 3}, {{90, 95, 99}, {1, 5, 10}, {}});
  for (std::size_t cls = 0; cls < 3; ++cls) test(s, cls);
  EXPECT_NEAR(s.data.u[0], 2.68, 1e-12);
  EXPECT_NEAR(s.data.u[1], -2.68, 1e-12);
  EXPECT_EQ(s.data.p[0], s.data.p[1]);
  EXPECT_TRUE(std::isnan(s.data.u[2]) && std::isnan(s.data.p[2]));  // no number made up
  Scripted shown("\n0\n4\nx\n2\n");
  info4(s, shown.console, 2);
  EXPECT_EQ(decis5(s, shown.console), 1u);
  s.setting.l = 1;
  EXPECT_EQ(decis5(s, shown.console), 0u);
  const std::string prompt = "\nClass number [ <=  3 ]: \n";
  EXPECT_EQ(shown.text(), "\nCox-Lewis test for constant risk\nToo few events in this class for the test\n\n"
                          "Continue with Enter\n\n" + prompt + prompt + prompt + prompt);
}

}  // namespace
}  // namespace morvek

#include "morvek/interval.h"

#include <gtest/gtest.h>
#include <cmath>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;

List range(int n, double first = 1.0) {
  List v;
  for (int i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}

// The lines of the stop that `action` ends with, none if it does not stop.
template <class F>
std::vector<std::string> stopLines(F action) {
  try {
    action();
  } catch (const Fatal& fatal) {
    return fatal.lines();
  }
  return {};
}

// The screen shows the data's ends rounded; typing what it shows is the end
// itself, anything that reads otherwise outside the data is refused.
TEST(ObservationIntervalTest, BoundsTypedAsShownAreTheDataEnds) {
  State s = withData(DataType::times, {1851.2026, 1900, 1962.2197});
  Scripted session("1851.5\n1.851E+03\n1.961E+03\n1963\n");
  chsett3(s, session.console);
  EXPECT_EQ((List{s.setting.tobsl, s.setting.tobsr}), (List{1851, 1963}));  // inside the allowed side: as typed
  s.data.t1[0] = 1850.9;  // 1851 lies just above the start, shown as 1.851E+03
  Scripted shown("1.851E+03\n1.962E+03\n1850.9\n1962.2197\n");
  chsett3(s, shown.console);
  EXPECT_EQ((List{s.setting.tobsl, s.setting.tobsr}), (List{1850.9, 1962.2197}));
  s.setting.tobsl = s.setting.tobsr = 0;
  chsett3(s, shown.console);  // the ends themselves
  EXPECT_EQ((List{s.setting.tobsl, s.setting.tobsr}), (List{1850.9, 1962.2197}));
}

// The mean spacing (tobsr - tobsl) / (n1 + 1) may reach its bounds but not
// pass them.
TEST(TimeUnitTest, SpacingOutsideItsBoundsStops) {
  const double most = 1000000003.9958029, least = 9.999999960041972e-10;
  State s = withData(DataType::ordinary, {0, 1});
  s.setting.n1 = 1;
  for (double spacing : {most, least}) {
    s.setting.tobsr = 2 * spacing;
    EXPECT_EQ(stopLines([&] { check1(s); }), std::vector<std::string>{}) << spacing;
  }
  s.setting.tobsr = 2 * std::nextafter(most, 2 * most);
  EXPECT_EQ(stopLines([&] { check1(s); }),
            (std::vector<std::string>{"Average spacing is:  1000000003.995803", "Maximum allowed is:  1000000003.995803",
                                      "", "Rescale time units and start Morvek new", ""}));
  s.setting.tobsr = 2 * std::nextafter(least, 0.0);
  EXPECT_EQ(stopLines([&] { check1(s); }).at(1), "Minimum allowed is:           0.000000");
}

TEST(ExtractionTest, IntervalIsARunOfPointsClampedToTheDataAndResetsTheWindow) {
  State s = withData(DataType::extreme, range(10), range(10, 100.0));
  s.setting.k = 4;
  Scripted session("3.5 6\n-1e30, 1e30\n");
  interval(s, session.console, 'n');
  EXPECT_EQ(List(s.data.t2.begin(), s.data.t2.end()), (List{4, 5, 6}));  // three event points are enough
  EXPECT_EQ(List(s.data.x2.begin(), s.data.x2.end()), (List{103, 104, 105}));
  EXPECT_EQ(s.setting.k, kUnsetInt);
  s.setting.k = 4;
  interval(s, session.console, 'n');
  EXPECT_EQ(List(s.data.x2.begin(), s.data.x2.end()), range(10, 100.0));
  EXPECT_EQ(s.setting.k, kUnsetInt);
  s.setting.k = 4;
  interval(s, session.console, 'o');  // the same interval again keeps the window
  EXPECT_EQ(s.setting.k, 4);

  s = withData(DataType::times, range(10));
  Scripted few("3.2 3.8\n2 3\n5 1\n20 30\n2 4\n");
  interval(s, few.console, 'n');
  EXPECT_EQ(s.setting.n2, 3);
  expectGolden("interval_extraction.txt", few.text());
  // Time series need the smoothable length; five cycles of too few points stop.
  s = withData(DataType::ordinary, range(20));
  Scripted cycles("1 6\n1 6\n1 6\n1 6\n1 6\n1 7\n");
  EXPECT_THROW(interval(s, cycles.console, 'n'), Fatal);
  Scripted enough("1 7\n");
  interval(s, enough.console, 'n');
  EXPECT_EQ(s.setting.n2, 7);
}

TEST(SummaryTest, ResultFileThatCannotBeWrittenStops) {
  ScratchDir dir;
  std::filesystem::create_directory("morvek-1.dat");
  const State s = withData(DataType::ordinary, {1, 2});
  EXPECT_EQ(stopLines([&] { info1(s, "morvek-1.dat"); }), std::vector<std::string>{"Error during data file opening"});
}

}  // namespace morvek

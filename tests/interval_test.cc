#include "morvek/interval.h"

#include <gtest/gtest.h>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

// A state as the start-up leaves it, with the Part 1 interval set to all data.
State started(DataType type, std::vector<double> times, std::vector<double> values = {}) {
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = "data/flows.txt";
  s.setting.n1 = static_cast<int>(times.size());
  allocate0(s);
  s.data.t1.assign(times);
  if (type != DataType::times) {
    if (values.empty()) values.assign(times.size(), 1.0);
    s.data.x1.assign(values);
  }
  s.setting.tobsl = times.front();
  s.setting.tobsr = times.back();
  init1a(s);
  allocate1(s);
  init1b(s);
  return s;
}

std::vector<double> range(int n, double first = 1.0) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}

TEST(ObservationIntervalTest, TimeSeriesTakeTheDataSpanWithoutQuestions) {
  State s = started(DataType::ordinary, {1871, 1872, 1875});
  s.setting.tobsl = s.setting.tobsr = kUnsetReal;
  Scripted session;
  chsett3(s, session.console);
  EXPECT_EQ(s.setting.tobsl, 1871.0);
  EXPECT_EQ(s.setting.tobsr, 1875.0);
  EXPECT_EQ(session.text(), "");
}

TEST(ObservationIntervalTest, EventsAskForBothBounds) {
  State s = started(DataType::extreme, {1950.5, 1960, 2001.25});
  Scripted session("1951\nx\n1950.5\n2000\n2010\n");
  chsett3(s, session.console);
  EXPECT_EQ(s.setting.tobsl, 1950.5);  // equal to the first time is accepted
  EXPECT_EQ(s.setting.tobsr, 2010.0);
  const std::string left = "\nObservation time interval -  left bound [must be <= start]: \n";
  const std::string right = "\nObservation time interval - right bound [must be >=   end]: \n";
  EXPECT_EQ(session.text(), lines({"", "Time series data: start =  1.950E+03",
                                   "Time series data:   end =  2.001E+03"}) +
                                left + left + left + right + right);
}

// The screen shows the data's ends rounded; typing what it shows is the end
// itself, anything that reads otherwise outside the data is refused.
TEST(ObservationIntervalTest, BoundsTypedAsShownAreTheDataEnds) {
  State s = started(DataType::times, {1851.2026, 1900, 1962.2197});
  Scripted session("1851.5\n1.851E+03\n1963\n1.961E+03\n1.962E+03\n");
  chsett3(s, session.console);
  EXPECT_EQ(s.setting.tobsl, 1851.0);  // inside the allowed side: taken as typed
  EXPECT_EQ(s.setting.tobsr, 1963.0);
  Scripted shown("1.851E+03\n1962\n");
  s.data.t1[0] = 1850.9;  // 1851 lies just above the start, shown as 1.851E+03
  chsett3(s, shown.console);
  EXPECT_EQ(s.setting.tobsl, 1850.9);
  EXPECT_EQ(s.setting.tobsr, 1962.2197);
  Scripted refused("1851.5\n1.961E+03\n1.961E+03\n1.961E+03\n1.961E+03\n1.961E+03\n");
  s.data.t1[0] = 1851.2026;
  EXPECT_THROW(chsett3(s, refused.console), Fatal);
}

TEST(ObservationIntervalTest, FifthRejectedBoundStops) {
  State s = started(DataType::times, {1, 2, 3, 4});
  Scripted session("2\n2\n2\n2\n2\n0\n");
  EXPECT_THROW(chsett3(s, session.console), Fatal);
}

TEST(TimeUnitTest, SpacingOutsideItsBoundsStops) {
  State wide = started(DataType::ordinary, range(900, 0.0));
  wide.setting.tobsr = 1.0e12;
  try {
    check1(wide);
    FAIL();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), (std::vector<std::string>{
                                 "Average spacing is:  1109877913.429523", "Maximum allowed is:  1000000003.995803", "",
                                 "Rescale time units and start Morvek new", ""}));
  }
  State narrow = started(DataType::ordinary, range(10, 0.0));
  narrow.setting.tobsl = 0.0;
  narrow.setting.tobsr = 1.0e-9;
  try {
    check1(narrow);
    FAIL();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines()[0], "Average spacing is:           0.000000");
    EXPECT_EQ(fatal.lines()[1], "Minimum allowed is:           0.000000");
  }
  EXPECT_NO_THROW(check1(started(DataType::ordinary, range(10))));
}

TEST(Part1MenuTest, MenuLines) {
  Scripted session("c\n");
  EXPECT_EQ(decis1(session.console), 'c');
  EXPECT_EQ(session.text(), lines({"", "", "", "Part 1: Time Interval Extraction", "",
                                   "New                                      [n]",
                                   "Original                                 [o]",
                                   "Continue                                 [c]"}));
}

TEST(ExtractionTest, WiderIntervalIsClampedToTheData) {
  State s = started(DataType::ordinary, range(10));
  Scripted session("-1e30, 1e30\n");
  interval(s, session.console, 'n');
  EXPECT_EQ(s.setting.n2, 10);
  EXPECT_EQ(session.text(), lines({"New interval must contain at least     7 points",
                                   "[left boundary, right boundary]: "}));
}

TEST(ExtractionTest, IntervalIsARunOfPointsAndResetsTheWindow) {
  State s = started(DataType::extreme, range(10), range(10, 100.0));
  s.setting.k = 4;
  Scripted session("3.5 6\n");
  interval(s, session.console, 'n');
  ASSERT_EQ(s.setting.n2, 3);  // exactly three event points are enough
  EXPECT_EQ(std::vector<double>(s.data.t2.begin(), s.data.t2.end()),
            (std::vector<double>{4, 5, 6}));
  EXPECT_EQ(std::vector<double>(s.data.x2.begin(), s.data.x2.end()),
            (std::vector<double>{103, 104, 105}));
  EXPECT_EQ(s.setting.k, kUnsetInt);

  s.setting.k = 4;
  interval(s, session.console, 'o');
  EXPECT_EQ(s.setting.n2, 10);
  EXPECT_EQ(s.data.x2[9], 109.0);
  EXPECT_EQ(s.setting.k, kUnsetInt);

  s.setting.k = 4;
  interval(s, session.console, 'o');  // the same interval again keeps the window
  EXPECT_EQ(s.setting.k, 4);
}

TEST(ExtractionTest, TooFewPointsAskAgain) {
  State s = started(DataType::times, range(10));
  Scripted session("3.2 3.8\n2 3\n5 1\n20 30\n2 4\n");
  interval(s, session.console, 'n');
  EXPECT_EQ(s.setting.n2, 3);
  const std::string ask = lines({"New interval must contain at least     3 points",
                                 "[left boundary, right boundary]: "});
  EXPECT_EQ(session.text(), ask + "Time interval contains too few points:      0\n" + ask +
                                "Time interval contains too few points:      2\n" + ask + ask +
                                ask);
}

TEST(ExtractionTest, OrdinaryDataNeedTheSmoothableLengthAndFiveFailuresStop) {
  State s = started(DataType::ordinary, range(20));
  Scripted cycles("1 6\n1 6\n1 6\n1 6\n1 6\n1 7\n");
  EXPECT_THROW(interval(s, cycles.console, 'n'), Fatal);  // five cycles of six points
  Scripted unreadable("1\nx y\n8 2\n21 22\n-5 0\n2 9\n");
  EXPECT_THROW(interval(s, unreadable.console, 'n'), Fatal);  // five refused answers
  Scripted enough("1 7\n");
  interval(s, enough.console, 'n');
  EXPECT_EQ(s.setting.n2, 7);
}

TEST(SummaryTest, ConsoleBlock) {
  State s = started(DataType::extreme, {1950.5, 1960, 1970, 1980, 2001.25});
  s.setting.tobsl = 1900;
  s.setting.tobsr = 2010;
  Scripted session("1955 1985\n");
  info1(s, session.console);
  const std::string name = "data/flows.txt                                    ";
  const std::string head = lines({"Data file name:              " + name,
                                  "Datatype:                    extreme  ",
                                  "Time interval - original:    [    1950.500;    2001.250 ]       -      5 points",
                                  "Time interval - observed:    [    1900.000;    2010.000 ]"});
  EXPECT_EQ(session.text(), head);

  interval(s, session.console, 'n');
  s.parameters.rule = Rule::reflection;
  s.parameters.rule_reflection_reset = true;
  Scripted again;
  info1(s, again.console);
  EXPECT_EQ(again.text(),
            lines({"Configuration file setting:",
                   "rule = reflection (pseudodata generation rule *reset*)", ""}) +
                head +
                "Time interval - extracted:   [    1960.000;    1980.000 ]       -      3 points\n");
}

TEST(SummaryTest, ResultFileHeader) {
  testing::ScratchDir dir;
  State s = started(DataType::ordinary, {1871, 1872, 1873});
  s.parameters.alpha = 0.9999;
  info1(s, "morvek-1.dat");
  testing::writeFile("morvek-2.dat", "an older file\nwith two lines\n");
  info1(s, "morvek-2.dat");
  const std::string expected = lines(
      {"Morvek:  Output", " ", "Configuration file setting:",
       "krel =    0.250      (search range in cross-validation for background estimation)",
       "rule =    twopoint   (pseudodata generation rule)",
       "hrelmax = 0.500      (search range in cross-validation for risk estimation)",
       "nhsrch =    400      (search grid in cross-validation for risk estimation)",
       "ngrid =    2048      (time grid for risk estimation)",
       "alpha =   1.000      (confidence level)", " ",
       "Data file name:              data/flows.txt                                    ",
       "Datatype:                    ordinary ",
       "Time interval - original:    [    1871.000;    1873.000 ]       -      3 points",
       "Time interval - observed:    [    1871.000;    1873.000 ]"});
  EXPECT_EQ(testing::readFile("morvek-1.dat"), expected);
  EXPECT_EQ(testing::readFile("morvek-2.dat"), expected);

  std::filesystem::create_directory("morvek-3.dat");
  try {
    info1(s, "morvek-3.dat");
    FAIL() << "a folder cannot be written as a file";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Error during data file opening"});
  }
}

}  // namespace
}  // namespace morvek

#include "morvek/classes.h"

#include <gtest/gtest.h>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::readFile;
using testing::Scripted;
using testing::ScratchDir;
using testing::writeFile;

// A state as the extreme detection leaves it; the data span 0 to 100.
State detected(DataType type, std::vector<double> times, std::vector<double> values = {}) {
  State s;
  s.setting.datatype = type;
  s.setting.n1 = 2;
  allocate0(s);
  s.data.t1[0] = 0;
  s.data.t1[1] = 100;
  s.setting.n3 = static_cast<int>(times.size());
  allocate2b(s);
  std::copy(times.begin(), times.end(), s.data.t3.begin());
  std::copy(values.begin(), values.end(), s.data.x3.begin());
  return s;
}

void makeClasses(State& s, const std::string& answers) {
  Scripted session(answers);
  chsett6(s, session.console);
  allocate4a(s);
  init4a(s);
  allocate5a(s);
  init5a(s);
  classes(s);
}

const std::vector<double> kValues{2.0, 2.5, 3.0, 3.5, 4.0};
const std::vector<double> kTimes{10, 20, 30, 40, 50};

TEST(ClassesTest, EvenlySpacedBoundsPutInnerBoundsInTheLowerClass) {
  State s = detected(DataType::ordinary, kTimes, {3.0, 2.0, 4.0, 2.5, 3.5});
  makeClasses(s, "2\ne\n");
  ASSERT_EQ(s.setting.l, 2);
  EXPECT_EQ(s.setting.c[0], 2.0);
  EXPECT_EQ(s.setting.c[1], 3.0);
  EXPECT_EQ(s.setting.c[2], 4.0);
  EXPECT_EQ(s.setting.n4[0], 3);
  EXPECT_EQ(s.setting.n4[1], 2);
  // Times in the order of the extremes; the shorter row ends in the sentinel.
  ASSERT_EQ(s.data.t4.cols(), 3u);
  EXPECT_EQ(s.data.t4.at(0, 0), 10.0);
  EXPECT_EQ(s.data.t4.at(0, 1), 20.0);
  EXPECT_EQ(s.data.t4.at(0, 2), 40.0);
  EXPECT_EQ(s.data.t4.at(1, 0), 30.0);
  EXPECT_EQ(s.data.t4.at(1, 1), 50.0);
  EXPECT_EQ(s.data.t4.at(1, 2), kUnsetReal);
}

// -3 + (-0.7 - -3) rounds below -0.7: a top bound from the formula would
// leave the largest extreme out of every class.
TEST(ClassesTest, EvenlySpacedClassesHoldEveryExtreme) {
  for (const char* answers : {"1\n", "2\ne\n", "3\ne\n"}) {
    State s = detected(DataType::ordinary, {10, 20, 30}, {-3.0, -2.0, -0.7});
    makeClasses(s, answers);
    const auto l = static_cast<std::size_t>(s.setting.l);
    EXPECT_EQ(s.setting.c[0], -3.0);
    EXPECT_EQ(s.setting.c[l], -0.7);
    int held = 0;
    for (std::size_t j = 0; j < l; ++j) held += s.setting.n4[j];
    EXPECT_EQ(held, 3) << answers;
  }
}

TEST(ClassesTest, OneClassNeedsNoSpacingQuestion) {
  State s = detected(DataType::extreme, kTimes, kValues);
  Scripted session("1\n");
  chsett6(s, session.console);
  EXPECT_EQ(session.text(), lines({"Number of magnitude classes: ", "l:    1  <= [INT] <=   3"}));
  EXPECT_EQ(s.setting.c[0], 2.0);
  EXPECT_EQ(s.setting.c[1], 4.0);
}

TEST(ClassesTest, ClassCountAndSpacingAllowFiveAttempts) {
  State s = detected(DataType::ordinary, kTimes, kValues);
  Scripted session("0\n4\nx\n2\nE\n\ne\n");
  chsett6(s, session.console);
  EXPECT_EQ(s.setting.l, 2);
  const std::string count = lines({"Number of magnitude classes: ", "l:    1  <= [INT] <=   3"});
  const std::string spacing = lines({"Classes: evenly spaced                   [e]",
                                     "         per hand                        [h]"});
  EXPECT_EQ(session.text(), count + count + count + count + spacing + spacing + spacing);

  State failing = detected(DataType::ordinary, kTimes, kValues);
  Scripted wrong("0\n0\n0\n0\n0\n");
  EXPECT_THROW(chsett6(failing, wrong.console), Fatal);
}

TEST(ClassesTest, PerHandBoundsNameEveryErrorInOrder) {
  State s = detected(DataType::ordinary, kTimes, kValues);
  Scripted session("2\nh\n2.0\n1.0\n5.0\nabc\n3.2\n");
  chsett6(s, session.console);
  const std::string table = lines({
      "class  1:       [  2.000E+00 = min = c(0);  c(1)                    ]",
      "class  2:       ]                    c(1);  c(2) = max =  4.000E+00 ]", "",
      "Input class bound:", "[c(1)] :"});
  const std::string monotonic = "Error - c increase not strictly monotonically\n";
  const std::string head = lines({"Number of magnitude classes: ", "l:    1  <= [INT] <=   3",
                                  "Classes: evenly spaced                   [e]",
                                  "         per hand                        [h]"});
  EXPECT_EQ(session.text(), head + table + monotonic +                  // 2.0 equals the minimum
                                table + "Error - c < min(x3)\n" + monotonic +  // 1.0
                                table + "Error - c > max(x3)\n" + monotonic +  // 5.0
                                table +                                        // not a number
                                table);
  EXPECT_EQ(s.setting.c[1], 3.2);

  State three = detected(DataType::ordinary, kTimes, kValues);
  Scripted fail("3\nh\n3\n3.5 3\n3.5,3\n2.1\n3 x\n");
  EXPECT_THROW(chsett6(three, fail.console), Fatal);
  const std::string table3 = lines({
      "class  1:       [  2.000E+00 = min = c(0);  c(1)                    ]",
      "class  2:       ]                    c(1);  c(2)                    ]",
      "class  3:       ]                    c(2);  c(3) = max =  4.000E+00 ]", "",
      "Input class bounds with c(1) < c(2):", "[c(1), c(2)] :"});
  EXPECT_EQ(fail.text().substr(head.size()),
            table3 + table3 + monotonic + table3 + monotonic + table3 + table3);
}

TEST(ClassesTest, EventTimesMakeOneClassAtOnce) {
  State s = detected(DataType::times, kTimes);
  makeClasses(s, "");
  EXPECT_EQ(s.setting.l, 1);
  EXPECT_EQ(s.setting.n4[0], 5);
  EXPECT_EQ(s.data.t4.at(0, 4), 50.0);
  EXPECT_EQ(s.setting.c[0], kUnsetReal);
  Scripted session;
  info3(s, session.console);
  EXPECT_EQ(session.text(), lines({"", "Magnitude class",
                                   " 1   [ -9.990E+11; -9.990E+11 ] -      5 points   "}));
}

TEST(ClassesTest, TableHeadingAndRowsFollowWhatIsSet) {
  State s = detected(DataType::ordinary, kTimes, kValues);
  Scripted none;
  info3(s, none.console);  // no classes yet
  EXPECT_EQ(none.text(), "");

  makeClasses(s, "3\ne\n");
  const std::string row1 = " 1   [  2.000E+00;  2.667E+00 ] -      2 points   ";
  const std::string row2 = " 2   ]  2.667E+00;  3.333E+00 ] -      1 points   ";
  const std::string row3 = " 3   ]  3.333E+00;  4.000E+00 ] -      2 points   ";
  Scripted plain;
  info3(s, plain.console);
  EXPECT_EQ(plain.text(), lines({"", "Magnitude class", row1, row2, row3}));

  s.setting.h[0] = 12.5;
  Scripted bandwidth;
  info3(s, bandwidth.console);
  const std::string heading = "Magnitude class" + std::string(35, ' ') + "Kernel bandwidth";
  EXPECT_EQ(bandwidth.text(), lines({"", heading, row1 + "       1.250E+01", row2, row3}));

  s.setting.nsim[0] = 2000;
  s.setting.nsim[1] = 500;  // without a bandwidth the count is not shown
  s.setting.h[2] = 0.25;
  Scripted both;
  info3(s, both.console);
  const std::string full = lines({"", heading + "  Simulations", row1 + "       1.250E+01         2000",
                                  row2, row3 + "       2.500E-01"});
  EXPECT_EQ(both.text(), full);
  EXPECT_EQ(std::string(heading + "  Simulations").size(), 79u);

  ScratchDir dir;
  writeFile("morvek-2.dat", "head\n");
  info3(s, "morvek-2.dat");
  EXPECT_EQ(readFile("morvek-2.dat"), "head\n \n" + full.substr(1));
  EXPECT_THROW(info3(s, "missing.dat"), Fatal);
}

TEST(ClassesTest, MenuRefusesToGoOnWithoutClasses) {
  State s = detected(DataType::ordinary, kTimes, kValues);
  s.setting.l = kUnsetInt;
  Scripted session("c\nM\n2\n");
  EXPECT_EQ(decis3(s, session.console), '2');
  const std::string menu = lines({"", "Part 3: Magnitude Classification", "",
                                  "Magnitude classes                        [m]",
                                  "Part 1: Time Interval Extraction         [1]",
                                  "Part 2: Extreme Events Detection         [2]",
                                  "Continue                                 [c]"});
  EXPECT_EQ(session.text(),
            "\n\n" + menu + "Magnitude classes have not yet been set\n" + menu + menu);

  // Extreme events have no Part 2 to return to.
  State events = detected(DataType::extreme, kTimes, kValues);
  events.setting.l = 1;
  Scripted back("2\nc\n");
  EXPECT_EQ(decis3(events, back.console), 'c');
  EXPECT_EQ(back.text().find("[2]"), std::string::npos);
  Scripted wrong("2\n2\n2\n2\n2\n");
  EXPECT_THROW(decis3(events, wrong.console), Fatal);
}

TEST(ClassesTest, ExtremeOnADataEndSwitchesTheTwoPointRule) {
  State s = detected(DataType::extreme, {0, 20, 30}, {1, 2, 3});
  makeClasses(s, "1\n");
  chsett6a(s);
  EXPECT_EQ(s.parameters.rule, Rule::reflection);
  EXPECT_TRUE(s.parameters.rule_reflection_reset);

  // Once switched the rule stays; only the mark goes when no end is hit.
  State inner = detected(DataType::extreme, {10, 20, 30}, {1, 2, 3});
  inner.parameters.rule = Rule::reflection;
  inner.parameters.rule_reflection_reset = true;
  makeClasses(inner, "2\ne\n");
  chsett6a(inner);
  EXPECT_EQ(inner.parameters.rule, Rule::reflection);
  EXPECT_FALSE(inner.parameters.rule_reflection_reset);

  State last = detected(DataType::times, {10, 20, 100});
  makeClasses(last, "");
  chsett6a(last);
  EXPECT_TRUE(last.parameters.rule_reflection_reset);
}

}  // namespace
}  // namespace morvek

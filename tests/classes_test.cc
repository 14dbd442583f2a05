#include "morvek/classes.h"

#include <gtest/gtest.h>
#include <numeric>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;

// Classes of extremes at times 10, 20, ... of the data span 0 to 100, made
// by the dialog on `answers`, whose transcript goes to `log`.
State classified(DataType type, const List& values, const std::string& answers, std::string& log) {
  State s = withData(type, {0, 100});
  setExtremes(s, {10, 20, 30, 40, 50}, values);
  Scripted session(answers);
  try {
    chsett6(s, session.console);
  } catch (const Fatal&) {
    log += session.text();
    throw;
  }
  log += session.text();
  allocate4a(s);
  init4a(s);
  allocate5a(s);
  init5a(s);
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
  ScratchDir dir;
  writeFile("morvek-2.dat", "head\n");
  info3(State{}, "morvek-2.dat");  // no classes yet
  info3(s, "morvek-2.dat");
  EXPECT_EQ(readFile("morvek-2.dat"), "head\n \n" + table.text().substr(1));
  EXPECT_THROW(info3(s, "missing.dat"), Fatal);
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

}  // namespace morvek

#include "morvek/extremes.h"

#include <gtest/gtest.h>
#include <cmath>

#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;

// A time series at 0, 1, ... with background 1 and variability v, its
// extremes detected at threshold z.
State detected(const List& x, const List& v, double z) {
  List times;
  for (std::size_t i = 0; i < x.size(); ++i) times.push_back(static_cast<double>(i));
  State s = withData(DataType::ordinary, times, x);
  setSmoothed(s, List(x.size(), 1.0), v);
  s.setting.z = z;
  extremes(s);
  return s;
}

List scaled(const State& s) { return List(s.data.x3.begin(), s.data.x3.end()); }

TEST(ExtremesTest, ThresholdIsStrictOnBothSides) {
  // Thresholds at z = 2: 3, 5, 7, 9; at z = -2: -1, -3, -5, -7.
  State s = detected({3.0, 5.0000001, 12.0, -1.0}, {1, 2, 3, 4}, 2);
  EXPECT_EQ(List(s.data.t3.begin(), s.data.t3.end()), (List{1, 2}));
  EXPECT_EQ(scaled(s), (List{(5.0000001 - 1.0) / 2.0, 11.0 / 3.0}));
  EXPECT_EQ(detected({3.0, 5.0, 12.0, -7.0}, {1, 2, 3, 4}, -2).setting.n3, 0);
  EXPECT_EQ(scaled(detected({3.0, 5.0, 12.0, -7.5}, {1, 2, 3, 4}, -2)), (List{-8.5 / 4.0}));
  s = detected({3.0, 5.0, 12.0, -7.5}, {1, 2, 3, 4}, 50);  // nothing beyond: empty arrays
  EXPECT_TRUE(s.setting.n3 == 0 && s.data.t3.held() && s.data.t3.size() == 0);
}

// 0.001 <= |z| <= 100, both signs.
TEST(ExtremesTest, ThresholdDialogAcceptsTheRangeLimitsOnly) {
  State s;
  Scripted session("0\n0.0009\n100.5\nz\n100\n-0.0009\n-100.5\n-0.001\n-100\n");
  for (double z : {100.0, -0.001, -100.0}) {
    chsett5(s, session.console);
    EXPECT_EQ(s.setting.z, z);
  }
}

// The menu refuses to go on without a threshold, with fewer than three
// extremes, and while the variability is zero at an extreme: such an extreme
// has no finite scaled value, which no class could hold. Submenus return
// their own letters.
TEST(ExtremesTest, MenuRefusalsAndSubmenus) {
  std::string log;
  auto menu = [&](const State& s, const std::string& answers) {
    Scripted session(answers);
    const char key = decis2(s, session.console);
    log += session.text() + "=> " + key + "\n";
    return key;
  };
  State s;
  s.setting.n3 = 12;  // left from an earlier pass: still no threshold
  EXPECT_EQ(menu(s, "c\nb\n"), 'b');
  s.setting.z = 2;
  s.setting.n3 = 2;
  EXPECT_EQ(menu(s, "c\nb\n"), 'b');
  s.setting.n3 = 3;
  EXPECT_EQ(menu(s, "c\n"), 'c');
  State flat = detected({9, 1, 9, 9, 5}, {0, 1, 1, 0, 1}, 2);
  EXPECT_EQ(scaled(flat), (List{INFINITY, 8, INFINITY, 4}));  // carried as they are
  EXPECT_EQ(menu(flat, "c\nb\n"), 'b');
  EXPECT_EQ(menu(detected({9, 1, 9, 9, 5}, {0.5, 1, 1, 0.5, 1}, 2), "c\n"), 'c');
  EXPECT_EQ(menu(s, "p\nx\ng\n"), 'g');
  EXPECT_EQ(menu(s, "t\ns\n"), 's');
  expectGolden("part2_menu.txt", log);
}

}  // namespace morvek

#include "morvek/pseudodata.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/test_support.h"

namespace morvek {
using detail::leftSide;
using detail::rightSide;
using List = std::vector<double>;
constexpr double M = kMissingPseudo, U = kUnsetReal;
constexpr Rule R = Rule::reflection, T = Rule::twopoint;

// One side of one class over [0, 10] up to the grid end g.
TEST(PseudodataTest, SidesMirrorStopAndContinue) {
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
    EXPECT_EQ(c.left ? leftSide(c.x, 0, 10, c.g, c.rule) : rightSide(c.x, 0, 10, c.g, c.rule), c.want)
        << (c.left ? "left" : "right") << ", x[0] = " << c.x[0] << ", g = " << c.g;
  }
}

// The order statistics X(j/3) hold the boundaries, the events and the thirds
// between; the first two-point candidate is the reflection of x(1), up to
// a few units in the last place of the largest time involved.
TEST(PseudodataTest, TwoPointRule) {
  const List thirds = detail::orderStatistics(List{4.0, 7.0}, 1.0, 10.0);
  ASSERT_EQ(thirds.size(), 10u);
  for (std::size_t j = 0; j < 10; ++j) EXPECT_DOUBLE_EQ(thirds[j], j + 1.0);
  const double L = 3.7, R = 12.9, tolerance = 64 * std::numeric_limits<double>::epsilon() * R;
  for (double inner : {3.7000001, 4.1, 5.25, 8.0, 12.3}) {
    EXPECT_EQ(leftSide(List{inner, 12.5}, L, R, -1e6, Rule::reflection)[0], L - (inner - L));
    EXPECT_NEAR(leftSide(List{inner, 12.5}, L, R, -1e6, T)[0], L - (inner - L), tolerance) << inner;
    EXPECT_NEAR(rightSide(List{L, inner}, L, R, 1e6, T)[0], R + (R - inner), tolerance) << inner;
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
  s.data.lx = testing::held(List{g0, (g0 + g1) / 2, g1});
  testing::setPseudodata(s, events);
  s.setting.n4 = s.setting.n;
  s.data.t4 = s.data.t;
  s.setting.l = static_cast<int>(events.size());
  pseudodata(s, maxnrr);
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

}  // namespace morvek

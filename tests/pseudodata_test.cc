#include "morvek/pseudodata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace morvek {
namespace {

using detail::leftSide;
using detail::orderStatistics;
using detail::rightSide;

constexpr double M = kMissingPseudo;
using List = std::vector<double>;

// One row of t4 per class, as the class dialog leaves them.
void setClasses(State& s, const std::vector<List>& events) {
  s.setting.l = static_cast<int>(events.size());
  allocate3a(s);
  init3b(s);
  for (std::size_t j = 0; j < events.size(); ++j) s.setting.n4[j] = static_cast<int>(events[j].size());
  allocate3b(s);
  init3c(s);
  for (std::size_t j = 0; j < events.size(); ++j) {
    for (std::size_t i = 0; i < events[j].size(); ++i) s.data.t4.at(j, i) = events[j][i];
  }
}

// Classes over the interval [tobsl, tobsr], and a rate grid from g0 to g1.
State classesOf(const std::vector<List>& events, double tobsl, double tobsr, double g0, double g1,
                Rule rule) {
  State s;
  s.parameters.rule = rule;
  s.setting.tobsl = tobsl;
  s.setting.tobsr = tobsr;
  setClasses(s, events);
  s.data.lx.assign(List{g0, (g0 + g1) / 2, g1});
  return s;
}

// New classes for the same state, as a return to the class phase makes them.
void remakeClasses(State& s, const std::vector<List>& events) {
  deallocate3b(s);
  deallocate3a(s);
  setClasses(s, events);
}

// Row cls of t: all of its extent, or its first n(cls) entries.
List rowOf(const State& s, std::size_t cls, bool sequenceOnly = false) {
  List row;
  for (std::size_t i = 0; i < s.data.t.cols(); ++i) row.push_back(s.data.t.at(cls, i));
  if (sequenceOnly) row.resize(static_cast<std::size_t>(s.setting.n[cls]));
  return row;
}
List sequenceOf(const State& s, std::size_t cls) { return rowOf(s, cls, true); }

// Nothing derived from the marker: every entry is either the marker or a
// time of ordinary size.
void expectNoShiftedMarker(const List& list) {
  for (double v : list) {
    if (v != M) {
      EXPECT_LT(std::fabs(v), 1e6) << v;
    }
  }
}

TEST(PseudodataTest, OrderStatisticsHoldBoundariesEventsAndThirds) {
  const List x{3.0, 4.5};
  const List thirds = orderStatistics(x, 1.0, 9.0);
  ASSERT_EQ(thirds.size(), 3 * x.size() + 4);
  const List whole{1.0, 3.0, 4.5, 9.0};
  for (std::size_t k = 0; k < whole.size(); ++k) EXPECT_EQ(thirds[3 * k], whole[k]);
  for (std::size_t k = 0; k + 1 < whole.size(); ++k) {
    EXPECT_EQ(thirds[3 * k + 1], 0.6666666666666666 * whole[k] + 0.3333333333333333 * whole[k + 1]);
    EXPECT_EQ(thirds[3 * k + 2], 0.3333333333333333 * whole[k] + 0.6666666666666666 * whole[k + 1]);
  }
}

// One side of one class: leftSide or rightSide of x over [0, 10] up to the
// grid end g.
TEST(PseudodataTest, SidesMirrorStopAndContinue) {
  struct Case {
    bool left;
    List x;
    double g;
    Rule rule;
    List want;
  };
  const Rule R = Rule::reflection;
  const std::vector<Case> cases = {
      // Each side stops at the first candidate at or past the grid end.
      {true, {2, 5, 9}, -4, R, {-2, -5, M}},
      {false, {2, 5, 9}, 14, R, {11, 15, M}},
      // An event on the left boundary is not mirrored.
      {true, {0, 3, 4}, -100, R, {M, -3, -4}},
      // Two events on R give two markers, neither starts the continuation;
      // k = 3 mirrors the first event, and is still checked against the grid end.
      {false, {1, 10, 10}, 100, R, {M, M, 19}},
      {false, {1, 2, 10, 10}, 15, R, {M, M, 18, M}},
      // x(2) - L = 3 (x(1) - L) puts two-point candidate 2 on L: missing, and
      // on the left that ends the outward run, so the block (-1) is repeated.
      {true, {1, 3, 5, 7}, -100, Rule::twopoint, {-1, -2, -3, -4}},
      // A side never holds more than n pseudodata, the continuation included.
      {true, {1, 2, 3}, -1e6, R, {-1, -2, -3}},
      {false, {1, 2, 3}, 1e6, R, {17, 18, 19}},
      {true, {1, 1, 5}, -1e6, R, {-1, -2, -3}},
      // Two events on L, then a tie: the block is (missing, missing, -3); the
      // copies shift only -3 and take no position for the missing entries.
      {true, {0, 0, 3, 3, 5}, -5, R, {M, M, -3, -6, M}},
      {true, {0, 0, 3, 3, 5}, -1e3, R, {M, M, -3, -6, -9}},
      // On the right: an event on R, then a tie.
      {false, {2, 6, 6, 10}, 1e3, R, {M, 14, 18, 22}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.left ? leftSide(c.x, 0, 10, c.g, c.rule) : rightSide(c.x, 0, 10, c.g, c.rule), c.want)
        << (c.left ? "left" : "right") << ", x[0] = " << c.x[0] << ", g = " << c.g;
  }
}

TEST(PseudodataTest, ClassGetsBothSidesInOrder) {
  State s = classesOf({{2, 5, 9}}, 0, 10, -4, 14, Rule::reflection);
  int maxnrr = kUnsetInt;
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 7);
  EXPECT_EQ(s.setting.n[0], 7);
  EXPECT_EQ(rowOf(s, 0), (List{-5, -2, 2, 5, 9, 11, 15}));

  s = classesOf({{0, 3, 4}}, 0, 10, -100, 100, Rule::reflection);
  pseudodata(s, maxnrr = kUnsetInt);
  EXPECT_EQ(sequenceOf(s, 0), (List{-4, -3, 0, 3, 4, 16, 17, 20}));

  s = classesOf({{1, 2, 3}}, 0, 10, -1e6, 1e6, Rule::reflection);
  pseudodata(s, maxnrr = kUnsetInt);
  EXPECT_EQ(s.setting.n[0], 9);
  EXPECT_EQ(rowOf(s, 0), (List{-3, -2, -1, 1, 2, 3, 17, 18, 19}));
}

TEST(PseudodataTest, TwoPointAgreesWithReflectionForTheFirstCandidate) {
  // The two-point formula goes through X(1/3); its rounding is a few units
  // in the last place of the largest time involved.
  const double tobsl = 3.7, tobsr = 12.9;
  const double tolerance = 64 * std::numeric_limits<double>::epsilon() * tobsr;
  for (double inner : {3.7000001, 4.1, 5.25, 8.0, 12.3}) {
    const List x{inner, 12.5};
    const List reflectedLeft = leftSide(x, tobsl, tobsr, -1e6, Rule::reflection);
    const List twoPointLeft = leftSide(x, tobsl, tobsr, -1e6, Rule::twopoint);
    EXPECT_NEAR(twoPointLeft[0], reflectedLeft[0], tolerance) << inner;
    EXPECT_EQ(reflectedLeft[0], tobsl - (inner - tobsl));
    const List mirrored{tobsl, inner};
    const List reflectedRight = rightSide(mirrored, tobsl, tobsr, 1e6, Rule::reflection);
    const List twoPointRight = rightSide(mirrored, tobsl, tobsr, 1e6, Rule::twopoint);
    EXPECT_NEAR(twoPointRight[0], reflectedRight[0], tolerance) << inner;
  }
}

TEST(PseudodataTest, ContinuationRepeatsTheBlockOnTheLeft) {
  // Events clustered near L: candidate 4 turns back inward, so the block of
  // candidates 1 to 3 is repeated outward.
  const List x{1, 1.2, 1.4, 8, 8.5, 9, 9.5, 9.8};
  const List thirds = orderStatistics(x, 0, 10);
  List block;
  for (std::size_t k = 1; k <= 3; ++k) block.push_back(0 - 9 * (thirds[k] - 0) + 2 * (thirds[3 * k] - 0));
  const double d = 0 - block[2];

  // Stops after the first copy at or beyond G0 = -10; the rest stays missing.
  const List stopped = leftSide(x, 0, 10, -10, Rule::twopoint);
  ASSERT_EQ(stopped.size(), x.size());
  for (std::size_t b = 0; b < 3; ++b) EXPECT_EQ(stopped[b], block[b]);
  for (std::size_t b = 0; b < 3; ++b) EXPECT_EQ(stopped[3 + b], block[b] - 1 * d);
  EXPECT_GT(stopped[4], -10);
  EXPECT_LE(stopped[5], -10);
  EXPECT_EQ(stopped[6], M);
  EXPECT_EQ(stopped[7], M);

  // With the grid end far out, the copies fill up to position n.
  const List filled = leftSide(x, 0, 10, -1e3, Rule::twopoint);
  const List expected{block[0], block[1], block[2],
                      block[0] - 1 * d, block[1] - 1 * d, block[2] - 1 * d,
                      block[0] - 2 * d, block[1] - 2 * d};
  EXPECT_EQ(filled, expected);
}

TEST(PseudodataTest, ContinuationRepeatsTheBlockOnTheRight) {
  const List x{0.2, 0.5, 1, 1.5, 2, 8.6, 8.8, 9};
  const std::size_t n = x.size();
  const List thirds = orderStatistics(x, 0, 10);
  List block;
  for (std::size_t k = 1; k <= 3; ++k) {
    block.push_back(10 + 9 * (10 - thirds[3 * n + 3 - k]) - 2 * (10 - thirds[3 * n + 3 - 3 * k]));
  }
  const double d = block[2] - 10;
  const List stopped = rightSide(x, 0, 10, 20, Rule::twopoint);
  const List expected{block[0], block[1], block[2],
                      block[0] + 1 * d, block[1] + 1 * d, block[2] + 1 * d, M, M};
  EXPECT_EQ(stopped, expected);
  EXPECT_LT(stopped[4], 20);
  EXPECT_GE(stopped[5], 20);
}

TEST(PseudodataTest, MarkerInsideTheCopiedBlockIsPassedOver) {
  const List x{0, 0, 3, 3, 5};
  // Two-point, an event on L with ties.
  const List ties{0, 2, 2, 2, 2, 2};
  const List twoPoint = leftSide(ties, 0, 10, -1e3, Rule::twopoint);
  EXPECT_EQ(twoPoint[0], M);
  expectNoShiftedMarker(twoPoint);

  State s = classesOf({x, {2, 6, 6, 10}, ties}, 0, 10, -5, 20, Rule::reflection);
  int maxnrr = kUnsetInt;
  pseudodata(s, maxnrr);
  EXPECT_EQ(sequenceOf(s, 0), (List{-6, -3, 0, 0, 3, 3, 5, 15, 17, 22}));
  for (std::size_t cls = 0; cls < 3; ++cls) {
    const List t = sequenceOf(s, cls);
    expectNoShiftedMarker(t);
    EXPECT_TRUE(std::is_sorted(t.begin(), t.end())) << cls;
  }
  s.parameters.rule = Rule::twopoint;
  pseudodata(s, maxnrr);
  for (std::size_t cls = 0; cls < 3; ++cls) expectNoShiftedMarker(sequenceOf(s, cls));
}

TEST(PseudodataTest, SeveralClassesShareTheLargestExtent) {
  State s = classesOf({{2, 5, 9}, {4}, {}}, 0, 10, -4, 14, Rule::reflection);
  int maxnrr = kUnsetInt;
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 7);
  ASSERT_EQ(s.data.t.rows(), 3u);
  ASSERT_EQ(s.data.t.cols(), 7u);
  EXPECT_EQ(s.setting.n[0], 7);
  EXPECT_EQ(s.setting.n[1], 3);
  EXPECT_EQ(s.setting.n[2], 0);
  const double U = kUnsetReal;
  EXPECT_EQ(rowOf(s, 1), (List{-4, 4, 16, U, U, U, U}));
  EXPECT_EQ(rowOf(s, 2), (List{U, U, U, U, U, U, U}));

  // Fewer events: the extent stays; group 4f is made again while still held.
  remakeClasses(s, {{5}, {3, 7}});
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 7);
  ASSERT_EQ(s.data.t.rows(), 2u);
  ASSERT_EQ(s.data.t.cols(), 7u);
  EXPECT_EQ(s.setting.n[0], 3);
  EXPECT_EQ(rowOf(s, 0), (List{-5, 5, 15, U, U, U, U}));
  EXPECT_EQ(rowOf(s, 1), (List{-7, -3, 3, 7, 13, 17, U}));

  // More events: the extent grows.
  remakeClasses(s, {{1, 2, 3, 4, 5}});
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 10);
  EXPECT_EQ(s.data.t.cols(), 10u);
  EXPECT_EQ(rowOf(s, 0), (List{-4, -3, -2, -1, 1, 2, 3, 4, 5, 15}));
}

TEST(PseudodataTest, ExtentFromEarlierInTheRunIsKept) {
  State s = classesOf({{2, 5, 9}}, 0, 10, -4, 14, Rule::reflection);
  int maxnrr = 20;
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 20);
  EXPECT_EQ(s.data.t.cols(), 20u);
  EXPECT_EQ(s.data.t.at(0, 7), kUnsetReal);
}

TEST(PseudodataTest, ClassesWithoutEventsNeedNoSpace) {
  State s = classesOf({{}}, 0, 10, -4, 14, Rule::twopoint);
  int maxnrr = kUnsetInt;
  pseudodata(s, maxnrr);
  EXPECT_EQ(maxnrr, 0);
  EXPECT_EQ(s.data.t.cols(), 0u);
  EXPECT_EQ(s.setting.n[0], 0);
}

}  // namespace
}  // namespace morvek

// Pseudodata: artificial event times outside the observation interval that
// keep the kernel estimate of the occurrence rate from dropping toward the
// interval ends, where no events can be observed beyond.
//
// Each class's events x(1) <= ... <= x(n) on [tobsl, tobsr] yield up to n
// pseudodata on each side, by one of two rules: "reflection" mirrors the
// events at the boundary; "twopoint" extrapolates from the interpolated order
// statistics X(j/3) (see pseudodata.cc). Generation on a side stops once a
// pseudodatum reaches the grid end (g0 = min lx on the left, g1 = max lx on
// the right); when the candidates stop moving outward, the block found so
// far is repeated outward instead (the periodic continuation).
#pragma once

#include <span>
#include <vector>

#include "morvek/state.h"

namespace morvek {

// Fills, for every class, n(class) = left pseudodata + events + right
// pseudodata and t(class, ...) = that ascending sequence (group 4f, made
// afresh here). maxnrr (setting) is the largest n(class) needed so far in
// the run: it only grows, and it is the second extent of t. A class without events gets
// n(class) = 0. Reads the rule, tobsl, tobsr, l, n4, t4 and the grid lx.
void pseudodata(State& s);

namespace detail {

// X(j/3) for j = 0 .. 3n+3: the boundaries tobsl (j = 0) and tobsr
// (j = 3n+3), the events (j = 3k) and two points between each pair of
// neighbours, at a third and two thirds of the way.
std::vector<double> orderStatistics(std::span<const double> x, double tobsl, double tobsr);

// The work list of one side of a class: n entries in the order generated,
// kMissingPseudo where there is no pseudodatum. Not sorted.
std::vector<double> leftSide(std::span<const double> x, double tobsl, double tobsr, double g0,
                             Rule rule);
std::vector<double> rightSide(std::span<const double> x, double tobsl, double tobsr, double g1,
                              Rule rule);

}  // namespace detail

}  // namespace morvek

// The background of a time series and its time-dependent variability:
// running medians with a window of 2k+1 points, the half-width k chosen by
// the user with the help of two leave-one-out cross-validation criteria.
#pragma once

#include <span>

#include "morvek/console.h"
#include "morvek/plot.h"
#include "morvek/progress.h"
#include "morvek/state.h"

namespace morvek {

// Cross-validation of the window half-width over k = kmin..kmax on the
// series x: entry j of cm holds k = kmin + j, C_1(k) (mean absolute
// leave-one-out residual) and C_m(k) (their median). kcv1 and kcvm receive
// the k of the smallest C_1 and C_m, the smaller k on equal values (0 when
// there is no entry). The cm arrays must hold kmax - kmin + 1 entries and
// 2 * kmax + 1 <= x.size(). The windows are spread over `threads` threads
// (0: all cores); the results do not depend on their number.
void cvmed(std::span<const double> x, int kmin, int kmax, CvMedData& cm, int& kcv1, int& kcvm,
           Progress& progress, unsigned threads = 0);

// Background b2 and variability v2 of x2 for the current k; warns when the
// variability comes close to zero.
void background(State& s, Console& console);

// The window dialog: runs the cross-validation on the first pass after an
// entry to the extreme detection (k unset), shows its result and curves, and
// asks for k.
void chsett4(State& s, Console& console, PlotRunner& runner);

}  // namespace morvek

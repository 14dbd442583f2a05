// The kernel bandwidth: its search range, the least-squares
// cross-validation criterion C(h) on a grid of bandwidths for every class,
// and the dialog in which the user chooses the bandwidth of a class.
#pragma once

#include <cstddef>

#include "morvek/console.h"
#include "morvek/progress.h"
#include "morvek/state.h"

namespace morvek {

// The search range [hmin, hmax]: half the mean spacing of the extremes to a
// share hrelmax of the data span.
void hminmax(State& s);

// C(h) at nhsrch bandwidths for every class into cv, and the minimising
// bandwidth into hcvint. The bandwidths are spread over `threads` threads
// (0: all cores); the results do not depend on their number. Memory grows
// with the number of events, not of their pairs. Progress counts two steps
// per bandwidth and class: its kernel sums and its integral.
void cvint(State& s, Progress& progress, unsigned threads = 0);

// Asks for the bandwidth of class `cls`.
void chsett7(State& s, Console& console, std::size_t cls);

}  // namespace morvek

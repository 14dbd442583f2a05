// The bootstrap confidence band of a class's occurrence rate: replicate
// rates from resamples of its event times (pseudodata included), and one
// multiplier q for the whole curve from the pooled standardised deviations
// inside the observation interval. With the Part 5 menu.
#pragma once

#include <cstdint>
#include <span>

#include "morvek/console.h"
#include "morvek/progress.h"
#include "morvek/state.h"
#include "numerics/ran.h"

namespace morvek {

// Asks for the number of bootstrap simulations of class `cls`.
void chsett8(State& s, Console& console, std::size_t cls);

// Asks once per run for the seed of the random generator and seeds it.
void chsett9(State& s, Console& console);

// xb = as many draws with replacement from x, in the generator's order.
void bootstrap(numerics::RanState& random, std::int32_t& idum, std::span<const double> x,
               std::span<double> xb);

// The band lyl, lyu of class `cls`. The replicates are spread over
// `threads` threads (0: all cores); the band does not depend on their number.
void confidence(State& s, std::size_t cls, Progress& progress, unsigned threads = 0);

enum class Part5Choice : char { bootstrap = 'b', part1 = '1', part2 = '2', part3 = '3', part4 = '4', exit = 'x' };
// The Part 5 menu; "Output and exit" is refused until every class has a band.
Part5Choice decis6(const State& s, Console& console);

}  // namespace morvek

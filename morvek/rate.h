// The occurrence rate ("risk") of a magnitude class over time: a sum of
// Gaussian kernels on the event times and their pseudodata, evaluated on an
// equally spaced grid through the Fourier transform of the binned times.
// With the Part 4 menu and the warning where the rate is zero.
#pragma once

#include <span>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// Whether intest bins the times afresh or reuses the transform it left in
// ft on the previous call (the same times over the same interval).
enum class Binning { fresh, reuse };

// Faults of intest, by the codes that messages show.
enum class RateFault { none = 0, bandwidth = 2 /* h not positive */, interval = 3 /* a not below b */ };

// The kernel estimate with bandwidth h of the rate of `times` (all of
// which count as events) on the grid of y.size() cells covering [a, b],
// circularly; every value is at least kRiskFloor. ft (the same size as y, a
// power of 2) holds the transform of the binned times. On a fault y is
// untouched.
RateFault intest(std::span<const double> times, double a, double b, double h, std::span<double> y,
           std::span<double> ft, Binning binning);

// The time grid lx over the observation interval widened by 3 hmax.
void intensityx(State& s);

// The grid rows inside the observation interval, both ends included: one
// run, since the grid increases. The rows outside carry the boundary
// correction only.
struct GridRows {
  std::size_t first = 0, count = 0;
  std::size_t end() const { return first + count; }
};
GridRows observedRows(const State& s);

// The rate ly of class `cls` with its chosen bandwidth. The
// class's band belonged to its previous rate: it is discarded (bounds and
// simulation count unset), so that no band is ever shown or written around
// a rate it was not drawn for.
void intensity(State& s, std::size_t cls);

enum class Part4Choice : char { test = 't', bandwidth = 'k', part1 = '1', part2 = '2', part3 = '3', proceed = 'c' };
// The Part 4 menu; a choice is refused while its conditions are not met
// (the bandwidth also while the search range is empty).
Part4Choice decis4(const State& s, Console& console);

// Warns when the rate of class `cls` is zero on part of the observation
// interval, where confidence bounds cannot be trusted.
// The share of grid points inside the observation interval where the rate
// of class `cls` is at its floor: zero.
double zeroRiskShare(const State& s, std::size_t cls);

void check2(const State& s, Console& console, std::size_t cls);

}  // namespace morvek

// The time frame of the analysis: the observation interval, the time-unit
// test, the Part 1 menu with the extraction of a sub-interval, and the
// summary block that heads every summary screen and result file.
#pragma once

#include <string>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// Sets the observation interval [tobsl, tobsr]: the data span for a time
// series, asked from the user for event data.
void chsett3(State& s, Console& console);

// Stops the run when the average spacing of the data shows an unusable
// time unit.
void check1(const State& s);

enum class Part1Choice : char { newInterval = 'n', original = 'o', proceed = 'c' };
// Shows the Part 1 menu.
Part1Choice decis1(Console& console);

// Extracts a new interval (asked from the user) or returns to the whole
// data. A changed interval discards the background window.
void interval(State& s, Console& console, Part1Choice choice);

// The largest background window offered for the extracted interval: a
// share krel of its points, at least kmin, and never more than fits.
void chsett3a(State& s);

// Writes the summary block to the console.
void info1(const State& s, Console& console);

// Creates the result file `file` (replacing an older one) and writes the
// title, the configuration and the summary block into it.
void info1(const State& s, const std::string& file);

}  // namespace morvek

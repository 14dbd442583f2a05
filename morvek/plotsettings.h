// Axis settings of the plot types, kept in the settingp module.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// Smallest and largest of a set of values, passing over values that are not
// numbers; an empty set leaves the largest double as the smallest and its
// negative as the largest, so that it never narrows a range.
struct Extent {
  double low = std::numeric_limits<double>::max();
  double high = -std::numeric_limits<double>::max();
  void add(double v) {
    if (std::isnan(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
};

// Lowest and highest of everything the background picture (type 5) draws
// inside its horizontal range: the data and the lowest test line
// (background plus the first multiplier times the variability when that
// multiplier is negative).
Extent drawnInBackgroundWindow(const State& s);

// Option "-" sets the default settings of the plot type from the current
// data; every type but 5 ignores the option and always takes its defaults.
// For type 5 the options are the Part 2 plot letters: "h" default
// horizontal range, "o" another horizontal range, "v" a vertical range,
// "l" linear and "g" logarithmic vertical axis, "t" test lines, "s" the
// line of the threshold just set. Other types and options change nothing.
void chsettp(State& s, Console& console, int type, char option);

}  // namespace morvek

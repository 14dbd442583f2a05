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

// Lowest and highest of everything the background picture draws
// inside its horizontal range: the data and the lowest test line
// (background plus the first multiplier times the variability when that
// multiplier is negative).
Extent drawnInBackgroundWindow(const State& s);

// What the plot and threshold menus of Part 2 set in the background
// picture; the values are the menus' keys.
enum class BackgroundSetting : char {
  defaults = '-',  // every setting from the current data
  defaultHorizontal = 'h',
  otherHorizontal = 'o',
  vertical = 'v',
  linear = 'l',
  log = 'g',  // logarithmic vertical axis
  testLines = 't',
  threshold = 's',  // the line of the threshold just set
};

// Sets the default settings of the plot type from the current data; every
// type but the background picture ignores `setting` and always takes its
// defaults.
void chsettp(State& s, Console& console, PlotType type, BackgroundSetting setting = BackgroundSetting::defaults);

}  // namespace morvek

// Threshold and extreme events: the points beyond background + z times
// variability, with the Part 2 menus and the summary of the detection.
#pragma once

#include <string>

#include "morvek/console.h"
#include "morvek/plotsettings.h"
#include "morvek/state.h"

namespace morvek {

// Detects the extremes of a time series against the threshold z, or takes
// the extracted events as they are for event data; sets n3, t3 and x3.
void extremes(State& s);

// Asks for the threshold z.
void chsett5(State& s, Console& console);

enum class Part2Choice : char { plot = 'p', threshold = 't', smoothing = 'b', part1 = '1', proceed = 'c' };
// A choice of the Part 2 menu, with the setting chosen in the submenu of
// the plot or threshold.
struct Part2Answer {
  Part2Choice choice;
  BackgroundSetting setting = BackgroundSetting::defaults;
};
// The Part 2 menu with its plot and threshold submenus. "Continue" is
// refused until a threshold is set and at least three extremes exist, and
// while the variability is zero at an extreme.
Part2Answer decis2(const State& s, Console& console);

// The summary of the detection: window, threshold and number of extremes,
// as far as they are set; on the console, or appended to a result file.
void info2(const State& s, Console& console);
void info2(const State& s, const std::string& file);

}  // namespace morvek

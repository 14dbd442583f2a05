// Axis settings of the plot types, kept in the settingp module.
#pragma once

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// Option "-" sets the default settings of the plot type from the current
// data; every type but 5 ignores the option and always takes its defaults.
// For type 5 the options are the Part 2 plot letters: "h" default
// horizontal range, "o" another horizontal range, "v" a vertical range,
// "l" linear and "g" logarithmic vertical axis, "t" test lines, "s" the
// line of the threshold just set. Other types and options change nothing.
void chsettp(State& s, Console& console, int type, char option);

}  // namespace morvek

// Magnitude classes: the extremes divided into one to three classes by
// their value, the Part 3 menu and the class table.
//
// Class 1 is closed at both ends, [c(0), c(1)]; class j > 1 is open below,
// ]c(j-1), c(j)]. Event times carry no value and make one class.
#pragma once

#include <string>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// The most magnitude classes the dialog makes.
inline constexpr int kMaxClasses = 3;

// The class dialog: sets l and the bounds c (group 3a).
void chsett6(State& s, Console& console);

// Counts the events of each class (n4) and collects their times (t4,
// group 3b), in the order of the extremes.
void classes(State& s);

// An extreme on the first or last data time leaves one side of the
// boundary correction without a second point, so the two-point rule is
// switched to reflection.
void chsett6a(State& s);

enum class Part3Choice : char { classes = 'm', part1 = '1', part2 = '2', proceed = 'c' };
// The Part 3 menu; "Continue" is refused until classes have been made.
Part3Choice decis3(const State& s, Console& console);

// The class a per-class action is for, asked when there is more than one:
// the dialog shows classes numbered from 1, the result is the class's row
// in the per-class arrays.
std::size_t decis5(const State& s, Console& console);

// The class table, once classes exist; on the console, or appended to a
// result file.
void info3(const State& s, Console& console);
void info3(const State& s, const std::string& file);

}  // namespace morvek

// The start-up dialog: banner, welcome, data type, data file and data size.
#pragma once

#include <cstddef>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// The characters of a data file name the dialog keeps.
inline constexpr std::size_t kFileNameLength = 50;

// The fewest data points an analysis can start from: a time series needs
// the shortest series the running-median background can smooth (twice the
// smallest window plus one); events need four.
int minimumDataSize(const State& s);

// The fewest points an extracted interval may hold, by the same reasoning:
// a time series needs the smoothable length, events three.
int minimumIntervalSize(const State& s);

void info0(Console& console);             // banner
void info0e(Console& console);            // pause and welcome
void chsett1(State& s, Console& console);  // data type and data file name
void chsett2(State& s, Console& console);  // data size n1, checked

}  // namespace morvek

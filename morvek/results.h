// The result files written at the end of the run, and the closing screen
// that names them.
//
// Every result file begins with the three summary blocks (interval,
// detection, classes); the file's own table follows. A file is created
// anew on every run, never appended to an older one.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// morvek-1.dat: the extracted time series with background, variability and
// threshold, and beside it the list of the extremes. The driver writes it
// for a time series only.
void output1(const State& s);

// The columns of its table by their names in the heading, which is how
// morvek-prep finds the table and the list of extremes in its first rows.
enum SeriesColumn : std::size_t { kT2, kX2, kB2, kV2, kThreshold, kT3, kX3, kSeriesColumnCount };
inline constexpr std::array<std::string_view, kSeriesColumnCount> kSeriesColumns = {"t2", "x2", "b2", "v2",
                                                                                   "b2+z*v2", "t3", "x3"};

// morvek-2.dat: the event times of every class, with and without the
// pseudodata of the boundary correction.
void output2(const State& s);

// morvek-3.dat: the Cox-Lewis test of every class and the estimated rate
// curves with their confidence bands over the observation interval.
void output3(const State& s);

// The closing screen listing the result files written.
void info5(const State& s, Console& console);

}  // namespace morvek

// The phase driver: start-up, then the dialog Parts 1 to 5 as nested loops
// (a return to an earlier Part releases the workspace of that Part and of
// all later ones), then the end of the run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "morvek/console.h"
#include "morvek/plot.h"
#include "morvek/state.h"

namespace morvek {

// What `morvek --help` and `morvek --version` print.
inline constexpr const char* kUsage =
    "Usage: morvek\n"
    "Analysis and risk estimation of extreme events in a time series, as a dialog:\n"
    "every answer is one line on standard input; a menu answer is its key.\n"
    "\n"
    "Data types, the first question after the banner:\n"
    "  o  an ordinary time series, \"time value\" per line\n"
    "  x  extreme events with magnitudes, \"time magnitude\" per line\n"
    "  t  extreme event times only, \"time\" per line\n"
    "Times increase strictly from line to line.\n"
    "\n"
    "Configuration: morvek.cfg in the working folder; morvek-prep cfg > morvek.cfg\n"
    "writes one with every key at its start value.\n"
    "Results: morvek-1.dat (time series only), morvek-2.dat and morvek-3.dat in the\n"
    "working folder, written at \"Output and exit\".\n"
    "\n"
    "Companions: morvek-prep turns agency files into data files; morvek-batch runs\n"
    "the same analysis without a dialog, for one series or many.\n"
    "More: man morvek\n";
inline constexpr const char* kVersion = "morvek 3.0\n";

// What a caller sees of the state once the result files are written, before
// the workspace is released.
using Finished = std::function<void(const State&)>;

// Runs a whole analysis on the state. A fatal condition escapes as Fatal
// (or numerics::NrError).
void run(State& s, Console& console, PlotRunner& runner, const Finished& finished = {});

// Runs the program and turns a fatal stop into its closing lines; returns
// the process exit status: 0 for a normal end, 1 after a fatal error.
// `stop`, where given, receives the closing lines of a fatal stop but the
// last.
int runMorvek(Console& console, PlotRunner& runner);
int runMorvek(State& state, Console& console, PlotRunner& runner, const Finished& finished,
              std::vector<std::string>* stop = nullptr);

}  // namespace morvek

// The phase driver: start-up, then the dialog Parts 1 to 5 as nested loops
// (a return to an earlier Part releases the workspace of that Part and of
// all later ones), then the end of the run.
#pragma once

#include "morvek/console.h"
#include "morvek/plot.h"
#include "morvek/state.h"

namespace morvek {

// Runs a whole analysis on the state. A fatal condition escapes as Fatal
// (or numerics::NrError).
void run(State& s, Console& console, PlotRunner& runner);

// Runs the program and turns a fatal stop into its closing lines; returns
// the process exit status: 0 for a normal end, 1 after a fatal error.
int runMorvek(Console& console, PlotRunner& runner);

}  // namespace morvek

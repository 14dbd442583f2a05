// The plot writer: turns one plot type into the gnuplot data file "1.tmp"
// and command file "2.tmp" in the working directory, then runs gnuplot on
// them and waits until it ends.
// The plot types are named by PlotType (state.h).
#pragma once

#include <string>

#include "morvek/console.h"
#include "morvek/progress.h"
#include "morvek/state.h"

namespace morvek {

inline constexpr const char* kPlotCommand = "gnuplot 2.tmp";
inline constexpr const char* kPlotDataFile = "1.tmp";
inline constexpr const char* kPlotCommandFile = "2.tmp";

// Runs the plotting program's command line and waits for it to end.
// Tests replace it so that no window opens.
class PlotRunner {
 public:
  virtual ~PlotRunner() = default;
  virtual void run(const std::string& commandLine) = 0;
  // Called with the picture's type and class (its row; 0 where it has none)
  // when its files are written, before run.
  virtual void drawing(PlotType /*type*/, std::size_t /*cls*/) {}
};

// Whether gnuplot draws in a window of its own, by the terminal named in
// GNUTERM (its first word) and, without one, by a display to open it on.
// A terminal such as dumb draws in the console, where no window waits.
bool plotWindowOpens(const char* gnuterm, const char* display, const char* waylandDisplay);
// The same for this process's environment.
bool plotWindowOpens();

// Runs the command line through the system command interpreter. A failing
// or missing gnuplot is reported by the interpreter itself and ignored;
// an interpreter that cannot be started at all stops the run.
// While gnuplot runs, `waiting` (by default standard error, when it is a
// terminal and a plot window will open) shows a line that says how to go
// on; it is erased afterwards.
class SystemPlotRunner : public PlotRunner {
 public:
  explicit SystemPlotRunner(std::ostream* waiting = plotWindowOpens() ? Progress::terminal() : nullptr)
      : waiting_(waiting) {}
  void run(const std::string& commandLine) override;

 private:
  std::ostream* waiting_;
};

// Writes "1.tmp" and "2.tmp" for the plot type and draws them. `cls` is the
// magnitude class (its row) of the pictures of one class, ignored otherwise.
void plot(const State& s, Console& console, PlotRunner& runner, PlotType type, std::size_t cls = 0);

// Flushes the console and runs "gnuplot 2.tmp".
void plotgn(Console& console, PlotRunner& runner);

}  // namespace morvek

// Helpers shared by the tests: a scratch working directory, scripted
// console sessions, a plot runner that records instead of drawing, golden
// files, independent oracles, and States built from plain values.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "morvek/console.h"
#include "morvek/fatal.h"
#include "morvek/plot.h"
#include "morvek/state.h"

namespace morvek::testing {

// Makes a fresh directory the working directory for the lifetime of the
// object, since Morvek reads and writes its files there.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

 private:
  std::filesystem::path previous_, path_;
};

void writeFile(const std::string& name, const std::string& text);
std::string readFile(const std::string& name);
// The path of a file of the source tree, given relative to its top.
std::string sourcePath(const std::string& relative);

// A console fed with a script of answers, one per line, whose output and
// advisories are kept for comparison.
struct Scripted {
  explicit Scripted(const std::string& answers = "") : in(answers), console(in, out, &advice) {}
  std::istringstream in;
  std::ostringstream out, advice;
  Console console;
  std::string text() const { return out.str(); }
};

// Records each command line with the "2.tmp" and "1.tmp" it would have drawn.
struct RecordingRunner : PlotRunner {
  void run(const std::string& commandLine) override;
  std::vector<std::string> commands, commandFiles, dataFiles;
};

using Lines = std::vector<std::string>;

// The lines of the stop that `action` ends with; {"(went on)"} when it does not stop.
Lines stopLines(const std::function<void()>& action);

// The lines of a stop as a golden shows them: "stop: " before each, "stop" alone for none.
std::string stopText(const Fatal& stop);

// Compares `text` with the file tests/golden/`name`. With the environment
// variable MORVEK_UPDATE_GOLDEN set, writes the file instead; a changed
// golden is then read line by line before it is committed.
void expectGolden(const std::string& name, const std::string& text);

// The running median by its definition: every window of 2k+1 points copied
// and sorted; with `leaveOut` the centre is dropped and the two middle
// values are averaged. The first and last k points repeat the nearest
// centre.
std::vector<double> bruteRunmed(const std::vector<double>& x, int k, bool leaveOut);

// The Gaussian kernel with standard deviation h, in long double.
long double gaussianKernel(long double d, long double h);

// A State as the dialog leaves it, step by step: each sets what its phase
// sets and leaves the rest as the workspace initialisation does, so that a
// test names only what it needs.

template <class T>
Held<T> held(std::vector<T> values) {
  Held<T> a;
  a.assign(values);
  return a;
}

// A class-first table; rows shorter than the longest end in the unset value.
Held2<double> table(const std::vector<std::vector<double>>& rows);

// The data as read, all of them extracted (n1 = n2); the observation
// interval is their span. Values are ignored for event times.
State withData(DataType type, std::vector<double> times, std::vector<double> values = {});

// Background and variability of a time series.
void setSmoothed(State& s, std::vector<double> b, std::vector<double> v);

// The extremes: n3, t3 and (but for event times) x3.
void setExtremes(State& s, std::vector<double> times, std::vector<double> values = {});

// Classes with bounds c(0..l) and the event times of each; bandwidths,
// simulation counts and test results are unset.
void setClasses(State& s, std::vector<double> bounds, const std::vector<std::vector<double>>& times);

// The event times of each class with their pseudodata (n, t).
void setPseudodata(State& s, const std::vector<std::vector<double>>& times);

// The time grid lx of `ngrid` points from `from` to `to`, the rates and
// bands unset, and the transform work array.
void setGrid(State& s, double from, double to, int ngrid);

}  // namespace morvek::testing

#include "morvek/interval.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/menus.h"
#include "morvek/resultfile.h"
#include "morvek/startup.h"

namespace morvek {

namespace {

// A spacing outside these bounds means the time unit is far off.
constexpr double kMaxSpacing = 1000000003.9958029;
constexpr double kMinSpacing = 9.999999960041972e-10;

double firstTime(const Held<double>& a) { return a[0]; }
double lastTime(const Held<double>& a) { return a[a.size() - 1]; }

std::string time11(double t) { return fmtF(t, 11, 3); }

// Asks for one bound of the observation interval until it lies within
// [lower, upper], where the data's start or end is shown rounded.
double askBound(Console& console, std::string_view prompt, std::string_view what, double lower, double upper) {
  return askReal(console, lower, upper, what, [&] {
    console.line();
    console.line(prompt);
  });
}

[[noreturn]] void spacingProblem(double spacing, std::string_view limitLabel, double limit) {
  throw Fatal({"Average spacing is: " + fmtF(spacing, 18, 6),
               std::string(limitLabel) + fmtF(limit, 18, 6), "",
               "Rescale time units and start Morvek new", ""});
}

// The block lines that the console and the result files share.
std::vector<std::string> intervalLines(const State& s) {
  const Setting& g = s.setting;
  const Data& d = s.data;
  std::vector<std::string> lines{
      "Data file name:              " + fmtA(g.inputfile, 50),
      "Datatype:                    " + std::string(datatypeText(g.datatype)),
      "Time interval - original:    [ " + time11(firstTime(d.t1)) + "; " + time11(lastTime(d.t1)) +
          " ]       - " + fmtI(g.n1, 6) + " points",
      "Time interval - observed:    [ " + time11(g.tobsl) + "; " + time11(g.tobsr) + " ]"};
  if (g.n2 != g.n1) {
    lines.push_back("Time interval - extracted:   [ " + time11(firstTime(d.t2)) + "; " +
                    time11(lastTime(d.t2)) + " ]       - " + fmtI(g.n2, 6) + " points");
  }
  return lines;
}

std::string ruleNote(const Parameters& p) {
  return p.rule_reflection_reset ? " (pseudodata generation rule *reset*)"
                                 : " (pseudodata generation rule)";
}

// Replaces the extracted interval by points first..last of the data.
void extract(State& s, std::size_t from, std::size_t to) {
  s.setting.n2 = static_cast<int>(to - from);
  make(s, Group::g1);
  std::copy(s.data.t1.begin() + from, s.data.t1.begin() + to, s.data.t2.begin());
  if (s.hasValues()) {
    std::copy(s.data.x1.begin() + from, s.data.x1.begin() + to, s.data.x2.begin());
  }
}

void newInterval(State& s, Console& console) {
  const Held<double>& t1 = s.data.t1;
  const int minimum = minimumIntervalSize(s);
  for (int cycle = 0; cycle < kAttempts; ++cycle) {
    const auto [left, right] = ask([&]() -> std::optional<std::pair<double, double>> {
      console.line("New interval must contain at least" + fmtI(minimum, 6) + " points");
      console.line("[left boundary, right boundary]: ");
      const auto bounds = readRealsLine(console, 2);
      if (!bounds) return std::nullopt;
      const double l = std::max((*bounds)[0], firstTime(t1));
      const double r = std::min((*bounds)[1], lastTime(t1));
      if (l < lastTime(t1) && r > firstTime(t1) && r > l) return std::pair{l, r};
      adviseOnRange(console, (*bounds)[0], (*bounds)[1], firstTime(t1), lastTime(t1));
      return std::nullopt;
    });
    // Times increase strictly, so the interval is a run of points.
    const auto from = std::lower_bound(t1.begin(), t1.end(), left) - t1.begin();
    const auto to = std::upper_bound(t1.begin(), t1.end(), right) - t1.begin();
    const auto points = to - from;
    if (points >= minimum) {
      extract(s, static_cast<std::size_t>(from), static_cast<std::size_t>(to));
      return;
    }
    console.line("Time interval contains too few points: " + fmtI(points, 6));
  }
  throw Fatal();
}

}  // namespace

void chsett3(State& s, Console& console) {
  const Held<double>& t1 = s.data.t1;
  if (s.setting.datatype == DataType::ordinary) {
    s.setting.tobsl = firstTime(t1);
    s.setting.tobsr = lastTime(t1);
    return;
  }
  console.line();
  console.line("Time series data: start = " + fmtES(firstTime(t1), 10, 3));
  console.line("Time series data:   end = " + fmtES(lastTime(t1), 10, 3));
  constexpr double kNoBound = std::numeric_limits<double>::infinity();
  s.setting.tobsl = askBound(console, "Observation time interval -  left bound [must be <= start]: ",
                             "left bound",
                             -kNoBound, firstTime(t1));
  s.setting.tobsr = askBound(console, "Observation time interval - right bound [must be >=   end]: ",
                             "right bound",
                             lastTime(t1), kNoBound);
}

void check1(const State& s) {
  const double spacing = (s.setting.tobsr - s.setting.tobsl) / (s.setting.n1 + 1.0);
  if (spacing > kMaxSpacing) spacingProblem(spacing, "Maximum allowed is: ", kMaxSpacing);
  if (spacing < kMinSpacing) spacingProblem(spacing, "Minimum allowed is: ", kMinSpacing);
}

Part1Choice decis1(Console& console) {
  console.blank(2);
  static const Menu menu{{"", "Part 1: Time Interval Extraction", ""},
                         {{key(Part1Choice::newInterval), "New                                      [n]"},
                          {key(Part1Choice::original), "Original                                 [o]"},
                          {key(Part1Choice::proceed), "Continue                                 [c]"}}};
  return static_cast<Part1Choice>(choose(console, menu));
}

void interval(State& s, Console& console, Part1Choice choice) {
  const double oldFirst = firstTime(s.data.t2);
  const double oldLast = lastTime(s.data.t2);
  if (choice == Part1Choice::original) {
    extract(s, 0, s.data.t1.size());
  } else {
    newInterval(s, console);
  }
  if (firstTime(s.data.t2) != oldFirst || lastTime(s.data.t2) != oldLast) s.setting.k = kUnsetInt;
}

void chsett3a(State& s) {
  const auto scaled = static_cast<int>(s.setting.n2 * s.parameters.krel);
  // Every window of 2k+1 points must fit inside the interval. A time series
  // holds at least 2 kmin + 1 points, so kmin always fits; event data are
  // never smoothed.
  const int fitting = (s.setting.n2 - 1) / 2;
  s.setting.kmax = std::max(s.parameters.kmin, std::min(scaled, fitting));
}

void info1(const State& s, Console& console) {
  const Parameters& p = s.parameters;
  if (p.rule_reflection_reset) {
    console.line("Configuration file setting:");
    console.line("rule = " + std::string(ruleText(p.rule)) + ruleNote(p));
    console.line();
  }
  for (const std::string& line : intervalLines(s)) console.line(line);
}

void info1(const State& s, const std::string& file) {
  const Parameters& p = s.parameters;
  const std::string gap(5, ' ');
  createWith(file, [&](std::ostream& out) {
    out << kResultTitle << "\n \n"
        << "Configuration file setting:\n"
        << "krel =    " << fmtF(p.krel, 5, 3) << gap
        << " (search range in cross-validation for background estimation)\n"
        << "rule =    " << ruleText(p.rule) << ruleNote(p) << '\n'
        << "hrelmax = " << fmtF(p.hrelmax, 5, 3) << gap
        << " (search range in cross-validation for risk estimation)\n"
        << "nhsrch =  " << fmtI(p.nhsrch, 5) << gap
        << " (search grid in cross-validation for risk estimation)\n"
        << "ngrid =   " << fmtI(p.ngrid, 5) << gap << " (time grid for risk estimation)\n"
        << "alpha =   " << fmtF(p.alpha, 5, 3) << gap << " (confidence level)\n"
        << " \n";
    for (const std::string& line : intervalLines(s)) out << line << '\n';
  });
}

}  // namespace morvek

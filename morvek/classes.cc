#include "morvek/classes.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "morvek/format.h"
#include "morvek/menus.h"
#include "morvek/resultfile.h"

namespace morvek {

namespace {

std::string es10(double v) { return fmtES(v, 10, 3); }

// Membership of a value in class j (1-based) under the bounds c.
bool inClass(const Held<double>& c, std::size_t j, double x) {
  const bool above = j == 1 ? c[0] <= x : c[j - 1] < x;
  return above && x <= c[j];
}

struct Range {
  double min, max;
};

Range rangeOf(const Held<double>& values) {
  Range r{values[0], values[0]};
  for (double v : values) {
    r.min = std::min(r.min, v);
    r.max = std::max(r.max, v);
  }
  return r;
}

// Extremes of one value cannot be parted: no bound lies strictly between
// the smallest and the largest, and evenly spaced classes would be empty.
int askClassCount(Console& console, Range r) {
  return askInt(
      console, 1, kMaxClasses, "number of classes",
      [&] {
        console.line("Number of magnitude classes: ");
        console.line("l:   " + fmtI(1, 2) + "  <= [INT] <=  " + fmtI(kMaxClasses, 2));
      },
      [&](int l) {
        if (l == 1 || r.min < r.max) return true;
        console.line("All extreme events have the same value - one class holds them all");
        return false;
      });
}

const Menu kSpacingMenu{{},
                        {{'e', "Classes: evenly spaced                   [e]"},
                         {'h', "         per hand                        [h]"}}};

// The outer bounds are the smallest and largest values themselves: the
// formula can round the top bound below the largest value, which would
// then belong to no class.
void evenlySpaced(Held<double>& c, int l, Range r) {
  for (int j = 0; j < l; ++j) c[static_cast<std::size_t>(j)] = r.min + (r.max - r.min) * j / l;
  c[static_cast<std::size_t>(l)] = r.max;
}

// The inner bounds typed by the user; every error of an attempt is named.
void perHand(Held<double>& c, int l, Range r, Console& console) {
  const auto last = static_cast<std::size_t>(l);
  ask([&]() -> std::optional<bool> {
    const std::string lower = "class  1:       [ " + es10(r.min) + " = min = c(0);  c(1)                    ]";
    if (l == 2) {
      console.line(lower);
      console.line("class  2:       ]                    c(1);  c(2) = max = " + es10(r.max) + " ]");
      console.line();
      console.line("Input class bound:");
      console.line("[c(1)] :");
    } else {
      console.line(lower);
      console.line("class  2:       ]                    c(1);  c(2)                    ]");
      console.line("class  3:       ]                    c(2);  c(3) = max = " + es10(r.max) + " ]");
      console.line();
      console.line("Input class bounds with c(1) < c(2):");
      console.line("[c(1), c(2)] :");
    }
    const auto answer = readRealsLine(console, l - 1);
    if (answer) std::copy(answer->begin(), answer->end(), c.begin() + 1);
    c[0] = r.min;
    c[last] = r.max;
    if (!answer) return std::nullopt;
    const Range bounds = rangeOf(c);
    bool ok = true;
    if (bounds.min < r.min) {
      console.line("Error - c < min(x3)");
      ok = false;
    }
    if (bounds.max > r.max) {
      console.line("Error - c > max(x3)");
      ok = false;
    }
    for (std::size_t i = 1; i <= last; ++i) {
      if (c[i - 1] >= c[i]) {
        console.line("Error - c increase not strictly monotonically");
        ok = false;
        break;
      }
    }
    if (ok) return true;
    return std::nullopt;
  });
}

Menu part3Menu(DataType type) {
  Menu menu{{"", "Part 3: Magnitude Classification", ""},
            {{key(Part3Choice::classes), "Magnitude classes                        [m]"}}};
  addEarlierParts(menu, type, 3);
  menu.entries.push_back({key(Part3Choice::proceed), "Continue                                 [c]"});
  return menu;
}

// Heading and rows of the class table. A bandwidth or simulation count is
// shown once it is set; arrays not yet made count as unset.
std::vector<std::string> tableLines(const State& s) {
  const Setting& g = s.setting;
  const auto l = static_cast<std::size_t>(g.l);
  auto bandwidth = [&](std::size_t j) { return j < g.h.size() ? g.h[j] : kUnsetReal; };
  auto simulations = [&](std::size_t j) { return j < g.nsim.size() ? g.nsim[j] : kUnsetInt; };
  bool anyBandwidth = false, anySimulations = false;
  for (std::size_t j = 0; j < l; ++j) {
    anyBandwidth = anyBandwidth || bandwidth(j) != kUnsetReal;
    anySimulations = anySimulations || simulations(j) != kUnsetInt;
  }
  std::vector<std::string> lines;
  std::string heading = "Magnitude class";
  if (anyBandwidth) {
    heading += std::string(35, ' ') + "Kernel bandwidth";
    if (anySimulations) heading += "  Simulations";
  }
  lines.push_back(heading);
  for (std::size_t j = 1; j <= l; ++j) {
    std::string row = fmtI(static_cast<long long>(j), 2) + (j == 1 ? "   [ " : "   ] ") +
                      es10(g.c[j - 1]) + "; " + es10(g.c[j]) + " ] - " + fmtI(g.n4[j - 1], 6) +
                      " points   ";
    const double h = bandwidth(j - 1);
    if (h != kUnsetReal) {
      row += std::string(6, ' ') + es10(h);
      const int nsim = simulations(j - 1);
      if (nsim != kUnsetInt) row += std::string(8, ' ') + fmtI(nsim, 5);
    }
    lines.push_back(row);
  }
  return lines;
}

}  // namespace

void chsett6(State& s, Console& console) {
  Setting& g = s.setting;
  if (s.setting.datatype == DataType::times) {
    g.l = 1;
    make(s, Group::g3a);
    return;
  }
  const Range r = rangeOf(s.data.x3);
  g.l = askClassCount(console, r);
  make(s, Group::g3a);
  const char spacing = g.l == 1 ? 'e' : choose(console, kSpacingMenu);
  if (spacing == 'e') {
    evenlySpaced(g.c, g.l, r);
  } else {
    perHand(g.c, g.l, r, console);
  }
}

void classes(State& s) {
  Setting& g = s.setting;
  const Data& d = s.data;
  const auto l = static_cast<std::size_t>(g.l);
  if (g.datatype == DataType::times) {
    g.n4[0] = g.n3;
  } else {
    for (std::size_t j = 1; j <= l; ++j) {
      g.n4[j - 1] = static_cast<int>(
          std::count_if(d.x3.begin(), d.x3.end(), [&](double x) { return inClass(g.c, j, x); }));
    }
  }
  make(s, Group::g3b);
  if (g.datatype == DataType::times) {
    for (std::size_t i = 0; i < d.t3.size(); ++i) s.data.t4.at(0, i) = d.t3[i];
    return;
  }
  std::vector<std::size_t> filled(l, 0);
  for (std::size_t i = 0; i < d.x3.size(); ++i) {
    for (std::size_t j = 1; j <= l; ++j) {
      if (inClass(g.c, j, d.x3[i])) s.data.t4.at(j - 1, filled[j - 1]++) = d.t3[i];
    }
  }
}

void chsett6a(State& s) {
  const Setting& g = s.setting;
  const Held2<double>& t4 = s.data.t4;
  // Times within a row increase, so its first and last entries are its ends.
  bool any = false;
  double earliest = 0, latest = 0;
  for (std::size_t j = 0; j < t4.rows(); ++j) {
    const int count = g.n4[j];
    if (count <= 0) continue;
    const double first = t4.at(j, 0);
    const double last = t4.at(j, static_cast<std::size_t>(count) - 1);
    earliest = any ? std::min(earliest, first) : first;
    latest = any ? std::max(latest, last) : last;
    any = true;
  }
  const Held<double>& t1 = s.data.t1;
  const bool atEnd = any && (earliest == t1[0] || latest == t1[t1.size() - 1]);
  Parameters& p = s.parameters;
  if (p.rule == Rule::twopoint && atEnd) {
    p.rule = Rule::reflection;
    p.rule_reflection_reset = true;
  } else {
    p.rule_reflection_reset = false;
  }
}

Part3Choice decis3(const State& s, Console& console) {
  console.blank(2);
  const Menu menu = part3Menu(s.setting.datatype);
  return ask([&]() -> std::optional<Part3Choice> {
    const auto answer = offer(console, menu);
    if (!answer) return std::nullopt;
    const auto choice = static_cast<Part3Choice>(*answer);
    if (choice == Part3Choice::proceed && s.setting.l == kUnsetInt) {
      console.line("Magnitude classes have not yet been set");
      return std::nullopt;
    }
    return choice;
  });
}

std::size_t decis5(const State& s, Console& console) {
  const int l = s.setting.l;
  if (l == 1) return 0;
  console.line();
  const int number = askInt(console, 1, l, "class number", [&] {
    console.line();
    console.line("Class number [ <= " + fmtI(l, 2) + " ]: ");
  });
  return static_cast<std::size_t>(number - 1);
}

void info3(const State& s, Console& console) {
  if (s.setting.l == kUnsetInt) return;
  console.line();
  for (const std::string& line : tableLines(s)) console.line(line);
}

void info3(const State& s, const std::string& file) {
  if (s.setting.l == kUnsetInt) return;
  std::vector<std::string> lines{" "};
  for (std::string& line : tableLines(s)) lines.push_back(std::move(line));
  appendLines(file, lines);
}

}  // namespace morvek

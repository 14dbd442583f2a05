// Axis settings of the plot types. The defaults of each type and the
// plot-setting choices of the background picture are rows of two
// small tables; the three choices that ask the user go through ask(), so
// each gets the usual five attempts.
//
// Smallest and largest values pass over values that are not numbers; with
// nothing to look at the smallest is the largest double and the largest its
// negative, so that an empty set never narrows a range.
#include "morvek/plotsettings.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "numerics/sort.h"

namespace morvek {
namespace {


Extent extentOf(std::span<const double> values) {
  Extent e;
  for (double v : values) e.add(v);
  return e;
}

std::span<const double> intervalTimes(const State& s) { return s.data.t2.first(s.setting.n2); }

// The whole series shows the observation interval, which may be wider than
// the data; an extracted interval shows just the span of its times.
void setDefaultHorizontal(const State& s, PlotAxes& a) {
  if (s.setting.n1 == s.setting.n2) {
    a.xl = s.setting.tobsl;
    a.xu = s.setting.tobsr;
    return;
  }
  const Extent times = extentOf(intervalTimes(s));
  a.xl = times.low;
  a.xu = times.high;
}

// ---- Defaults per type ---------------------------------------------------

void defaultsData(State& s) {
  PlotAxes& a = s.settingp[PlotType::data];
  setDefaultHorizontal(s, a);
  a.logy = Scale::lin;
}

void defaultsBackground(State& s) {
  PlotAxes& a = s.settingp[PlotType::background];
  setDefaultHorizontal(s, a);
  a.yl = kUnsetReal;
  a.logy = Scale::lin;
  s.settingp.zplot = {2.0, 4.0, 0.0};
}

void defaultsExtremes(State& s) {
  PlotAxes& a = s.settingp[PlotType::extremes];
  setDefaultHorizontal(s, a);
  a.yl = kUnsetReal;
}

// Extreme values on the horizontal axis, ranks 1 to n3 on the vertical; a
// log axis only where every extreme is positive.
void defaultsDistribution(State& s) {
  PlotAxes& a = s.settingp[PlotType::distribution];
  const Extent values = extentOf(s.data.x3.first(s.setting.n3));
  a.xl = values.low;
  a.xu = values.high;
  a.yl = 1.0;
  a.yu = s.setting.n3;
  a.logx = values.low > 0 ? Scale::log : Scale::lin;
  a.logy = Scale::lin;
}

// Room above the top class for the key.
void defaultsClasses(State& s) {
  PlotAxes& a = s.settingp[PlotType::classes];
  setDefaultHorizontal(s, a);
  a.yl = 0.0;
  a.yu = static_cast<double>(1.25f * static_cast<float>(s.setting.l));
  a.logy = Scale::lin;
}

void defaultsBandwidth(State& s) { s.settingp[PlotType::bandwidth].yl = kUnsetReal; }

void defaultsObservation(State& s, PlotType type) {
  PlotAxes& a = s.settingp[type];
  a.xl = s.setting.tobsl;
  a.xu = s.setting.tobsr;
  a.yl = kUnsetReal;
}

void defaultsRate(State& s) { defaultsObservation(s, PlotType::rate); }
void defaultsBand(State& s) { defaultsObservation(s, PlotType::band); }

void defaultsTimes(State& s) {
  PlotAxes& a = s.settingp[PlotType::times];
  setDefaultHorizontal(s, a);
  a.yl = 0.0;
  a.yu = 1.25;
  a.logy = Scale::lin;
}

struct Defaults {
  PlotType type;
  void (*set)(State&);
};

// The window search's picture has no row: it keeps its settings.
constexpr Defaults kDefaults[] = {
    {PlotType::data, defaultsData},
    {PlotType::background, defaultsBackground},
    {PlotType::extremes, defaultsExtremes},
    {PlotType::distribution, defaultsDistribution},
    {PlotType::classes, defaultsClasses},
    {PlotType::bandwidth, defaultsBandwidth},
    {PlotType::rate, defaultsRate},
    {PlotType::band, defaultsBand},
    {PlotType::times, defaultsTimes},
};

// ---- Choices for the background picture ----------------------------------

void chooseDefaultHorizontal(State& s, Console&) { setDefaultHorizontal(s, s.settingp[PlotType::background]); }

void chooseLinear(State& s, Console&) { s.settingp[PlotType::background].logy = Scale::lin; }

void chooseLog(State& s, Console&) { s.settingp[PlotType::background].logy = Scale::log; }

// Only the line of the threshold just set; the writer titles it as such.
void chooseThreshold(State& s, Console&) { s.settingp.zplot = {s.setting.z, 0.0, 0.0}; }

// The range is clipped to the data's times and must keep some of them in
// view. A refused range stays clipped in place until the next answer.
void askHorizontal(State& s, Console& console) {
  PlotAxes& a = s.settingp[PlotType::background];
  const Extent times = extentOf(intervalTimes(s));
  ask([&]() -> std::optional<bool> {
    console.line("Horizontal range");
    console.line("[left boundary, right boundary]: ");
    const auto answer = readRealsLine(console, 2);
    if (answer) {
      a.xl = (*answer)[0];
      a.xu = (*answer)[1];
    }
    a.xl = std::max(a.xl, times.low);
    a.xu = std::min(a.xu, times.high);
    if (answer && a.xl < times.high && times.low < a.xu && a.xl < a.xu) return true;
    if (answer) adviseOnRange(console, (*answer)[0], (*answer)[1], times.low, times.high);
    return std::nullopt;
  });
}

}  // namespace

Extent drawnInBackgroundWindow(const State& s) {
  const PlotAxes& a = s.settingp[PlotType::background];
  const Data& d = s.data;
  const double c = std::min(s.settingp.zplot[0], 0.0);
  const auto t2 = intervalTimes(s);
  Extent values, lines;
  for (std::size_t i = 0; i < t2.size(); ++i) {
    if (!(a.xl <= t2[i] && t2[i] <= a.xu)) continue;
    values.add(d.x2[i]);
    lines.add(d.b2[i] + c * d.v2[i]);
  }
  return {std::min(values.low, lines.low), std::max(values.high, lines.high)};
}

namespace {

// A vertical range takes effect only where it cuts into what is drawn; one
// that leaves room on both sides falls back to the automatic range.
void askVertical(State& s, Console& console) {
  PlotAxes& a = s.settingp[PlotType::background];
  ask([&]() -> std::optional<bool> {
    console.line("Vertical range");
    console.line("[lower boundary, upper boundary]: ");
    const auto answer = readRealsLine(console, 2);
    if (!answer) return std::nullopt;
    a.yl = (*answer)[0];
    a.yu = (*answer)[1];
    if (a.yl < a.yu) return true;
    console.advise("the lower boundary must be below the upper one");
    return std::nullopt;
  });

  const Extent values = extentOf(s.data.x2.first(s.setting.n2));
  a.yl = std::max(a.yl, values.low);
  a.yu = 1.25 * std::min(a.yu, values.high);

  const Extent drawn = drawnInBackgroundWindow(s);
  if (a.yl < drawn.low && drawn.high < a.yu) {
    a.yl = kUnsetReal;
    a.logy = Scale::lin;
    return;
  }
  if (a.yl < drawn.low && a.yu < drawn.high) {
    a.yl = drawn.low;
  } else if (a.yl > drawn.low && a.yu > drawn.high) {
    a.yu = drawn.high;
  }
  if (a.yl < 0) a.logy = Scale::lin;
}

// Up to three multipliers, kept in ascending order: the writer stops at the
// first zero after the first place, so unwanted zeros must come first when
// the wanted values are positive.
void askTestLines(State& s, Console& console) {
  const std::vector<double> z = ask([&]() -> std::optional<std::vector<double>> {
    console.line("Test threshold values");
    console.line("b + z(i) * v, i = 1, 2, 3");
    console.line("[z(1), z(2), z(3)]:");
    auto answer = readRealsLine(console, 3);
    if (!answer) {
      console.line();
      return std::nullopt;
    }
    answer->resize(3);
    double largest = 0.0;
    for (double v : *answer) largest = std::max(largest, std::abs(v));
    if (largest >= 100.0) {
      console.line("Sorry - abs(z) must be smaller than 100");
      console.line();
      return std::nullopt;
    }
    if (largest == 0.0) {
      console.line("Sorry - at least one z must have abs(z) > 0");
      console.line();
      return std::nullopt;
    }
    return answer;
  });
  std::vector<int> order(z.size());
  numerics::indexx_sp(z, order);
  for (std::size_t i = 0; i < z.size(); ++i) s.settingp.zplot[i] = z[static_cast<std::size_t>(order[i])];
}

struct Choice {
  BackgroundSetting setting;
  void (*apply)(State&, Console&);
};

constexpr Choice kChoices[] = {
    {BackgroundSetting::defaultHorizontal, chooseDefaultHorizontal},
    {BackgroundSetting::otherHorizontal, askHorizontal},
    {BackgroundSetting::vertical, askVertical},
    {BackgroundSetting::linear, chooseLinear},
    {BackgroundSetting::log, chooseLog},
    {BackgroundSetting::testLines, askTestLines},
    {BackgroundSetting::threshold, chooseThreshold},
};

}  // namespace

void chsettp(State& s, Console& console, PlotType type, BackgroundSetting setting) {
  if (type == PlotType::background && setting != BackgroundSetting::defaults) {
    for (const Choice& choice : kChoices) {
      if (choice.setting == setting) choice.apply(s, console);
    }
    return;
  }
  for (const Defaults& defaults : kDefaults) {
    if (defaults.type == type) defaults.set(s);
  }
}

}  // namespace morvek

#include "morvek/plotsettings.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <sstream>
#include <tuple>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// Five points, the lowest (-5) last; the observation interval is wider than
// the data. Every axis starts as a marker {1, 2, 3, 4, log, log}, so that
// each change shows.
State series() {
  State s = withData(DataType::ordinary, {1950, 1960, 1970, 1980, 1990}, {10, 20, 100, 40, -5});
  s.setting.tobsl = 1940;
  s.setting.tobsr = 2010;
  setSmoothed(s, std::vector(5, 8.0), std::vector(5, 1.0));
  s.setting.l = s.setting.n3 = 3;
  s.data.x3 = held<double>({2.5, 0.5, 4.0, -7.0});  // the fourth lies beyond n3
  for (int type = 1; type <= kPlotTypes; ++type) s.settingp[type] = {1, 2, 3, 4, Scale::log, Scale::log};
  s.settingp.zplot = {1, 1, 1};
  return s;
}

// The dialog of one call, "[stop]" when its fifth failure stopped the run,
// and every axis setting it changed.
std::string step(State& s, int type, char option, std::string answers = "") {
  const SettingP before = s.settingp;
  Scripted io(answers);
  bool stopped = false;
  try {
    chsettp(s, io.console, type, option);
  } catch (const Fatal&) {
    stopped = true;
  }
  std::ranges::replace(answers, '\n', '|');
  std::ostringstream text;
  text.precision(15);
  text << "== type " << type << ", option '" << option << "', answers \"" << answers << "\" ==\n"
       << io.text() << (stopped ? "[stop]\n" : "");
  const auto axes = [](const PlotAxes& a) { return std::tuple(a.xl, a.xu, a.yl, a.yu, a.logx, a.logy); };
  for (int t = 1; t <= kPlotTypes; ++t) {
    const PlotAxes& a = s.settingp[t];
    if (axes(a) == axes(before[t])) continue;
    text << "type " << t << ": x [" << a.xl << ", " << a.xu << "] y [" << a.yl << ", " << a.yu << "]"
         << (a.logx == Scale::log ? " log x" : "") << (a.logy == Scale::log ? " log y" : "") << "\n";
  }
  const auto& z = s.settingp.zplot;
  if (z != before.zplot) text << "zplot " << z[0] << " " << z[1] << " " << z[2] << "\n";
  return text.str();
}

// tests/golden/plotsettings.txt: the defaults of each type for the whole
// series (the observation interval) and for an extracted interval (the
// span of its times); a log distribution axis only for positive extremes;
// the background letters; the horizontal range clipped to the data; the
// vertical range, which takes effect only where it cuts into what is drawn
// (in the window 1950..1980: the data 10..100, the background 8 and the
// lowest test line); the test lines, sorted or refused with a reason.
TEST(PlotSettingsTest, DefaultsAndBackgroundDialogs) {
  std::string all;
  State s = series();
  // Types other than 5 take their defaults whatever the option; types without defaults change nothing.
  for (int type : {1, 6, 7, 8, 9, 10, 11, 12}) all += step(s, type, 'v');
  all += step(s, 5, '-');
  for (int type : {2, 3, 4, 13, 14, 20, 0, 21}) all += step(s, type, '-');
  s = series();
  s.setting.n1 = 9;
  s.data.t2[2] = std::nan("");  // passed over
  s.setting.l = 1;
  for (int type : {1, 5, 6, 8, 12}) all += step(s, type, '-');
  s.data.x3[1] = 0.0;
  all += step(s, 7, '-');
  s.setting.n3 = 0;  // an empty set never narrows a range
  all += step(s, 7, '-');
  s = series();
  s.setting.n1 = 9;
  s.setting.z = 2.5;
  s.settingp[5].logy = Scale::lin;
  for (char option : {'h', 'g', 'l', 's', 'x'}) all += step(s, 5, option);
  s = series();
  s.data.t2 = held<double>({1900, 1950, 1960, 1970, 2000});
  // Unreadable, beyond the data, reversed; five refusals leave the range clipped in place.
  for (const char* answers : {"0 1e30\n", "1950\n2100 2200\n1980,1960\n1955, 1965\n",
                              "2100 2200\n2100 2200\n2100 2200\n2100 2200\n2100 2200\n1950 1960\n"}) {
    all += step(s, 5, 'o', answers);
  }
  for (const auto& [answers, z1] : {std::pair{"0 200\n", 2.0}, {"0 60\n", 2.0}, {"15 50\n", 2.0}, {"15 1000\n", 2.0},
                                    {"8 1000\n", 2.0}, {"-1 60\n", -10.0}, {"5 1\n1 1\nx 3\n0 60\n", 2.0},
                                    {"5 1\n5 1\n5 1\n5 1\n5 1\n", 2.0}}) {
    s = series();
    s.settingp[5] = {1950, 1980, 3, 4, Scale::lin, Scale::log};
    s.settingp.zplot[0] = z1;
    all += step(s, 5, 'v', answers);
  }
  // Ascending order puts unwanted zeros first when the wanted lines are positive; the last input ends after
  // four answers.
  for (const char* answers : {"6, 2, 4\n", "3 0 0\n", "-3 -2 0\n", "99.9 -99.9 0 100\n",
                              "100 0 0\n0 0 0\n1 2\n-0.5 0 0\n", "0 0 -100\n0 0 -100\n0 0 -100\n0 0 -100\n"}) {
    all += step(s, 5, 't', answers);
  }
  expectGolden("plotsettings.txt", all);
}

}  // namespace
}  // namespace morvek

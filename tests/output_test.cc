// What Morvek writes: the result files, and the plots, whose command files
// the real gnuplot must take, with the dialogs that set their axes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>

#include "morvek/classes.h"
#include "morvek/extremes.h"
#include "morvek/interval.h"
#include "morvek/menus.h"
#include "morvek/plot.h"
#include "morvek/plotsettings.h"
#include "morvek/resultfile.h"
#include "morvek/results.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

// The numbers the goldens know the pictures by.
int number(PlotType type) {
  constexpr int kNumbers[] = {1, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  return kNumbers[static_cast<std::size_t>(type)];
}

using namespace testing;

// Classes with a bandwidth and a number of simulations each.
void classify(State& s, std::vector<double> bounds, const std::vector<std::vector<double>>& times,
              std::vector<double> bandwidths, std::vector<int> simulations) {
  setClasses(s, std::move(bounds), times);
  s.setting.h = held(bandwidths);
  s.setting.nsim = held(simulations);
}

// Ten yearly values with three extremes below a negative threshold; the one
// on zero variability has an infinite scaled value.
State series() {
  State s = withData(DataType::ordinary, {2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010},
                     {5.0, 4.5, 1.0, 5.5, 6.0, 2.0, 5.25, 4.75, 0.5, 5.0});
  s.setting.k = 2;
  s.setting.z = -1.5;
  setSmoothed(s, {5.0, 5.0, 4.5, 5.0, 5.25, 5.0, 5.0, 4.75, 4.0, 4.75},
              {0.5, 0.5, 1.25, 0.5, 0.75, 0.0, 0.25, 0.25, 2.0, 0.25});
  setExtremes(s, {2003, 2006, 2009}, {-2.8, -INFINITY, -1.75});
  classify(s, {-INFINITY, -1.75}, {{2003, 2006, 2009}}, {1.5}, {1000});
  return s;
}

// Event times only: one class of five events, one pseudodatum on each side;
// rate curves on a grid of six points (ngrid is set where the rates are
// written) that reaches past [tobsl, tobsr] = [0, 100] on both sides and
// hits both ends exactly.
State oneClassOfTimes() {
  State s = withData(DataType::times, {12, 30, 41, 65, 88});
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  setExtremes(s, {12, 30, 41, 65, 88});
  classify(s, {kUnsetReal, kUnsetReal}, {{12, 30, 41, 65, 88}}, {20.0}, {2000});
  setPseudodata(s, {{-12, 12, 30, 41, 65, 88, 112}});
  s.data.lx = held<double>({-10, 0, 25, 50, 100, 110});
  s.data.ly = table({{0.031, 0.0425, 0.051, kRiskFloor, 0.0375, 0.02}});
  s.data.lyl = table({{0.01, 0.0, 0.021, kRiskFloor, 0.0125, 0.0}});
  s.data.lyu = table({{0.052, 0.0875, 0.0905, 0.0001, 0.064, 0.041}});
  s.data.u = held<double>({-1.234});
  s.data.p = held<double>({0.8915});
  return s;
}

// Seven extremes in three classes of 4, 2 and 1 events; class 3 has its
// curves reset, as a return to the rate estimation leaves them.
State threeClassesOfExtremes() {
  const std::vector<double> t{3, 14, 27, 35, 52, 68, 90}, x{1.5, 3.5, 1.25, 2.5, 1.0, 2.25, 1.75};
  State s = withData(DataType::extreme, t, x);
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  setExtremes(s, t, x);
  classify(s, {1.0, 2.0, 3.0, 3.5}, {{3, 27, 52, 90}, {35, 68}, {14}}, {10.0, 25.0, 40.0}, {500, 500, 200});
  setPseudodata(s, {{-3, 3, 27, 52, 90, 110}, {-35, 35, 68, 132}, {-14, 14, 186}});
  s.data.lx = held<double>({-5, 0, 50, 100, 105});
  s.data.ly = table({{0.05, 0.04, 0.03, 0.02, 0.01}, {0.1, 0.2, 0.3, 0.4, 0.5}, {}});
  s.data.lyl = table({{0.04, 0.03, 0.02, 0.01, 0.0}, {0.05, 0.15, 0.25, 0.35, 0.45}, {}});
  s.data.lyu = table({{0.06, 0.05, 0.04, 0.03, 0.02}, {0.15, 0.25, 0.35, 0.45, 0.55}, {}});
  s.data.u = held<double>({0.5, 2.75, -0.125});
  s.data.p = held<double>({0.3085, 0.00298, 0.5497});
  return s;
}

const std::function<void(const State&)> kWriters[] = {output1, output2, output3};

// The golden copies pin the whole layout: the summary blocks, then for
// morvek-1.dat the series with the extremes beside (the threshold from the
// background, variability and z); for morvek-2.dat the dates with and
// without pseudodata, the unset value where a class is shorter; for
// morvek-3.dat the test and the curves inside the observation interval only,
// a reset curve as the unset value. Counts larger than the arrays, released
// arrays and unset counts write what the arrays hold, the rest as the unset
// value (tests/golden/results_counts.txt). Each file is written over an
// older, longer one and once more over itself.
TEST(ResultFilesTest, EachFileMatchesItsGoldenCopy) {
  ScratchDir dir;
  const auto none = [](State&) {};
  const struct { const char* golden; int file; State (*make)(); void (*change)(State&); } cases[] = {
      {"results_morvek1.dat", 1, series, none},
      {"results_morvek2_one.dat", 2, oneClassOfTimes, none},
      {"results_morvek2_three.dat", 2, threeClassesOfExtremes, none},
      {"results_morvek3_one.dat", 3, oneClassOfTimes, [](State& s) { s.parameters.ngrid = 6; }},
      {"results_morvek3_three.dat", 3, threeClassesOfExtremes, [](State& s) { s.parameters.ngrid = 5; }},
      {"n2 = 50, n3 = 20, no background", 1, series,
       [](State& s) { s.setting.n2 = 50; s.setting.n3 = 20; s.data.b2.release(); }},
      {"n2 and n3 unset", 1, series, [](State& s) { s.setting.n2 = s.setting.n3 = kUnsetInt; }},
      {"n4 and n beyond t4 and t", 2, threeClassesOfExtremes,
       [](State& s) { s.setting.n4 = held<int>({9, 2, 1}); s.setting.n = held<int>({4, 30, 3}); }},
      {"no pseudodata", 2, threeClassesOfExtremes, [](State& s) { s.data.t.release(); }},
      {"ngrid = 100, one class of results", 3, threeClassesOfExtremes,
       [](State& s) { s.parameters.ngrid = 100; s.data.u = held<double>({0.5}); s.data.ly = table({{0.05, 0.04}}); }},
      {"no classes", 3, threeClassesOfExtremes, [](State& s) { s.parameters.ngrid = 5; s.setting.l = kUnsetInt; }},
  };
  std::string counts;
  for (const auto& c : cases) {
    State s = c.make();
    c.change(s);
    const std::string file = "morvek-" + std::to_string(c.file) + ".dat";
    writeFile(file, std::string(20000, 'x') + "\n");
    kWriters[c.file - 1](s);
    const std::string text = readFile(file);
    kWriters[c.file - 1](s);
    EXPECT_EQ(readFile(file), text) << c.golden << " was appended to";
    if (std::string(c.golden).ends_with(".dat")) {
      expectGolden(c.golden, text);
    } else {
      counts += "== " + std::string(c.golden) + " ==\n" + text;
    }
  }
  expectGolden("results_counts.txt", counts);
}

// A full device takes the opening but no byte: the failure shows at the
// first block, and the flush at the close must not pass for success. With
// room for the summary blocks only, the blocks go through and the table
// does not; beyond the limit a write fails with EFBIG instead of the signal
// that would end the test process. An append needs the file to exist, and a
// file that cannot be created is an opening failure as well.
TEST(ResultFilesTest, FailedWritesAndOpeningsStop) {
  ScratchDir dir;
  const State states[] = {series(), threeClassesOfExtremes(), threeClassesOfExtremes()};
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  for (int i = 0; i < 3; ++i) {
    const std::string file = "morvek-" + std::to_string(i + 1) + ".dat";
    const Lines failed{"Error during data file writing: " + file};
    std::filesystem::create_symlink("/dev/full", file);
    EXPECT_EQ(stopLines([&] { kWriters[i](states[i]); }), failed);
    std::filesystem::remove(file);
    info1(states[i], file);
    info2(states[i], file);
    info3(states[i], file);
    const std::string blocks = readFile(file);
    const rlimit limited{blocks.size(), saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    const Lines stop = stopLines([&] { kWriters[i](states[i]); });
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(stop, failed);
    EXPECT_EQ(readFile(file), blocks);
  }
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(stopLines([] { appendLines("/dev/full", {"x"}); }), Lines{"Error during data file writing: /dev/full"});
  EXPECT_EQ(stopLines([] { appendLines("new.dat", {"a line"}); }), Lines{"Error during data file opening"});
  EXPECT_FALSE(std::filesystem::exists("new.dat"));
  std::filesystem::remove("morvek-1.dat");
  std::filesystem::create_directory("morvek-1.dat");
  EXPECT_EQ(stopLines([&] { output1(states[0]); }), Lines{"Error during data file opening"});
}

// Every drawn type can be made from this state. The extremes are unsorted
// for the distribution; class 1's row of the per-class results is a decoy.
State sample() {
  State s = withData(DataType::ordinary, {1950.5, 1951.5, 1952.5}, {1.5, -0.5, 3.25});
  s.setting.k = 3;
  setSmoothed(s, {1.0, 1.0, 1.5}, {0.5, 0.5, 0.25});
  setExtremes(s, {1951.0, 1951.5, 1952.0}, {2.5, 1.25, 4.0});
  setClasses(s, {0, 1, 2, 3}, {{1950.5, 1952.5}, {1951.5}, {1952.0}});
  s.parameters.nhsrch = s.parameters.ngrid = 2;
  s.data.cv.create(2, 2);
  s.data.cv.fill({9.0, 9.0});
  s.data.cv.at(1, 0) = {0.5, -1.25};
  s.data.cv.at(1, 1) = {1.0, -2.0};
  s.data.lx = held<double>({1950.0, 1953.0});
  s.data.ly = table({{9, 9}, {0.25, 0.5}});
  s.data.lyl = table({{9, 9}, {0.125, 0.25}});
  s.data.lyu = table({{9, 9}, {0.5, 1.0}});
  s.data.u = held<double>({9.0, -1.5});
  s.data.p = held<double>({9.0, 0.25});
  s.cvmeddata = {held<double>({1.0, 0.5}), held<double>({2.0, 0.75}), held<int>({3, 4})};
  s.settingp.axes.fill({1950.0, 1953.0, kUnsetReal, 0.0});
  s.settingp[PlotType::distribution] = {1.25, 4.0, 1.0, 3.0, Scale::log, Scale::log};
  s.settingp[PlotType::classes] = {1950.0, 1953.0, 0.0, 3.75};
  s.settingp[PlotType::times] = {1950.0, 1953.0, 0.0, 1.25};
  return s;
}

// A log axis on the window from `from` to `to` with the lowest test line z1.
void logWindow(State& s, double from, double to, double z1) {
  s.settingp[PlotType::background] = {from, to, kUnsetReal, 0, Scale::lin, Scale::log};
  s.settingp.zplot[0] = z1;
}

// Changes to the sample; tests/golden/plot_variants.txt holds what each
// draws (the command file without its fixed style lines).
const struct Variant {
  PlotType type;
  const char* name;
  void (*change)(State&);
} kVariants[] = {
    {PlotType::background, "three test lines, one negative", [](State& s) { s.settingp.zplot = {-1.5, 2.0, 6.0}; }},
    // A single line is titled as the threshold only when its multiplier is the threshold in force.
    {PlotType::background, "the threshold alone", [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {2.5, 0.0, 7.0}; }},
    {PlotType::background, "a zero line alone", [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {0.0, 0.0, 3.0}; }},
    // A set lower end draws the vertical range; a log axis needs everything drawn in the window
    // positive: the data and the lowest test line.
    {PlotType::background, "vertical range, log", [](State& s) { s.settingp[PlotType::background] = {1952.0, 1953.0, 0.5, 4.0, Scale::lin, Scale::log}; }},
    {PlotType::background, "log refused: x = -0.5 at 1951.5", [](State& s) { s.settingp[PlotType::background].logy = Scale::log; }},
    {PlotType::background, "log refused: x = -1 at 1950.5, the first point",
     [](State& s) { s.settingp[PlotType::background].logy = Scale::log, s.data.x2[0] = -1, s.data.x2[1] = 0.5; }},
    {PlotType::background, "log: b - 4 v = 0.5", [](State& s) { logWindow(s, 1952, 1953, -4); }},
    {PlotType::background, "log refused: b - 6 v = 0", [](State& s) { logWindow(s, 1952, 1953, -6); }},
    {PlotType::background, "log: nothing in the window", [](State& s) { logWindow(s, 1960, 1970, 2); }},
    // A rank axis from 0 cannot be logarithmic; the fine tics stay.
    {PlotType::distribution, "ranks from 0", [](State& s) { s.settingp[PlotType::distribution].yl = 0.0; }},
    // Only the first l classes get a column and an impulse clause.
    {PlotType::classes, "one class", [](State& s) { s.setting.l = 1; }},
    {PlotType::classes, "two classes", [](State& s) { s.setting.l = 2; }},
    {PlotType::times, "event times, extracted", [](State& s) { s.setting.datatype = DataType::times; s.setting.n1 = 5; }},
    // The title says ZOOM when the window cuts off what the type draws: the data for types 5 and 12,
    // the extremes for 6 and 8; type 1 always draws the whole series.
    {PlotType::data, "no zoom", [](State& s) { s.settingp[PlotType::data].xl = 1951; s.settingp[PlotType::data].xu = 1952; }},
    {PlotType::background, "zoom", [](State& s) { s.settingp[PlotType::background].xl = 1950.8; s.settingp[PlotType::background].xu = 1952.2; }},
    {PlotType::background, "no zoom", [](State& s) { s.settingp[PlotType::background].xl = 1950.5; s.settingp[PlotType::background].xu = 1952.5; }},
    {PlotType::times, "zoom", [](State& s) { s.settingp[PlotType::times].xl = 1950.5; s.settingp[PlotType::times].xu = 1952.2; }},
    {PlotType::extremes, "no zoom", [](State& s) { s.settingp[PlotType::extremes].xl = 1950.8; s.settingp[PlotType::extremes].xu = 1952.2; }},
    {PlotType::extremes, "zoom", [](State& s) { s.settingp[PlotType::extremes].xl = 1951.0; s.settingp[PlotType::extremes].xu = 1951.9; }},
    {PlotType::classes, "no zoom", [](State& s) { s.settingp[PlotType::classes].xl = 1950.8; s.settingp[PlotType::classes].xu = 1952.2; }},
    {PlotType::classes, "zoom", [](State& s) { s.settingp[PlotType::classes].xl = 1951.2; s.settingp[PlotType::classes].xu = 1952.2; }},
};

// What the real gnuplot refuses in the command file "2.tmp": only the
// pause line may be refused, since a gnuplot built without a mouse has no
// "pause mouse". Complaints about the data (an empty right-hand axis next
// to "set y2tics", no point inside the window) are not refusals. gnuplot
// stops a script at its first error, so a refusal of the last line shows
// that every line before it was taken.
std::string refusals(const std::string& commands) {
  std::system("gnuplot -e \"set terminal dumb\" 2.tmp < /dev/null > gnuplot.out 2> gnuplot.err");
  std::istringstream complaints(readFile("gnuplot.err"));
  std::string refused;
  for (std::string line; std::getline(complaints, line);) {
    const std::size_t at = line.find(" line ");
    int number = 0;
    if (at == std::string::npos || std::sscanf(line.c_str() + at, " line %d:", &number) != 1 ||
        line.find("warning:") != std::string::npos || line.find("all points y value undefined") != std::string::npos) {
      continue;
    }
    const bool last = number == std::count(commands.begin(), commands.end(), '\n');
    refused += last && line.find("mouse") != std::string::npos ? "" : line + "\n";
  }
  return refused;
}

class PlotTest : public ::testing::Test {
 protected:
  // The command file, accepted by gnuplot; the data file stays in "1.tmp". The pictures of one class draw
  // class 2.
  std::string draw(const State& s, PlotType type) {
    plot(s, io.console, runner, type, 1);
    EXPECT_EQ(runner.commands.back(), "gnuplot 2.tmp");
    const std::string commands = readFile("2.tmp");
    EXPECT_EQ(refusals(commands), "") << "plot type " << number(type) << ":\n" << commands;
    return commands;
  }
  ScratchDir dir;
  Scripted io;
  RecordingRunner runner;
};

TEST_F(PlotTest, EveryTypeAndVariantWritesItsFiles) {
  ASSERT_EQ(std::system("command -v gnuplot > /dev/null"), 0) << "gnuplot is needed: install gnuplot-nox";
  for (std::size_t t = 0; t < kPlotTypes; ++t) {
    const auto type = static_cast<PlotType>(t);
    const std::string commands = draw(sample(), type);
    const std::string name = std::string("plot_type") + (number(type) < 10 ? "0" : "") + std::to_string(number(type)) + ".txt";
    expectGolden(name, "== 1.tmp ==\n" + readFile("1.tmp") + "== 2.tmp ==\n" + commands);
  }
  std::string all;
  for (const Variant& v : kVariants) {
    State s = sample();
    v.change(s);
    std::istringstream commands(draw(s, v.type));
    all += "== type " + std::to_string(number(v.type)) + ", " + v.name + " ==\n" + readFile("1.tmp") + "--\n";
    for (std::string line; std::getline(commands, line);) all += line.starts_with(" set style line") ? "" : line + "\n";
  }
  expectGolden("plot_variants.txt", all);
}

// Files that cannot be opened stop the run before gnuplot is called.
TEST_F(PlotTest, NothingIsDrawnAfterAStop) {
  const auto stop = [&] { return stopLines([&] { plot(sample(), io.console, runner, PlotType::data); }); };
  std::filesystem::create_directory("1.tmp");
  EXPECT_EQ(stop(), Lines{"Error during plot data file opening"});
  std::filesystem::remove("1.tmp");
  std::filesystem::create_directory("2.tmp");
  EXPECT_EQ(stop(), Lines{"Error during plot command file opening"});
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_NO_THROW(SystemPlotRunner().run("exit 3"));  // gnuplot's exit status is not the analysis's concern
}

// Five points, the lowest (-5) last; the observation interval is wider than
// the data. Every axis starts as a marker {1, 2, 3, 4, log, log}, so that
// each change shows.
State axesSample() {
  State s = withData(DataType::ordinary, {1950, 1960, 1970, 1980, 1990}, {10, 20, 100, 40, -5});
  s.setting.tobsl = 1940;
  s.setting.tobsr = 2010;
  setSmoothed(s, std::vector(5, 8.0), std::vector(5, 1.0));
  s.setting.l = s.setting.n3 = 3;
  s.data.x3 = held<double>({2.5, 0.5, 4.0, -7.0});  // the fourth lies beyond n3
  s.settingp.axes.fill({1, 2, 3, 4, Scale::log, Scale::log});
  s.settingp.zplot = {1, 1, 1};
  return s;
}

// The dialog of one call, "[stop]" when its fifth failure stopped the run,
// and every axis setting it changed.
std::string step(State& s, PlotType type, BackgroundSetting setting, std::string answers = "") {
  const SettingP before = s.settingp;
  Scripted io(answers);
  const bool stopped = stopLines([&] { chsettp(s, io.console, type, setting); }) != Lines{"(went on)"};
  std::ranges::replace(answers, '\n', '|');
  std::ostringstream text;
  text.precision(15);
  text << "== type " << number(type) << ", option '" << key(setting) << "', answers \"" << answers << "\" ==\n"
       << io.text() << (stopped ? "[stop]\n" : "");
  const auto axes = [](const PlotAxes& a) { return std::tuple(a.xl, a.xu, a.yl, a.yu, a.logx, a.logy); };
  for (std::size_t t = 0; t < kPlotTypes; ++t) {
    const PlotAxes& a = s.settingp.axes[t];
    if (axes(a) == axes(before.axes[t])) continue;
    text << "type " << number(static_cast<PlotType>(t)) << ": x [" << a.xl << ", " << a.xu << "] y [" << a.yl << ", " << a.yu << "]"
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
// The line that asks for a key in the plot window is shown only where
// gnuplot opens one: not for a terminal that draws in the console, and not
// without a display for a windowed terminal.
TEST(PlotWindowTest, OpensOnlyForWindowedTerminalsOnADisplay) {
  const struct { const char *gnuterm, *display, *wayland; bool opens; } cases[] = {
      {nullptr, ":0", nullptr, true},       {nullptr, nullptr, "wayland-0", true}, {nullptr, nullptr, nullptr, false},
      {"", "", "", false},                   {"dumb", ":0", nullptr, false},        {"dumb size 80,25", nullptr, nullptr, false},
      {"qt", ":0", nullptr, true},           {"wxt font 'Arial'", ":0", nullptr, true}, {"x11", nullptr, nullptr, false},
      {"pngcairo", ":0", nullptr, false},    {"aqua", nullptr, nullptr, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plotWindowOpens(c.gnuterm, c.display, c.wayland), c.opens)
        << (c.gnuterm ? c.gnuterm : "(unset)") << " on " << (c.display ? c.display : "(no display)");
  }
}

TEST(PlotSettingsTest, DefaultsAndBackgroundDialogs) {
  using D = PlotType;
  using B = BackgroundSetting;
  std::string all;
  State s = axesSample();
  // Pictures other than the background take their defaults whatever the setting; the window search's
  // keeps its own.
  for (PlotType type : {D::data, D::extremes, D::distribution, D::classes, D::bandwidth, D::rate, D::band, D::times}) {
    all += step(s, type, B::vertical);
  }
  all += step(s, D::background, B::defaults);
  all += step(s, D::window, B::defaults);
  s = axesSample();
  s.setting.n1 = 9;
  s.data.t2[2] = std::nan("");  // passed over
  s.setting.l = 1;
  for (PlotType type : {D::data, D::background, D::extremes, D::classes, D::times}) all += step(s, type, B::defaults);
  s.data.x3[1] = 0.0;
  all += step(s, D::distribution, B::defaults);
  s.setting.n3 = 0;  // an empty set never narrows a range
  all += step(s, D::distribution, B::defaults);
  s = axesSample();
  s.setting.n1 = 9;
  s.setting.z = 2.5;
  s.settingp[PlotType::background].logy = Scale::lin;
  for (B setting : {B::defaultHorizontal, B::log, B::linear, B::threshold}) all += step(s, D::background, setting);
  s = axesSample();
  s.data.t2 = held<double>({1900, 1950, 1960, 1970, 2000});
  // Unreadable, beyond the data, reversed; five refusals leave the range clipped in place.
  for (const char* answers : {"0 1e30\n", "1950\n2100 2200\n1980,1960\n1955, 1965\n",
                              "2100 2200\n2100 2200\n2100 2200\n2100 2200\n2100 2200\n1950 1960\n"}) {
    all += step(s, D::background, B::otherHorizontal, answers);
  }
  for (const auto& [answers, z1] : {std::pair{"0 200\n", 2.0}, {"0 60\n", 2.0}, {"15 50\n", 2.0}, {"15 1000\n", 2.0},
                                    {"8 1000\n", 2.0}, {"-1 60\n", -10.0}, {"5 1\n1 1\nx 3\n0 60\n", 2.0},
                                    {"5 1\n5 1\n5 1\n5 1\n5 1\n", 2.0}}) {
    s = axesSample();
    s.settingp[PlotType::background] = {1950, 1980, 3, 4, Scale::lin, Scale::log};
    s.settingp.zplot[0] = z1;
    all += step(s, D::background, B::vertical, answers);
  }
  // Ascending order puts unwanted zeros first when the wanted lines are positive; the last input ends after
  // four answers.
  for (const char* answers : {"6, 2, 4\n", "3 0 0\n", "-3 -2 0\n", "99.9 -99.9 0 100\n",
                              "100 0 0\n0 0 0\n1 2\n-0.5 0 0\n", "0 0 -100\n0 0 -100\n0 0 -100\n0 0 -100\n"}) {
    all += step(s, D::background, B::testLines, answers);
  }
  expectGolden("plotsettings.txt", all);
}

}  // namespace
}  // namespace morvek

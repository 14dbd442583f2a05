#include "morvek/plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::readFile;

template <class T>
void put(Held<T>& array, std::vector<T> values) {
  array.assign(values);
}

template <class T>
void put(Held2<T>& array, long long rows, std::vector<T> values) {
  const long long cols = static_cast<long long>(values.size()) / rows;
  array.create(rows, cols);
  for (std::size_t i = 0; i < values.size(); ++i) array.at(i / cols, i % cols) = values[i];
}

// Every drawn type can be made from this state. The extremes are unsorted
// for the distribution; class 1's row of the per-class results is a decoy.
State sample() {
  State s;
  Setting& st = s.setting;
  Data& d = s.data;
  st.n1 = st.n2 = st.n3 = st.k = st.l = 3;
  st.tobsl = 1950.0;
  st.tobsr = 1953.0;
  put(d.t2, {1950.5, 1951.5, 1952.5});
  put(d.x2, {1.5, -0.5, 3.25});
  put(d.b2, {1.0, 1.0, 1.5});
  put(d.v2, {0.5, 0.5, 0.25});
  put(d.t3, {1951.0, 1951.5, 1952.0});
  put(d.x3, {2.5, 1.25, 4.0});
  put(st.n4, {2, 1, 1});
  put(d.t4, 3, {1950.5, 1952.5, 1951.5, kUnsetReal, 1952.0, kUnsetReal});
  s.parameters.nhsrch = s.parameters.ngrid = 2;
  put(d.cv, 2, {{9.0, 9.0}, {9.0, 9.0}, {0.5, -1.25}, {1.0, -2.0}});
  put(d.lx, {1950.0, 1953.0});
  put(d.ly, 2, {9.0, 9.0, 0.25, 0.5});
  put(d.lyl, 2, {9.0, 9.0, 0.125, 0.25});
  put(d.lyu, 2, {9.0, 9.0, 0.5, 1.0});
  put(d.u, {9.0, -1.5});
  put(d.p, {9.0, 0.25});
  put(s.cvmeddata.cvj, {3, 4});
  put(s.cvmeddata.cv1, {1.0, 0.5});
  put(s.cvmeddata.cvm, {2.0, 0.75});
  for (int type = 1; type <= 13; ++type) s.settingp[type] = {1950.0, 1953.0, kUnsetReal, 0.0};
  s.settingp[7] = {1.25, 4.0, 1.0, 3.0, Scale::log, Scale::log};
  s.settingp[8] = {1950.0, 1953.0, 0.0, 3.75};
  s.settingp[12] = {1950.0, 1953.0, 0.0, 1.25};
  return s;
}

const std::string kStyles = lines({
    " set style line    1 lt    8 lw    2 pt    7 ps 0.75",
    " set style line    2 lt    8         pt    7 ps 0.75",
    " set style line    3 lt   10 lw    2",
    " set style line    4 lt    1 lw    2",
    " set style line    5 lt    4 lw    2",
    " set style line    6 lt    6 lw    2",
    " set style line    7 lt    1         pt    7 ps 1.00",
    " set style line    8 lt    8 lw    2",
    " set style line    9 lt    8 lw    2",
    " set style line   10 lt    8 lw    2",
    " set style line   11 lt    3 lw    2",
});

const std::string kDataClause =
    R"~( plot '1.tmp' u 1:($2) title                 'Data                    ' w points ls   2,\)~";

// True when the text holds these lines one right after another.
bool holds(const std::string& text, const std::vector<std::string>& run) {
  std::string joined = "\n";
  for (const std::string& line : run) joined += line + "\n";
  return ("\n" + text).find(joined) != std::string::npos;
}

class PlotTest : public ::testing::Test {
 protected:
  // The command file; the data file stays in "1.tmp".
  std::string draw(const State& s, int type, int cls = 0) {
    plot(s, io.console, runner, type, cls);
    EXPECT_EQ(runner.commands.back(), "gnuplot 2.tmp");
    return readFile("2.tmp");
  }

  testing::ScratchDir dir;
  testing::Scripted io;
  testing::RecordingRunner runner;
};

TEST_F(PlotTest, EveryTypeWritesItsFiles) {
  const struct {
    int type;
    std::string data, head, body;  // the command file is head, the styles, body and the pause
  } goldens[] = {
      {1, lines({"   1.950500E+03   1.500000E+00", "   1.951500E+03  -5.000000E-01", "   1.952500E+03   3.250000E+00"}),
       lines({" set key", " set grid", " set y2tics"}),
       lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel "Time series value  x")~",
              " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
              " plot '1.tmp' notitle w linespoints ls    1"})},
      {5,
       lines({"   1.950500E+03   1.500000E+00   1.000000E+00   5.000000E-01",
              "   1.951500E+03  -5.000000E-01   1.000000E+00   5.000000E-01",
              "   1.952500E+03   3.250000E+00   1.500000E+00   2.500000E-01"}),
       lines({" set key", " set nogrid"}),
       lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel "Time series value  x")~",
              " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
              R"~( plot '1.tmp' u 1:($2) title                 'Data                    ' w points ls   2,\)~",
              R"~('' u 1:($3) title              'Background ( k =     3 )' w lines ls   3,\)~",
              R"~('' u 1:($3+  2.000*$4) title 'Background  +      2.000 * variability' w lines ls   4,\)~",
              R"~('' u 1:($3+  4.000*$4) title 'Background  +      4.000 * variability' w lines ls   5)~"})},
      {6, lines({"   1.951000E+03   2.500000E+00", "   1.951500E+03   1.250000E+00", "   1.952000E+03   4.000000E+00"}),
       lines({" set key", " set grid", " set y2tics"}),
       lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel "Scaled extreme value  x")~",
              " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
              " plot '1.tmp' notitle w linespoints ls    1"})},
      {7, lines({"   1.250000E+00   1.000000E+00", "   2.500000E+00   2.000000E+00", "   4.000000E+00   3.000000E+00"}),
       lines({" set key bottom right", " set grid xtics mxtics ytics mytics"}),
       lines({R"~( set title "Extreme events - empirical distribution function")~",
              R"~( set xlabel "Scaled extreme value  x")~", " set ylabel",
              " set xrange [  1.250000E+00:  4.000000E+00]", " set yrange [  1.000000E+00:  3.000000E+00]",
              " set logscale x 10", " set logscale y 10", "set mxtics 10", "set mytics 5",
              " plot '1.tmp' title 'Number of extreme events =      3' w points ls    7"})},
      {8, lines({"   1.950500E+03   1.951500E+03   1.952000E+03", "   1.952500E+03  -9.990000E+11  -9.990000E+11"}),
       lines({" set key", " set nogrid"}),
       lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel "Magnitude class")~",
              " set xrange [  1.950000E+03:  1.953000E+03]", " set yrange [  0.000000E+00:  3.750000E+00]",
              " set ytics mirror 1,1, 3", R"~( plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8,\)~",
              R"~( '' u  2:( 2) title 'Class  2' w i,\)~", R"~( '' u  3:( 3) title 'Class  3' w i)~"})},
      {9, lines({"   5.000000E-01  -1.250000E+00", "   1.000000E+00  -2.000000E+00"}),
       lines({" set key", " set grid", " set y2tics"}),
       lines({R"~( set title "Cross-validation function for risk estimation")~",
              R"~( set xlabel "Kernel bandwidth  h")~", R"~( set ylabel "C(h)")~", " set autoscale x",
              " set autoscale y", " plot '1.tmp' title 'Magnitude class      2' w lines ls    9"})},
      {10, lines({"   1.950000E+03   2.500000E-01", "   1.953000E+03   5.000000E-01"}),
       lines({" set key", " set grid", " set y2tics"}),
       lines({R"~( set title "Cox-Lewis test for constant risk:  u = -1.500 P (one sided) =  0.250")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel "Occurrence rate (risk/time)")~",
              " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
              " plot '1.tmp' title 'Magnitude class      2' w lines ls   10"})},
      {11,
       lines({"   1.950000E+03   2.500000E-01   1.250000E-01   5.000000E-01",
              "   1.953000E+03   5.000000E-01   2.500000E-01   1.000000E+00"}),
       lines({" set key", " set grid", " set y2tics"}),
       lines({R"~( set title "Confidence level:  0.9000")~", R"~( set xlabel "Time  t")~",
              R"~( set ylabel "Occurrence rate (risk/time)")~", " set xrange [  1.950000E+03:  1.953000E+03]",
              " set autoscale y", R"~( plot '1.tmp' u 1:($2) title 'Magnitude class      2' w lines ls   10,\)~",
              R"~('' u 1:($3) title 'Confidence band ' w lines ls   11,\)~",
              R"~('' u 1:($4) title ' ' w lines ls   11)~"})},
      {12, lines({"   1.950500E+03", "   1.951500E+03", "   1.952500E+03"}), lines({" set nokey", " set nogrid"}),
       lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
              R"~( set xlabel "Time  t")~", R"~( set ylabel " ")~", " set xrange [  1.950000E+03:  1.953000E+03]",
              " set yrange [  0.000000E+00:  1.250000E+00]", " set noytics ", " plot '1.tmp' u 1:(1) w i lt   8"})},
      {13, lines({"        3   1.000000E+00   2.000000E+00", "        4   5.000000E-01   7.500000E-01"}),
       lines({" set key top left", " set grid", " set y2tics"}),
       lines({R"~( set title "Cross-validation functions for background estimation")~",
              R"~( set xlabel "Smoothing parameter  k")~", R"~( set ylabel " C_1(k)")~", R"~( set y2label " C_m(k)")~",
              " set autoscale x", " set autoscale y", " set autoscale y2",
              R"~( plot '1.tmp' u 1:($2) axes x1y1 title 'C_1(k)' w lines ls    4,\)~",
              R"~(           '' u 1:($3) axes x1y2 title 'C_m(k)' w lines ls    5)~"})},
  };
  for (const auto& g : goldens) {
    const std::string commands = draw(sample(), g.type, g.type >= 9 && g.type <= 11 ? 2 : 0);
    EXPECT_EQ(readFile("1.tmp"), g.data) << "type " << g.type;
    EXPECT_EQ(commands, g.head + kStyles + g.body + " pause mouse key\n") << "type " << g.type;
  }
}

const std::string kBackgroundClause =
    R"~('' u 1:($3) title              'Background ( k =     3 )' w lines ls   3,\)~";

// Changes to the sample, and the run of command lines (and the data rows,
// where given) each must give.
const struct Variant {
  int type;
  void (*change)(State&);
  std::vector<std::string> run;
  std::string data = "";
} kVariants[] = {
    {5, [](State& s) { s.settingp.zplot = {-1.5, 2.0, 6.0}; },
     {kBackgroundClause, R"~('' u 1:($3+ -1.500*$4) title 'Background  -      1.500 * variability' w lines ls   4,\)~",
      R"~('' u 1:($3+  2.000*$4) title 'Background  +      2.000 * variability' w lines ls   5,\)~",
      R"~('' u 1:($3+  6.000*$4) title 'Background  +      6.000 * variability' w lines ls   6)~",
      " pause mouse key"}},
    // A single line is titled as the threshold only when its multiplier is the threshold in force.
    {5, [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {2.5, 0.0, 7.0}; },
     {kBackgroundClause,
      R"~('' u 1:($3+  2.500*$4) title 'Threshold = background  +      2.500 * variability' w lines ls   4)~",
      " pause mouse key"}},
    {5, [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {0.0, 0.0, 3.0}; },
     {kBackgroundClause, R"~('' u 1:($3+  0.000*$4) title 'Background  -      0.000 * variability' w lines ls   4)~",
      " pause mouse key"}},
    // A set lower end draws the vertical range instead of the automatic one.
    {5, [](State& s) { s.settingp[5] = {1952.0, 1953.0, 0.5, 4.0, Scale::lin, Scale::log}; },
     {" set xrange [  1.952000E+03:  1.953000E+03]", " set yrange [  5.000000E-01:  4.000000E+00]",
      " set logscale y 10", kDataClause}},
    // A rank axis from 0 cannot be logarithmic; the fine tics stay.
    {7, [](State& s) { s.settingp[7].yl = 0.0; },
     {" set yrange [  0.000000E+00:  3.000000E+00]", " set logscale x 10", "set mxtics 10", "set mytics 5"}},
    // Only the first l classes get a column and an impulse clause.
    {8, [](State& s) { s.setting.l = 1; },
     {" set ytics mirror 1,1, 1", " plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8", " pause mouse key"},
     lines({"   1.950500E+03", "   1.952500E+03"})},
    {8, [](State& s) { s.setting.l = 2; },
     {" set ytics mirror 1,1, 2", R"~( plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8,\)~",
      R"~( '' u  2:( 2) title 'Class  2' w i)~", " pause mouse key"},
     lines({"   1.950500E+03   1.951500E+03", "   1.952500E+03  -9.990000E+11"})},
    {12, [](State& s) { s.setting.datatype = DataType::times; s.setting.n1 = 5; },
     {R"~( set title "Time series - times     - extracted time interval       ")~"}},
};

TEST_F(PlotTest, VariantsChangeTheirLines) {
  for (const Variant& c : kVariants) {
    State s = sample();
    c.change(s);
    const std::string commands = draw(s, c.type);
    EXPECT_TRUE(holds(commands, c.run)) << commands;
    EXPECT_TRUE(c.data.empty() || readFile("1.tmp") == c.data) << readFile("1.tmp");
  }
}

// A log axis is kept only when everything drawn inside the window is
// positive: the data and the lowest test line.
TEST_F(PlotTest, BackgroundLogAxisLooksOnlyInsideTheWindow) {
  const struct { double xl, xu, z1; bool log; } cases[] = {
      {1950.0, 1953.0, 2.0, false},   // x = -0.5 at 1951.5
      {1952.0, 1953.0, 2.0, true},    // only t = 1952.5: x 3.25, b 1.5, v 0.25
      {1952.0, 1953.0, -4.0, true},   // b - 4 v = 0.5
      {1952.0, 1953.0, -6.0, false},  // b - 6 v = 0
      {1960.0, 1970.0, 2.0, true},    // nothing in the window
  };
  for (const auto& c : cases) {
    State s = sample();
    s.settingp[5] = {c.xl, c.xu, kUnsetReal, 0.0, Scale::lin, Scale::log};
    s.settingp.zplot[0] = c.z1;
    const std::vector<std::string> linear{" set autoscale y", kDataClause};
    const std::vector<std::string> log{" set autoscale y", " set logscale y 10", kDataClause};
    EXPECT_TRUE(holds(draw(s, 5), c.log ? log : linear)) << c.xl << " " << c.z1;
  }
}

// The title says " - ZOOM" when the window cuts off what the type draws:
// the data for types 5 and 12, the extremes for 6 and 8. Type 1 always
// draws the whole series.
TEST_F(PlotTest, TitleSaysZoomOrKeepsItsWidth) {
  const struct { int type; double xl, xu; bool zoom; } cases[] = {
      {1, 1951.0, 1952.0, false}, {5, 1950.8, 1952.2, true},  {5, 1950.5, 1952.5, false},
      {12, 1950.5, 1952.2, true}, {6, 1950.8, 1952.2, false}, {6, 1951.0, 1951.9, true},
      {8, 1950.8, 1952.2, false}, {8, 1951.2, 1952.2, true},
  };
  for (const auto& c : cases) {
    State s = sample();
    s.settingp[c.type].xl = c.xl;
    s.settingp[c.type].xu = c.xu;
    const std::string title = R"~( set title "Time series - ordinary  - original time interval )~" +
                              std::string(c.zoom ? " - ZOOM" : "       ") + "\"";
    EXPECT_TRUE(holds(draw(s, c.type), {title})) << c.type << " " << c.xl << " " << c.xu;
  }
}

template <class F>
void expectStop(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "did not stop with: " << message;
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{message});
  }
}

// Types 2 to 4 are valid numbers without a picture.
TEST_F(PlotTest, NothingIsDrawnForUnusedTypesOrAfterAStop) {
  for (int type : {2, 3, 4}) plot(sample(), io.console, runner, type);
  EXPECT_FALSE(std::filesystem::exists("1.tmp") || std::filesystem::exists("2.tmp"));
  for (int type : {0, 14, -3}) {
    expectStop([&] { plot(sample(), io.console, runner, type); }, "Plot-type value out of range");
  }
  for (const auto& [file, message] : {std::pair{"1.tmp", "Error during plot data file opening"},
                                      std::pair{"2.tmp", "Error during plot command file opening"}}) {
    std::filesystem::create_directory(file);
    expectStop([&] { plot(sample(), io.console, runner, 1); }, message);
    std::filesystem::remove(file);
  }
  EXPECT_TRUE(runner.commands.empty());
}

TEST(SystemPlotRunner, IgnoresTheCommandsExitStatus) {
  SystemPlotRunner runner;
  EXPECT_NO_THROW(runner.run("exit 3"));
}

// gnuplot reads every command file: only the pause line may be refused,
// since a gnuplot built without a mouse has no "pause mouse". Warnings
// about the data (an empty right-hand axis next to "set y2tics") are not
// refusals. gnuplot stops a script at its first error, so a refusal of the
// last line shows that every line before it was taken.
TEST_F(PlotTest, RealGnuplotAcceptsEveryCommandFile) {
  const std::filesystem::path gnuplot = "/usr/bin/gnuplot";
  ASSERT_TRUE(std::filesystem::exists(gnuplot))
      << "gnuplot is needed for this test: install gnuplot-nox (missing " << gnuplot << ")";
  std::vector<std::pair<State, int>> cases;
  for (int type : {1, 5, 6, 7, 8, 9, 10, 11, 12, 13}) cases.emplace_back(sample(), type);
  for (const Variant& v : kVariants) {
    cases.emplace_back(sample(), v.type);
    v.change(cases.back().first);
  }
  const std::regex errorAt(R"(line (\d+):)");
  for (const auto& [state, type] : cases) {
    const std::string commands = draw(state, type, type >= 9 && type <= 11 ? 2 : 0);
    const int pauseLine = static_cast<int>(std::count(commands.begin(), commands.end(), '\n'));
    const std::string shell =
        gnuplot.string() + " -e \"set terminal dumb\" 2.tmp < /dev/null > gnuplot.out 2> gnuplot.err";
    std::system(shell.c_str());
    std::istringstream complaints(readFile("gnuplot.err"));
    for (std::string line; std::getline(complaints, line);) {
      std::smatch at;
      if (!std::regex_search(line, at, errorAt) || line.find("warning:") != std::string::npos) continue;
      const bool pauseRefused = std::stoi(at[1]) == pauseLine && line.find("mouse") != std::string::npos;
      EXPECT_TRUE(pauseRefused) << "plot type " << type << ": " << readFile("gnuplot.err") << "\n2.tmp:\n" << commands;
    }
  }
}

}  // namespace
}  // namespace morvek

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
using testing::RecordingRunner;
using testing::ScratchDir;
using testing::Scripted;

template <class T>
void put(Held<T>& array, std::vector<T> values) {
  array.assign(values);
}

// Three points of a whole series, two of them extremes, every drawn type's
// horizontal range just around them.
State series(DataType type = DataType::ordinary) {
  State s;
  s.setting.datatype = type;
  s.setting.n1 = s.setting.n2 = 3;
  s.setting.tobsl = 1950.0;
  s.setting.tobsr = 1953.0;
  put(s.data.t2, {1950.5, 1951.5, 1952.5});
  if (type != DataType::times) put(s.data.x2, {1.5, -0.5, 3.25});
  if (type == DataType::ordinary) {
    put(s.data.b2, {1.0, 1.0, 1.5});
    put(s.data.v2, {0.5, 0.5, 0.25});
    s.setting.k = 3;
  }
  s.setting.n3 = 2;
  put(s.data.t3, {1950.5, 1952.5});
  put(s.data.x3, {1.5, 3.25});
  for (int type : {1, 5, 6, 8, 12}) {
    s.settingp[type].xl = 1950.0;
    s.settingp[type].xu = 1953.0;
  }
  return s;
}

State distribution() {
  State s = series();
  s.setting.n3 = 3;
  put(s.data.x3, {2.5, 1.25, 4.0});
  s.settingp[7] = {1.25, 4.0, 1.0, 3.0, Scale::log, Scale::lin};
  return s;
}

// Class 1 holds two events, classes 2 and 3 one each.
State classes(int l) {
  State s = series();
  s.setting.l = l;
  s.setting.n3 = 4;
  put(s.data.t3, {1950.5, 1951.5, 1952.0, 1952.5});
  put(s.data.x3, {1.5, -0.5, 2.0, 3.25});
  std::vector<int> n4{2, 1, 1};
  n4.resize(static_cast<std::size_t>(l));
  put(s.setting.n4, n4);
  const double times[3][2] = {{1950.5, 1952.5}, {1951.5, kUnsetReal}, {1952.0, kUnsetReal}};
  s.data.t4.create(l, 2);
  for (int j = 0; j < l; ++j) {
    for (int i = 0; i < 2; ++i) s.data.t4.at(j, i) = times[j][i];
  }
  s.settingp[8].yl = 0.0;
  s.settingp[8].yu = 1.25 * l;
  return s;
}

// Two classes; the writer must take class 2's row of every array.
State rates() {
  State s = series();
  s.setting.l = 2;
  s.parameters.nhsrch = 2;
  s.parameters.ngrid = 2;
  s.data.cv.create(2, 2);
  s.data.cv.at(0, 0) = {9.0, 9.0};
  s.data.cv.at(1, 0) = {0.5, -1.25};
  s.data.cv.at(1, 1) = {1.0, -2.0};
  put(s.data.lx, {1950.0, 1953.0});
  for (auto* band : {&s.data.ly, &s.data.lyl, &s.data.lyu}) band->create(2, 2);
  s.data.ly.at(1, 0) = 0.25;
  s.data.ly.at(1, 1) = 0.5;
  s.data.lyl.at(1, 0) = 0.125;
  s.data.lyl.at(1, 1) = 0.25;
  s.data.lyu.at(1, 0) = 0.5;
  s.data.lyu.at(1, 1) = 1.0;
  put(s.data.u, {9.0, -1.5});
  put(s.data.p, {9.0, 0.25});
  for (int type : {10, 11}) {
    s.settingp[type].xl = 1950.0;
    s.settingp[type].xu = 1953.0;
  }
  return s;
}

State windows() {
  State s = series();
  put(s.cvmeddata.cvj, {3, 4});
  put(s.cvmeddata.cv1, {1.0, 0.5});
  put(s.cvmeddata.cvm, {2.0, 0.75});
  return s;
}

State times() {
  State s = series(DataType::times);
  s.setting.n1 = 5;
  s.settingp[12].yl = 0.0;
  s.settingp[12].yu = 1.25;
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
const std::string kGrid = lines({" set grid", " set y2tics"});
const std::string kPause = " pause mouse key\n";

struct Drawn {
  std::string data, commands;
};

class PlotTest : public ::testing::Test {
 protected:
  Drawn draw(const State& s, int type, int cls = 0) {
    plot(s, io.console, runner, type, cls);
    EXPECT_EQ(runner.commands.back(), "gnuplot 2.tmp");
    return {readFile("1.tmp"), readFile("2.tmp")};
  }

  ScratchDir dir;
  Scripted io;
  RecordingRunner runner;
};

bool hasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST_F(PlotTest, TimeSeries) {
  const Drawn d = draw(series(), 1);
  EXPECT_EQ(d.data, lines({"   1.950500E+03   1.500000E+00",
                           "   1.951500E+03  -5.000000E-01",
                           "   1.952500E+03   3.250000E+00"}));
  EXPECT_EQ(d.commands,
            " set key\n" + kGrid + kStyles +
                lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
                       R"~( set xlabel "Time  t")~", R"~( set ylabel "Time series value  x")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
                       " plot '1.tmp' notitle w linespoints ls    1"}) +
                kPause);

  // The whole interval is always drawn, so a narrow range never says ZOOM.
  State s = series();
  s.settingp[1].xl = 1951.0;
  EXPECT_TRUE(hasLine(draw(s, 1).commands,
                      R"~( set title "Time series - ordinary  - original time interval        ")~"));
}

TEST_F(PlotTest, BackgroundWithDefaultTestLines) {
  State s = series();
  const Drawn d = draw(s, 5);
  EXPECT_EQ(d.data, lines({"   1.950500E+03   1.500000E+00   1.000000E+00   5.000000E-01",
                           "   1.951500E+03  -5.000000E-01   1.000000E+00   5.000000E-01",
                           "   1.952500E+03   3.250000E+00   1.500000E+00   2.500000E-01"}));
  EXPECT_EQ(
      d.commands,
      " set key\n set nogrid\n" + kStyles +
          lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
                 R"~( set xlabel "Time  t")~", R"~( set ylabel "Time series value  x")~",
                 " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
                 R"~( plot '1.tmp' u 1:($2) title                 'Data                    ' w points ls   2,\)~",
                 R"~('' u 1:($3) title              'Background ( k =     3 )' w lines ls   3,\)~",
                 R"~('' u 1:($3+  2.000*$4) title 'Background  +      2.000 * variability' w lines ls   4,\)~",
                 R"~('' u 1:($3+  4.000*$4) title 'Background  +      4.000 * variability' w lines ls   5)~"}) +
          kPause);
}

TEST_F(PlotTest, BackgroundZoomedWithThreeLinesAndVerticalRange) {
  State s = series();
  s.setting.n1 = 8;
  s.settingp[5].xu = 1952.0;
  s.settingp[5].yl = -1.0;
  s.settingp[5].yu = 4.0;
  s.settingp.zplot = {-1.5, 2.0, 6.0};
  EXPECT_EQ(
      draw(s, 5).commands,
      " set key\n set nogrid\n" + kStyles +
          lines({R"~( set title "Time series - ordinary  - extracted time interval - ZOOM")~",
                 R"~( set xlabel "Time  t")~", R"~( set ylabel "Time series value  x")~",
                 " set xrange [  1.950000E+03:  1.952000E+03]",
                 " set yrange [ -1.000000E+00:  4.000000E+00]",
                 R"~( plot '1.tmp' u 1:($2) title                 'Data                    ' w points ls   2,\)~",
                 R"~('' u 1:($3) title              'Background ( k =     3 )' w lines ls   3,\)~",
                 R"~('' u 1:($3+ -1.500*$4) title 'Background  -      1.500 * variability' w lines ls   4,\)~",
                 R"~('' u 1:($3+  2.000*$4) title 'Background  +      2.000 * variability' w lines ls   5,\)~",
                 R"~('' u 1:($3+  6.000*$4) title 'Background  +      6.000 * variability' w lines ls   6)~"}) +
          kPause);
}

TEST_F(PlotTest, BackgroundSingleLineIsTitledAsThresholdOnlyWhenItIsOne) {
  State s = series();
  s.setting.z = 2.5;
  s.settingp.zplot = {2.5, 0.0, 7.0};  // a zero in the second place ends the lines
  std::string text = draw(s, 5).commands;
  EXPECT_TRUE(hasLine(
      text, R"~('' u 1:($3+  2.500*$4) title 'Threshold = background  +      2.500 * variability' w lines ls   4)~"))
      << text;

  s.settingp.zplot = {0.0, 0.0, 3.0};
  text = draw(s, 5).commands;
  EXPECT_TRUE(hasLine(
      text, R"~('' u 1:($3+  0.000*$4) title 'Background  -      0.000 * variability' w lines ls   4)~"))
      << text;
}

// The log axis is kept only when everything drawn inside the window is
// positive: the data and the lowest test line.
TEST_F(PlotTest, BackgroundLogAxisLooksOnlyInsideTheWindow) {
  const std::string logLine = " set logscale y 10";
  State s = series();
  s.settingp[5].logy = Scale::log;
  EXPECT_FALSE(hasLine(draw(s, 5).commands, logLine)) << "x2 = -0.5 lies in the window";

  s.settingp[5].xl = 1952.0;  // leaves only t = 1952.5: x 3.25, b 1.5, v 0.25
  const std::string text = draw(s, 5).commands;
  EXPECT_NE(text.find(lines({" set xrange [  1.952000E+03:  1.953000E+03]", " set autoscale y", logLine}) +
                      " plot '1.tmp'"),
            std::string::npos)
      << text;
  s.settingp.zplot = {-4.0, 0.0, 0.0};  // b - 4 v = 0.5
  EXPECT_TRUE(hasLine(draw(s, 5).commands, logLine));
  s.settingp.zplot = {-6.0, 0.0, 0.0};  // b - 6 v = 0
  EXPECT_FALSE(hasLine(draw(s, 5).commands, logLine));

  s.settingp[5].xl = 1960.0;  // nothing in the window
  s.settingp[5].xu = 1970.0;
  EXPECT_TRUE(hasLine(draw(s, 5).commands, logLine));

  s.settingp[5].logy = Scale::lin;
  EXPECT_FALSE(hasLine(draw(s, 5).commands, logLine));
}

TEST_F(PlotTest, Extremes) {
  const Drawn d = draw(series(), 6);
  EXPECT_EQ(d.data, lines({"   1.950500E+03   1.500000E+00", "   1.952500E+03   3.250000E+00"}));
  EXPECT_EQ(d.commands,
            " set key\n" + kGrid + kStyles +
                lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
                       R"~( set xlabel "Time  t")~", R"~( set ylabel "Scaled extreme value  x")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
                       " plot '1.tmp' notitle w linespoints ls    1"}) +
                kPause);
}

// Types 6 and 8 judge the zoom by the extremes, types 5 and 12 by the data.
TEST_F(PlotTest, ZoomFollowsTheTimesEachTypeDraws) {
  const std::string zoomed = R"~( set title "Time series - ordinary  - original time interval  - ZOOM")~";
  State s = classes(1);
  s.data.t3[0] = 1951.0;
  s.data.t3[3] = 1952.0;
  for (int type : {5, 6, 8}) {
    s.settingp[type].xl = 1950.8;
    s.settingp[type].xu = 1952.2;
  }
  EXPECT_TRUE(hasLine(draw(s, 5).commands, zoomed));
  EXPECT_FALSE(hasLine(draw(s, 6).commands, zoomed));
  EXPECT_FALSE(hasLine(draw(s, 8).commands, zoomed));
  s.settingp[6].xu = 1951.9;
  EXPECT_TRUE(hasLine(draw(s, 6).commands, zoomed));
  s.settingp[5].xl = 1950.5;  // a window exactly the data's ends
  s.settingp[5].xu = 1952.5;
  EXPECT_FALSE(hasLine(draw(s, 5).commands, zoomed));
  State t = times();
  t.settingp[12].xu = 1952.0;
  EXPECT_TRUE(hasLine(draw(t, 12).commands,
                      R"~( set title "Time series - times     - extracted time interval - ZOOM")~"));
}

TEST_F(PlotTest, Distribution) {
  State s = distribution();
  const Drawn d = draw(s, 7);
  EXPECT_EQ(d.data, lines({"   1.250000E+00   1.000000E+00",
                           "   2.500000E+00   2.000000E+00",
                           "   4.000000E+00   3.000000E+00"}));
  EXPECT_EQ(d.commands,
            " set key bottom right\n set grid xtics mxtics ytics mytics\n" + kStyles +
                lines({R"~( set title "Extreme events - empirical distribution function")~",
                       R"~( set xlabel "Scaled extreme value  x")~", " set ylabel",
                       " set xrange [  1.250000E+00:  4.000000E+00]",
                       " set yrange [  1.000000E+00:  3.000000E+00]", " set logscale x 10",
                       "set mxtics 10", "set mytics 5",
                       " plot '1.tmp' title 'Number of extreme events =      3' w points ls    7"}) +
                kPause);

  // A vertical log axis needs a positive lower end.
  s.settingp[7].logx = Scale::lin;
  s.settingp[7].logy = Scale::log;
  s.settingp[7].yl = 0.0;
  EXPECT_NE(draw(s, 7).commands.find(lines({" set yrange [  0.000000E+00:  3.000000E+00]",
                                            "set mxtics 10", "set mytics 5"})),
            std::string::npos);
  s.settingp[7].yl = 1.0;
  EXPECT_NE(draw(s, 7).commands.find(lines({" set yrange [  1.000000E+00:  3.000000E+00]",
                                            " set logscale y 10", "set mxtics 10"})),
            std::string::npos);
}

TEST_F(PlotTest, ClassesThree) {
  const Drawn d = draw(classes(3), 8);
  EXPECT_EQ(d.data, lines({"   1.950500E+03   1.951500E+03   1.952000E+03",
                           "   1.952500E+03  -9.990000E+11  -9.990000E+11"}));
  EXPECT_EQ(d.commands,
            " set key\n set nogrid\n" + kStyles +
                lines({R"~( set title "Time series - ordinary  - original time interval        ")~",
                       R"~( set xlabel "Time  t")~", R"~( set ylabel "Magnitude class")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]",
                       " set yrange [  0.000000E+00:  3.750000E+00]", " set ytics mirror 1,1, 3",
                       R"~( plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8,\)~",
                       R"~( '' u  2:( 2) title 'Class  2' w i,\)~",
                       R"~( '' u  3:( 3) title 'Class  3' w i)~"}) +
                kPause);
}

TEST_F(PlotTest, ClassesOneAndTwo) {
  const std::string tail = "  1.250000E+00]\n set ytics mirror 1,1, 1\n"
                           " plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8\n" + kPause;
  Drawn d = draw(classes(1), 8);
  EXPECT_EQ(d.data, lines({"   1.950500E+03", "   1.952500E+03"}));
  EXPECT_EQ(d.commands.substr(d.commands.size() - tail.size()), tail);

  d = draw(classes(2), 8);
  EXPECT_EQ(d.data, lines({"   1.950500E+03   1.951500E+03", "   1.952500E+03  -9.990000E+11"}));
  const std::string tail2 = lines({" set ytics mirror 1,1, 2",
                                   R"~( plot '1.tmp' u  1:( 1) title 'Class  1' w i ls 8,\)~",
                                   R"~( '' u  2:( 2) title 'Class  2' w i)~"}) + kPause;
  EXPECT_EQ(d.commands.substr(d.commands.size() - tail2.size()), tail2);
}

TEST_F(PlotTest, Bandwidth) {
  const Drawn d = draw(rates(), 9, 2);
  EXPECT_EQ(d.data, lines({"   5.000000E-01  -1.250000E+00", "   1.000000E+00  -2.000000E+00"}));
  EXPECT_EQ(d.commands,
            " set key\n" + kGrid + kStyles +
                lines({R"~( set title "Cross-validation function for risk estimation")~",
                       R"~( set xlabel "Kernel bandwidth  h")~", R"~( set ylabel "C(h)")~",
                       " set autoscale x", " set autoscale y",
                       " plot '1.tmp' title 'Magnitude class      2' w lines ls    9"}) +
                kPause);
}

TEST_F(PlotTest, Rate) {
  const Drawn d = draw(rates(), 10, 2);
  EXPECT_EQ(d.data, lines({"   1.950000E+03   2.500000E-01", "   1.953000E+03   5.000000E-01"}));
  EXPECT_EQ(d.commands,
            " set key\n" + kGrid + kStyles +
                lines({R"~( set title "Cox-Lewis test for constant risk:  u = -1.500 P (one sided) =  0.250")~",
                       R"~( set xlabel "Time  t")~", R"~( set ylabel "Occurrence rate (risk/time)")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
                       " plot '1.tmp' title 'Magnitude class      2' w lines ls   10"}) +
                kPause);
}

TEST_F(PlotTest, RateWithBand) {
  const Drawn d = draw(rates(), 11, 2);
  EXPECT_EQ(d.data, lines({"   1.950000E+03   2.500000E-01   1.250000E-01   5.000000E-01",
                           "   1.953000E+03   5.000000E-01   2.500000E-01   1.000000E+00"}));
  EXPECT_EQ(d.commands,
            " set key\n" + kGrid + kStyles +
                lines({R"~( set title "Confidence level:  0.9000")~", R"~( set xlabel "Time  t")~",
                       R"~( set ylabel "Occurrence rate (risk/time)")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]", " set autoscale y",
                       R"~( plot '1.tmp' u 1:($2) title 'Magnitude class      2' w lines ls   10,\)~",
                       R"~('' u 1:($3) title 'Confidence band ' w lines ls   11,\)~",
                       R"~('' u 1:($4) title ' ' w lines ls   11)~"}) +
                kPause);
}

TEST_F(PlotTest, EventTimes) {
  const Drawn d = draw(times(), 12);
  EXPECT_EQ(d.data, lines({"   1.950500E+03", "   1.951500E+03", "   1.952500E+03"}));
  EXPECT_EQ(d.commands,
            " set nokey\n set nogrid\n" + kStyles +
                lines({R"~( set title "Time series - times     - extracted time interval       ")~",
                       R"~( set xlabel "Time  t")~", R"~( set ylabel " ")~",
                       " set xrange [  1.950000E+03:  1.953000E+03]",
                       " set yrange [  0.000000E+00:  1.250000E+00]", " set noytics ",
                       " plot '1.tmp' u 1:(1) w i lt   8"}) +
                kPause);
}

TEST_F(PlotTest, BackgroundWindow) {
  const Drawn d = draw(windows(), 13);
  EXPECT_EQ(d.data, lines({"        3   1.000000E+00   2.000000E+00",
                           "        4   5.000000E-01   7.500000E-01"}));
  EXPECT_EQ(d.commands,
            " set key top left\n" + kGrid + kStyles +
                lines({R"~( set title "Cross-validation functions for background estimation")~",
                       R"~( set xlabel "Smoothing parameter  k")~", R"~( set ylabel " C_1(k)")~",
                       R"~( set y2label " C_m(k)")~", " set autoscale x", " set autoscale y",
                       " set autoscale y2",
                       R"~( plot '1.tmp' u 1:($2) axes x1y1 title 'C_1(k)' w lines ls    4,\)~",
                       R"~(           '' u 1:($3) axes x1y2 title 'C_m(k)' w lines ls    5)~"}) +
                kPause);
}

TEST_F(PlotTest, TypesOutOfRangeStopAndUnusedTypesDrawNothing) {
  for (int type : {0, 14, -3}) {
    try {
      plot(series(), io.console, runner, type);
      ADD_FAILURE() << "type " << type << " was accepted";
    } catch (const Fatal& fatal) {
      EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Plot-type value out of range"});
    }
  }
  for (int type : {2, 3, 4}) plot(series(), io.console, runner, type);
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_FALSE(std::filesystem::exists("1.tmp"));
  EXPECT_FALSE(std::filesystem::exists("2.tmp"));
}

TEST_F(PlotTest, FilesThatCannotBeOpenedStop) {
  std::filesystem::create_directory("1.tmp");
  try {
    plot(series(), io.console, runner, 1);
    ADD_FAILURE() << "accepted a directory as data file";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Error during plot data file opening"});
  }
  std::filesystem::remove("1.tmp");
  std::filesystem::create_directory("2.tmp");
  try {
    plot(series(), io.console, runner, 1);
    ADD_FAILURE() << "accepted a directory as command file";
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Error during plot command file opening"});
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
  State logBackground = series();
  logBackground.settingp[5].logy = Scale::log;
  logBackground.settingp[5].xl = 1952.0;
  logBackground.settingp[5].yl = 0.5;
  logBackground.settingp[5].yu = 4.0;
  State threeLines = series();
  threeLines.settingp.zplot = {-1.5, 2.0, 6.0};
  State logDistribution = distribution();
  logDistribution.settingp[7].logy = Scale::log;
  struct Case {
    const char* name;
    State state;
    int type, cls;
  };
  const std::vector<Case> cases{
      {"1", series(), 1, 0},           {"5 log", logBackground, 5, 0},
      {"5 three", threeLines, 5, 0},   {"6", series(), 6, 0},
      {"7", logDistribution, 7, 0},    {"8 one", classes(1), 8, 0},
      {"8 three", classes(3), 8, 0},   {"9", rates(), 9, 2},
      {"10", rates(), 10, 2},          {"11", rates(), 11, 2},
      {"12", times(), 12, 0},          {"13", windows(), 13, 0},
  };
  const std::regex errorAt(R"(line (\d+):)");
  for (const Case& c : cases) {
    const std::string commands = draw(c.state, c.type, c.cls).commands;
    const int pauseLine = static_cast<int>(std::count(commands.begin(), commands.end(), '\n'));
    const std::string shell =
        gnuplot.string() + " -e \"set terminal dumb\" 2.tmp < /dev/null > gnuplot.out 2> gnuplot.err";
    std::system(shell.c_str());
    std::istringstream complaints(readFile("gnuplot.err"));
    for (std::string line; std::getline(complaints, line);) {
      std::smatch at;
      if (!std::regex_search(line, at, errorAt) || line.find("warning:") != std::string::npos) continue;
      const bool pauseRefused = std::stoi(at[1]) == pauseLine && line.find("mouse") != std::string::npos;
      EXPECT_TRUE(pauseRefused) << "plot type " << c.name << ": " << readFile("gnuplot.err")
                                << "\n2.tmp:\n" << commands;
    }
  }
}

}  // namespace
}  // namespace morvek

// The plot writer. Each drawn type is one row of a layout table (the fixed
// texts of its command file) plus small functions for what depends on the
// data: the rows of "1.tmp", the title, the axis extras and the plot clauses.
//
// Arrays are read 0-based; a count from the state (n2, n3, n4, ...) that is
// unset or larger than the array holds is cut to what the array holds, so a
// half-built state can never make the writer read past an array.
#include "morvek/plot.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/plotsettings.h"
#include "numerics/sort.h"

namespace morvek {
namespace {

using Lines = std::vector<std::string>;

// What one call draws: the state, the type and, for the pictures of one
// class, the 0-based row of the class in the per-class arrays.
struct Request {
  const State& s;
  PlotType type;
  std::size_t cls;
  const PlotAxes& axes() const { return s.settingp[type]; }
};

std::size_t counted(long long n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

// One value of a data row: a blank and a scientific-14 field.
std::string es(double value) {
  std::string field(1, ' ');
  field += fmtES(value, 14, 6);
  return field;
}

void writeRow(std::ostream& out, std::initializer_list<double> values) {
  for (double v : values) out << es(v);
  out << '\n';
}

// ---- Data file rows ------------------------------------------------------

void rowsSeries(const Request& r, std::ostream& out) {
  const Data& d = r.s.data;
  const auto t2 = d.t2.first(r.s.setting.n2);
  for (std::size_t i = 0; i < t2.size(); ++i) writeRow(out, {t2[i], d.x2[i]});
}

void rowsBackground(const Request& r, std::ostream& out) {
  const Data& d = r.s.data;
  const auto t2 = d.t2.first(r.s.setting.n2);
  for (std::size_t i = 0; i < t2.size(); ++i) writeRow(out, {t2[i], d.x2[i], d.b2[i], d.v2[i]});
}

void rowsExtremes(const Request& r, std::ostream& out) {
  const Data& d = r.s.data;
  const auto t3 = d.t3.first(r.s.setting.n3);
  for (std::size_t i = 0; i < t3.size(); ++i) writeRow(out, {t3[i], d.x3[i]});
}

// The extreme values in ascending order with their rank: the empirical
// distribution function as a staircase of points.
void rowsDistribution(const Request& r, std::ostream& out) {
  const auto x3 = r.s.data.x3.first(r.s.setting.n3);
  std::vector<int> order(x3.size());
  numerics::indexx_sp(x3, order);
  for (std::size_t i = 0; i < x3.size(); ++i) {
    writeRow(out, {x3[static_cast<std::size_t>(order[i])], static_cast<double>(i + 1)});
  }
}

// One row per rank, one column per class; a class without an event of that
// rank gets the unset sentinel, which lies far outside the horizontal range.
void rowsClasses(const Request& r, std::ostream& out) {
  const Setting& st = r.s.setting;
  const Held2<double>& t4 = r.s.data.t4;
  const std::size_t classes = std::min(counted(st.l), st.n4.size());
  std::size_t rows = 0;
  for (std::size_t j = 0; j < classes; ++j) rows = std::max(rows, counted(st.n4[j]));
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < classes; ++j) {
      const bool held = i < counted(st.n4[j]) && j < t4.rows() && i < t4.cols();
      out << es(held ? t4.at(j, i) : kUnsetReal);
    }
    out << '\n';
  }
}

void rowsBandwidth(const Request& r, std::ostream& out) {
  const Held2<std::array<double, 2>>& cv = r.s.data.cv;
  const std::size_t rows = std::min(counted(r.s.parameters.nhsrch), cv.cols());
  for (std::size_t i = 0; i < rows; ++i) writeRow(out, {cv.at(r.cls, i)[0], cv.at(r.cls, i)[1]});
}

void rowsRate(const Request& r, std::ostream& out) {
  const Data& d = r.s.data;
  const auto lx = d.lx.first(r.s.parameters.ngrid);
  for (std::size_t i = 0; i < lx.size(); ++i) writeRow(out, {lx[i], d.ly.at(r.cls, i)});
}

void rowsBand(const Request& r, std::ostream& out) {
  const Data& d = r.s.data;
  const auto lx = d.lx.first(r.s.parameters.ngrid);
  for (std::size_t i = 0; i < lx.size(); ++i) {
    writeRow(out, {lx[i], d.ly.at(r.cls, i), d.lyl.at(r.cls, i), d.lyu.at(r.cls, i)});
  }
}

void rowsTimes(const Request& r, std::ostream& out) {
  for (double t : r.s.data.t2.first(r.s.setting.n2)) writeRow(out, {t});
}

void rowsWindow(const Request& r, std::ostream& out) {
  const CvMedData& cm = r.s.cvmeddata;
  for (std::size_t i = 0; i < cm.cvj.size(); ++i) {
    out << ' ' << fmtI(cm.cvj[i], 8) << es(cm.cv1[i]) << es(cm.cvm[i]) << '\n';
  }
}

// ---- Titles --------------------------------------------------------------

// Seven blanks keep the title at its full width when nothing is cut off.
constexpr std::string_view kNoZoom = "       ";

std::string_view zoom(std::span<const double> times, const PlotAxes& axes) {
  if (!times.empty() && (times.back() > axes.xu || times.front() < axes.xl)) return " - ZOOM";
  return kNoZoom;
}

std::string seriesTitle(const Request& r, std::string_view zoomText) {
  const Setting& st = r.s.setting;
  return "Time series - " + std::string(datatypeText(st.datatype)) +
         (st.n1 != st.n2 ? " - extracted time interval" : " - original time interval ") +
         std::string(zoomText);
}

// The whole series is always drawn for type 1, so it never says ZOOM.
std::string titleData(const Request& r) { return seriesTitle(r, kNoZoom); }

std::string titleInterval(const Request& r) {
  return seriesTitle(r, zoom(r.s.data.t2.first(r.s.setting.n2), r.axes()));
}

std::string titleExtremes(const Request& r) {
  return seriesTitle(r, zoom(r.s.data.t3.first(r.s.setting.n3), r.axes()));
}

std::string titleDistribution(const Request&) {
  return "Extreme events - empirical distribution function";
}

std::string titleBandwidth(const Request&) { return "Cross-validation function for risk estimation"; }

std::string titleRate(const Request& r) {
  const Data& d = r.s.data;
  return "Cox-Lewis test for constant risk:  u = " + fmtF(d.u[r.cls], 6, 3) +
         " P (one sided) = " + fmtF(d.p[r.cls], 6, 3);
}

std::string titleBand(const Request& r) {
  return "Confidence level:  " + fmtF(r.s.parameters.alpha, 6, 4);
}

std::string titleWindow(const Request&) {
  return "Cross-validation functions for background estimation";
}

// ---- Logarithmic axes and extra tics -------------------------------------

Lines noExtras(const Request&) { return {}; }

// A log axis needs every value drawn in the window to be positive.
Lines logBackground(const Request& r) {
  if (r.axes().logy != Scale::log) return {};
  if (drawnInBackgroundWindow(r.s).low > 0) return {" set logscale y 10"};
  return {};
}

// A rank axis starting at 0 cannot be logarithmic, whatever was chosen.
Lines logDistribution(const Request& r) {
  const PlotAxes& a = r.axes();
  Lines lines;
  if (a.logx == Scale::log) lines.emplace_back(" set logscale x 10");
  if (a.yl > 0 && a.logy == Scale::log) lines.emplace_back(" set logscale y 10");
  lines.emplace_back("set mxtics 10");
  lines.emplace_back("set mytics 5");
  return lines;
}

// One tic per class number.
Lines ticsClasses(const Request& r) {
  return {" set ytics mirror 1,1," + fmtI(r.s.setting.l, 2)};
}

Lines ticsTimes(const Request&) { return {" set noytics "}; }

// ---- Plot clauses --------------------------------------------------------

const std::string kOpen = " plot '" + std::string(kPlotDataFile);
constexpr std::string_view kMore = ",\\";

Lines clausesSeries(const Request&) { return {kOpen + "' notitle w linespoints ls " + fmtI(1, 4)}; }

std::string testLine(double z, bool threshold, int style, bool last) {
  return "'' u 1:($3+" + fmtF(z, 7, 3) + "*$4) title '" +
         (threshold ? "Threshold = background  " : "Background  ") + (z > 0 ? "+" : "-") + "    " +
         fmtF(std::abs(z), 7, 3) + " * variability' w lines ls" + fmtI(style, 4) +
         std::string(last ? "" : kMore);
}

// A zero in the second or third multiplier ends the test lines there; a
// single line whose multiplier is the threshold in force is titled as such.
Lines clausesBackground(const Request& r) {
  const auto& z = r.s.settingp.zplot;
  Lines lines{
      kOpen + "' u 1:($2) title                 'Data                    ' w points ls" +
          fmtI(2, 4) + std::string(kMore),
      "'' u 1:($3) title              'Background ( k = " + fmtI(r.s.setting.k, 5) +
          " )' w lines ls" + fmtI(3, 4) + std::string(kMore)};
  if (z[1] == 0) {
    lines.push_back(testLine(z[0], z[0] == r.s.setting.z, 4, true));
  } else {
    const bool three = z[2] != 0;
    lines.push_back(testLine(z[0], false, 4, false));
    lines.push_back(testLine(z[1], false, 5, !three));
    if (three) lines.push_back(testLine(z[2], false, 6, true));
  }
  return lines;
}

Lines clausesExtremes(const Request& r) { return clausesSeries(r); }

Lines clausesDistribution(const Request& r) {
  return {kOpen + "' title 'Number of extreme events = " + fmtI(r.s.setting.n3, 6) +
          "' w points ls " + fmtI(7, 4)};
}

// Class j is drawn as impulses of height j; only the first carries a style.
Lines clausesClasses(const Request& r) {
  const int l = std::max(r.s.setting.l, 1);
  Lines lines;
  for (int j = 1; j <= l; ++j) {
    const std::string jj = fmtI(j, 2);
    const std::string clause = "u " + jj + ":(" + jj + ") title 'Class " + jj + "' w i";
    std::string line = j == 1 ? kOpen + "' " + clause + " ls" + fmtI(8, 2) : " '' " + clause;
    if (j < l) line += kMore;
    lines.push_back(line);
  }
  return lines;
}

Lines classCurve(const Request& r, int style) {
  return {kOpen + "' title 'Magnitude class " + fmtI(static_cast<long long>(r.cls) + 1, 6) +
          "' w lines ls " + fmtI(style, 4)};
}

Lines clausesBandwidth(const Request& r) { return classCurve(r, 9); }

Lines clausesRate(const Request& r) { return classCurve(r, 10); }

Lines clausesBand(const Request& r) {
  return {kOpen + "' u 1:($2) title 'Magnitude class " + fmtI(static_cast<long long>(r.cls) + 1, 6) +
              "' w lines ls " + fmtI(10, 4) + std::string(kMore),
          "'' u 1:($3) title 'Confidence band ' w lines ls" + fmtI(11, 5) + std::string(kMore),
          "'' u 1:($4) title ' ' w lines ls" + fmtI(11, 5)};
}

// gnuplot 5 takes no bare line type after "w i"; "lt" names it, the picture
// (impulses in line type 8) is the same.
Lines clausesTimes(const Request&) { return {kOpen + "' u 1:(1) w i lt" + fmtI(8, 4)}; }

Lines clausesWindow(const Request&) {
  return {kOpen + "' u 1:($2) axes x1y1 title 'C_1(k)' w lines ls " + fmtI(4, 4) + std::string(kMore),
          "           '' u 1:($3) axes x1y2 title 'C_m(k)' w lines ls " + fmtI(5, 4)};
}

// ---- Layout table --------------------------------------------------------

enum class Grid { major, fine, none };
enum class XRange { automatic, settings };
enum class YRange { automatic, automaticBoth, settings, settingsUnlessUnset };

struct Layout {
  PlotType type;
  std::string_view key;
  Grid grid;
  std::string_view xlabel;  // whole lines
  std::vector<std::string_view> ylabels;
  XRange xrange;
  YRange yrange;
  void (*rows)(const Request&, std::ostream&);
  std::string (*title)(const Request&);
  Lines (*logs)(const Request&);
  Lines (*tics)(const Request&);
  Lines (*clauses)(const Request&);
};

const std::vector<Layout>& layouts() {
  static const std::vector<Layout> table{
      {PlotType::data, " set key", Grid::major, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Time series value  x")~"},
       XRange::settings, YRange::automatic, rowsSeries, titleData, noExtras, noExtras, clausesSeries},
      {PlotType::background, " set key", Grid::none, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Time series value  x")~"},
       XRange::settings, YRange::settingsUnlessUnset, rowsBackground, titleInterval, logBackground,
       noExtras, clausesBackground},
      {PlotType::extremes, " set key", Grid::major, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Scaled extreme value  x")~"},
       XRange::settings, YRange::automatic, rowsExtremes, titleExtremes, noExtras, noExtras,
       clausesExtremes},
      {PlotType::distribution, " set key bottom right", Grid::fine, R"~( set xlabel "Scaled extreme value  x")~", {" set ylabel"},
       XRange::settings, YRange::settings, rowsDistribution, titleDistribution, logDistribution,
       noExtras, clausesDistribution},
      {PlotType::classes, " set key", Grid::none, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Magnitude class")~"},
       XRange::settings, YRange::settings, rowsClasses, titleExtremes, noExtras, ticsClasses,
       clausesClasses},
      {PlotType::bandwidth, " set key", Grid::major, R"~( set xlabel "Kernel bandwidth  h")~", {R"~( set ylabel "C(h)")~"},
       XRange::automatic, YRange::automatic, rowsBandwidth, titleBandwidth, noExtras, noExtras,
       clausesBandwidth},
      {PlotType::rate, " set key", Grid::major, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Occurrence rate (risk/time)")~"},
       XRange::settings, YRange::automatic, rowsRate, titleRate, noExtras, noExtras, clausesRate},
      {PlotType::band, " set key", Grid::major, R"~( set xlabel "Time  t")~", {R"~( set ylabel "Occurrence rate (risk/time)")~"},
       XRange::settings, YRange::automatic, rowsBand, titleBand, noExtras, noExtras, clausesBand},
      {PlotType::times, " set nokey", Grid::none, R"~( set xlabel "Time  t")~", {R"~( set ylabel " ")~"},
       XRange::settings, YRange::settings, rowsTimes, titleInterval, noExtras, ticsTimes, clausesTimes},
      {PlotType::window, " set key top left", Grid::major, R"~( set xlabel "Smoothing parameter  k")~",
       {R"~( set ylabel " C_1(k)")~", R"~( set y2label " C_m(k)")~"}, XRange::automatic,
       YRange::automaticBoth, rowsWindow, titleWindow, noExtras, noExtras, clausesWindow},
  };
  return table;
}

const Layout& layoutOf(PlotType type) {
  for (const Layout& layout : layouts()) {
    if (layout.type == type) return layout;
  }
  throw std::logic_error("no layout for a plot type");
}

// ---- Command file --------------------------------------------------------

struct Style {
  int number, lt, lw, pt;  // 0: keyword absent
  double ps;               // 0: no point size
};

// Always the same eleven styles; the plot clauses refer to them by number.
constexpr Style kStyles[] = {
    {1, 8, 2, 7, 0.75}, {2, 8, 0, 7, 0.75}, {3, 10, 2, 0, 0}, {4, 1, 2, 0, 0},
    {5, 4, 2, 0, 0},    {6, 6, 2, 0, 0},    {7, 1, 0, 7, 1.00}, {8, 8, 2, 0, 0},
    {9, 8, 2, 0, 0},    {10, 8, 2, 0, 0},   {11, 3, 2, 0, 0},
};

std::string styleLine(const Style& st) {
  std::string line = " set style line " + fmtI(st.number, 4);
  const auto keyword = [&](std::string_view name, int value) {
    line.append(" ").append(name).append(" ").append(fmtI(value, 4));
  };
  keyword("lt", st.lt);
  if (st.lw != 0) keyword("lw", st.lw);
  // Without a line width the point type moves into the line-width columns.
  if (st.pt != 0) keyword(st.lw != 0 ? "pt" : "        pt", st.pt);
  if (st.ps != 0) line += " ps" + fmtF(st.ps, 5, 2);
  return line;
}

std::string range(std::string_view axis, double low, double high) {
  return " set " + std::string(axis) + "range [" + fmtES(low, 14, 6) + ":" + fmtES(high, 14, 6) + "]";
}

Lines commandLines(const Layout& layout, const Request& r) {
  Lines lines{std::string(layout.key)};
  switch (layout.grid) {
    case Grid::major:
      lines.insert(lines.end(), {" set grid", " set y2tics"});
      break;
    case Grid::fine:
      lines.emplace_back(" set grid xtics mxtics ytics mytics");
      break;
    case Grid::none:
      lines.emplace_back(" set nogrid");
      break;
  }
  for (const Style& st : kStyles) lines.push_back(styleLine(st));
  lines.push_back(" set title \"" + layout.title(r) + "\"");
  lines.emplace_back(layout.xlabel);
  for (std::string_view label : layout.ylabels) lines.emplace_back(label);

  const PlotAxes& a = r.axes();
  if (layout.xrange == XRange::automatic) {
    lines.emplace_back(" set autoscale x");
  } else {
    lines.push_back(range("x", a.xl, a.xu));
  }
  switch (layout.yrange) {
    case YRange::automatic:
      lines.emplace_back(" set autoscale y");
      break;
    case YRange::automaticBoth:
      lines.insert(lines.end(), {" set autoscale y", " set autoscale y2"});
      break;
    case YRange::settingsUnlessUnset:
      if (a.yl == kUnsetReal) {
        lines.emplace_back(" set autoscale y");
        break;
      }
      [[fallthrough]];
    case YRange::settings:
      lines.push_back(range("y", a.yl, a.yu));
      break;
  }
  for (auto part : {layout.logs, layout.tics, layout.clauses}) {
    const Lines more = part(r);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  lines.emplace_back(" pause mouse key");
  return lines;
}

}  // namespace

void plot(const State& s, Console& console, PlotRunner& runner, PlotType type, std::size_t cls) {
  const Layout& layout = layoutOf(type);
  const Request request{s, type, perClass(type) ? cls : 0};

  // Both files are closed before gnuplot starts, so it reads them whole.
  {
    std::ofstream data(s.folder / kPlotDataFile, std::ios::out | std::ios::trunc);
    if (!data) throw Fatal(std::string("Error during plot data file opening"));
    layout.rows(request, data);
  }
  {
    std::ofstream commands(s.folder / kPlotCommandFile, std::ios::out | std::ios::trunc);
    if (!commands) throw Fatal(std::string("Error during plot command file opening"));
    for (const std::string& line : commandLines(layout, request)) commands << line << '\n';
  }
  runner.drawing(type, request.cls);
  plotgn(console, runner);
}

void plotgn(Console& console, PlotRunner& runner) {
  // gnuplot shares the terminal: everything said so far must be out first.
  console.flush();
  std::cout.flush();
  std::fflush(stdout);
  runner.run(kPlotCommand);
}

bool plotWindowOpens(const char* gnuterm, const char* display, const char* waylandDisplay) {
  const auto set = [](const char* v) { return v != nullptr && *v != '\0'; };
  const bool screen = set(display) || set(waylandDisplay);
  if (!set(gnuterm)) return screen;
  std::string_view name(gnuterm);
  name = name.substr(0, name.find_first_of(" \t"));
  for (std::string_view windowed : {"qt", "wxt", "x11"}) {
    if (name == windowed) return screen;
  }
  return name == "aqua" || name == "windows";
}

bool plotWindowOpens() {
  return plotWindowOpens(std::getenv("GNUTERM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
}

void SystemPlotRunner::run(const std::string& commandLine) {
  static constexpr std::string_view kWaiting = "Press a key in the plot window to go on";
  if (waiting_ != nullptr) *waiting_ << kWaiting << std::flush;
  // gnuplot's own complaints reach the console directly; its exit status
  // does not concern the analysis.
  const int status = std::system(commandLine.c_str());
  if (waiting_ != nullptr) *waiting_ << '\r' << std::string(kWaiting.size(), ' ') << '\r' << std::flush;
  if (status == -1) throw Fatal(std::string("Could not execute command line"));
}

}  // namespace morvek

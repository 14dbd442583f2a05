#include "morvek/results.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <ostream>
#include <string>
#include <string_view>

#include "morvek/classes.h"
#include "morvek/extremes.h"
#include "morvek/format.h"
#include "morvek/interval.h"
#include "morvek/rate.h"
#include "morvek/resultfile.h"

namespace morvek {

namespace {

// The series labels are padded to 25 characters. The date and risk
// headings are written as they stand, blanks included; each must be as wide
// as the column of numbers below it.
constexpr int kSeriesLabel = 25;

constexpr std::string_view kWithPseudo = "   Extreme_dates_with pseudodata    ";
constexpr std::string_view kWithoutPseudo = "   Extreme_dates_without_pseudodata ";
constexpr std::string_view kDatesT = "   t                                ";
constexpr std::string_view kDatesT4 = "   t4                               ";
constexpr std::string_view kDatesClass = "   class                            ";
static_assert(kWithPseudo.size() == 36 && kWithoutPseudo.size() == 36 && kDatesT.size() == 36 &&
              kDatesT4.size() == 36 && kDatesClass.size() == 36);

constexpr std::string_view kTimeHead = "  Time                   ";
constexpr std::string_view kTimeUnit = "  -                      ";
constexpr std::string_view kCurvesHead =
    "  Occurrence_rate          Occurrence_rate_low      Occurrence_rate_upp    ";
constexpr std::string_view kCurvesClass =
    "  class                    class                    class                  ";
static_assert(kTimeHead.size() == 25 && kTimeUnit.size() == 25 && kCurvesHead.size() == 75 &&
              kCurvesClass.size() == 75);

// Every number of the tables is written as es24.16.
std::string es24(double v) { return fmtES(v, 24, 16); }

// The three blocks that head every result file; the first creates the file.
void writeSummaries(const State& s, const std::string& file) {
  info1(s, file);
  info2(s, file);
  info3(s, file);
}

// The classes to write: l, but never more than the formats hold. An unset
// l gives none.
std::size_t classCount(const Setting& g) {
  return g.l > 0 ? std::min(static_cast<std::size_t>(g.l), static_cast<std::size_t>(kMaxClasses)) : 0;
}

// Entries beyond what an array holds read as unset, so a short or released
// array cannot shift the columns of a table.
double valueAt(const Held<double>& a, std::size_t i) { return i < a.size() ? a[i] : kUnsetReal; }
double valueAt(const Held2<double>& a, std::size_t row, std::size_t col) {
  return row < a.rows() && col < a.cols() ? a.at(row, col) : kUnsetReal;
}

// The longest list among the classes, as far as the array holds it.
std::size_t longestList(const Held<int>& counts, std::size_t classes, std::size_t held) {
  const auto listed = counts.first(static_cast<long long>(classes));
  const int longest = listed.empty() ? 0 : *std::max_element(listed.begin(), listed.end());
  return std::min(longest > 0 ? static_cast<std::size_t>(longest) : 0, held);
}

// morvek-1.dat --------------------------------------------------------------

void writeSeriesTable(const State& s, std::ostream& out) {
  const Setting& g = s.setting;
  const Data& d = s.data;
  auto heading = [&](std::span<const std::string_view, kSeriesColumnCount> labels) {
    out << ' ';
    for (std::string_view label : labels) out << fmtA("  " + std::string(label), kSeriesLabel);
    out << '\n';
  };
  out << " \n";
  heading(std::array<std::string_view, kSeriesColumnCount>{"Time", "x-value", "Background", "Variability",
                                                           "Threshold", "Time", "Scaled_extreme_value"});
  heading(kSeriesColumns);
  // The time column sets the rows; the list of extremes fills the first of
  // them, since there are never more extremes than points.
  const std::size_t rows = d.t2.first(g.n2).size();
  const std::size_t events = d.t3.first(g.n3).size();
  for (std::size_t i = 0; i < rows; ++i) {
    const double b = valueAt(d.b2, i);
    const double v = valueAt(d.v2, i);
    out << ' ' << es24(d.t2[i]) << ' ' << es24(valueAt(d.x2, i)) << ' ' << es24(b) << ' ' << es24(v)
        << ' ' << es24(b + g.z * v);
    if (i < events) out << ' ' << es24(d.t3[i]) << ' ' << es24(valueAt(d.x3, i));
    out << '\n';
  }
}

// morvek-2.dat --------------------------------------------------------------

void writeDateTable(const State& s, std::ostream& out) {
  const Setting& g = s.setting;
  const Data& d = s.data;
  const std::size_t classes = classCount(g);
  auto labels = [&](std::string_view withPseudo, std::string_view without) {
    for (std::size_t c = 0; c < classes; ++c) out << withPseudo;
    for (std::size_t c = 0; c < classes; ++c) out << without;
    out << '\n';
  };
  auto date = [&](double t) { out << es24(t) << std::string(12, ' '); };

  out << " \n";
  labels(kWithPseudo, kWithoutPseudo);
  labels(kDatesT, kDatesT4);
  labels(kDatesClass, kDatesClass);
  // The class numbers, once under each group of columns.
  for (int group = 0; group < 2; ++group) {
    for (std::size_t c = 1; c <= classes; ++c) {
      out << "   " << fmtI(static_cast<long long>(c), 1) << std::string(32, ' ');
    }
  }
  out << '\n';

  const std::size_t withoutRows = longestList(g.n4, classes, d.t4.cols());
  const std::size_t withRows = longestList(g.n, classes, d.t.cols());
  for (std::size_t j = 0; j < withoutRows; ++j) {
    out << ' ';
    for (std::size_t c = 0; c < classes; ++c) date(valueAt(d.t, c, j));
    for (std::size_t c = 0; c < classes; ++c) date(valueAt(d.t4, c, j));
    out << '\n';
  }
  for (std::size_t j = withoutRows; j < withRows; ++j) {
    out << ' ';
    for (std::size_t c = 0; c < classes; ++c) date(valueAt(d.t, c, j));
    out << '\n';
  }
}

// morvek-3.dat --------------------------------------------------------------

void writeRiskTable(const State& s, std::ostream& out) {
  const Setting& g = s.setting;
  const Data& d = s.data;
  const std::size_t classes = classCount(g);

  out << " \n"
      << "Cox-Lewis test for constant risk\n";
  for (std::size_t c = 0; c < classes; ++c) {
    out << "Magnitude class " << fmtI(static_cast<long long>(c + 1), 1)
        << ": u = " << fmtES(valueAt(d.u, c), 10, 3) << "  "
        << "P-value (one-sided)  = " << fmtES(valueAt(d.p, c), 10, 3) << '\n';
  }
  out << " \n";

  out << ' ' << kTimeHead;
  for (std::size_t c = 0; c < classes; ++c) out << kCurvesHead;
  out << '\n' << ' ' << kTimeUnit;
  for (std::size_t c = 0; c < classes; ++c) out << kCurvesClass;
  out << '\n' << "   -" << std::string(20, ' ');
  for (std::size_t c = 1; c <= classes; ++c) {
    for (int curve = 0; curve < 3; ++curve) {
      out << "   " << fmtI(static_cast<long long>(c), 2) << std::string(20, ' ');
    }
  }
  out << '\n';

  const GridRows inside = observedRows(s);
  for (std::size_t j = inside.first; j < inside.end(); ++j) {
    out << ' ' << es24(d.lx[j]);
    for (std::size_t c = 0; c < classes; ++c) {
      out << ' ' << es24(valueAt(d.ly, c, j)) << ' ' << es24(valueAt(d.lyl, c, j)) << ' '
          << es24(valueAt(d.lyu, c, j));
    }
    out << '\n';
  }
}

}  // namespace

void output1(const State& s) {
  const std::string file = (s.folder / "morvek-1.dat").string();
  writeSummaries(s, file);
  appendWith(file, [&](std::ostream& out) { writeSeriesTable(s, out); });
}

void output2(const State& s) {
  const std::string file = (s.folder / "morvek-2.dat").string();
  writeSummaries(s, file);
  appendWith(file, [&](std::ostream& out) { writeDateTable(s, out); });
}

void output3(const State& s) {
  const std::string file = (s.folder / "morvek-3.dat").string();
  writeSummaries(s, file);
  appendWith(file, [&](std::ostream& out) { writeRiskTable(s, out); });
}

void info5(const State& s, Console& console) {
  console.clear();
  console.line("====================");
  console.line();
  console.line("Morvek: Output files");
  console.line();
  console.line("====================");
  console.blank(4);
  if (s.setting.datatype == DataType::ordinary) {
    console.line("morvek-1.dat:       background, variability, threshold");
  }
  console.line("morvek-2.dat:       extreme event times");
  console.line("morvek-3.dat:       hypothesis test, estimated risk curves");
  console.line();
}

}  // namespace morvek

// The analysis state: five modules that every phase reads and writes, and
// the workspace groups that create, initialise and release their arrays.
//
// Nothing here is global: the driver owns one State and passes it by
// reference; tests build their own. Arrays are 0-based; the routines whose
// algorithms count from 1 translate locally.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <cassert>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/ran.h"

namespace morvek {

// Sentinels. Whether a value is set is tested by exact comparison.
inline constexpr int kUnsetInt = -999;
inline constexpr double kUnsetReal = -9.99e11;
// Marks a missing pseudodatum while pseudodata are generated.
inline constexpr double kMissingPseudo = 9.99e11;
// Every estimated occurrence rate is at least this: 1.0E-12 in single precision.
inline constexpr double kRiskFloor = static_cast<double>(1.0e-12f);

enum class DataType { ordinary, extreme, times };
// The 9-character, blank-padded text of a data type ("times    ").
std::string_view datatypeText(DataType type);

enum class Rule { twopoint, reflection };
// The 10-character text of a pseudodata rule ("twopoint  ").
std::string_view ruleText(Rule rule);

enum class Scale { lin, log };

// An array that a workspace group creates and releases. A released array
// is not held; the groups that must find their arrays held can tell.
template <class T>
class Held {
 public:
  bool held() const { return held_; }
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

  T& operator[](std::size_t i) {
    assert(i < values_.size());
    return values_[i];
  }
  const T& operator[](std::size_t i) const {
    assert(i < values_.size());
    return values_[i];
  }
  std::span<T> span() { return values_; }
  std::span<const T> span() const { return values_; }
  // The first n entries, or as many as are held: a count that is unset or
  // larger than the array never reads past it.
  std::span<const T> first(long long n) const {
    const std::size_t wanted = n > 0 ? static_cast<std::size_t>(n) : 0;
    return span().first(wanted < values_.size() ? wanted : values_.size());
  }
  auto begin() { return values_.begin(); }
  auto end() { return values_.end(); }
  auto begin() const { return values_.begin(); }
  auto end() const { return values_.end(); }

  // Creates the array with `extent` elements (none for 0 or less). A group
  // is never created while it is still held.
  void create(long long extent) {
    assert(!held_);
    values_.assign(extent > 0 ? static_cast<std::size_t>(extent) : 0, T{});
    held_ = true;
  }
  void fill(const T& value) { values_.assign(values_.size(), value); }
  void assign(std::span<const T> source) {
    values_.assign(source.begin(), source.end());
    held_ = true;
  }
  void release() {
    values_ = {};
    held_ = false;
  }

 private:
  std::vector<T> values_;
  bool held_ = false;
};

// A held array with the class index first: `rows` classes of `cols` entries.
template <class T>
class Held2 {
 public:
  bool held() const { return held_; }
  std::size_t rows() const { return rows_; }
  std::size_t cols() const { return cols_; }

  T& at(std::size_t row, std::size_t col) {
    assert(row < rows_ && col < cols_);
    return values_[row * cols_ + col];
  }
  const T& at(std::size_t row, std::size_t col) const {
    assert(row < rows_ && col < cols_);
    return values_[row * cols_ + col];
  }
  std::span<T> row(std::size_t r) {
    assert(r < rows_);
    return std::span<T>(values_).subspan(r * cols_, cols_);
  }
  std::span<const T> row(std::size_t r) const {
    assert(r < rows_);
    return std::span<const T>(values_).subspan(r * cols_, cols_);
  }
  void create(long long rows, long long cols) {
    assert(!held_);
    rows_ = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    cols_ = cols > 0 ? static_cast<std::size_t>(cols) : 0;
    values_.assign(rows_ * cols_, T{});
    held_ = true;
  }
  void fill(const T& value) { values_.assign(values_.size(), value); }
  void release() {
    values_ = {};
    rows_ = cols_ = 0;
    held_ = false;
  }

 private:
  std::vector<T> values_;
  std::size_t rows_ = 0;
  std::size_t cols_ = 0;
  bool held_ = false;
};

// Configuration; constant during the run except the rule.
struct Parameters {
  double krel = 0.25;     // largest smoothing window relative to n2
  int kmin = 3;           // smallest smoothing window (not configurable)
  Rule rule = Rule::twopoint;
  bool rule_reflection_reset = false;  // rule switched to reflection for the current classes
  double hrelmax = 0.5;   // bandwidth search range
  int nhsrch = 400;       // bandwidth search grid points
  int ngrid = 2048;       // time grid points of the risk estimate
  double alpha = 0.9;     // confidence level
};

// Sizes, choices and per-class settings.
struct Setting {
  DataType datatype = DataType::ordinary;
  std::string inputfile = "(no data file chosen)";
  int n1 = kUnsetInt;  // points read
  int n2 = kUnsetInt;  // points in the extracted interval
  int n3 = kUnsetInt;  // extreme events
  int l = kUnsetInt;   // magnitude classes
  double tobsl = kUnsetReal, tobsr = kUnsetReal;  // observation interval
  int k = kUnsetInt;                              // background window
  int kcv1 = kUnsetInt, kcvm = kUnsetInt;         // best windows of the two criteria
  int kmax = kUnsetInt;                           // largest window offered
  double z = kUnsetReal;                          // threshold multiplier
  double hmin = kUnsetReal, hmax = kUnsetReal;    // bandwidth search range
  bool flagseed = false;                          // the seed has been given
  int maxnrr = kUnsetInt;  // most event times with pseudodata a class has needed in this run

  Held<double> c;       // class bounds, 0..l
  Held<int> n4;         // extremes per class
  Held<double> h;       // bandwidth per class
  Held<double> hcvint;  // cross-validated bandwidth per class
  Held<int> n;          // event times per class held in t
  Held<int> nsim;       // bootstrap simulations per class; unset: no band yet
};

// The data arrays of every phase.
struct Data {
  Held<double> t1, x1;  // as read
  Held<double> t2, x2;  // extracted interval
  Held<double> b2, v2;  // background and variability
  Held<double> t3, x3;  // extreme events
  Held2<double> t4;     // event times per class
  Held2<double> t;      // event times per class with pseudodata
  Held<double> lx;      // time grid
  Held2<double> ly, lyl, lyu;  // rate per class and its confidence band
  Held<double> ft;      // transform work array
  Held<double> u, p;    // Cox-Lewis statistic and P-value per class
  Held2<std::array<double, 2>> cv;  // per class and search point: h and C(h)
};

// Cross-validation curves of the background smoother, one entry per window.
struct CvMedData {
  Held<double> cv1, cvm;
  Held<int> cvj;
};

// Axis settings of one plot type.
struct PlotAxes {
  double xl = kUnsetReal, xu = kUnsetReal;  // horizontal range
  double yl = kUnsetReal, yu = kUnsetReal;  // vertical range; yl unset: automatic
  Scale logx = Scale::lin, logy = Scale::lin;
};

// The pictures, by the numbers that the plot settings and the plot writer
// know them by; 2 to 4 are valid numbers that no picture uses.
enum PlotType : int {
  kDataPlot = 1,           // the data of the interval
  kBackgroundPlot = 5,     // the data with background, variability and threshold lines
  kExtremesPlot = 6,       // the extremes
  kDistributionPlot = 7,   // the distribution of the extremes
  kClassesPlot = 8,        // the event times per class
  kBandwidthPlot = 9,      // the bandwidth cross-validation of a class
  kRatePlot = 10,          // the rate of a class
  kBandPlot = 11,          // the rate with its confidence band
  kTimesPlot = 12,         // event times
  kWindowPlot = 13,        // the cross-validation of the background window
};
inline constexpr int kPlotTypes = 20;

struct SettingP {
  std::array<PlotAxes, kPlotTypes> axes;
  std::array<double, 3> zplot{2.0, 4.0, 0.0};  // test-line multipliers of type 5

  PlotAxes& operator[](int type) { return axes.at(static_cast<std::size_t>(type - 1)); }
  const PlotAxes& operator[](int type) const { return axes.at(static_cast<std::size_t>(type - 1)); }
};

struct State {
  Parameters parameters;
  Setting setting;
  Data data;
  CvMedData cvmeddata;
  SettingP settingp;
  // The random generator of the bootstrap: seeded once per run, then one
  // stream for every band; the bootstrap's own argument starts at 1.
  numerics::RanState random;
  std::int32_t idum = 1;
  // Where the configuration is read and the result and plot files are
  // written, and where the data file's name is looked up; empty for the
  // working folder. A run without a dialog keeps each series apart.
  std::filesystem::path folder, dataFolder;
  // The threads a long computation may use (0: one per core); the results
  // are the same on any number.
  unsigned threads = 0;

  bool hasValues() const { return setting.datatype != DataType::times; }
};

// Workspace groups, in the order of their release at the end of the run.
enum class Group { g0, g1, g2a, g2b, g2c, g3a, g3b, g4a, g4b, g4c, g4d, g4e, g4f, g5a };

// Group 0: t1, x1 (n1).
void allocate0(State& s);
void init0(State& s);
void deallocate0(State& s);
// Group 1: t2, x2 (n2).
void allocate1(State& s);
void init1a(State& s);  // n2 = n1
void init1b(State& s);  // t2, x2 = t1, x1
void deallocate1(State& s);
// Group 2a: b2, v2 (n2), ordinary data only.
void allocate2a(State& s);
void init2a(State& s);
void deallocate2a(State& s);
// Group 2b: t3, x3 (n3).
void allocate2b(State& s);
void init2b(State& s);  // resets k and z for ordinary data
void deallocate2b(State& s);
// Group 2c: cv1, cvm, cvj (kmax - kmin + 1).
void allocate2c(State& s);
void init2c(State& s);
void deallocate2c(State& s);
// Group 3a: c (0..l), n4 (l).
void init3a(State& s);  // l = unset
void allocate3a(State& s);
void init3b(State& s);
void deallocate3a(State& s);
// Group 3b: t4 (l, largest n4).
void allocate3b(State& s);
void init3c(State& s);
void deallocate3b(State& s);
// Group 4a: h, hcvint (l).
void allocate4a(State& s);
void init4a(State& s);
void deallocate4a(State& s);
// Group 4b: lx (ngrid); ly, lyl, lyu (l, ngrid).
void allocate4b(State& s);
void init4b(State& s);
void deallocate4b(State& s);
// Group 4c: cv (l, nhsrch).
void allocate4c(State& s);
void init4c(State& s);
void deallocate4c(State& s);
// Group 4d: u, p (l).
void allocate4d(State& s);
void init4d(State& s);
void deallocate4d(State& s);
// Group 4e: ft (ngrid).
void allocate4e(State& s);
void init4e(State& s);
void deallocate4e(State& s);
// Group 4f: t (l, extent), n (l).
void allocate4f(State& s, int extent);
void init4f(State& s);
void deallocate4f(State& s);
// Group 5a: nsim (l).
void allocate5a(State& s);
void init5a(State& s);
void deallocate5a(State& s);

// Releases one group with its own release routine.
void release(State& s, Group group);

// A return to Part `part` of the dialog (1 to 4) releases the groups of
// that Part and of all later ones, in release order.
void releaseFromPart(State& s, int part);

// The end of the run releases every group, 0 first.
void releaseAll(State& s);

}  // namespace morvek

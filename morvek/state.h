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

// The pictures the dialog draws.
enum class PlotType {
  data,          // the data of the interval
  background,    // the data with background, variability and threshold lines
  extremes,      // the extremes
  distribution,  // the distribution of the extremes
  classes,       // the event times per class
  bandwidth,     // the bandwidth cross-validation of a class
  rate,          // the rate of a class
  band,          // the rate with its confidence band
  times,         // event times
  window,        // the cross-validation of the background window
};
inline constexpr std::size_t kPlotTypes = static_cast<std::size_t>(PlotType::window) + 1;
// The pictures of one magnitude class.
constexpr bool perClass(PlotType type) {
  return type == PlotType::bandwidth || type == PlotType::rate || type == PlotType::band;
}

struct SettingP {
  std::array<PlotAxes, kPlotTypes> axes;
  std::array<double, 3> zplot{2.0, 4.0, 0.0};  // test-line multipliers of the background picture

  PlotAxes& operator[](PlotType type) { return axes[static_cast<std::size_t>(type)]; }
  const PlotAxes& operator[](PlotType type) const { return axes[static_cast<std::size_t>(type)]; }
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

// The stages of the dialog that make workspace groups. Entering a stage
// sets the values it starts from and makes the groups whose sizes are known
// then; the others are made by the phase of the stage that finds their
// size.
enum class Stage {
  start,           // the data read: 0 (t1, x1 of n1)
  interval,        // each Part 1 pass: n2 = n1; 1 (t2, x2 of n2, the whole data);
                   // an extraction makes 1 again
  detection,       // each Part 2 pass: k and z unset for a time series; 2a (b2, v2
                   // of n2, time series only), 2c (cv1, cvm, cvj of kmax - kmin + 1);
                   // each detection makes 2b (t3, x3 of n3)
  classification,  // each Part 3 pass: l unset
  classes,         // the class dialog: 4a (h, hcvint of l), 5a (nsim of l); the class
                   // count makes 3a (c of l + 1, n4 of l), the class sizes 3b (t4 of
                   // l by the largest n4)
  risk,            // the way to Part 4: 4b (lx of ngrid; ly, lyl, lyu of l by ngrid),
                   // 4c (cv of l by nhsrch), 4d (u, p of l), 4e (ft of ngrid); the
                   // pseudodata make 4f (t of l by maxnrr, n of l)
};

void enter(State& s, Stage stage);

// Makes a group that its phase has just found the size of, releasing what
// an earlier pass left of it; groups 0, 1 and 2a must then be held.
void make(State& s, Group group);

// Releases one group with its own release routine. Groups 0, 1 and 2a must
// find every array of the data type held.
void release(State& s, Group group);

// A return to Part `part` of the dialog (1 to 4) releases the groups of
// that Part and of all later ones, in release order.
void releaseFromPart(State& s, int part);

// The end of the run releases every group, 0 first.
void releaseAll(State& s);

}  // namespace morvek

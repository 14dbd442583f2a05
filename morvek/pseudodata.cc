// Pseudodata by reflection or by the two-point rule, with periodic
// continuation.
//
// Variables, as in the formulas of the method:
//   n            events of the class, x(1) <= ... <= x(n) (1-based below)
//   L, R         tobsl, tobsr: the observation interval
//   G0, G1       g0, g1: the ends of the rate grid lx
//   X(j/3)       interpolated order statistics, j = 0 .. 3n+3; X(k) = x(k)
//   Y(j/3)       the same read from the right: X at index 3n+3 - j
//   left(k)      left work list; right(k) likewise
//   B, D, m      block length, its reach from the boundary, copy number
//
// Candidate k on the left is L - 9*(X(k/3) - L) + 2*(X(k) - L) (two-point)
// or L - (x(k) - L) (reflection); on the right it is mirrored. A side is
// generated for k = 1, 2, ... and ends when a candidate reaches the grid
// end, or, as soon as candidates stop moving outward, with the periodic
// continuation. Neither side ever holds more than n entries.
//
// Invariant: a list entry is either a pseudodatum or kMissingPseudo; no
// arithmetic is ever done on kMissingPseudo.

#include "morvek/pseudodata.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <string>

#include "morvek/fatal.h"
#include "numerics/sort.h"

namespace morvek {

namespace detail {

std::vector<double> orderStatistics(std::span<const double> x, double tobsl, double tobsr) {
  // The weights are these doubles, not 2.0/3.0 and 1.0/3.0, so that the
  // points between neighbours are reproducible to the last bit.
  constexpr double kTwoThirds = 0.6666666666666666;
  constexpr double kOneThird = 0.3333333333333333;
  const std::size_t n = x.size();
  std::vector<double> thirds(3 * n + 4);
  // Whole-numbered X(k), k = 0 .. n+1, sit at index 3k.
  auto whole = [&](std::size_t k) { return k == 0 ? tobsl : k == n + 1 ? tobsr : x[k - 1]; };
  for (std::size_t k = 0; k <= n + 1; ++k) thirds[3 * k] = whole(k);
  for (std::size_t k = 0; k <= n; ++k) {
    thirds[3 * k + 1] = kTwoThirds * whole(k) + kOneThird * whole(k + 1);
    thirds[3 * k + 2] = kOneThird * whole(k) + kTwoThirds * whole(k + 1);
  }
  return thirds;
}

}  // namespace detail

namespace {

// The candidates of both sides of one class, k = 1 .. n.
class Candidates {
 public:
  Candidates(std::span<const double> x, double tobsl, double tobsr, Rule rule)
      : x_(x), tobsl_(tobsl), tobsr_(tobsr), rule_(rule) {
    if (rule_ == Rule::twopoint) thirds_ = detail::orderStatistics(x, tobsl, tobsr);
  }

  double left(std::size_t k) const {
    const double l = tobsl_;
    if (rule_ == Rule::reflection) return l - (event(k) - l);
    return l - 9.0 * (X(k) - l) + 2.0 * (X(3 * k) - l);
  }

  double right(std::size_t k) const {
    const double r = tobsr_;
    if (rule_ == Rule::reflection) return r + (r - event(n() + 1 - k));
    return r + 9.0 * (r - Y(k)) - 2.0 * (r - Y(3 * k));
  }

 private:
  std::size_t n() const { return x_.size(); }
  // x(k), 1-based.
  double event(std::size_t k) const { return x_[k - 1]; }
  // X(j/3) and Y(j/3) by the index j.
  double X(std::size_t j) const { return thirds_[j]; }
  double Y(std::size_t j) const { return thirds_[3 * n() + 3 - j]; }

  std::span<const double> x_;
  double tobsl_, tobsr_;
  Rule rule_;
  std::vector<double> thirds_;
};

enum class Side { left, right };

bool isMissing(double v) { return v == kMissingPseudo; }

// The periodic continuation at step k: the block list(1 .. k-1) is repeated
// outward from position k, copy m shifted by m*D, where D is the distance
// from the boundary to the block's last (outermost) entry. It stops after
// storing a value at or beyond the grid end, or after filling position n.
//
// A block entry that is kMissingPseudo (an event on the boundary earlier on
// this side) has no time to shift: the copies pass over it without storing
// anything and without using a position. The stop rules stay as they are;
// since the block's last entry is never missing, every copy stores at least
// one value, so the loop ends.
void continuePeriodically(std::vector<double>& list, std::size_t k, Side side, double boundary,
                          double gridEnd) {
  auto at = [&list](std::size_t i) -> double& { return list[i - 1]; };  // 1-based
  const std::size_t block = k - 1;
  assert(block >= 1 && !isMissing(at(block)));
  const double d = side == Side::left ? boundary - at(block) : at(block) - boundary;
  const std::size_t n = list.size();
  std::size_t p = k;
  for (int m = 1;; ++m) {
    for (std::size_t b = 1; b <= block; ++b) {
      if (isMissing(at(b))) continue;
      const double v = side == Side::left ? at(b) - m * d : at(b) + m * d;
      at(p) = v;
      const bool beyond = side == Side::left ? v <= gridEnd : v >= gridEnd;
      if (beyond || p == n) return;
      ++p;
    }
  }
}

}  // namespace

namespace detail {

std::vector<double> leftSide(std::span<const double> x, double tobsl, double tobsr, double g0,
                             Rule rule) {
  const std::size_t n = x.size();
  std::vector<double> list(n, kMissingPseudo);
  auto at = [&list](std::size_t k) -> double& { return list[k - 1]; };  // 1-based
  const Candidates candidates(x, tobsl, tobsr, rule);
  for (std::size_t k = 1; k <= n; ++k) {
    double v = candidates.left(k);
    // A pseudodatum on the boundary would count its event twice.
    if (v == tobsl) v = kMissingPseudo;
    at(k) = v;
    // A missing candidate counts as not lying further out than its
    // predecessor, so it starts the continuation too.
    if (k >= 2 && v >= at(k - 1) && !isMissing(at(k - 1))) {
      continuePeriodically(list, k, Side::left, tobsl, g0);
      break;
    }
    if (v <= g0) break;
  }
  return list;
}

std::vector<double> rightSide(std::span<const double> x, double tobsl, double tobsr, double g1,
                              Rule rule) {
  const std::size_t n = x.size();
  std::vector<double> list(n, kMissingPseudo);
  auto at = [&list](std::size_t k) -> double& { return list[k - 1]; };  // 1-based
  const Candidates candidates(x, tobsl, tobsr, rule);
  for (std::size_t k = 1; k <= n; ++k) {
    double v = candidates.right(k);
    if (v == tobsr) v = kMissingPseudo;
    at(k) = v;
    // Here a missing candidate is simply passed over: it neither starts the
    // continuation nor ends the side.
    if (k >= 2 && at(k - 1) >= v && !isMissing(at(k - 1))) {
      continuePeriodically(list, k, Side::right, tobsr, g1);
      break;
    }
    if (v >= g1 && !isMissing(v)) break;
  }
  return list;
}

}  // namespace detail

namespace {

// One class's pseudodata, each side ascending and without missing entries.
struct Extension {
  std::vector<double> left, right;
  int total(int events) const { return static_cast<int>(left.size() + right.size()) + events; }
};

// Sorting puts the missing entries, the largest values, at the end, where
// they are cut off.
void sortAndTrim(std::vector<double>& list) {
  const auto kept = std::count_if(list.begin(), list.end(), [](double v) { return !isMissing(v); });
  numerics::sort(list);
  list.resize(static_cast<std::size_t>(kept));
}

std::vector<double> eventsOf(const State& s, std::size_t cls) {
  const auto count = static_cast<std::size_t>(s.setting.n4[cls]);
  std::vector<double> x(count);
  for (std::size_t i = 0; i < count; ++i) x[i] = s.data.t4.at(cls, i);
  return x;
}

}  // namespace

void pseudodata(State& s) {
  int& maxnrr = s.setting.maxnrr;
  const auto classes = static_cast<std::size_t>(s.setting.l);
  assert(s.setting.l >= 1 && s.setting.n4.size() == classes);
  assert(!s.data.lx.empty());
  // Named iterators rather than a structured binding: the lambda below
  // captures them, which Clang before 16 refuses for bindings.
  const auto extent = std::minmax_element(s.data.lx.begin(), s.data.lx.end());
  const auto g0 = extent.first;
  const auto g1 = extent.second;
  const double tobsl = s.setting.tobsl;
  const double tobsr = s.setting.tobsr;
  const Rule rule = s.parameters.rule;

  // First pass: every class's pseudodata, to know the extent of t. The
  // work lists are kept for the second pass rather than made twice.
  std::vector<Extension> extensions;
  allocating("pseudodata", [&] {
    extensions.resize(classes);
    for (std::size_t cls = 0; cls < classes; ++cls) {
      assert(s.setting.n4[cls] >= 0);
      if (s.setting.n4[cls] == 0) continue;
      const std::vector<double> x = eventsOf(s, cls);
      Extension& e = extensions[cls];
      e.left = detail::leftSide(x, tobsl, tobsr, *g0, rule);
      e.right = detail::rightSide(x, tobsl, tobsr, *g1, rule);
      sortAndTrim(e.left);
      sortAndTrim(e.right);
    }
  });
  for (std::size_t cls = 0; cls < classes; ++cls) {
    maxnrr = std::max(maxnrr, extensions[cls].total(s.setting.n4[cls]));
  }

  // Made again as wide as the largest class of the run so far.
  make(s, Group::g4f);

  // Second pass: left pseudodata, events, right pseudodata.
  for (std::size_t cls = 0; cls < classes; ++cls) {
    const Extension& e = extensions[cls];
    const int events = s.setting.n4[cls];
    s.setting.n[cls] = e.total(events);
    std::size_t col = 0;
    for (double v : e.left) s.data.t.at(cls, col++) = v;
    for (std::size_t i = 0; i < static_cast<std::size_t>(events); ++i) {
      s.data.t.at(cls, col++) = s.data.t4.at(cls, i);
    }
    for (double v : e.right) s.data.t.at(cls, col++) = v;
  }
}

}  // namespace morvek

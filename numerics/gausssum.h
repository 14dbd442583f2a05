// Sums of Gaussian kernel values over a fixed set of pairs for many
// bandwidths: S(h) = sum over pairs of exp(-d^2 / (2 h^2)).
//
// The squared distances are sorted once, so that each sum stops where the
// kernel underflows to exactly 0 in double. The result depends only on the
// set of squared distances and on h: it is the same bits on every x86-64
// machine, whatever vector unit the sum runs on, and from every thread.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace numerics {

class GaussianSums {
 public:
  // Takes ownership and sorts ascending. Every distance must be >= 0 (no NaN).
  explicit GaussianSums(std::vector<double> squaredDistances);

  // Sum over all pairs of exp(-d2 / (2 h^2)), h > 0 (h = +inf gives size()).
  // Pairs whose term is 0 in double are skipped. Const and safe to call from
  // several threads at once.
  double sum(double h) const;

  std::size_t size() const { return d2_.size(); }

 private:
  std::vector<double> d2_;  // ascending
};

// Appends (a[i] - b[k])^2 for every i and k, i outermost.
void appendSquaredDistances(std::span<const double> a, std::span<const double> b,
                            std::vector<double>& out);
// Appends (a[i] - a[k])^2 for every pair i < k, i outermost.
void appendSquaredDistancesWithin(std::span<const double> a, std::vector<double>& out);

namespace detail {

// Below this argument exp is 0 in double (exp(-745.1332...) is already the
// smallest subnormal); GaussianSums skips the pairs beyond it.
inline constexpr double kExpCutoff = -745.14;

// exp(x) for x in [kExpCutoff, 0]; other arguments give garbage. Measured
// error below 1 ulp of the exact value (0.96), subnormal results included
// (in units of their spacing 2^-1074); below about -745.1332 the exact
// value rounds to 0, and so does this (give or take the one subnormal step
// right at that point). This is the formula the sums use.
double expNonPositive(double x);

// sum over i of expNonPositive(d2[i] * negC), in the fixed order the sums
// use; every d2[i] * negC must lie in [kExpCutoff, 0]. sumExp runs on the
// widest vector unit the machine has.
double sumExp(std::span<const double> d2, double negC);

// The same sum on a vector unit chosen by name (it must be available), so
// that tests can check that every unit gives the bits of the baseline.
enum class VectorUnit { kBaseline, kAvx2, kAvx512 };
bool available(VectorUnit unit);
double sumExpOn(VectorUnit unit, std::span<const double> d2, double negC);

}  // namespace detail

}  // namespace numerics

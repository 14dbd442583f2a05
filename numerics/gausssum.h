// Sums of Gaussian kernel values over a set of pairs for many bandwidths:
// S(h) = sum over pairs of exp(-d^2 / (2 h^2)).
//
// The pairs come in rows whose squared distances ascend (the distances of
// one event to the later ones, times being sorted), so that each row's sum
// stops where the kernel underflows to exactly 0 in double, and memory holds
// one row instead of all pairs. The result depends only on the rows, their
// order and h, and on the kind of machine: the same bits from every thread,
// and on every machine with AVX-512 or on every machine without it. The two
// kinds differ within 1e-15 relative (each term within 1 ulp of exp).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numerics/cpu.h"

namespace numerics {

class RowSums {
 public:
  // One sum for each bandwidth h[j] > 0 (h = +inf counts the pairs).
  explicit RowSums(std::span<const double> h);

  // Adds one row of squared distances, ascending, each >= 0 (no NaN). Pairs
  // whose term is 0 in double are skipped; the row's sum joins each total
  // with compensation, in the order the rows come.
  void add(std::span<const double> d2);

  // The sum over every row added, of bandwidth j.
  double sum(std::size_t j) const { return totals_[j].total + totals_[j].carry; }

  // Squared distances from here on add nothing to any of the sums, so a row
  // may end before them.
  double reach() const { return reach_; }

 private:
  struct Total {
    double negC;          // -1 / (2 h^2)
    double limit;         // squared distances from here on underflow
    double total = 0.0;
    double carry = 0.0;  // the low-order parts that total could not hold
  };
  std::vector<Total> totals_;
  double reach_ = 0.0;
};

namespace detail {

// Below this argument exp is 0 in double (exp(-745.1332...) is already the
// smallest subnormal); RowSums skips the pairs beyond it.
inline constexpr double kExpCutoff = -745.14;

// exp(x) for x in [kExpCutoff, 0]; other arguments give garbage. Measured
// error below 1 ulp of the exact value (0.96), subnormal results included
// (in units of their spacing 2^-1074); below about -745.1332 the exact
// value rounds to 0, and so does this (give or take the one subnormal step
// right at that point). The sums use this form on machines without AVX-512.
double expNonPositive(double x);

// The second form of exp, with fused multiply-adds and a table, that the
// sums take on machines with AVX-512; std::fma makes it exact anywhere, so
// that it is the reference for that vector code. Measured error below 0.75
// ulp (0.81 of the spacing of subnormal results).
double expFused(double x);

// sum over i of the exp of d2[i] * negC, in the fixed order the sums use;
// every d2[i] * negC must lie in [kExpCutoff, 0]. sumExp runs on the widest
// vector unit the machine has: expFused with AVX-512, else expNonPositive.
double sumExp(std::span<const double> d2, double negC);

// The same sum on a vector unit chosen by name (it must be available), so
// that tests can hold each unit to its form: the baseline and x86-64-v3
// give the same bits, AVX-512 the bits of expFused.
double sumExpOn(VectorUnit unit, std::span<const double> d2, double negC);

}  // namespace detail

}  // namespace numerics

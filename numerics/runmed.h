// Running median over windows of 2k+1 points, and its leave-one-out form.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace numerics {

// Modes of runmed.
inline constexpr int kRunmedMedian = 0;        // median of the 2k+1 window points
inline constexpr int kRunmedLeaveOneOut = -1;  // median of the window without its centre

// y(i) = median of x(i-k..i+k) (mode 0), or of those 2k points without x(i)
// itself, as the mean of their k-th and (k+1)-th smallest (mode -1), for the
// centre points; the first k and last k outputs repeat the first and last
// centre output. Requires 1 <= k, 2k+1 <= x.size() and y.size() == x.size().
// Any other mode throws NrError("Error in subroutine runmed") and leaves y
// untouched.
void runmed(int k, std::span<const double> x, std::span<double> y, int mode);

// The mean and the median of the absolute residuals |x(i) - y(i)| of a
// running median y.
struct Residuals {
  double mean;
  double median;
};

class RunmedSeries;

namespace detail {
// RunmedSeries::residuals as any x86-64 processor runs it, without the units
// of newer ones even where the processor has them.
void residualsOnAnyX86(const RunmedSeries& series, std::span<const int> ks, int mode, std::span<Residuals> out);
}  // namespace detail

// One series smoothed with many window half-widths: the ascending order of
// its values is found once, so that each pass needs no sorting. run() gives
// exactly what runmed gives; both members are const and may be called from
// several threads at once.
class RunmedSeries {
 public:
  explicit RunmedSeries(std::span<const double> x);
  void run(int k, std::span<double> y, int mode) const;
  // out[j]: the residuals of run(ks[j], y, mode), without keeping y. The
  // mean sums |x(i) - y(i)| in order of i and divides by n; the median of
  // an even count is the mean of the middle two. Windows of about the same
  // size, one after the other, share work, even across calls on a thread.
  void residuals(std::span<const int> ks, int mode, std::span<Residuals> out) const;

 private:
  friend void detail::residualsOnAnyX86(const RunmedSeries&, std::span<const int>, int, std::span<Residuals>);
  // v3: with the units of x86-64-v3 processors.
  void residuals(std::span<const int> ks, int mode, std::span<Residuals> out, bool v3) const;

  std::vector<double> x_;
  std::vector<int> rank_;       // rank_[p]: place of x_[p] in the ascending order, ties by position
  std::vector<int> position_;   // position_[r]: the position of rank r
  std::vector<double> sorted_;  // sorted_[r]: the value of rank r
  std::uint64_t generation_;    // tells this series from any other made in the process
};

namespace detail {

// The ways to the result, each valid for every k; runmed and
// RunmedSeries::run pick one by k. They check the mode like runmed.

// The classic double heap around a median slot; the reference formulation.
void runmedHeaps(int k, std::span<const double> x, std::span<double> y, int mode);
// A sorted copy of the window, updated by counting and shifting.
void runmedSortedWindow(int k, std::span<const double> x, std::span<double> y, int mode);
// Blocks of at least 2k+1 points, each sorted once, and a bitset of ranks.
void runmedBlocks(int k, std::span<const double> x, std::span<double> y, int mode);

// Largest k for which runmed keeps a sorted window (blocks above).
inline constexpr int kSortedWindowMaxK = 25;
// Largest k for which RunmedSeries::run keeps a sorted window (ranks of the
// whole series above).
inline constexpr int kSeriesSortedWindowMaxK = 18;
// Shortest block of runmedBlocks: shorter ones would not repay the fixed
// costs of their sort.
inline constexpr int kMinBlockLength = 1024;

}  // namespace detail

}  // namespace numerics

// Running median over windows of 2k+1 points, and its leave-one-out form.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "numerics/cpu.h"

namespace numerics {

// Modes of runmed.
inline constexpr int kRunmedMedian = 0;        // median of the 2k+1 window points
inline constexpr int kRunmedLeaveOneOut = -1;  // median of the window without its centre

// y(i) = median of x(i-k..i+k) (mode 0), or of those 2k points without x(i)
// itself, as the mean of their k-th and (k+1)-th smallest (mode -1), for the
// centre points; the first k and last k outputs repeat the first and last
// centre output. Requires 1 <= k, 2k+1 <= x.size() and y.size() == x.size().
// Any other mode throws NrError (kind runmedMode) and leaves y untouched.
void runmed(int k, std::span<const double> x, std::span<double> y, int mode);

// The mean and the median of the absolute residuals |x(i) - y(i)| of a
// running median y.
struct Residuals {
  double mean;
  double median;
};

class RunmedSeries;

// What RunmedSeries::residuals keeps from one call to the next on one
// thread, so that windows of about the same size in consecutive calls share
// work. It serves the one series it is made for and must not outlive it; a
// thread that takes turns of that series' windows keeps one workspace.
class ResidualWorkspace {
 public:
  explicit ResidualWorkspace(const RunmedSeries& series);
  ResidualWorkspace(ResidualWorkspace&&) noexcept;
  ~ResidualWorkspace();

 private:
  friend class RunmedSeries;
  struct Scratch;
  const RunmedSeries* series_;
  std::unique_ptr<Scratch> scratch_;
};

// One series smoothed with many window half-widths: the ascending order of
// its values is found once, so that each pass needs no sorting. run() gives
// exactly what runmed gives; both members are const and may be called from
// several threads at once, each with its own workspace.
class RunmedSeries {
 public:
  explicit RunmedSeries(std::span<const double> x);
  void run(int k, std::span<double> y, int mode) const;
  // out[j]: the residuals of run(ks[j], y, mode), without keeping y. The
  // mean sums |x(i) - y(i)| in order of i and divides by n; the median of
  // an even count is the mean of the middle two. Windows of about the same
  // size, one after the other, share work, across calls too through work.
  // Every unit the processor has gives the same bits.
  void residuals(std::span<const int> ks, int mode, std::span<Residuals> out, ResidualWorkspace& work,
                 VectorUnit unit = vectorUnit()) const;

 private:
  std::vector<double> x_;
  std::vector<int> rank_;       // rank_[p]: place of x_[p] in the ascending order, ties by position
  std::vector<int> position_;   // position_[r]: the position of rank r
  std::vector<double> sorted_;  // sorted_[r]: the value of rank r
};

namespace detail {

// The ways to the result, each valid for every k; runmed and
// RunmedSeries::run pick one by k. They check the mode like runmed.

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

// What every scheme does first and last: the mode check (NrError), the
// size checks (asserted), and y(1..k) and y(n-k+1..n) from the first and
// last centre outputs.
void checkMode(int mode);
void checkSizes(int k, std::span<const double> x, std::span<double> y);
void repeatEnds(int k, std::span<double> y);

}  // namespace detail

}  // namespace numerics

// Ascending sort in place and ascending index sort.
//
// Both are non-recursive quicksorts: median-of-three partitioning, an
// explicit stack of pending subarrays (the larger part is pushed, so the
// depth stays logarithmic) and straight insertion for subarrays of at most
// 15 elements. Neither is stable; the order in which indexx_sp returns the
// positions of equal values follows from this algorithm and callers that
// draw or smooth rely on it, so it is kept exactly.
#pragma once

#include <span>

namespace numerics {

// Sorts arr ascending in place.
void sort(std::span<double> arr);

// Fills index with the 0-based positions of arr in ascending order of their
// values: arr[index[0]] <= arr[index[1]] <= ... arr is not changed. The
// two spans must have the same length.
void indexx_sp(std::span<const double> arr, std::span<int> index);

namespace detail {
// The same routines with the pending-subarray stack capacity given, counted
// in integers (two per subarray), so that its overflow can be exercised.
void sort(std::span<double> arr, int nstack);
void indexx_sp(std::span<const double> arr, std::span<int> index, int nstack);
}  // namespace detail

}  // namespace numerics

// Quicksort with median-of-three and an explicit stack, after the classic
// non-recursive formulation.
//
// Names: l, r  bounds of the subarray being worked on (0-based, inclusive);
//        i, j  partition scans from the left and from the right;
//        a     the partitioning value; stack holds pending (l, r) pairs.
// Invariant after the median-of-three step: v(l) <= a <= v(r), so both
// scans stop inside [l, r] without bounds checks.
#include "numerics/sort.h"

#include <utility>
#include <vector>

#include "numerics/nrerror.h"

namespace numerics {

namespace {

constexpr int kInsertionMax = 15;  // subarrays with r - l below this are insertion-sorted
constexpr int kStack = 50;

// Sorts positions 0..n-1: value(i) gives the value at position i, swap(x, y)
// exchanges two positions, insert(l, j) moves position j down into the
// sorted run l..j-1.
template <class Value, class Swap, class Insert>
void quicksort(long n, int nstack, const char* overflow, Value value, Swap swap, Insert insert) {
  if (n < 2) return;
  std::vector<long> stack;
  stack.reserve(static_cast<std::size_t>(nstack));
  long l = 0;
  long r = n - 1;
  for (;;) {
    if (r - l < kInsertionMax) {
      for (long j = l + 1; j <= r; ++j) insert(l, j);
      if (stack.empty()) return;
      r = stack.back();
      stack.pop_back();
      l = stack.back();
      stack.pop_back();
      continue;
    }
    const long k = (l + r) / 2;
    swap(k, l + 1);
    if (value(l) > value(r)) swap(l, r);
    if (value(l + 1) > value(r)) swap(l + 1, r);
    if (value(l) > value(l + 1)) swap(l, l + 1);
    long i = l + 1;
    long j = r;
    const double a = value(l + 1);
    for (;;) {
      do ++i; while (value(i) < a);
      do --j; while (value(j) > a);
      if (j < i) break;
      swap(i, j);
    }
    swap(l + 1, j);
    if (static_cast<long>(stack.size()) + 2 > nstack) {
      throw NrError(NrError::Kind::nrerror, std::string("nrerror: ") + overflow);
    }
    if (r - i + 1 >= j - l) {
      stack.push_back(i);
      stack.push_back(r);
      r = j - 1;
    } else {
      stack.push_back(l);
      stack.push_back(j - 1);
      l = i;
    }
  }
}

}  // namespace

namespace detail {

void sort(std::span<double> arr, int nstack) {
  auto value = [&](long i) { return arr[static_cast<std::size_t>(i)]; };
  auto swap = [&](long x, long y) {
    std::swap(arr[static_cast<std::size_t>(x)], arr[static_cast<std::size_t>(y)]);
  };
  auto insert = [&](long l, long j) {
    const double a = arr[static_cast<std::size_t>(j)];
    long i = j - 1;
    for (; i >= l; --i) {
      if (arr[static_cast<std::size_t>(i)] <= a) break;
      arr[static_cast<std::size_t>(i + 1)] = arr[static_cast<std::size_t>(i)];
    }
    arr[static_cast<std::size_t>(i + 1)] = a;
  };
  quicksort(static_cast<long>(arr.size()), nstack, "sort: NSTACK too small", value, swap, insert);
}

void indexx_sp(std::span<const double> arr, std::span<int> index, int nstack) {
  if (arr.size() != index.size()) {
    throw NrError(NrError::Kind::sizeMismatch, "nrerror: an assert_eq failed with this tag: indexx_sp");
  }
  for (std::size_t i = 0; i < index.size(); ++i) index[i] = static_cast<int>(i);
  auto at = [&](long i) -> int& { return index[static_cast<std::size_t>(i)]; };
  auto value = [&](long i) { return arr[static_cast<std::size_t>(at(i))]; };
  auto swap = [&](long x, long y) { std::swap(at(x), at(y)); };
  auto insert = [&](long l, long j) {
    const int moving = at(j);
    const double a = arr[static_cast<std::size_t>(moving)];
    long i = j - 1;
    for (; i >= l; --i) {
      if (value(i) <= a) break;
      at(i + 1) = at(i);
    }
    at(i + 1) = moving;
  };
  quicksort(static_cast<long>(arr.size()), nstack, "indexx: NSTACK too small", value, swap,
            insert);
}

}  // namespace detail

void sort(std::span<double> arr) { detail::sort(arr, kStack); }

void indexx_sp(std::span<const double> arr, std::span<int> index) {
  detail::indexx_sp(arr, index, kStack);
}

}  // namespace numerics

// Both sorts select values, so every comparison here is exact. The
// references are std::sort for values and std::stable_sort for the
// permutation; indexx_sp need not match the stable permutation, only the
// values it lists, except where the algorithm's tie order is pinned.
#include "numerics/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "numerics/nrerror.h"

namespace numerics {
namespace {

constexpr double kMarker = 9.99e11;  // placeholder value that must sort last

struct Case {
  std::string name;
  std::vector<double> values;
};

// Few distinct values, so that almost every element has equals.
std::vector<double> tied(std::size_t n, unsigned seed, int distinct = 7) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(-distinct / 2, distinct / 2);
  std::vector<double> v(n);
  for (double& x : v) x = 0.25 * pick(gen);
  return v;
}

std::vector<Case> cases() {
  std::vector<Case> out;
  unsigned seed = 1;
  for (std::size_t n : {0, 1, 2, 15, 16, 17, 100, 10000}) {
    out.push_back({"tied n=" + std::to_string(n), tied(n, seed++)});
  }
  out.push_back({"distinct", tied(10000, seed++, 1000000)});
  std::vector<double> up = tied(10000, seed++, 50);
  std::sort(up.begin(), up.end());
  out.push_back({"sorted", up});
  out.push_back({"reversed", std::vector<double>(up.rbegin(), up.rend())});
  out.push_back({"all equal", std::vector<double>(10000, 3.5)});
  for (std::size_t n : {12, 5000}) {
    std::vector<double> v = tied(n, seed++);
    for (std::size_t i = 0; i < n; i += 3) v[i] = kMarker;
    out.push_back({"markers n=" + std::to_string(n), v});
  }
  return out;
}

std::vector<int> stable_order(const std::vector<double>& arr) {
  std::vector<int> order(arr.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return arr[a] < arr[b]; });
  return order;
}

TEST(SortTest, AgreesWithStdSort) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    std::vector<double> got = c.values;
    sort(got);
    std::vector<double> want = c.values;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
  }
}

TEST(SortTest, MarkersEndLast) {
  std::vector<double> v = {kMarker, 2.0, kMarker, -1.0, 0.5, kMarker, 3.0};
  sort(v);
  EXPECT_EQ(v, (std::vector<double>{-1.0, 0.5, 2.0, 3.0, kMarker, kMarker, kMarker}));
}

TEST(IndexxSpTest, ListsAPermutationInAscendingOrder) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    std::vector<int> index(c.values.size(), -1);
    const std::vector<double> arr = c.values;
    indexx_sp(arr, index);
    EXPECT_EQ(arr, c.values);

    std::vector<int> seen = index;
    std::sort(seen.begin(), seen.end());
    std::vector<int> all(index.size());
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(seen, all);

    const std::vector<int> want = stable_order(arr);
    for (std::size_t k = 0; k < index.size(); ++k) {
      ASSERT_EQ(arr[index[k]], arr[want[k]]) << "at rank " << k;
    }
  }
}

// Up to 15 elements are finished by straight insertion alone, which keeps
// equal values in their original order.
TEST(IndexxSpTest, ShortArraysKeepTiesInPositionOrder) {
  for (std::size_t n = 0; n <= 15; ++n) {
    SCOPED_TRACE(n);
    const std::vector<double> arr = tied(n, 1000 + static_cast<unsigned>(n), 3);
    std::vector<int> index(n);
    indexx_sp(arr, index);
    EXPECT_EQ(index, stable_order(arr));
  }
}

// Hand-traced: the median-of-three brings position 7 (a 2) in as pivot and
// swaps the two ends; the scans leave it in slot 10, slots 0..9 are pushed
// and slots 11..15 and then 0..9 are finished by insertion. Callers that
// draw or smooth see exactly this order of tied positions.
TEST(IndexxSpTest, TiesComeOutInTheAlgorithmsOrder) {
  const std::vector<double> arr = {2, 1, 2, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 1, 2, 1};
  std::vector<int> index(arr.size());
  indexx_sp(arr, index);
  EXPECT_EQ(index, (std::vector<int>{15, 10, 3, 4, 13, 12, 1, 11, 9, 14, 7, 8, 6, 5, 2, 0}));
}

TEST(IndexxSpTest, LengthMismatchIsFatal) {
  const std::vector<double> arr(5, 1.0);
  std::vector<int> index(4);
  try {
    indexx_sp(arr, index);
    FAIL() << "no error";
  } catch (const NrError& e) {
    EXPECT_STREQ(e.what(), "nrerror: an assert_eq failed with this tag: indexx_sp");
    EXPECT_EQ(e.stop_text(), "program terminated by assert_eq2");
  }
}

// The capacity counts integers: one pending subarray takes two, and a push
// is refused only when it would go beyond the capacity.
TEST(SortStackTest, OverflowIsFatal) {
  const std::vector<double> one_partition = tied(16, 8);
  std::vector<double> v = one_partition;
  std::vector<int> index(one_partition.size());
  EXPECT_NO_THROW(detail::sort(v, 2));
  EXPECT_NO_THROW(detail::indexx_sp(one_partition, index, 2));
  v = one_partition;
  EXPECT_THROW(detail::sort(v, 1), NrError);

  const std::vector<double> big = tied(10000, 7);
  v = big;
  index.resize(big.size());
  for (const bool indexed : {false, true}) {
    try {
      indexed ? detail::indexx_sp(big, index, 2) : detail::sort(v, 2);
      FAIL() << "no error";
    } catch (const NrError& e) {
      EXPECT_STREQ(e.what(), indexed ? "nrerror: indexx: NSTACK too small"
                                     : "nrerror: sort: NSTACK too small");
      EXPECT_EQ(e.stop_text(), "program terminated by nrerror");
    }
  }
}

}  // namespace
}  // namespace numerics

// Both sorts select values, so every comparison is exact; callers that draw
// or smooth see the order of tied positions, so that is pinned too.
#include "numerics/sort.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <numeric>
#include <random>

#include "numerics/nrerror.h"

namespace numerics {
namespace {

// Few distinct values, so that almost every element has equals.
std::vector<double> tied(std::size_t n, unsigned seed, unsigned distinct = 7) {
  std::mt19937 gen(seed);
  std::vector<double> v(n);
  for (double& x : v) x = 0.25 * (gen() % distinct);
  return v;
}

// Values against std::sort, positions against std::stable_sort where
// insertion alone runs (up to 15 elements, which keeps ties in order).
TEST(Sort, ValuesAndPositionsAgreeWithTheStandardSortsAndTiesKeepTheirOrder) {
  std::vector<double> up = tied(10000, 4, 50);
  std::sort(up.begin(), up.end());
  std::vector<std::vector<double>> cases = {tied(100, 1), tied(10000, 2), tied(10000, 3, 1000000), up,
                                            {up.rbegin(), up.rend()}, std::vector<double>(10000, 3.5), {2, 1}};
  for (unsigned n = 0; n <= 17; ++n) cases.push_back(tied(n, n, 3));
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const std::vector<double>& values = cases[c];
    std::vector<double> got = values, want = values;
    sort(got);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << "case " << c;
    std::vector<int> index(values.size(), -1), stable(values.size());
    indexx_sp(values, index);
    std::iota(stable.begin(), stable.end(), 0);
    std::stable_sort(stable.begin(), stable.end(), [&](int a, int b) { return values[a] < values[b]; });
    EXPECT_TRUE(values.size() > 15 || index == stable) << "case " << c;
    for (std::size_t k = 0; k < index.size(); ++k) got[k] = values.at(static_cast<std::size_t>(index[k]));
    EXPECT_EQ(got, want) << "case " << c;
    std::sort(index.begin(), index.end()), std::sort(stable.begin(), stable.end());
    EXPECT_EQ(index, stable) << "case " << c << ": not a permutation";
  }
  // Hand-traced: position 7 (a 2) is the pivot, the ends are swapped, the scans
  // leave it in slot 10; slots 11..15, then 0..9 are finished by insertion.
  const std::vector<double> arr = {2, 1, 2, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 1, 2, 1};
  std::vector<int> index(arr.size());
  indexx_sp(arr, index);
  EXPECT_EQ(index, (std::vector<int>{15, 10, 3, 4, 13, 12, 1, 11, 9, 14, 7, 8, 6, 5, 2, 0}));
  index.resize(10000);  // longer: the whole order as an FNV-1a hash
  indexx_sp(tied(10000, 4), index);
  unsigned long long hash = 0xcbf29ce484222325;
  for (int i : index) hash = (hash ^ static_cast<unsigned>(i)) * 0x100000001b3;
  EXPECT_EQ(hash, 0xe2d741baf1b10a69u);
}

std::string stop(const std::function<void()>& call) try {
  call();
  return "no stop";
} catch (const NrError& e) {
  return e.what() + (" / " + e.stop_text());
}

// The stack capacity counts integers: one pending subarray takes two, and a
// push is refused only beyond it. 16 elements need one push.
TEST(Sort, LengthMismatchAndStackOverflowAreFatal) {
  std::vector<int> index(4);
  EXPECT_EQ(stop([&] { indexx_sp(std::vector<double>(5, 1.0), index); }),
            "nrerror: an assert_eq failed with this tag: indexx_sp / program terminated by assert_eq2");
  std::vector<double> v = tied(16, 8);
  index.resize(16);
  EXPECT_EQ(stop([&] { detail::sort(v, 2), detail::indexx_sp(tied(16, 8), index, 2); }), "no stop");
  const std::string full = " NSTACK too small / program terminated by nrerror";
  EXPECT_EQ(stop([&] { detail::sort(v = tied(16, 8), 1); }), "nrerror: sort:" + full);
  EXPECT_EQ(stop([&] { detail::sort(v = tied(10000, 7), 2); }), "nrerror: sort:" + full);
  index.resize(10000);
  EXPECT_EQ(stop([&] { detail::indexx_sp(tied(10000, 7), index, 2); }), "nrerror: indexx:" + full);
}

}  // namespace
}  // namespace numerics

#include "morvek/bandwidth.h"

#include <gtest/gtest.h>
#include <cmath>

#include "morvek/fatal.h"
#include "morvek/rate.h"
#include "tests/test_support.h"

namespace morvek {
using namespace testing;
using List = std::vector<double>;

// Class 1: `count` events on [0, 100], two of them on its ends; class 2: one
// event; both with the same pseudodata. Class 3: two tight clusters without
// pseudodata, whose C(h) is smallest at the smallest bandwidth. C(h) at 100
// bandwidths from 0.5 to 20 on a grid with points on 0 and 100.
State withClasses(std::size_t count) {
  List real{0, 100}, pseudo{-60, -25, -3, 50, 104, 111, 170};
  for (std::size_t i = 2; i < count; ++i) real.push_back(std::fmod(i * 61.803398875, 100.0));
  std::sort(real.begin(), real.end());
  List all(pseudo.begin(), pseudo.begin() + 3);
  all.insert(all.end(), real.begin(), real.end());
  all.insert(all.end(), pseudo.begin() + 4, pseudo.end());
  State s = withData(DataType::ordinary, {0, 100});
  const List clusters{20, 20.05, 20.1, 60, 60.05, 60.1};
  setClasses(s, {0, 1, 2, 3}, {real, {50}, clusters});
  setPseudodata(s, {all, pseudo, clusters});
  s.parameters.nhsrch = 100;
  allocate4c(s);
  setGrid(s, -30, 129.375, 256);
  s.setting.hmin = 0.5;
  s.setting.hmax = 20;
  return s;
}

// C(h) by its definition: the integral of the squared estimate over the
// observation interval, less twice the leave-one-out estimate at each event.
double naiveCriterion(const State& s, std::size_t row, double h) {
  const auto t = s.data.t.row(row).first(static_cast<std::size_t>(s.setting.n[row]));
  List y(256), ft(256);
  intest(t, -30, 129.375, h, y, ft, Binning::fresh);
  double integral = 0;
  for (std::size_t j = 48; j <= 208; ++j) integral += y[j] * y[j];  // lx[48] = 0, lx[208] = 100
  long double sum = 0;
  for (double x : s.data.t4.row(row).first(static_cast<std::size_t>(s.setting.n4[row]))) {
    for (double p : t) sum += p != x ? gaussianKernel(x - p, h) : 0;
  }
  return integral * 100 / 161 - 2 * static_cast<double>(sum);
}

TEST(BandwidthTest, CriterionMatchesItsDefinitionOnAnyNumberOfThreads) {
  State s = withClasses(40), two = withClasses(40);
  std::ostringstream shown;
  {
    Progress quiet(nullptr, "", "", 0), progress(&shown, "Bandwidths", "bandwidths", 600);
    cvint(s, quiet, 1);
    cvint(two, progress, 2);
  }
  EXPECT_NE(shown.str().find("Bandwidths: 600 of 600 bandwidths"), std::string::npos);
  for (std::size_t row = 0; row < 3; ++row) {
    double best = 1e300, bestH = 0;
    for (std::size_t j = 0; j < 100; ++j) {
      const double h = static_cast<double>(j) * 19.5 / 99 + 0.5, want = naiveCriterion(s, row, h);
      ASSERT_EQ(s.data.cv.at(row, j)[0], h);
      ASSERT_NEAR(s.data.cv.at(row, j)[1], want, 1e-12 * std::max(1.0, std::abs(want))) << row << ", h = " << h;
      ASSERT_EQ(s.data.cv.at(row, j)[1], two.data.cv.at(row, j)[1]);
      if (want < best) best = want, bestH = h;
    }
    EXPECT_EQ(s.setting.hcvint[row], bestH);
  }
  EXPECT_EQ(s.setting.hcvint[2], 0.5);
}

// A bandwidth that is not positive ends the run with a message.
TEST(BandwidthTest, SearchFaultsStop) {
  State s = withClasses(40);
  s.setting.hmin = 0;
  Progress quiet(nullptr, "", "", 0);
  try {
    cvint(s, quiet, 1);
    ADD_FAILURE();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), (std::vector<std::string>{"Error in cross-validation (h):        2", ""}));
  }
}

// The ends are shown rounded: what the prompt shows is the end itself.
TEST(BandwidthTest, DialogAcceptsTheRangeIncludingItsEnds) {
  State s = withClasses(3);
  Scripted session("0.4\n20.5\n20\n");
  chsett7(s, session.console, 2);
  EXPECT_EQ(s.setting.h[1], 20.0);
  s.setting.hmin = 0.29224;
  s.setting.hmax = 55.5086;
  for (const auto& [typed, taken] :
       {std::pair{"5.551E+01", 55.5086}, {"55.51", 55.5086}, {"2.922E-01", 0.29224}, {"55.5", 55.5}}) {
    Scripted shown(std::string(typed) + "\n");
    chsett7(s, shown.console, 1);
    EXPECT_EQ(s.setting.h[0], taken) << typed;
  }
  Scripted beyond("55.52\n0.2921\n5.552E+01\n0.29\n1e3\n");
  EXPECT_THROW(chsett7(s, beyond.console, 1), Fatal);
}

}  // namespace morvek

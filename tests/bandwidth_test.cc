#include "morvek/bandwidth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "morvek/fatal.h"
#include "morvek/rate.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using testing::Scripted;

// One class per list of real events on [0, 100], each with the given
// pseudodata on both sides, and the grid over [-30, 130].
State withClasses(const std::vector<std::vector<double>>& events, const std::vector<double>& left,
                  const std::vector<double>& right) {
  State s;
  Setting& g = s.setting;
  g.tobsl = 0;
  g.tobsr = 100;
  g.l = static_cast<int>(events.size());
  g.hmin = 0.5;
  g.hmax = 20;
  s.parameters.ngrid = 256;
  s.parameters.nhsrch = 100;
  allocate3a(s);
  for (std::size_t j = 0; j < events.size(); ++j) g.n4[j] = static_cast<int>(events[j].size());
  allocate3b(s);
  init3c(s);
  allocate4a(s);
  allocate4b(s);
  allocate4c(s);
  allocate4e(s);
  allocate4f(s, 300);
  for (std::size_t j = 0; j < events.size(); ++j) {
    std::vector<double> all = left;
    all.insert(all.end(), events[j].begin(), events[j].end());
    all.insert(all.end(), right.begin(), right.end());
    g.n[j] = static_cast<int>(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) s.data.t.at(j, i) = all[i];
    for (std::size_t i = 0; i < events[j].size(); ++i) s.data.t4.at(j, i) = events[j][i];
  }
  for (std::size_t j = 0; j < 256; ++j) s.data.lx[j] = -30.0 + 160.0 * static_cast<double>(j) / 255;
  return s;
}

double kernel(double d, double h) {
  return std::exp(-d * d / (2 * h * h)) / (h * std::sqrt(2 * std::numbers::pi));
}

// C(h) straight from its definition.
double naiveCriterion(const std::vector<double>& events, const std::vector<double>& left,
                      const std::vector<double>& right, double h) {
  std::vector<double> all = left;
  all.insert(all.end(), events.begin(), events.end());
  all.insert(all.end(), right.begin(), right.end());
  std::vector<double> y(256), ft(256);
  intest(all, -30.0, 130.0, h, y, ft, Binning::fresh);
  double integral = 0;
  int inside = 0;
  for (std::size_t j = 0; j < 256; ++j) {
    const double t = -30.0 + 160.0 * static_cast<double>(j) / 255;
    if (0 <= t && t <= 100) integral += y[j] * y[j], ++inside;
  }
  integral = integral * 100 / inside;
  double sum = 0;
  for (double x : events) {
    for (double p : left) sum += kernel(x - p, h);
    for (double p : right) sum += kernel(x - p, h);
    for (double other : events) {
      if (other != x) sum += kernel(x - other, h);
    }
  }
  return integral - 2 * sum;
}

TEST(BandwidthTest, SearchRangeFromTheDataSpan) {
  State s;
  s.setting.n1 = 2;
  allocate0(s);
  s.data.t1[0] = 1900;
  s.data.t1[1] = 2000;
  s.setting.n3 = 20;
  hminmax(s);
  EXPECT_EQ(s.setting.hmin, 2.5);
  EXPECT_EQ(s.setting.hmax, 50.0);
}

TEST(BandwidthTest, CriterionMatchesItsDefinition) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> within(0.0, 100.0);
  std::vector<double> events(40);
  for (double& t : events) t = within(gen);
  std::sort(events.begin(), events.end());
  const std::vector<double> left{-60, -25, -3}, right{104, 111, 170};
  const std::vector<double> single{50};
  State s = withClasses({events, single}, left, right);
  Progress quiet(nullptr, "", "", 0);
  cvint(s, quiet);
  for (std::size_t row = 0; row < 2; ++row) {
    const auto& real = row == 0 ? events : single;
    double best = 1e300, bestH = 0;
    for (std::size_t j = 0; j < 100; ++j) {
      const double h = static_cast<double>(j) * 19.5 / 99 + 0.5;
      ASSERT_EQ(s.data.cv.at(row, j)[0], h);
      const double want = naiveCriterion(real, left, right, h);
      ASSERT_NEAR(s.data.cv.at(row, j)[1], want, 1e-12 * std::max(1.0, std::abs(want)))
          << "class " << row + 1 << ", h = " << h;
      if (s.data.cv.at(row, j)[1] < best) best = s.data.cv.at(row, j)[1], bestH = h;
    }
    EXPECT_EQ(s.setting.hcvint[row], bestH);
  }
}

TEST(BandwidthTest, ThreadsDoNotChangeTheResult) {
  std::mt19937 gen(9);
  std::uniform_real_distribution<double> within(0.0, 100.0);
  std::vector<double> events(200);
  for (double& t : events) t = within(gen);
  std::sort(events.begin(), events.end());
  State one = withClasses({events}, {-40, -10}, {115});
  State two = withClasses({events}, {-40, -10}, {115});
  std::ostringstream shown;
  {
    Progress quiet(nullptr, "", "", 0);
    cvint(one, quiet, 1);
    Progress progress(&shown, "Bandwidths", "bandwidths", 100);
    cvint(two, progress, 2);
  }
  for (std::size_t j = 0; j < 100; ++j) {
    ASSERT_EQ(one.data.cv.at(0, j)[1], two.data.cv.at(0, j)[1]) << j;
  }
  EXPECT_EQ(one.setting.hcvint[0], two.setting.hcvint[0]);
  EXPECT_NE(shown.str().find("Bandwidths: 100 of 100 bandwidths"), std::string::npos);
}

TEST(BandwidthTest, ANonPositiveSearchRangeStops) {
  State s = withClasses({{10, 20, 30}}, {}, {});
  s.setting.hmin = 0;
  Progress quiet(nullptr, "", "", 0);
  try {
    cvint(s, quiet);
    ADD_FAILURE();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), (std::vector<std::string>{"Error in cross-validation (h):        2", ""}));
  }
}

// Too many events for the memory the kernel distances would take end the
// run with a message, before anything is allocated for them.
TEST(BandwidthTest, TooManyKernelDistancesStop) {
  std::vector<double> events(40);
  for (std::size_t i = 0; i < events.size(); ++i) events[i] = 2.5 * static_cast<double>(i);
  // 40 * 6 event-pseudodatum distances and 40 * 39 / 2 pairs: 1020.
  const std::vector<double> left{-60, -25, -3}, right{104, 111, 170};
  Progress quiet(nullptr, "", "", 0);
  State fits = withClasses({events}, left, right);
  cvint(fits, quiet, 1, 1020);
  EXPECT_GT(fits.setting.hcvint[0], 0);
  State over = withClasses({events}, left, right);
  try {
    cvint(over, quiet, 1, 1019);
    ADD_FAILURE();
  } catch (const Fatal& fatal) {
    EXPECT_EQ(fatal.lines(), std::vector<std::string>{"Subroutine cvint: space requested not possible"});
  }
  EXPECT_GT(kernelDistanceLimit(), std::size_t{1} << 20);
}

TEST(BandwidthTest, DialogAcceptsTheRangeIncludingItsEnds) {
  State s = withClasses({{10, 20, 30}, {40, 50, 60}}, {}, {});
  s.setting.hcvint[1] = 3.25;
  Scripted session("abc\n0.4\n20.5\n20\n");
  chsett7(s, session.console, 2);
  EXPECT_EQ(s.setting.h[1], 20.0);
  const std::string prompt = lines({"", "Class  2 - kernel bandwidth h [time units]",
                                    " 5.000E-01 <= [h] <=  2.000E+01    - h_cv:  3.250E+00"});
  EXPECT_EQ(session.text(), prompt + prompt + prompt + prompt);
  Scripted wrong("x\nx\nx\nx\nx\n");
  EXPECT_THROW(chsett7(s, wrong.console, 1), Fatal);

  // The ends are shown rounded: what the prompt shows is the end itself.
  s.setting.hmin = 0.29224;
  s.setting.hmax = 55.5086;
  for (const auto& [typed, taken] : {std::pair{"5.551E+01", 55.5086}, {"55.51", 55.5086},
                                     {"2.922E-01", 0.29224}, {"55.5", 55.5}}) {
    Scripted shown(std::string(typed) + "\n");
    chsett7(s, shown.console, 1);
    EXPECT_EQ(s.setting.h[0], taken) << typed;
  }
  Scripted beyond("55.52\n0.2921\n5.552E+01\n0.29\n1e3\n");
  EXPECT_THROW(chsett7(s, beyond.console, 1), Fatal);
}

}  // namespace
}  // namespace morvek

#include "morvek/background.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::lines;
using testing::RecordingRunner;
using testing::Scripted;
using testing::ScratchDir;

// Running median by sorting every window; `leaveOut` drops the centre.
std::vector<double> naiveRunmed(const std::vector<double>& x, int k, bool leaveOut) {
  const auto n = static_cast<int>(x.size());
  std::vector<double> y(x.size());
  for (int i = k; i < n - k; ++i) {
    std::vector<double> w;
    for (int j = i - k; j <= i + k; ++j) {
      if (!(leaveOut && j == i)) w.push_back(x[static_cast<std::size_t>(j)]);
    }
    std::sort(w.begin(), w.end());
    const auto m = static_cast<std::size_t>(k);
    y[static_cast<std::size_t>(i)] = leaveOut ? 0.5 * (w[m - 1] + w[m]) : w[m];
  }
  for (int i = 0; i < k; ++i) {
    y[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(k)];
    y[static_cast<std::size_t>(n - 1 - i)] = y[static_cast<std::size_t>(n - 1 - k)];
  }
  return y;
}

struct Naive {
  std::vector<double> c1, cm;
  int kcv1 = 0, kcvm = 0;
};

// Both criteria straight from their definitions, with the first minimum kept.
Naive naiveCvmed(const std::vector<double>& x, int kmin, int kmax) {
  Naive out;
  double best1 = 1e300, bestm = 1e300;
  for (int k = kmin; k <= kmax; ++k) {
    const std::vector<double> y = naiveRunmed(x, k, true);
    std::vector<double> r(x.size());
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) sum += r[i] = std::abs(x[i] - y[i]);
    std::sort(r.begin(), r.end());
    const std::size_t n = r.size();
    const double c1 = sum / static_cast<double>(n);
    const double cm = n % 2 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) / 2;
    out.c1.push_back(c1);
    out.cm.push_back(cm);
    if (c1 < best1) best1 = c1, out.kcv1 = k;
    if (cm < bestm) bestm = cm, out.kcvm = k;
  }
  return out;
}

std::vector<double> noisySeries(std::size_t n, unsigned seed, int levels) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, levels);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = 0.5 * pick(gen) + (i % 17 == 0 ? 9.0 : 0.0);
  return x;
}

CvMedData entries(int count) {
  CvMedData cm;
  cm.cv1.create(count);
  cm.cvm.create(count);
  cm.cvj.create(count);
  return cm;
}

TEST(CvmedTest, MatchesBothCriteriaComputedDirectly) {
  for (const std::size_t n : {40u, 41u, 7u, 120u}) {
    for (const int levels : {3, 1000}) {
      const std::vector<double> x = noisySeries(n, static_cast<unsigned>(n) + levels, levels);
      const int kmax = std::max(3, static_cast<int>((n - 1) / 2));
      CvMedData cm = entries(kmax - 2);
      int kcv1 = -1, kcvm = -1;
      Progress quiet(nullptr, "", "", 0);
      cvmed(x, 3, kmax, cm, kcv1, kcvm, quiet);
      const Naive want = naiveCvmed(x, 3, kmax);
      SCOPED_TRACE("n = " + std::to_string(n) + ", levels = " + std::to_string(levels));
      for (int j = 0; j < kmax - 2; ++j) {
        const auto at = static_cast<std::size_t>(j);
        EXPECT_EQ(cm.cvj[at], 3 + j);
        EXPECT_EQ(cm.cv1[at], want.c1[at]);
        EXPECT_EQ(cm.cvm[at], want.cm[at]);
      }
      EXPECT_EQ(kcv1, want.kcv1);
      EXPECT_EQ(kcvm, want.kcvm);
    }
  }
}

TEST(CvmedTest, ConstantSeriesKeepsTheSmallestWindow) {
  const std::vector<double> x(30, 4.25);
  CvMedData cm = entries(5);
  int kcv1 = -1, kcvm = -1;
  Progress quiet(nullptr, "", "", 0);
  cvmed(x, 3, 7, cm, kcv1, kcvm, quiet);
  EXPECT_EQ(kcv1, 3);
  EXPECT_EQ(kcvm, 3);
  EXPECT_EQ(cm.cv1[4], 0.0);
}

TEST(CvmedTest, ThreadsDoNotChangeTheResult) {
  std::mt19937 gen(7);
  std::normal_distribution<double> noise;
  std::vector<double> x(3000);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.01 * static_cast<double>(i)) + noise(gen);
  const int kmax = 750;
  CvMedData one = entries(kmax - 2), two = entries(kmax - 2);
  int a1, am, b1, bm;
  std::ostringstream shown;
  {
    Progress quiet(nullptr, "", "", 0);
    cvmed(x, 3, kmax, one, a1, am, quiet, 1);
    Progress progress(&shown, "Windows", "windows", kmax - 2);
    cvmed(x, 3, kmax, two, b1, bm, progress, 2);
  }
  EXPECT_EQ(a1, b1);
  EXPECT_EQ(am, bm);
  EXPECT_TRUE(std::equal(one.cv1.begin(), one.cv1.end(), two.cv1.begin()));
  EXPECT_TRUE(std::equal(one.cvm.begin(), one.cvm.end(), two.cvm.begin()));
  // The last count drawn is the total, and the line is erased at the end.
  const std::string text = shown.str();
  EXPECT_NE(text.find("Windows: 748 of 748 windows, "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r")) << text;
}

// An extracted series ready for the window dialog.
State series(std::vector<double> x) {
  State s;
  s.setting.datatype = DataType::ordinary;
  s.setting.n1 = s.setting.n2 = static_cast<int>(x.size());
  allocate1(s);
  for (std::size_t i = 0; i < x.size(); ++i) s.data.t2[i] = static_cast<double>(i);
  s.data.x2.assign(x);
  chsett3a(s);
  allocate2a(s);
  allocate2c(s);
  init2a(s);
  init2b(s);
  init2c(s);
  return s;
}

TEST(WindowDialogTest, LimitsTheWindowToTheSeries) {
  State s = series(std::vector<double>(10, 1.0));
  EXPECT_EQ(s.setting.kmax, 3);  // 0.25 * 10 is below kmin
  s.parameters.krel = 0.5;
  chsett3a(s);
  EXPECT_EQ(s.setting.kmax, 4);  // not 5: a window of 11 points would not fit
  s.setting.n2 = 40;
  s.parameters.krel = 0.25;
  chsett3a(s);
  EXPECT_EQ(s.setting.kmax, 10);
  s.setting.n2 = 7;
  chsett3a(s);
  EXPECT_EQ(s.setting.kmax, 3);
}

TEST(WindowDialogTest, ShowsTheCriteriaAndAsksUntilAWindowFits) {
  ScratchDir dir;
  std::vector<double> x = noisySeries(40, 3, 20);
  State s = series(x);
  const Naive want = naiveCvmed(x, 3, 10);
  auto i6 = [](int v) {
    const std::string digits = std::to_string(v);
    return std::string(6 - digits.size(), ' ') + digits;
  };
  Scripted session("\nx\n\n2\n\n11\n\n7\n");
  RecordingRunner runner;
  chsett4(s, session.console, runner);
  EXPECT_EQ(s.setting.k, 7);
  EXPECT_EQ(s.setting.kcv1, want.kcv1);
  EXPECT_EQ(s.setting.kcvm, want.kcvm);
  std::string block = lines({"", "Background estimation via running-median smoothing (2 * k + 1 window points)",
                             "", "k_cv1  = " + i6(want.kcv1),
                             "k_cvm  = " + i6(want.kcvm), "",
                             "Continue with Enter to inspect cross-validation functions",
                             "k:            3 <= [INT] <=     10"});
  EXPECT_EQ(session.text(), emptyLines(2) + block + block + block + block);
  EXPECT_EQ(runner.commands.size(), 4u);  // the curves at every attempt
  EXPECT_NE(runner.dataFiles[0].find("       10"), std::string::npos);

  // A later pass shows the stored curves again without recomputing them.
  s.cvmeddata.cv1[0] = 123.0;
  Scripted again("\n3\n");
  chsett4(s, again.console, runner);
  EXPECT_EQ(s.cvmeddata.cv1[0], 123.0);
  EXPECT_EQ(s.setting.k, 3);

  Scripted wrong("\n2\n\n2\n\n2\n\n2\n\n2\n");
  EXPECT_THROW(chsett4(s, wrong.console, runner), Fatal);
}

TEST(BackgroundTest, BackgroundAndVariabilityAreRunningMedians) {
  const std::vector<double> x = noisySeries(60, 11, 9);
  State s = series(x);
  s.setting.k = 4;
  Scripted session;
  background(s, session.console);
  const std::vector<double> b = naiveRunmed(x, 4, false);
  std::vector<double> d(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) d[i] = std::abs(x[i] - b[i]);
  const std::vector<double> v = naiveRunmed(d, 4, false);
  EXPECT_EQ(std::vector<double>(s.data.b2.begin(), s.data.b2.end()), b);
  EXPECT_EQ(std::vector<double>(s.data.v2.begin(), s.data.v2.end()), v);
  EXPECT_EQ(session.text(), "");
}

TEST(BackgroundTest, ZeroVariabilityIsWarnedOf) {
  State s = series(std::vector<double>(9, 2.0));
  s.setting.k = 3;
  Scripted session("\n");
  background(s, session.console);
  EXPECT_EQ(s.data.b2[0], 2.0);
  EXPECT_EQ(s.data.v2[8], 0.0);
  EXPECT_EQ(session.text(), lines({"There exist points where time-dependent variability is very low",
                                   "This may cause problems with plotting and calculation", "",
                                   "You may (1) choose a larger k",
                                   "        (2) rescale the x data and start Morvek new",
                                   "Continue with Enter"}));
  Scripted closed;
  EXPECT_THROW(background(s, closed.console), Fatal);
}

}  // namespace
}  // namespace morvek

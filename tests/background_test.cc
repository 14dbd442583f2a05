#include "morvek/background.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <numeric>

#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

// Levels 0.5 apart (scrambled), a spike at every 17th point.
std::vector<double> noisySeries(std::size_t n, unsigned seed, unsigned levels) {
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = 0.5 * ((i * i * 7919 + i * seed) % (levels + 1)) + (i % 17 ? 0 : 9);
  return x;
}

// An extracted series ready for the window dialog; the times do not matter.
State series(const std::vector<double>& x, double krel = 0.25, int k = kUnsetInt) {
  State s = testing::withData(DataType::ordinary, x, x);
  s.parameters.krel = krel;
  chsett3a(s);
  enter(s, Stage::detection);
  s.setting.k = k;
  return s;
}

// C_1 and C_m by definition (mean and median of the absolute leave-one-out
// residuals) against cvmed on one thread and on two; ties keep the smaller k.
TEST(Cvmed, MatchesBothCriteriaOnAnyNumberOfThreads) {
  std::vector<std::vector<double>> cases = {std::vector<double>(30, 4.25)};  // every criterion 0
  for (unsigned n : {7, 40, 41, 120}) cases.insert(cases.end(), {noisySeries(n, n, 3), noisySeries(n, n, 1000)});
  for (const std::vector<double>& x : cases) {
    const int kmax = static_cast<int>(x.size() - 1) / 2;
    std::vector<double> c1, cm;
    for (int k = 3; k <= kmax; ++k) {
      const std::vector<double> y = testing::bruteRunmed(x, k, true);
      std::vector<double> r(x.size());
      for (std::size_t i = 0; i < x.size(); ++i) r[i] = std::abs(x[i] - y[i]);
      c1.push_back(std::accumulate(r.begin(), r.end(), 0.0) / static_cast<double>(r.size()));
      std::sort(r.begin(), r.end());
      cm.push_back((r[(r.size() - 1) / 2] + r[r.size() / 2]) / 2);
    }
    for (unsigned threads : {1, 2}) {
      State s = series(x, 0.5);  // kmax = (n - 1) / 2
      std::ostringstream shown;
      [&](Progress&& progress) { cvmed(x, 3, kmax, s.cvmeddata, s.setting.kcv1, s.setting.kcvm, progress, threads); }(
          Progress(threads == 1 ? nullptr : &shown, "Windows", "windows", kmax - 2));
      for (std::size_t j = 0; j < c1.size(); ++j) {
        EXPECT_EQ(std::tuple(s.cvmeddata.cvj[j], s.cvmeddata.cv1[j], s.cvmeddata.cvm[j]),
                  std::tuple(3 + static_cast<int>(j), c1[j], cm[j])) << "n = " << x.size() << ", threads " << threads;
      }
      EXPECT_EQ(s.setting.kcv1, 3 + std::min_element(c1.begin(), c1.end()) - c1.begin()) << "n = " << x.size();
      EXPECT_EQ(s.setting.kcvm, 3 + std::min_element(cm.begin(), cm.end()) - cm.begin()) << "n = " << x.size();
      // The last count drawn is the total, and the line is erased at the end.
      const std::string text = shown.str(), last = std::to_string(kmax - 2);
      EXPECT_TRUE(threads == 1 || (text.find(last + " of " + last + " windows") != text.npos && text.ends_with("\r")));
    }
  }
}

TEST(WindowDialogAndBackground, LimitsAnswersCurvesMediansAndTheLowVariabilityWarning) {
  // kmax = krel * n, at least kmin = 3 and at most what fits (not 5 of 10).
  State s = series(std::vector<double>(10, 1.0));
  const auto kmax = [&](int n2, double krel) {
    return s.setting.n2 = n2, s.parameters.krel = krel, chsett3a(s), s.setting.kmax;
  };
  EXPECT_EQ(std::vector({kmax(10, 0.25), kmax(10, 0.5), kmax(40, 0.25), kmax(7, 0.25)}), std::vector({3, 4, 10, 3}));
  testing::ScratchDir dir;
  s = series(noisySeries(40, 3, 20));
  testing::Scripted session("\nx\n\n2\n\n11\n\n10\n");  // x, 2 and 11 refused; kmax taken
  testing::RecordingRunner runner;
  chsett4(s, session.console, runner);
  EXPECT_EQ(std::tuple(s.setting.k, s.setting.kcv1, s.setting.kcvm), std::tuple(10, 4, 7));  // as C_1, C_m give
  EXPECT_EQ(runner.commands.size(), 4u);  // the curves at every attempt
  // The background and the variability, and the warning when it is near 0.
  const std::vector<double> x = noisySeries(60, 11, 9);
  s = series(x, 0.25, 4);
  testing::Scripted quiet, warned("\n"), closed;
  background(s, quiet.console);
  const std::vector<double> b = testing::bruteRunmed(x, 4, false);
  std::vector<double> d(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) d[i] = std::abs(x[i] - b[i]);
  EXPECT_TRUE(std::ranges::equal(s.data.b2, b) && std::ranges::equal(s.data.v2, testing::bruteRunmed(d, 4, false)));
  s = series(std::vector<double>(9, 2.0), 0.25, 4);
  background(s, warned.console);
  testing::expectGolden("background_warning.txt", warned.text());
  EXPECT_THROW(background(s, closed.console), Fatal);
}

}  // namespace
}  // namespace morvek

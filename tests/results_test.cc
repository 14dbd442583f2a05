#include "morvek/results.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>
#include <filesystem>
#include <functional>
#include <limits>

#include "morvek/classes.h"
#include "morvek/extremes.h"
#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "morvek/resultfile.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;
using Lines = std::vector<std::string>;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Classes with a bandwidth and a number of simulations each.
void classify(State& s, std::vector<double> bounds, const std::vector<std::vector<double>>& times,
              std::vector<double> bandwidths, std::vector<int> simulations) {
  setClasses(s, std::move(bounds), times);
  s.setting.h = held(bandwidths);
  s.setting.nsim = held(simulations);
}

// Ten yearly values with three extremes below a negative threshold; the one
// on zero variability has an infinite scaled value.
State series() {
  State s = withData(DataType::ordinary, {2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010},
                     {5.0, 4.5, 1.0, 5.5, 6.0, 2.0, 5.25, 4.75, 0.5, 5.0});
  s.setting.k = 2;
  s.setting.z = -1.5;
  setSmoothed(s, {5.0, 5.0, 4.5, 5.0, 5.25, 5.0, 5.0, 4.75, 4.0, 4.75},
              {0.5, 0.5, 1.25, 0.5, 0.75, 0.0, 0.25, 0.25, 2.0, 0.25});
  setExtremes(s, {2003, 2006, 2009}, {-2.8, -kInf, -1.75});
  classify(s, {-kInf, -1.75}, {{2003, 2006, 2009}}, {1.5}, {1000});
  return s;
}

// Event times only: one class of five events, one pseudodatum on each side;
// rate curves on a grid of six points (ngrid is set where the rates are
// written) that reaches past [tobsl, tobsr] = [0, 100] on both sides and
// hits both ends exactly.
State oneClassOfTimes() {
  State s = withData(DataType::times, {12, 30, 41, 65, 88});
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  setExtremes(s, {12, 30, 41, 65, 88});
  classify(s, {kUnsetReal, kUnsetReal}, {{12, 30, 41, 65, 88}}, {20.0}, {2000});
  setPseudodata(s, {{-12, 12, 30, 41, 65, 88, 112}});
  s.data.lx = held<double>({-10, 0, 25, 50, 100, 110});
  s.data.ly = table({{0.031, 0.0425, 0.051, kRiskFloor, 0.0375, 0.02}});
  s.data.lyl = table({{0.01, 0.0, 0.021, kRiskFloor, 0.0125, 0.0}});
  s.data.lyu = table({{0.052, 0.0875, 0.0905, 0.0001, 0.064, 0.041}});
  s.data.u = held<double>({-1.234});
  s.data.p = held<double>({0.8915});
  return s;
}

// Seven extremes in three classes of 4, 2 and 1 events; class 3 has its
// curves reset, as a return to the rate estimation leaves them.
State threeClassesOfExtremes() {
  const std::vector<double> t{3, 14, 27, 35, 52, 68, 90}, x{1.5, 3.5, 1.25, 2.5, 1.0, 2.25, 1.75};
  State s = withData(DataType::extreme, t, x);
  s.setting.tobsl = 0;
  s.setting.tobsr = 100;
  setExtremes(s, t, x);
  classify(s, {1.0, 2.0, 3.0, 3.5}, {{3, 27, 52, 90}, {35, 68}, {14}}, {10.0, 25.0, 40.0}, {500, 500, 200});
  setPseudodata(s, {{-3, 3, 27, 52, 90, 110}, {-35, 35, 68, 132}, {-14, 14, 186}});
  s.data.lx = held<double>({-5, 0, 50, 100, 105});
  s.data.ly = table({{0.05, 0.04, 0.03, 0.02, 0.01}, {0.1, 0.2, 0.3, 0.4, 0.5}, {}});
  s.data.lyl = table({{0.04, 0.03, 0.02, 0.01, 0.0}, {0.05, 0.15, 0.25, 0.35, 0.45}, {}});
  s.data.lyu = table({{0.06, 0.05, 0.04, 0.03, 0.02}, {0.15, 0.25, 0.35, 0.45, 0.55}, {}});
  s.data.u = held<double>({0.5, 2.75, -0.125});
  s.data.p = held<double>({0.3085, 0.00298, 0.5497});
  return s;
}

const std::function<void(const State&)> kWriters[] = {output1, output2, output3};

// The golden copies pin the whole layout: the summary blocks, then for
// morvek-1.dat the series with the extremes beside (the threshold from the
// background, variability and z); for morvek-2.dat the dates with and
// without pseudodata, the unset value where a class is shorter; for
// morvek-3.dat the test and the curves inside the observation interval only,
// a reset curve as the unset value. Counts larger than the arrays, released
// arrays and unset counts write what the arrays hold, the rest as the unset
// value (tests/golden/results_counts.txt). Each file is written over an
// older, longer one and once more over itself.
TEST(ResultFilesTest, EachFileMatchesItsGoldenCopy) {
  ScratchDir dir;
  const auto none = [](State&) {};
  const struct { const char* golden; int file; State (*make)(); void (*change)(State&); } cases[] = {
      {"results_morvek1.dat", 1, series, none},
      {"results_morvek2_one.dat", 2, oneClassOfTimes, none},
      {"results_morvek2_three.dat", 2, threeClassesOfExtremes, none},
      {"results_morvek3_one.dat", 3, oneClassOfTimes, [](State& s) { s.parameters.ngrid = 6; }},
      {"results_morvek3_three.dat", 3, threeClassesOfExtremes, [](State& s) { s.parameters.ngrid = 5; }},
      {"n2 = 50, n3 = 20, no background", 1, series,
       [](State& s) { s.setting.n2 = 50; s.setting.n3 = 20; s.data.b2.release(); }},
      {"n2 and n3 unset", 1, series, [](State& s) { s.setting.n2 = s.setting.n3 = kUnsetInt; }},
      {"n4 and n beyond t4 and t", 2, threeClassesOfExtremes,
       [](State& s) { s.setting.n4 = held<int>({9, 2, 1}); s.setting.n = held<int>({4, 30, 3}); }},
      {"no pseudodata", 2, threeClassesOfExtremes, [](State& s) { s.data.t.release(); }},
      {"ngrid = 100, one class of results", 3, threeClassesOfExtremes,
       [](State& s) { s.parameters.ngrid = 100; s.data.u = held<double>({0.5}); s.data.ly = table({{0.05, 0.04}}); }},
      {"no classes", 3, threeClassesOfExtremes, [](State& s) { s.parameters.ngrid = 5; s.setting.l = kUnsetInt; }},
  };
  std::string counts;
  for (const auto& c : cases) {
    State s = c.make();
    c.change(s);
    const std::string file = "morvek-" + std::to_string(c.file) + ".dat";
    writeFile(file, std::string(20000, 'x') + "\n");
    kWriters[c.file - 1](s);
    const std::string text = readFile(file);
    kWriters[c.file - 1](s);
    EXPECT_EQ(readFile(file), text) << c.golden << " was appended to";
    if (std::string(c.golden).ends_with(".dat")) {
      expectGolden(c.golden, text);
    } else {
      counts += "== " + std::string(c.golden) + " ==\n" + text;
    }
  }
  expectGolden("results_counts.txt", counts);
}

Lines fatalLines(const std::function<void()>& action) {
  try {
    action();
  } catch (const Fatal& fatal) {
    return fatal.lines();
  }
  return {"(the run went on)"};
}

// A full device takes the opening but no byte: the failure shows at the
// first block, and the flush at the close must not pass for success. With
// room for the summary blocks only, the blocks go through and the table
// does not; beyond the limit a write fails with EFBIG instead of the signal
// that would end the test process. An append needs the file to exist, and a
// file that cannot be created is an opening failure as well.
TEST(ResultFilesTest, FailedWritesAndOpeningsStop) {
  ScratchDir dir;
  const State states[] = {series(), threeClassesOfExtremes(), threeClassesOfExtremes()};
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  for (int i = 0; i < 3; ++i) {
    const std::string file = "morvek-" + std::to_string(i + 1) + ".dat";
    const Lines failed{"Error during data file writing: " + file};
    std::filesystem::create_symlink("/dev/full", file);
    EXPECT_EQ(fatalLines([&] { kWriters[i](states[i]); }), failed);
    std::filesystem::remove(file);
    info1(states[i], file);
    info2(states[i], file);
    info3(states[i], file);
    const std::string blocks = readFile(file);
    const rlimit limited{blocks.size(), saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    const Lines stop = fatalLines([&] { kWriters[i](states[i]); });
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(stop, failed);
    EXPECT_EQ(readFile(file), blocks);
  }
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(fatalLines([] { appendLines("/dev/full", {"x"}); }), Lines{"Error during data file writing: /dev/full"});
  EXPECT_EQ(fatalLines([] { appendLines("new.dat", {"a line"}); }), Lines{"Error during data file opening"});
  EXPECT_FALSE(std::filesystem::exists("new.dat"));
  std::filesystem::remove("morvek-1.dat");
  std::filesystem::create_directory("morvek-1.dat");
  EXPECT_EQ(fatalLines([&] { output1(states[0]); }), Lines{"Error during data file opening"});
}

}  // namespace
}  // namespace morvek

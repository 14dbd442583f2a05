#include "morvek/results.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <sstream>

#include "morvek/classes.h"
#include "morvek/extremes.h"
#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "morvek/resultfile.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::expectGolden;
using testing::lines;
using testing::readFile;
using testing::ScratchDir;
using testing::Scripted;
using testing::writeFile;

constexpr double kInf = std::numeric_limits<double>::infinity();

template <class T>
Held<T> held(std::vector<T> values) {
  Held<T> a;
  a.assign(values);
  return a;
}

// A class-first table; rows shorter than the longest end in the unset value,
// as the workspace initialisation leaves them.
Held2<double> table(const std::vector<std::vector<double>>& rows) {
  std::size_t cols = 0;
  for (const auto& row : rows) cols = std::max(cols, row.size());
  Held2<double> a;
  a.create(static_cast<long long>(rows.size()), static_cast<long long>(cols));
  a.fill(kUnsetReal);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) a.at(r, c) = rows[r][c];
  }
  return a;
}

// The whole data are the extracted interval, over [tobsl, tobsr].
State read(DataType type, std::vector<double> times, std::vector<double> values, double tobsl,
           double tobsr) {
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = "data/flows.txt";
  s.setting.n1 = s.setting.n2 = static_cast<int>(times.size());
  s.data.t1 = s.data.t2 = held(times);
  if (type != DataType::times) s.data.x1 = s.data.x2 = held(values);
  s.setting.tobsl = tobsl;
  s.setting.tobsr = tobsr;
  return s;
}

// Classes as the class dialog leaves them, with a bandwidth and a band per class.
void classify(State& s, std::vector<double> bounds, std::vector<std::vector<double>> times,
              std::vector<double> bandwidths, std::vector<int> simulations) {
  Setting& g = s.setting;
  g.l = static_cast<int>(times.size());
  g.c = held(bounds);
  std::vector<int> counts;
  for (const auto& row : times) counts.push_back(static_cast<int>(row.size()));
  g.n4 = held(counts);
  s.data.t4 = table(times);
  g.h = held(bandwidths);
  g.nsim = held(simulations);
}

// Event times with the pseudodata of the boundary correction.
void extend(State& s, std::vector<std::vector<double>> times) {
  std::vector<int> counts;
  for (const auto& row : times) counts.push_back(static_cast<int>(row.size()));
  s.setting.n = held(counts);
  s.data.t = table(times);
}

// Ten yearly values with three extremes below a negative threshold; the one
// on zero variability has an infinite scaled value.
State series() {
  State s = read(DataType::ordinary, {2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010},
                 {5.0, 4.5, 1.0, 5.5, 6.0, 2.0, 5.25, 4.75, 0.5, 5.0}, 2001, 2010);
  Setting& g = s.setting;
  g.k = 2;
  g.z = -1.5;
  s.data.b2 = held<double>({5.0, 5.0, 4.5, 5.0, 5.25, 5.0, 5.0, 4.75, 4.0, 4.75});
  s.data.v2 = held<double>({0.5, 0.5, 1.25, 0.5, 0.75, 0.0, 0.25, 0.25, 2.0, 0.25});
  g.n3 = 3;
  s.data.t3 = held<double>({2003, 2006, 2009});
  s.data.x3 = held<double>({-2.8, -kInf, -1.75});
  classify(s, {-kInf, -1.75}, {{2003, 2006, 2009}}, {1.5}, {1000});
  return s;
}

// Event times only: one class of five events, one pseudodatum on each side.
State oneClassOfTimes() {
  State s = read(DataType::times, {12, 30, 41, 65, 88}, {}, 0, 100);
  s.setting.n3 = 5;
  s.data.t3 = held<double>({12, 30, 41, 65, 88});
  classify(s, {kUnsetReal, kUnsetReal}, {{12, 30, 41, 65, 88}}, {20.0}, {2000});
  extend(s, {{-12, 12, 30, 41, 65, 88, 112}});
  return s;
}

// Seven extremes in three classes of 4, 2 and 1 events.
State threeClassesOfExtremes() {
  State s = read(DataType::extreme, {3, 14, 27, 35, 52, 68, 90},
                 {1.5, 3.5, 1.25, 2.5, 1.0, 2.25, 1.75}, 0, 100);
  s.setting.n3 = 7;
  s.data.t3 = s.data.t2;
  s.data.x3 = s.data.x2;
  classify(s, {1.0, 2.0, 3.0, 3.5}, {{3, 27, 52, 90}, {35, 68}, {14}}, {10.0, 25.0, 40.0},
           {500, 500, 200});
  extend(s, {{-3, 3, 27, 52, 90, 110}, {-35, 35, 68, 132}, {-14, 14, 186}});
  return s;
}

// Rate curves on a grid that reaches past [tobsl, tobsr] = [0, 100] on both
// sides and hits both ends exactly.
State oneClassRates() {
  State s = oneClassOfTimes();
  s.parameters.ngrid = 6;
  s.data.lx = held<double>({-10, 0, 25, 50, 100, 110});
  s.data.ly = table({{0.031, 0.0425, 0.051, kRiskFloor, 0.0375, 0.02}});
  s.data.lyl = table({{0.01, 0.0, 0.021, kRiskFloor, 0.0125, 0.0}});
  s.data.lyu = table({{0.052, 0.0875, 0.0905, 0.0001, 0.064, 0.041}});
  s.data.u = held<double>({-1.234});
  s.data.p = held<double>({0.8915});
  return s;
}

// Class 3 has its curves reset since, as a return to the rate estimation
// leaves them.
State threeClassRates() {
  State s = threeClassesOfExtremes();
  s.parameters.ngrid = 5;
  s.data.lx = held<double>({-5, 0, 50, 100, 105});
  s.data.ly = table({{0.05, 0.04, 0.03, 0.02, 0.01}, {0.1, 0.2, 0.3, 0.4, 0.5}, {}});
  s.data.lyl = table({{0.04, 0.03, 0.02, 0.01, 0.0}, {0.05, 0.15, 0.25, 0.35, 0.45}, {}});
  s.data.lyu = table({{0.06, 0.05, 0.04, 0.03, 0.02}, {0.15, 0.25, 0.35, 0.45, 0.55}, {}});
  for (std::size_t j = 0; j < 5; ++j) {
    s.data.ly.at(2, j) = s.data.lyl.at(2, j) = s.data.lyu.at(2, j) = kUnsetReal;
  }
  s.data.u = held<double>({0.5, 2.75, -0.125});
  s.data.p = held<double>({0.3085, 0.00298, 0.5497});
  return s;
}

// Writes the file over an older, longer one and once more over itself:
// both times the file must hold exactly one run's output.
std::string writtenTwice(const std::function<void(const State&)>& writer, const State& s,
                         const std::string& file) {
  writeFile(file, std::string(20000, 'x') + "\n");
  writer(s);
  const std::string first = readFile(file);
  writer(s);
  EXPECT_EQ(readFile(file), first) << file << " was appended to";
  return first;
}

// The three summary blocks alone, written into `file`.
std::string summaries(const State& s, const std::string& file) {
  info1(s, file);
  info2(s, file);
  info3(s, file);
  return readFile(file);
}

// The table of a result file: everything after the three summary blocks.
std::string tableOf(const std::string& text, const State& s, const std::string& file) {
  const std::string head = summaries(s, file);
  EXPECT_EQ(text.substr(0, head.size()), head);
  return text.substr(head.size());
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::vector<std::string> fatalLines(const std::function<void()>& action) {
  try {
    action();
  } catch (const Fatal& fatal) {
    return fatal.lines();
  }
  return {"(the run went on)"};
}

// The whole layout of each file is pinned by its golden copy: the summary
// blocks, then for morvek-1.dat the series with the extremes beside (the
// threshold from the current background, variability and z); for
// morvek-2.dat the dates with and without pseudodata, the unset value where
// a class is shorter; for morvek-3.dat the test and the curves inside the
// observation interval only (grid points at -10 and 110 left out), a reset
// curve as the unset value.
TEST(ResultFilesTest, EachFileMatchesItsGoldenCopy) {
  ScratchDir dir;
  struct Case {
    std::function<void(const State&)> writer;
    State state;
    std::string file, golden;
  };
  const std::vector<Case> cases = {
      {output1, series(), "morvek-1.dat", "results_morvek1.dat"},
      {output2, oneClassOfTimes(), "morvek-2.dat", "results_morvek2_one.dat"},
      {output2, threeClassesOfExtremes(), "morvek-2.dat", "results_morvek2_three.dat"},
      {output3, oneClassRates(), "morvek-3.dat", "results_morvek3_one.dat"},
      {output3, threeClassRates(), "morvek-3.dat", "results_morvek3_three.dat"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    const std::string text = writtenTwice(c.writer, c.state, c.file);
    expectGolden(c.golden, text);
    tableOf(text, c.state, c.file);  // the table follows the three summary blocks
  }
}

TEST(ResultFilesTest, CountsBeyondTheArraysWriteWhatTheArraysHold) {
  ScratchDir dir;
  State s = series();
  s.setting.n2 = 50;
  s.setting.n3 = 20;
  s.data.b2.release();  // a missing column reads as unset
  output1(s);
  std::vector<std::string> rows = splitLines(tableOf(readFile("morvek-1.dat"), s, "morvek-1.dat"));
  ASSERT_EQ(rows.size(), 3u + 10u);
  EXPECT_EQ(rows[5].size(), 7u * 25u);
  EXPECT_EQ(rows[6].size(), 5u * 25u);
  EXPECT_EQ(rows[3].substr(50, 25), "  -9.9900000000000000E+11");

  s.setting.n3 = kUnsetInt;
  s.setting.n2 = kUnsetInt;
  output1(s);
  rows = splitLines(tableOf(readFile("morvek-1.dat"), s, "morvek-1.dat"));
  EXPECT_EQ(rows.size(), 3u);

  State dates = threeClassesOfExtremes();
  dates.setting.n4 = held<int>({9, 2, 1});  // more than t4 holds
  dates.setting.n = held<int>({4, 30, 3});
  output2(dates);
  rows = splitLines(tableOf(readFile("morvek-2.dat"), dates, "morvek-2.dat"));
  ASSERT_EQ(rows.size(), 5u + 6u);  // t4 holds 4 entries a class, t 6
  EXPECT_EQ(rows[5].size(), 1u + 6u * 36u);
  EXPECT_EQ(rows[9].size(), 1u + 3u * 36u);

  dates.data.t.release();  // no pseudodata: their columns read as unset
  output2(dates);
  rows = splitLines(tableOf(readFile("morvek-2.dat"), dates, "morvek-2.dat"));
  ASSERT_EQ(rows.size(), 5u + 4u);
  EXPECT_EQ(rows[5].substr(1, 24), " -9.9900000000000000E+11");
  EXPECT_EQ(rows[5].substr(1 + 3 * 36, 24), "  3.0000000000000000E+00");

  State rates = threeClassRates();
  rates.parameters.ngrid = 100;
  rates.data.u = held<double>({0.5});
  rates.data.ly = table({{0.05, 0.04}});
  output3(rates);
  rows = splitLines(tableOf(readFile("morvek-3.dat"), rates, "morvek-3.dat"));
  ASSERT_EQ(rows.size(), 9u + 3u);
  EXPECT_EQ(rows[3], "Magnitude class 2: u = -9.990E+11  P-value (one-sided)  =  2.980E-03");
  EXPECT_EQ(rows[9].substr(25, 25), "   4.0000000000000001E-02");
  EXPECT_EQ(rows[10].substr(25, 25), "  -9.9900000000000000E+11");

  rates.setting.l = kUnsetInt;  // no classes: the time column alone
  output3(rates);
  rows = splitLines(tableOf(readFile("morvek-3.dat"), rates, "morvek-3.dat"));
  ASSERT_EQ(rows.size(), 6u + 3u);
  EXPECT_EQ(rows[1], "Cox-Lewis test for constant risk");
  EXPECT_EQ(rows[6], "   0.0000000000000000E+00");
}

TEST(ClosingScreenTest, ListsTheFilesOfTheDataType) {
  const std::string head =
      emptyLines(50) + lines({"====================", "", "Morvek: Output files", "",
                              "====================", "", "", "", ""});
  const std::string rest =
      lines({"morvek-2.dat:       extreme event times",
             "morvek-3.dat:       hypothesis test, estimated risk curves", ""});
  Scripted ordinary;
  info5(series(), ordinary.console);
  EXPECT_EQ(ordinary.text(),
            head + "morvek-1.dat:       background, variability, threshold\n" + rest);

  Scripted extreme;
  info5(threeClassesOfExtremes(), extreme.console);
  EXPECT_EQ(extreme.text(), head + rest);
  Scripted times;
  info5(oneClassOfTimes(), times.console);
  EXPECT_EQ(times.text(), head + rest);
}

// Lets files grow to `bytes` only. A write beyond then fails with EFBIG
// instead of the signal that would end the test process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uintmax_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = std::min<rlim_t>(static_cast<rlim_t>(bytes), saved_.rlim_max);
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = SIG_DFL;
};

TEST(WriteFailureTest, AFailedWriteIsReportedWithTheFileName) {
  ScratchDir dir;
  struct Case {
    std::string file;
    std::function<void()> write;
  };
  const State s = series();
  const State dates = threeClassesOfExtremes();
  const State rates = threeClassRates();
  const std::vector<Case> cases{{"morvek-1.dat", [&] { output1(s); }},
                                {"morvek-2.dat", [&] { output2(dates); }},
                                {"morvek-3.dat", [&] { output3(rates); }},
                                {"morvek-1.dat", [&] { info1(s, "morvek-1.dat"); }}};
  // A full device takes the opening but no byte; the failure shows at the
  // first block, and the flush at its close must not pass for success.
  for (const Case& c : cases) {
    std::filesystem::remove(c.file);
    std::filesystem::create_symlink("/dev/full", c.file);
    EXPECT_EQ(fatalLines(c.write),
              std::vector<std::string>{"Error during data file writing: " + c.file});
    std::filesystem::remove(c.file);
  }
  EXPECT_EQ(fatalLines([] { appendLines("/dev/full", {"a line"}); }),
            std::vector<std::string>{"Error during data file writing: /dev/full"});

  // Room for the summary blocks only: the table itself fails.
  const std::vector<std::pair<std::string, const State*>> tables{
      {"morvek-1.dat", &s}, {"morvek-2.dat", &dates}, {"morvek-3.dat", &rates}};
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const auto& [file, state] = tables[i];
    const std::string blocks = summaries(*state, file);
    std::vector<std::string> stop;
    {
      FileSizeLimit limit(blocks.size());
      stop = fatalLines(cases[i].write);
    }
    EXPECT_EQ(stop, std::vector<std::string>{"Error during data file writing: " + file});
    EXPECT_EQ(readFile(file), blocks);  // the blocks went through, the table did not
  }
}

TEST(WriteFailureTest, AnAppendNeedsTheFileToExist) {
  ScratchDir dir;
  const std::vector<std::string> opening{"Error during data file opening"};
  EXPECT_EQ(fatalLines([] { appendLines("morvek-2.dat", {"a line"}); }), opening);
  EXPECT_EQ(fatalLines([] { appendWith("morvek-3.dat", [](std::ostream& out) { out << "x\n"; }); }),
            opening);
  EXPECT_FALSE(std::filesystem::exists("morvek-2.dat"));
  EXPECT_FALSE(std::filesystem::exists("morvek-3.dat"));

  // A file that cannot be created at all is an opening failure as well.
  std::filesystem::create_directory("morvek-1.dat");
  EXPECT_EQ(fatalLines([] { output1(series()); }), opening);
}

}  // namespace
}  // namespace morvek

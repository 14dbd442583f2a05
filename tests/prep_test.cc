#include "prep/prep.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "morvek/config.h"
#include "morvek/datafile.h"
#include "prep/output.h"
#include "tests/test_support.h"

namespace prep {
namespace {

ReadOptions with(auto set) {
  ReadOptions o;
  set(o);
  return o;
}

// What spreadsheet programs write at the top of a CSV export.
const std::string kMark = "\xEF\xBB\xBF";

// 2019 has 365 days, 2020 has 366: the first of February 2020 is day 32.
std::string at(double days2020) { return roundTrip(2020 + days2020 / 366); }

// The data file made of `text`, or the error (its first line, or all of it).
std::string outcome(const std::string& text, const ReadOptions& options, Kind kind, bool firstLine = true) {
  try {
    return prepare("in.csv", text, kind, options).data;
  } catch (const Error& error) {
    const std::string what = error.what();
    return firstLine ? what.substr(0, what.find('\n')) : what;
  }
}

TEST(PrepTest, LayoutsDatesMissingValuesTiesAndErrors) {
  struct Case {
    std::string text;
    ReadOptions options;
    std::string want;  // the data file, or the first line of the error
    Kind kind = Kind::series;
  };
  const std::vector<Case> cases{
      // Header, comment, quotes, NA and an empty field; decimal commas; dates and clocks as two words.
      {"date,flow\n# agency\n\"2020-02-01\",\"5.5\"\n2020-02-02,NA\n2020-02-03,\n2021-01-01,7\n", {}, at(31) + " 5.5\n2021 7\n"},
      {"Datum;Abfluss\n2020-02-01;5,5\n2020-02-01T12:00;6,25\n", {}, at(31) + " 5.5\n" + at(31.5) + " 6.25\n"},
      {"2020-02-01 06:00 3\n2020-02-01 18:00:00 -99\n2020-03 4\n", with([](ReadOptions& o) { o.missing = {"-99"}; }),
       at(31.25) + " 3\n" + at(60) + " 4\n"},
      {"2020/02/01 12:00,1\n", {}, at(31.5) + " 1\n"},
      // Line ends of Windows exports, and blanks at the end of a line.
      {"date,flow\r\n2020-02-01,5 \r\n2020-02-02,6\t\r\n", {}, at(31) + " 5\n" + at(32) + " 6\n"},
      {"station\tTime\tQ\nA\t2019-12-31T23:59:59Z\t1e3\n", with([](ReadOptions& o) { o.time = "time"; o.value = "Q"; }),
       roundTrip(2019 + (364 + 86399.0 / 86400) / 365) + " 1000\n"},
      {"1871.5\n1900\n", {}, "1871.5\n1900\n", Kind::times},
      // A byte-order mark before a header, or before the first time.
      {kMark + "date,flow\n2020-02-01,1.5\n", with([](ReadOptions& o) { o.time = "date"; o.value = "flow"; }),
       at(31) + " 1.5\n"},
      {kMark + "2020-02-01,1.5\n", {}, at(31) + " 1.5\n"},
      // Titles above the header, with no separator or another one than the data's.
      {"Daily flows\ndate,flow\n2020-02-01,5\n", {}, at(31) + " 5\n"},
      {"Station Manaus; Rio Negro\ndate,flow\n2020-02-01,5\n",
       with([](ReadOptions& o) { o.time = "date"; o.value = "flow"; }), at(31) + " 5\n"},
      {"Gauge report\nRio Negro, daily\n# m3/s\nDatum;Abfluss\n2020-02-01;5,5\n",
       with([](ReadOptions& o) { o.value = "abfluss"; }), at(31) + " 5.5\n"},
      // Hourly readings to daily maxima, monthly sums, yearly means of plain numbers.
      {"2020-02-01T00:00,1\n2020-02-01T23:00,4\n2020-02-03T01:00,2\n",
       with([](ReadOptions& o) { o.aggregate = Period::day; }), at(31) + " 4\n" + at(33) + " 2\n"},
      {"2020-02-01,1\n2020-02-29,2\n2021-01-05,4\n",
       with([](ReadOptions& o) { o.aggregate = Period::month; o.stat = Stat::sum; }), at(31) + " 3\n2021 4\n"},
      {"1990.2 1\n1990.7 2\n1991.1 6\n", with([](ReadOptions& o) { o.aggregate = Period::year; o.stat = Stat::mean; }),
       "1990 1.5\n1991 6\n"},
      {"1 1\n1 2\n", {}, "in.csv:2: the time of line 1 is repeated"},
      {"2 1\n\n1 2\n", {}, "in.csv:3: the time is earlier than that of line 1"},
      {"1 1\n2 1,5,3\n", {}, "in.csv:2: the value '1,5,3' is unreadable"},
      {"date,v\n2020-02-30,1\n", {}, "in.csv:2: the time '2020-02-30' is unreadable"},
      {"1,2\n3\n", {}, "in.csv:2: too few fields (1)"},
      {"a,b\n1,2\n", with([](ReadOptions& o) { o.value = "c"; }), "in.csv:1: no column is named 'c'"},
      // A name that two or more columns share (regardless of case); one that only another column repeats is fine.
      {"date,flow,x,Flow\n2020-02-01,5,1,6\n", with([](ReadOptions& o) { o.value = "flow"; }),
       "in.csv:1: columns 2 and 4 are both named 'flow'"},
      {"t,t,v,t\n1,2,3,4\n", with([](ReadOptions& o) { o.time = "T"; o.value = "v"; }),
       "in.csv:1: columns 1, 2 and 4 are all named 'T'"},
      {"date,flow,flow\n2020-02-01,5,6\n", with([](ReadOptions& o) { o.time = "date"; o.value = "3"; }), at(31) + " 6\n"},
      {"1 1\n", with([](ReadOptions& o) { o.aggregate = Period::day; }), "in.csv:1: the time is a plain number"},
      {"date,flow\n", {}, "in.csv: no line holds numbers or dates"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c.text, c.options, c.kind), c.want) << c.text;
  for (const auto& [rule, want] : {std::pair{Ties::first, "2 1\n"}, {Ties::last, "2 2\n"}, {Ties::max, "2 3\n"},
                                   {Ties::min, "2 1\n"}, {Ties::mean, "2 2\n"}}) {
    EXPECT_EQ(prepare("in", "2 1\n2 3\n2 2\n", Kind::events, with([&](ReadOptions& o) { o.ties = rule; })).data, want);
  }
}

ReadOptions periods(Period period, Stat stat) {
  return with([&](ReadOptions& o) { o.aggregate = period; o.stat = stat; });
}

TEST(PrepTest, MeansAndSumsNearTheLargestNumber) {
  const std::string largest = "1.7976931348623157e308";
  struct Case {
    std::string text;
    ReadOptions options;
    std::string want;  // the data file, or the first line of the error
  };
  const std::vector<Case> cases{
      // Means whose sums overflow.
      {"2020-02-01T06:00,1e308\n2020-02-01T18:00,1e308\n", periods(Period::day, Stat::mean), at(31) + " 1e+308\n"},
      {"1990.1 1.7e308\n1990.2 1.7e308\n1990.3 -1.7e308\n", periods(Period::year, Stat::mean),
       "1990 " + roundTrip(1.7e308 / 3) + "\n"},
      {"1.5 1e308\n1.6 1e308\n1.7 1e308\n", periods(Period::year, Stat::mean), "1 1e+308\n"},
      {"1.5 " + largest + "\n1.6 " + largest + "\n1.7 " + largest + "\n", periods(Period::year, Stat::mean),
       "1 1.7976931348623157e+308\n"},
      {"5 1e308\n5 1e308\n", with([](ReadOptions& o) { o.ties = Ties::mean; }), "5 1e+308\n"},
      // A sum that overflows on its way only, and sums that overflow, by their first line and period.
      {"1.5 1e308\n1.6 1e308\n1.7 -1e308\n", periods(Period::year, Stat::sum), "1 1e+308\n"},
      {"date,v\n2020-01-31,1\n2020-02-03,1e308\n2020-02-09,1e308\n", periods(Period::month, Stat::sum),
       "in.csv:3: the sum of the month from 2020-02 is beyond the largest number (about 1.8e308)"},
      {"2020-02-03T01:00,1e308\n2020-02-03T02:00,1e308\n", periods(Period::day, Stat::sum),
       "in.csv:1: the sum of the day from 2020-02-03 is beyond the largest number (about 1.8e308)"},
      {"1990.5 1e308\n1990.6 1e308\n", periods(Period::year, Stat::sum),
       "in.csv:1: the sum of the year from 1990 is beyond the largest number (about 1.8e308)"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c.text, c.options, Kind::series), c.want) << c.text;
}

TEST(PrepTest, ErrorsShowTheLineCutAndTheSummaryNamesTheDropped) {
  EXPECT_EQ(outcome("date,flow,flow\n2020-02-01,5,6\n", with([](ReadOptions& o) { o.value = "flow"; }), Kind::series, false),
            "in.csv:1: columns 2 and 3 are both named 'flow'\n  the line: date,flow,flow\n"
            "  expected: the column's number, --value 2 or --value 3");
  EXPECT_EQ(outcome("t;t\n1;2\n", with([](ReadOptions& o) { o.time = "t"; }), Kind::times, false),
            "in.csv:1: columns 1 and 2 are both named 't'\n  the line: t;t\n"
            "  expected: the column's number, --time 1 or --time 2");
  EXPECT_EQ(outcome("1 1\n1 " + std::string(100, 'x') + "\n", {}, Kind::series, false),
            "in.csv:2: the value '" + std::string(60, 'x') + "...' is unreadable\n  the line: 1 " + std::string(58, 'x') +
                "...\n  expected: a number, or a missing-value mark (empty, NA, NaN or one given with --missing)");
  std::string text = "t,v\n";
  for (int i = 0; i < 8; ++i) text += std::to_string(i) + ",NA\n";
  text += "9,1\n";
  EXPECT_EQ(prepare("in.csv", text, Kind::series, {}).summary,
            "morvek-prep: in.csv: 10 lines read, 1 header lines, 1 kept, 8 dropped\n"
            "  line 2: missing value 'NA'\n  line 3: missing value 'NA'\n  line 4: missing value 'NA'\n"
            "  line 5: missing value 'NA'\n  line 6: missing value 'NA'\n  and 3 more\n"
            "morvek-prep: time span 9 to 9, 1 points\n"
            "morvek-prep: answer Morvek's data type question with o (ordinary time series)\n");
  // A title counts among the header lines.
  const std::string titled = prepare("in.csv", "Daily flows\ndate,flow\n2020-02-01,5\n", Kind::series, {}).summary;
  EXPECT_EQ(titled.substr(0, titled.find('\n')), "morvek-prep: in.csv: 3 lines read, 2 header lines, 1 kept, 0 dropped");
}

// The runs method by another road: a cluster number per event from the
// count of long gaps before it, and the first largest value per number.
std::string bruteDecluster(const std::vector<std::pair<double, double>>& events, double run, bool low) {
  std::map<int, std::pair<double, double>> peaks;
  int cluster = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (i > 0 && !(events[i].first - events[i - 1].first < run)) ++cluster;
    const auto [it, fresh] = peaks.try_emplace(cluster, events[i]);
    const double v = events[i].second, best = it->second.second;
    if (!fresh && (low ? v < best : v > best)) it->second = events[i];
  }
  std::string out;
  for (const auto& [id, e] : peaks) out += roundTrip(e.first) + " " + roundTrip(e.second) + "\n";
  return out;
}

TEST(PrepTest, DeclusteringMatchesTheRunsMethod) {
  std::mt19937 gen(7);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<std::pair<double, double>> events;
    double t = 1950;
    std::string text;
    for (int i = 0; i < 60; ++i) {
      t += std::uniform_int_distribution<int>(0, 20)(gen) / 365.0;  // ties of times
      events.emplace_back(t, std::uniform_int_distribution<int>(1, 6)(gen));  // ties of peaks
      text += roundTrip(t) + " " + roundTrip(events.back().second) + "\n";
    }
    const double run = std::uniform_int_distribution<int>(1, 15)(gen) / 365.0;
    const bool low = trial % 2;
    EXPECT_EQ(decluster("e.txt", text, run, low ? Keep::lowest : Keep::highest).data, bruteDecluster(events, run, low))
        << trial;
  }
  EXPECT_THROW(decluster("e.txt", "1 1\n", 0, Keep::highest), Error);
}

// A morvek-1.dat as Morvek writes it: the threshold z in the summary above
// the table, the extremes the last two of seven columns in its first rows.
std::string resultFile(const std::string& zLine, const std::string& rows) {
  return "Morvek:  Output\n \nSmoothing parameter k:           2\n" + zLine +
         "Number of extreme events:        3 points\n \n   Time   x-value\n   t2 x2 b2 v2 b2+z*v2 t3 x3\n" + rows;
}
const std::string kBelow = " 1.0 5 4 1 2.5 1.5 -4.0\n 2.0 5 4 1 2.5 1.6 -6.0\n 3.0 5 4 1 2.5 9.0 -2.0\n 4.0 5 4 1 2.5\n";
const std::string kAbove = " 1.0 5 4 1 6.5 1.5 4.0\n 2.0 5 4 1 6.5 1.6 6.0\n 3.0 5 4 1 6.5 9.0 2.0\n 4.0 5 4 1 6.5\n";

TEST(PrepTest, DeclusteringAResultFileKeepsThePeaksOnTheThresholdsSide) {
  const std::string negative = "morvek-prep: the threshold z = -1.5 of morvek-1.dat is negative: each cluster keeps its "
                               "lowest value (--high keeps the highest)\n";
  struct Case {
    std::string name, text;
    Keep keep;
    std::string data, note;  // the note: "" for none
  };
  const std::vector<Case> cases{
      {"z negative", resultFile("Threshold z:                -1.500\n", kBelow), Keep::byThreshold, "1.6 -6\n9 -2\n",
       negative},
      {"z negative, --high", resultFile("Threshold z:                -1.500\n", kBelow), Keep::highest,
       "1.5 -4\n9 -2\n", ""},
      {"z negative, --low", resultFile("Threshold z:                -1.500\n", kBelow), Keep::lowest, "1.6 -6\n9 -2\n", ""},
      {"z positive", resultFile("Threshold z:                 2.500\n", kAbove), Keep::byThreshold, "1.6 6\n9 2\n", ""},
      {"z positive, --low", resultFile("Threshold z:                 2.500\n", kAbove), Keep::lowest, "1.5 4\n9 2\n", ""},
      {"z unset", resultFile("", kAbove), Keep::byThreshold, "1.6 6\n9 2\n", ""},
      // z = -100 overflows its field; the threshold column b2+z*v2 gives it.
      {"z too wide for its field", resultFile("Threshold z:                *******\n", kBelow), Keep::byThreshold,
       "1.6 -6\n9 -2\n", "morvek-prep: the threshold z = -1.5 of morvek-1.dat is negative: each cluster keeps its "
                          "lowest value (--high keeps the highest)\n"},
      {"a byte-order mark", "\xEF\xBB\xBF" + resultFile("", kAbove), Keep::byThreshold, "1.6 6\n9 2\n", ""},
  };
  for (const Case& c : cases) {
    const Prepared p = decluster("morvek-1.dat", c.text, 0.5, c.keep);
    EXPECT_EQ(p.data, c.data) << c.name;
    const std::size_t note = p.summary.find("morvek-prep: the threshold");
    EXPECT_EQ(note == std::string::npos ? "" : p.summary.substr(note, p.summary.find('\n', note) + 1 - note), c.note)
        << c.name;
  }
  // An extreme Morvek wrote as -Infinity (a variability of 0) cannot be
  // kept, and is listed.
  const Prepared p = decluster(
      "morvek-1.dat", resultFile("", " 1.0 5 4 0 4 1.5 -Infinity\n 2.0 5 4 1 6.5 2.6 6.0\n 3.0 5 4 1 6.5\n"), 0.5,
      Keep::byThreshold);
  EXPECT_EQ(p.data, "2.6 6\n");
  EXPECT_EQ(p.summary.substr(0, p.summary.find("morvek-prep: morvek-1.dat: 1 events")),
            "morvek-prep: morvek-1.dat: 2 extremes listed, 1 kept, 1 dropped\n"
            "  line 8: the extreme '-Infinity' is not a finite number\n");
}

TEST(PrepTest, DeclusteringTakesEqualTimesAndListsTheDroppedLines) {
  struct Case {
    std::string text, want;  // the data, or the first two lines of the error
  };
  const std::vector<Case> cases{
      {"1 5\n1 6\n1 6\n3 2\n", "1 6\n3 2\n"},
      {"1 5\n3 2\n2 9\n", "e.txt:3: the time is earlier than that of line 2\n  the line: 2 9"},
      {resultFile("", " 1.0 5 4 1 6.5 3 4.0\n 2.0 5 4 1 6.5 2 6.0\n"),
       "e.txt:9: the time is earlier than that of line 8\n  the line: 2.0 5 4 1 6.5 2 6.0"},
  };
  for (const Case& c : cases) {
    std::string got;
    try {
      got = decluster("e.txt", c.text, 0.5, Keep::byThreshold).data;
    } catch (const Error& error) {
      got = error.what();
      EXPECT_EQ(got.find("--ties"), std::string::npos) << got;
      got = got.substr(0, got.find('\n', got.find('\n') + 1));
    }
    EXPECT_EQ(got, c.want);
  }
  const std::string summary = decluster("e.txt", "t,v\n1,5\n2,NA\n3,\n4,2\n", 0.5, Keep::highest).summary;
  EXPECT_EQ(summary.substr(0, summary.find(" clusters")),
            "morvek-prep: e.txt: 5 lines read, 1 header lines, 2 kept, 2 dropped\n"
            "  line 3: missing value 'NA'\n  line 4: missing value ''\n"
            "morvek-prep: e.txt: 2 events make 2");
}

// What morvek-prep writes, Morvek's own reader reads back to the same doubles.
TEST(PrepTest, MorvekReadsBackTheSameNumbers) {
  std::mt19937_64 gen(3);
  std::string text;
  std::vector<double> times, values;
  double t = -3000.123456789;
  for (int i = 0; i < 500; ++i) {
    t = std::nextafter(t + std::uniform_real_distribution<double>(1e-9, 50)(gen), 1e300);
    times.push_back(t);
    values.push_back(std::uniform_real_distribution<double>(-1e6, 1e6)(gen) * std::pow(10.0, i % 40 - 20));
    text += roundTrip(t) + "," + roundTrip(values.back()) + "\n";
  }
  const Prepared p = prepare("in.csv", text, Kind::series, {});
  morvek::ListReader reader(p.data);
  for (std::size_t i = 0; i < times.size(); ++i) {
    double point[2];
    ASSERT_EQ(reader.read(point), morvek::ListReader::Status::ok);
    EXPECT_EQ(point[0], times[i]);
    EXPECT_EQ(point[1], values[i]);
  }
}

// The configuration morvek-prep writes is the example shipped, and Morvek
// reads it back to the start value of every key.
TEST(PrepTest, TheConfigurationWrittenIsTheExampleAndReadsBackToTheStartValues) {
  using namespace morvek::testing;
  EXPECT_EQ(configText(), readFile(sourcePath("examples/morvek.cfg")));
  ScratchDir dir;
  writeFile("morvek.cfg", configText());
  morvek::State s;
  s.parameters = {.krel = 0.3, .rule = morvek::Rule::reflection, .hrelmax = 1, .nhsrch = 100, .ngrid = 64, .alpha = 0.8};
  morvek::read0(s);
  const morvek::Parameters start;
  EXPECT_EQ(s.parameters.krel, start.krel);
  EXPECT_EQ(s.parameters.rule, start.rule);
  EXPECT_EQ(s.parameters.hrelmax, start.hrelmax);
  EXPECT_EQ(s.parameters.nhsrch, start.nhsrch);
  EXPECT_EQ(s.parameters.ngrid, start.ngrid);
  EXPECT_EQ(s.parameters.alpha, start.alpha);
}

// The error of writing `text` to `path`, or "" where it was written.
std::string writeError(const std::string& path, const std::string& text) {
  try {
    writeWhole(path, text);
    return "";
  } catch (const Error& error) {
    return error.what();
  }
}

mode_t modeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::vector<std::string> folderContents() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename());
  std::ranges::sort(names);
  return names;
}

// What was there before beside what the writer leaves: links are written
// through, a file keeps its permissions, and nothing else in the folder is
// replaced, removed or left behind.
TEST(PrepTest, WritingWholeGoesThroughLinksAndReplacesOnlyRegularFiles) {
  using namespace morvek::testing;
  ScratchDir dir;
  const mode_t mask = ::umask(022);
  struct Case {
    std::string name;
    std::function<void()> before;
    std::string path;
    std::vector<std::pair<std::string, std::string>> want;  // files and their text after
    std::vector<std::string> links;                         // still symbolic links after
  };
  const std::vector<Case> cases{
      {"a new file", [] {}, "new.dat", {{"new.dat", "text\n"}}, {}},
      {"a link to a file",
       [] { writeFile("real.dat", "old\n"); std::filesystem::create_symlink("real.dat", "link.dat"); },
       "link.dat", {{"real.dat", "text\n"}}, {"link.dat"}},
      {"a dangling link, to a file in a folder",
       [] { std::filesystem::create_directory("sub"); std::filesystem::create_symlink("sub/made.dat", "dangling.dat"); },
       "dangling.dat", {{"sub/made.dat", "text\n"}}, {"dangling.dat"}},
      {"a link to a link", [] { std::filesystem::create_symlink("dangling.dat", "chain.dat"); }, "chain.dat",
       {{"sub/made.dat", "text\n"}}, {"chain.dat", "dangling.dat"}},
      {"a file of the user's named like a temporary one", [] { writeFile("out.dat.part", "mine\n"); }, "out.dat",
       {{"out.dat", "text\n"}, {"out.dat.part", "mine\n"}}, {}},
      {"a file the user alone may read", [] { writeFile("secret.dat", "old\n"); ::chmod("secret.dat", 0600); },
       "secret.dat", {{"secret.dat", "text\n"}}, {}},
  };
  for (const Case& c : cases) {
    c.before();
    auto expected = folderContents();
    for (const auto& [file, text] : c.want) {
      if (file.find('/') == std::string::npos && std::ranges::find(expected, file) == expected.end()) expected.push_back(file);
    }
    std::ranges::sort(expected);
    EXPECT_EQ(writeError(c.path, "text\n"), "") << c.name;
    for (const auto& [file, text] : c.want) EXPECT_EQ(readFile(file), text) << c.name << ": " << file;
    for (const auto& link : c.links) EXPECT_TRUE(S_ISLNK(modeOf(link))) << c.name << ": " << link;
    EXPECT_EQ(folderContents(), expected) << c.name;
  }
  EXPECT_EQ(modeOf("secret.dat") & 07777, 0600u);
  EXPECT_EQ(modeOf("new.dat") & 07777, 0644u);
  ::umask(mask);

  // A FIFO is refused without being opened: no reader waits, so opening it
  // to write would block, yet the test holds one so that a writer could not.
  ASSERT_EQ(::mkfifo("pipe", 0644), 0);
  const int reader = ::open("pipe", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::filesystem::create_symlink("pipe", "to-pipe");
  for (const std::string path : {"pipe", "to-pipe"}) {
    EXPECT_EQ(writeError(path, "text\n"), path + ": not a regular file; give the name of a file to write");
    EXPECT_TRUE(S_ISFIFO(modeOf("pipe"))) << path;
  }
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);
  std::filesystem::create_directory("folder");
  EXPECT_EQ(writeError("folder", "text\n"), "folder: not a regular file; give the name of a file to write");

  // A device: first a copy of /dev/full here, so that a writer that
  // replaced devices would spoil only the copy, then the real one.
  if (::mknod("full", S_IFCHR | 0666, makedev(1, 7)) != 0) GTEST_SKIP() << "no device nodes can be made here";
  ASSERT_EQ(writeError("full", "text\n"), "full: not a regular file; give the name of a file to write");
  ASSERT_TRUE(S_ISCHR(modeOf("full")));
  EXPECT_EQ(writeError("/dev/full", "text\n"), "/dev/full: not a regular file; give the name of a file to write");
  EXPECT_TRUE(S_ISCHR(modeOf("/dev/full")));
}

// The command line: output whole or not at all, and the exit status (the
// configuration it writes is checked by install_test).
TEST(PrepTest, CommandLine) {
  using namespace morvek::testing;
  ScratchDir dir;
  const std::string prep = MORVEK_PREP_BINARY;
  writeFile("in.csv", "date,flow\n2020-02-01,5\n");
  ASSERT_EQ(std::system((prep + " series in.csv -o out.dat 2>err.txt").c_str()), 0);
  EXPECT_EQ(readFile("out.dat"), at(31) + " 5\n");
  writeFile("bad.csv", "1 1\n0 1\n");
  EXPECT_NE(std::system((prep + " series bad.csv -o out.dat 2>err.txt").c_str()), 0);
  EXPECT_EQ(readFile("out.dat"), at(31) + " 5\n");  // untouched
  EXPECT_EQ(readFile("err.txt").substr(0, 26), "morvek-prep: bad.csv:2: th");
  EXPECT_EQ(WEXITSTATUS(std::system((prep + " series 2>/dev/null").c_str())), 2);
  ASSERT_EQ(::mkfifo("pipe", 0644), 0);
  EXPECT_EQ(WEXITSTATUS(std::system((prep + " series in.csv -o pipe 2>err.txt").c_str())), 1);
  EXPECT_EQ(readFile("err.txt"), "morvek-prep: pipe: not a regular file; give the name of a file to write\n");
  // Options a command would ignore are refused as usage errors, as are --low and --high together.
  writeFile("e.txt", "1 5\n1 6\n");
  for (const std::string options : {"decluster e.txt --run 1 --ties max", "decluster e.txt --run 1 --low --high",
                                     "series in.csv --low", "cfg --run 1"}) {
    EXPECT_EQ(WEXITSTATUS(std::system((prep + " " + options + " >out.txt 2>err.txt").c_str())), 2) << options;
    EXPECT_EQ(readFile("out.txt"), "") << options;
  }
  ASSERT_EQ(std::system((prep + " decluster e.txt --run 1 >out.txt 2>err.txt").c_str()), 0);
  EXPECT_EQ(readFile("out.txt"), "1 6\n");
}

// Each word of --ties, --aggregate and --stat chooses its own value, and the
// summary names the value in the same words.
TEST(PrepTest, OptionWordsChooseTheirValuesAndTheSummaryNamesThem) {
  using namespace morvek::testing;
  ScratchDir dir;
  writeFile("in.csv", "date,v\n2020-01-01,1\n2020-01-01,3\n2020-02-01,4\n");
  for (const auto& [options, said] :
       {std::pair{"--ties first --aggregate day --stat max", "(--ties first)|2 periods of a day, each its maximum at"},
        {"--ties last --aggregate month --stat min", "(--ties last)|2 periods of a month, each its minimum at"},
        {"--ties max --aggregate year --stat mean", "(--ties max)|1 periods of a year, each its mean at"},
        {"--ties min --aggregate year --stat sum", "(--ties min)|1 periods of a year, each its sum at"},
        {"--ties mean", "(--ties mean)|"}}) {
    ASSERT_EQ(std::system((std::string(MORVEK_PREP_BINARY) + " series in.csv -o out.dat " + options + " 2>err.txt").c_str()),
              0);
    const std::string err = readFile("err.txt"), expected = said;
    const std::size_t bar = expected.find('|');
    EXPECT_NE(err.find("repeated time " + expected.substr(0, bar)), std::string::npos) << options;
    EXPECT_NE(err.find(expected.substr(bar + 1)), std::string::npos) << options << "\n" << err;
  }
}

// ---- Files of many stations ---------------------------------------------------

// The file's lines above its first data line and the lines of station `id`
// alone: what a user would have to cut out by hand for the station.
std::string stationAlone(const std::string& text, std::size_t headerLines, const std::string& id, char separator) {
  std::istringstream in(text);
  std::string out, line;
  for (std::size_t n = 0; std::getline(in, line); ++n) {
    if (n < headerLines || line.starts_with(id + separator)) out += line + "\n";
  }
  return out;
}

TEST(PrepTest, EachStationIsTheSeriesOfItsLinesAlone) {
  struct Case {
    std::string name, text, idColumn;
    std::size_t headerLines;  // lines above the data
    ReadOptions options;
    std::vector<std::string> ids;
    Kind kind = Kind::series;
  };
  const auto named = [](ReadOptions& o) { o.time = "date"; o.value = "flow"; };
  const std::vector<Case> cases{
      {"interleaved, with a gap and a comment",
       "station,date,flow\nA,2020-02-01,5\nB,2020-01-01,7\nA,2020-02-02,NA\n# note\nB,2020-01-02,8\nA,2020-02-03,6\n", "station", 1,
       with(named), {"A", "B"}},
      {"one after another, times starting again", "station,date,flow\nB,2020-02-01,1\nB,2020-02-02,2\nA,2019-01-01,3\n", "station", 1,
       with(named), {"B", "A"}},
      {"ties and daily maxima per station",
       "id;t;v\nX;2020-02-01T06:00;1,5\nY;2020-02-01T06:00;9\nX;2020-02-01T06:00;2,5\nX;2020-02-01T18:00;1\n"
       "Y;2020-02-02T01:00;3\n",
       "id", 1, with([](ReadOptions& o) { o.time = "t"; o.value = "v"; o.ties = Ties::mean; o.aggregate = Period::day; }),
       {"X", "Y"}},
      {"a title, numbered columns, missing marks",
       "Gauges of the basin\nsite\ttime\tq\ns1\t1.5\t-99\ns2\t1.5\t4\ns1\t2.5\t3\n", "1", 2,
       with([](ReadOptions& o) { o.time = "2"; o.value = "3"; o.missing = {"-99"}; }), {"s1", "s2"}},
      {"ids that differ in case alone", "id,t,v\nab,1,1\nAb,1,2\nab,2,3\n", "ID", 1,
       with([](ReadOptions& o) { o.time = "2"; o.value = "3"; }), {"ab", "Ab"}},
      {"events, times only", "id,t,v\nP,1,NA\nQ,1,2\nP,3,4\n", "id", 1,
       with([](ReadOptions& o) { o.time = "2"; o.value = "3"; }), {"P", "Q"}, Kind::times},
  };
  for (const Case& c : cases) {
    const Stations got = prepareStations("in.csv", c.text, c.kind, c.options, c.idColumn);
    std::vector<std::string> ids;
    for (const Station& s : got.stations) ids.push_back(s.id);
    EXPECT_EQ(ids, c.ids) << c.name;
    const char separator = c.text.find(';') != std::string::npos ? ';' : c.text.find('\t') != std::string::npos ? '\t' : ',';
    for (const Station& s : got.stations) {
      const std::string alone = stationAlone(c.text, c.headerLines, s.id, separator);
      EXPECT_EQ(s.prepared.data, prepare("alone.csv", alone, c.kind, c.options).data) << c.name << ": " << s.id;
      EXPECT_FALSE(s.prepared.data.empty()) << c.name << ": " << s.id;
    }
  }
}

TEST(PrepTest, TheSummaryOfStationsCountsEachWithTheFilesLineNumbers) {
  const Stations got = prepareStations(
      "in.csv", "station,date,flow\nA,1,5\nB,1,7\nA,2,NA\n# note\nB,2,8\nA,3,6\nB,3,\n", Kind::series,
      with([](ReadOptions& o) { o.time = "date"; o.value = "flow"; }), "station");
  EXPECT_EQ(got.summary,
            "morvek-prep: in.csv: 8 lines read, 1 header lines, 2 stations\n"
            "morvek-prep: station A: 3 lines, 2 kept, 1 dropped\n"
            "  line 4: missing value 'NA'\n"
            "morvek-prep: time span 1 to 3, 2 points\n"
            "morvek-prep: station B: 3 lines, 2 kept, 1 dropped\n"
            "  line 8: missing value ''\n"
            "morvek-prep: time span 1 to 2, 2 points\n"
            "morvek-prep: answer Morvek's data type question with o (ordinary time series)\n");
  EXPECT_EQ(got.stations.at(1).prepared.data, "1 7\n2 8\n");
}

// The first line of the error of preparing `text` by stations, or the ids.
std::string stationsOutcome(const std::string& text, const std::string& idColumn, const ReadOptions& options) {
  try {
    std::string ids;
    for (const Station& s : prepareStations("in.csv", text, Kind::series, options, idColumn).stations) ids += s.id + "|";
    return ids;
  } catch (const Error& error) {
    const std::string what = error.what();
    return what.substr(0, what.find('\n'));
  }
}

TEST(PrepTest, StationIdsThatCannotNameAFileAndBadStationLinesAreErrors) {
  const ReadOptions later = with([](ReadOptions& o) { o.time = "2"; o.value = "3"; });
  struct Case {
    std::string text, idColumn;
    ReadOptions options;
    std::string want;  // the ids, each with a bar after it, or the first line of the error
  };
  const std::vector<Case> cases{
      {"s,t,v\nA,1,1\n,2,2\n", "s", later, "in.csv:3: the station id is empty"},
      {"s,t,v\nA,1,1\n\"\",2,2\n", "s", later, "in.csv:3: the station id is empty"},
      {"s,t,v\n.,1,1\n", "s", later, "in.csv:2: the station id '.' names a folder"},
      {"s,t,v\n..,1,1\n", "s", later, "in.csv:2: the station id '..' names a folder"},
      {"s,t,v\nA,1,1\nup/down,2,2\n", "s", later, "in.csv:3: the station id 'up/down' holds a slash"},
      {"s,t,v\n-rf,1,1\n", "s", later, "in.csv:2: the station id '-rf' starts with a dash"},
      {"s,t,v\nA\x01,1,1\n", "s", later, "in.csv:2: the station id holds a control character"},
      {std::string("s,t,v\nA\0B,1,1\n", 14), "s", later, "in.csv:2: the station id holds a control character"},
      {"s,t,v\n" + std::string(252, 'x') + ",1,1\n", "s", later, "in.csv:2: the station id is longer than 251 bytes"},
      // Blanks inside, dots, a leading dot, non-ASCII letters and a name of 251 bytes are kept as written.
      {"s;t;v\nRio Negro;1;1\n.hidden;1;1\nS\xC3\xA3o.Paulo-2;1;1\n" + std::string(251, 'x') + ";1;1\n", "s", later,
       "Rio Negro|.hidden|S\xC3\xA3o.Paulo-2|" + std::string(251, 'x') + "|"},
      // The id column is found as the others are, and cannot be one of them.
      {"s,t,v,S\nA,1,1,B\n", "s", later, "in.csv:1: columns 1 and 4 are both named 's'"},
      {"s,t,v\nA,1,1\n", "station", later, "in.csv:1: no column is named 'station'"},
      {"A,1,1\n", "s", later, "in.csv: no header line names a column 's'"},
      {"s,t,v\nA,1,1\n", "0", later, "in.csv: column numbers start at 1"},
      {"s,t,v\nA,1,1\n", "s", {}, "in.csv:1: --id and --time both take column 1"},
      {"t,s,v\n1,A,1\n", "s", {}, "in.csv:1: --id and --value both take column 2"},
      {"A,1,1\nB,1\n", "1", later, "in.csv:2: too few fields (2)"},
      {"A,1,1\nB\n", "1", with([](ReadOptions& o) { o.time = "2"; o.value = "2"; }), "in.csv:2: too few fields (1)"},
      // A station's own faults, with the file's line numbers; other stations' times do not count.
      {"s,t,v\nA,5,1\nB,1,1\nA,6,1\nB,0,1\n", "s", later, "in.csv:5: the time is earlier than that of line 3"},
      {"s,t,v\nA,5,1\nB,1,1\nA,5,2\n", "s", later, "in.csv:4: the time of line 2 is repeated"},
      {"s,t,v\nA,5,1\nB,x,1\n", "s", later, "in.csv:3: the time 'x' is unreadable"},
      {"s,t,v\nA,5,1\nB,1,1\nA,6,1\nB,2,1\n", "s", later, "A|B|"},
  };
  for (const Case& c : cases) EXPECT_EQ(stationsOutcome(c.text, c.idColumn, c.options), c.want) << c.text;
}

TEST(PrepTest, WritingSeveralFilesWholeWritesAllOrNone) {
  using namespace morvek::testing;
  ScratchDir dir;
  auto error = [](std::vector<FileText> files) {
    try {
      writeAllWhole(files);
      return std::string();
    } catch (const Error& e) {
      return std::string(e.what());
    }
  };
  writeFile("a.dat", "old\n");
  std::filesystem::create_directory("sub");
  EXPECT_EQ(error({{"a.dat", "new\n"}, {"sub", "new\n"}}), "sub: not a regular file; give the name of a file to write");
  EXPECT_EQ(readFile("a.dat"), "old\n");
  std::filesystem::create_symlink("a.dat", "to-a.dat");
  EXPECT_EQ(error({{"a.dat", "one\n"}, {"to-a.dat", "two\n"}}), "to-a.dat: the same file as a.dat");
  EXPECT_EQ(readFile("a.dat"), "old\n");
  EXPECT_EQ(folderContents(), (std::vector<std::string>{"a.dat", "sub", "to-a.dat"}));
  EXPECT_EQ(error({{"a.dat", "one\n"}, {"b.dat", "two\n"}}), "");
  EXPECT_EQ(readFile("a.dat"), "one\n");
  EXPECT_EQ(readFile("b.dat"), "two\n");
  EXPECT_EQ(folderContents(), (std::vector<std::string>{"a.dat", "b.dat", "sub", "to-a.dat"}));
}

// What `command` (the arguments after morvek-prep) exits with.
int exitOf(const std::string& command) {
  return WEXITSTATUS(std::system((std::string(MORVEK_PREP_BINARY) + " " + command).c_str()));
}

std::vector<std::string> contentsOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::ranges::sort(names);
  return names;
}

TEST(PrepTest, StationsCommandLineWritesAFolderAllOrNone) {
  using namespace morvek::testing;
  ScratchDir dir;
  const std::string text = "station,date,flow\nA,2020-02-01,5\nB,2020-01-01,7\nA,2020-02-02,NA\nB,2020-01-02,8\n";
  writeFile("many.csv", text);
  const std::string options = " --id station --time date --value flow";

  // Each file is what series writes of the station's lines alone.
  ASSERT_EQ(exitOf("series many.csv" + options + " -o out 2>err.txt"), 0);
  EXPECT_EQ(contentsOf("out"), (std::vector<std::string>{"A.dat", "B.dat"}));
  for (const std::string id : {"A", "B"}) {
    writeFile(id + ".csv", stationAlone(text, 1, id, ','));
    ASSERT_EQ(exitOf("series " + id + ".csv --time date --value flow -o " + id + "-alone.dat 2>/dev/null"), 0);
    EXPECT_EQ(readFile("out/" + id + ".dat"), readFile(id + "-alone.dat")) << id;
  }
  const std::string err = readFile("err.txt");
  EXPECT_EQ(err.substr(err.rfind("morvek-prep: wrote")), "morvek-prep: wrote 2 stations into out\n");
  EXPECT_EQ(err.substr(0, err.find('\n')), "morvek-prep: many.csv: 5 lines read, 1 header lines, 2 stations");

  // Usage errors: no -o, and --id where it has no place.
  writeFile("e.txt", "1 5\n");
  for (const std::string& command : std::vector<std::string>{"series many.csv" + options, "decluster e.txt --run 1 --id 1 -o x",
                                    "cfg --id 1 -o x", "series many.csv --id"}) {
    EXPECT_EQ(exitOf(command + " >out.txt 2>err.txt"), 2) << command;
    EXPECT_EQ(readFile("out.txt"), "") << command;
  }
  EXPECT_EQ(exitOf("series many.csv" + options + " 2>err.txt"), 2);
  EXPECT_EQ(readFile("err.txt"),
            "morvek-prep: --id needs -o FOLDER, the folder that takes a file for each station\n"
            "Try 'morvek-prep --help'.\n");
  EXPECT_FALSE(std::filesystem::exists("x"));

  // -o naming a file, not a folder: refused, the file kept.
  writeFile("plain.dat", "mine\n");
  EXPECT_EQ(exitOf("series many.csv" + options + " -o plain.dat 2>err.txt"), 1);
  EXPECT_EQ(readFile("err.txt"), "morvek-prep: plain.dat: not a folder; give the name of a folder to write into\n");
  EXPECT_EQ(readFile("plain.dat"), "mine\n");

  // A station with bad lines: no file is written, and a new folder is not made.
  writeFile("bad.csv", text + "A,2020-01-15,1\n");
  EXPECT_EQ(exitOf("series bad.csv" + options + " -o fresh 2>err.txt"), 1);
  EXPECT_EQ(readFile("err.txt").substr(0, readFile("err.txt").find('\n')),
            "morvek-prep: bad.csv:6: the time is earlier than that of line 2");
  EXPECT_FALSE(std::filesystem::exists("fresh"));
  writeFile("out/A.dat", "old A\n");
  writeFile("out/B.dat", "old B\n");
  EXPECT_EQ(exitOf("series bad.csv" + options + " -o out 2>/dev/null"), 1);
  EXPECT_EQ(readFile("out/A.dat"), "old A\n");
  EXPECT_EQ(readFile("out/B.dat"), "old B\n");

  // In the folder, a file not named after a station is never touched. One
  // that is and is not a regular file is refused before anything is
  // written; a regular one is replaced, as -o replaces one.
  writeFile("out/notes.txt", "mine\n");
  std::filesystem::remove("out/B.dat");
  std::filesystem::create_directory("out/B.dat");
  EXPECT_EQ(exitOf("series many.csv" + options + " -o out 2>err.txt"), 1);
  EXPECT_EQ(readFile("err.txt"), "morvek-prep: out/B.dat: not a regular file; give the name of a file to write\n");
  EXPECT_EQ(readFile("out/A.dat"), "old A\n");
  EXPECT_TRUE(std::filesystem::is_directory("out/B.dat"));
  std::filesystem::remove("out/B.dat");
  ASSERT_EQ(::mkfifo("out/B.dat", 0644), 0);
  EXPECT_EQ(exitOf("series many.csv" + options + " -o out/ 2>err.txt"), 1);
  EXPECT_EQ(readFile("err.txt"), "morvek-prep: out/B.dat: not a regular file; give the name of a file to write\n");
  EXPECT_EQ(readFile("out/A.dat"), "old A\n");
  EXPECT_EQ(contentsOf("out"), (std::vector<std::string>{"A.dat", "B.dat", "notes.txt"}));
  std::filesystem::remove("out/B.dat");
  ASSERT_EQ(exitOf("series many.csv" + options + " -o out 2>/dev/null"), 0);
  EXPECT_EQ(readFile("out/A.dat"), readFile("A-alone.dat"));
  EXPECT_EQ(readFile("out/notes.txt"), "mine\n");
  EXPECT_EQ(contentsOf("out"), (std::vector<std::string>{"A.dat", "B.dat", "notes.txt"}));
}

}  // namespace
}  // namespace prep

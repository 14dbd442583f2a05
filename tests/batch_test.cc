// morvek-batch: the analysis without a dialog must equal the dialog's.
// Each case runs the program, then morvek itself twice: on the batch's own
// answers.txt and on answers written out here from the same decisions.
// All three must give the same result files, byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <map>
#include <sstream>

#include "batch/figures.h"
#include "batch/options.h"
#include "morvek/format.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using morvek::testing::readFile;
using morvek::testing::ScratchDir;
using morvek::testing::sourcePath;
using morvek::testing::writeFile;

int shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A gnuplot that draws nothing, for the dialog's replays.
void fakeGnuplot() {
  fs::create_directories("bin");
  writeFile("bin/gnuplot", "#!/bin/sh\nexit 0\n");
  fs::permissions("bin/gnuplot", fs::perms::owner_all);
}

int batch(const std::string& arguments) {
  return shell(std::string(MORVEK_BATCH_BINARY) + " " + arguments + " > batch.out 2> batch.err");
}

// Runs morvek in a fresh `folder` with the data file, the configuration and
// the answers; its standard output becomes session.txt.
void replay(const std::string& folder, const std::string& data, const std::string& answers) {
  fs::create_directories(folder);
  fs::copy_file(data, fs::path(folder) / fs::path(data).filename());
  fs::copy_file("morvek.cfg", fs::path(folder) / "morvek.cfg");
  writeFile(folder + "/answers.txt", answers);
  const std::string command = "cd '" + folder + "' && PATH=\"" + fs::absolute("bin").string() +
                              ":$PATH\" timeout 120 " + MORVEK_BINARY + " < answers.txt > session.txt 2> advice.txt";
  ASSERT_EQ(shell(command), 0) << readFile(folder + "/session.txt");
}

std::vector<std::string> resultFiles(bool series) {
  std::vector<std::string> files{"morvek-2.dat", "morvek-3.dat", "session.txt"};
  if (series) files.push_back("morvek-1.dat");
  return files;
}

void expectSameFiles(const std::string& a, const std::string& b, bool series) {
  for (const std::string& file : resultFiles(series)) {
    ASSERT_TRUE(fs::exists(a + "/" + file)) << a << "/" << file;
    ASSERT_TRUE(fs::exists(b + "/" + file)) << b << "/" << file;
    EXPECT_TRUE(readFile(a + "/" + file) == readFile(b + "/" + file)) << a << " and " << b << " differ in " << file;
  }
}

// One CSV table as rows of fields, read as a spreadsheet reads it.
std::vector<std::vector<std::string>> csv(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row(1);
  bool quoted = false;
  const std::string text = readFile(file);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      row.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      row.emplace_back();
    } else if (!quoted && c == '\n') {
      rows.push_back(row);
      row.assign(1, {});
    } else {
      row.back() += c;
    }
  }
  return rows;
}

// The summary table's rows by name, each a map from column to field.
std::map<std::string, std::map<std::string, std::string>> summary(const std::string& file) {
  const auto rows = csv(file);
  std::map<std::string, std::map<std::string, std::string>> table;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    auto& row = table[rows[r][0]];
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) row[rows[0][c]] = rows[r][c];
  }
  return table;
}

// The first smallest value of a column of a CV table, as written there:
// the dialog takes the first of equal minima.
std::string argmin(const std::string& file, std::size_t column, std::size_t key, const std::string& cls = "") {
  std::string best;
  double least = INFINITY;
  const auto rows = csv(file);
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (!cls.empty() && rows[r][0] != cls) continue;
    const double v = std::stod(rows[r][column]);
    if (v < least) {
      least = v;
      best = rows[r][key];
    }
  }
  return best;
}

// Fills {name} fields of a template.
std::string fill(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values) {
    const std::string key = "{" + name + "}";
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key)) text.replace(at, key.size(), value);
  }
  return text;
}

// A deterministic generator for test series: a linear congruence.
struct Noise {
  unsigned long long state = 12345;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
};

// Ten years of daily values: a seasonal cycle, noise, and rare hot days
// that grow more frequent towards the end. The first `calm` days hardly
// vary, which the dialog warns of with a pause.
void writeDailySeries(const std::string& name, int days, int calm = 0) {
  Noise noise;
  std::string text;
  for (int i = 0; i < days; ++i) {
    const double t = 2000 + i / 365.25;
    double x = 10 + 8 * std::sin(2 * M_PI * i / 365.25) + 2 * noise.next();
    if (noise.next() < 0.01 + 0.03 * i / days) x += 4 + 6 * noise.next();
    if (i < calm) x = 10 + 1e-13 * noise.next();
    text += morvek::fmtShortest(t) + " " + morvek::fmtShortest(x) + "\n";
  }
  writeFile(name, text);
}

// Events with magnitudes, or times alone.
void writeEvents(const std::string& name, int count, bool magnitudes) {
  Noise noise;
  std::string text;
  double t = 0;
  for (int i = 0; i < count; ++i) {
    t += 0.2 + 2.5 * noise.next();
    text += morvek::fmtShortest(t);
    if (magnitudes) text += " " + morvek::fmtShortest(3 + 6 * noise.next());
    text += "\n";
  }
  writeFile(name, text);
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakeGnuplot();
    fs::copy_file(sourcePath("examples/morvek.cfg"), "morvek.cfg");
    fs::copy_file(sourcePath("examples/nile.dat"), "nile.dat");
  }
  ScratchDir scratch_;
};

struct Case {
  const char* name;
  const char* data;
  const char* options;
  // The answers a user would type for the same decisions; {k} is the
  // window where C_1 (or C_m) is least, {h1}..{h3} the bandwidths where C
  // is least, read from the batch's CV tables; {pause1}..{pause3} the Enter
  // for the warning that a class's rate is zero somewhere.
  const char* answers;
  bool series;
};

const Case kCases[] = {
    {"given k and h", "nile.dat", "--z 2 --window 3 --bandwidth 10 --nsim 2000",
     "\no\nnile.dat\nc\n\n3\nt\ns\n2\nc\nm\n1\nc\nk\n10\n{pause1}c\nb\n2000\n-1\nx\n", true},
    {"an extraction, two even classes, cross-validated k and h", "daily.dat",
     "--interval 1999,2011 --z 2 --classes 2 --nsim 300,400 --seed -5",
     "\no\ndaily.dat\nn\n1999 2011\nc\n\n{k}\nt\ns\n2\nc\nm\n2\ne\nc\nk\n1\n{h1}\n{pause1}k\n2\n{h2}\n{pause2}c\nb\n1\n300\n-5\nb\n2\n400\nx\n",
     true},
    {"a long daily series, three classes, C_m", "daily.dat", "--z 2.5 --window cvm --classes 3 --nsim 200",
     "\no\ndaily.dat\nc\n\n{k}\nt\ns\n2.5\nc\nm\n3\ne\nc\nk\n1\n{h1}\n{pause1}k\n2\n{h2}\n{pause2}k\n3\n{h3}\n{pause3}c\nb\n1\n200\n-1\nb\n2\n200\nb\n3\n200\nx\n",
     true},
    {"a calm start: the warning of low variability takes its Enter", "calm.dat",
     "--z 2.5 --window 14 --nsim 200",
     "\no\ncalm.dat\nc\n\n14\n\nt\ns\n2.5\nc\nm\n1\nc\nk\n{h1}\n{pause1}c\nb\n200\n-1\nx\n", true},
    {"events with magnitudes, a bound per hand", "events.dat",
     "--type x --observed -1,150 --bounds 6 --bandwidth 8,cv --nsim 250 --seed -7",
     "\nx\nevents.dat\n-1\n150\nc\nm\n2\nh\n6\nc\nk\n1\n8\n{pause1}k\n2\n{h2}\n{pause2}c\nb\n1\n250\n-7\nb\n2\n250\nx\n", false},
    {"event times, the data's own ends", "times.dat", "--type t --nsim 300",
     "\nt\ntimes.dat\n{first}\n{last}\nc\nk\n{h1}\n{pause1}c\nb\n300\n-1\nx\n", false},
};

TEST_F(BatchTest, ResultsEqualTheDialogsOnTheSameDecisions) {
  writeDailySeries("daily.dat", 3653);
  writeDailySeries("calm.dat", 3653, 60);
  writeEvents("events.dat", 60, true);
  writeEvents("times.dat", 40, false);
  std::map<std::string, int> zeroRisk;  // the cases with zero risk somewhere, per class
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out = "out-" + std::to_string(&c - kCases);
    ASSERT_EQ(batch(std::string(c.options) + " --figures none -o " + out + " " + c.data), 0) << readFile("batch.err");
    const std::string folder = out + "/" + fs::path(c.data).stem().string();
    replay(folder + "-replay", c.data, readFile(folder + "/answers.txt"));
    expectSameFiles(folder, folder + "-replay", c.series);

    std::map<std::string, std::string> values;
    if (c.series) {
      const bool median = std::string(c.options).find("cvm") != std::string::npos;
      values["k"] = argmin(folder + "/cv-window.csv", median ? 2 : 1, 0);
    }
    for (const char* cls : {"1", "2", "3"}) values[std::string("h") + cls] = argmin(folder + "/cv-bandwidth.csv", 2, 1, cls);
    std::istringstream times(readFile(c.data));
    std::string first, last, line;
    std::getline(times, first);
    for (last = first; std::getline(times, line);) last = line;
    const auto row = summary(out + "/summary.csv").begin()->second;
    for (const char* cls : {"1", "2", "3"}) {
      const std::string share = row.at(std::string("c") + cls + "_zero_risk");
      const bool zero = !share.empty() && std::stod(share) > 0;
      EXPECT_EQ(row.at("advisories").find(std::string("class ") + cls + ": zero risk at " + share + " of the grid points") !=
                    std::string::npos,
                zero)
          << row.at("advisories");
      if (zero) ++zeroRisk[cls];
    }
    if (std::string(c.data) == "calm.dat") {
      EXPECT_NE(row.at("advisories").find("low variability"), std::string::npos);
    }
    for (const char* cls : {"1", "2", "3"}) {
      const std::string share = row.at(std::string("c") + cls + "_zero_risk");
      values[std::string("pause") + cls] = !share.empty() && std::stod(share) > 0 ? "\n" : "";
    }
    values["first"] = first;
    values["last"] = last;
    replay(folder + "-typed", c.data, fill(c.answers, values));
    expectSameFiles(folder, folder + "-typed", c.series);
  }
  // The pause for zero risk was met.
  EXPECT_GT(zeroRisk["1"], 0);
}

TEST_F(BatchTest, ASweepMakesOneAnalysisPerCombination) {
  ASSERT_EQ(batch("--z 2,2.5 --window 3,cv1 --bandwidth 10 --nsim 200 --figures none -o out nile.dat"), 0);
  const auto table = summary("out/summary.csv");
  ASSERT_EQ(table.size(), 4u);
  for (const char* name : {"nile_z2_k3", "nile_z2_kcv1", "nile_z2.5_k3", "nile_z2.5_kcv1"}) {
    SCOPED_TRACE(name);
    const std::string folder = std::string("out/") + name;
    EXPECT_EQ(table.at(name).at("status"), "ok");
    replay(folder + "-replay", "nile.dat", readFile(folder + "/answers.txt"));
    expectSameFiles(folder, folder + "-replay", true);
  }
  // The advisories, each in one line.
  EXPECT_EQ(table.at("nile_z2_k3").at("advisories"),
            "k_cv1 and k_cvm are the smallest window offered (k = 3): the curves may have no inner minimum; look at "
            "them, and consider a larger k for a background of the slow changes only; h_cv of class 1 is the largest "
            "bandwidth searched; a larger hrelmax in morvek.cfg widens the search, or the rate may simply be nearly "
            "constant");
  // A higher threshold keeps fewer extremes.
  EXPECT_GT(std::stoi(table.at("nile_z2_k3").at("extremes")), std::stoi(table.at("nile_z2.5_k3").at("extremes")));
}

// The table's numbers are those of the result files.
TEST_F(BatchTest, TheSummaryAgreesWithTheResultFiles) {
  writeDailySeries("daily.dat", 3653);
  ASSERT_EQ(batch("--z 2 --classes 2 --bandwidth 0.5,0.75 --nsim 200 --figures none -o out daily.dat"), 0);
  const auto row = summary("out/summary.csv").at("daily");
  EXPECT_EQ(row.at("type"), "o");
  EXPECT_EQ(row.at("points"), "3653");
  EXPECT_EQ(row.at("observed_left"), "2000");
  EXPECT_EQ(row.at("c1_h"), "0.5");
  EXPECT_EQ(row.at("c2_h"), "0.75");
  EXPECT_EQ(row.at("c1_nsim"), "200");
  for (const char* empty : {"c3_lower", "c3_events", "c3_u", "c3_zero_risk"}) EXPECT_EQ(row.at(empty), "") << empty;

  // The Cox-Lewis lines of morvek-3.dat, rounded to four figures.
  const std::string results = readFile("out/daily/morvek-3.dat");
  for (const char* cls : {"1", "2"}) {
    const std::string p = std::string("c") + cls + "_";
    const auto at = results.find(std::string("Magnitude class ") + cls + ": u = ");
    ASSERT_NE(at, std::string::npos);
    double u = 0, pvalue = 0;
    ASSERT_EQ(std::sscanf(results.c_str() + at, "Magnitude class %*d: u = %lf P-value (one-sided) = %lf", &u, &pvalue), 2);
    EXPECT_NEAR(std::stod(row.at(p + "u")), u, 5e-4 * std::abs(u) + 1e-12);
    EXPECT_NEAR(std::stod(row.at(p + "p")), pvalue, 5e-4 * pvalue + 1e-12);
  }
  // Every extreme is in one class, and morvek-2.dat lists each class's events.
  EXPECT_EQ(std::stoi(row.at("c1_events")) + std::stoi(row.at("c2_events")), std::stoi(row.at("extremes")));
  const std::string dates = readFile("out/daily/morvek-2.dat");
  for (const char* p : {"c1_events", "c2_events"}) {
    char counted[32];
    std::snprintf(counted, sizeof counted, "] -%7d points", std::stoi(row.at(p)));
    EXPECT_NE(dates.find(counted), std::string::npos) << counted;
  }
  // The rate table has one row per grid time inside the observation interval.
  const auto rate = csv("out/daily/rate.csv");
  EXPECT_EQ(rate[0], (std::vector<std::string>{"t", "rate_1", "lower_1", "upper_1", "rate_2", "lower_2", "upper_2"}));
  EXPECT_GE(std::stod(rate[1][0]), 2000);
  EXPECT_LE(std::stod(rate.back()[0]), std::stod(row.at("observed_right")));
  for (const auto& line : rate) EXPECT_EQ(line.size(), rate[0].size());
  EXPECT_FALSE(row.at("c1_lower").empty());
  EXPECT_EQ(row.at("c1_upper"), row.at("c2_lower"));
  EXPECT_LT(std::stod(row.at("c1_lower")), std::stod(row.at("c1_upper")));
  // No sentinel anywhere.
  const std::string text = readFile("out/summary.csv");
  EXPECT_EQ(text.find("-999"), std::string::npos);
  EXPECT_EQ(text.find("e+11"), std::string::npos);
}

// One bad series among good ones: its row says why, it has no results,
// the others complete and the exit status is 1.
TEST_F(BatchTest, ABadSeriesFailsAloneWithItsReason) {
  fs::copy_file(sourcePath("tests/data/flat.txt"), "flat.dat");
  writeFile("broken.dat", "1900 1\n1901 2\n1902 x\n");
  // Dry days: the variability is zero around most rainy ones.
  std::string dry;
  for (int i = 0; i < 200; ++i) dry += std::to_string(1900 + i) + " " + std::to_string(i % 10 == 0 ? 5 + i % 7 : 0) + "\n";
  writeFile("dry.dat", dry);
  ASSERT_EQ(batch("--z 2 --window 3 --bandwidth 10 --nsim 200 --figures none -o out nile.dat flat.dat broken.dat"), 1);
  const auto table = summary("out/summary.csv");
  EXPECT_EQ(table.at("nile").at("status"), "ok");
  EXPECT_EQ(table.at("flat").at("status"), "Too few points");
  EXPECT_EQ(table.at("broken").at("status").rfind("line 3 of broken.dat is not two numbers: 1902 x", 0), 0u)
      << table.at("broken").at("status");
  for (const char* bad : {"flat", "broken"}) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(std::string("out/") + bad)) files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"row.csv"}) << bad;
  }
  EXPECT_TRUE(fs::exists("out/nile/morvek-3.dat"));

  // A name the dialog's question would change is refused.
  fs::copy_file("nile.dat", "nile.dat ");
  const std::string longName(47, 'n');
  fs::copy_file("nile.dat", longName + ".dat");
  ASSERT_EQ(batch("--z 2 --figures none -o names 'nile.dat ' " + longName + ".dat"), 1);
  for (const auto& [name, row] : summary("names/summary.csv")) {
    EXPECT_EQ(row.at("status").rfind("the dialog takes a data file name of at most 50 characters", 0), 0u) << name;
  }

  // Refused values carry the dialog's own reason.
  ASSERT_EQ(batch("--z 2 --window 30 --figures none -o refused nile.dat"), 1);
  EXPECT_EQ(summary("refused/summary.csv").at("nile").at("status"), "--window 30: 30 is above the largest window 25");
  ASSERT_EQ(batch("--z 200 --window 3 --figures none -o refused nile.dat"), 1);
  EXPECT_EQ(summary("refused/summary.csv").at("nile").at("status"),
            "--z 200: the threshold z must have 0.001 <= abs(z) <= 100, not 200");
  ASSERT_EQ(batch("--z 2 --window 3 --bandwidth 1000 --figures none -o refused nile.dat"), 1);
  EXPECT_NE(summary("refused/summary.csv").at("nile").at("status").find("--bandwidth 1000: 1000 is above"),
            std::string::npos);
  ASSERT_EQ(batch("--z 2 --window 3 --classes 3 --figures none -o refused nile.dat"), 1);
  EXPECT_EQ(summary("refused/summary.csv").at("nile").at("status"), "Too few data points in at least one class");
  ASSERT_EQ(batch("--z 2 --window 3 --figures none -o refused dry.dat"), 1);
  EXPECT_EQ(summary("refused/summary.csv").at("dry").at("status").rfind("Variability is zero at", 0), 0u)
      << summary("refused/summary.csv").at("dry").at("status");
  ASSERT_EQ(batch("--z 2 --interval 1880,1960 --figures none -o refused nile.dat"), 1);
  EXPECT_EQ(summary("refused/summary.csv").at("nile").at("status"),
            "Risk estimation requires: extracted = original time interval (set in Part 1); Please go back to Part 1");
  ASSERT_EQ(batch("--type x --figures none -o refused missing.dat"), 1);
  EXPECT_NE(summary("refused/summary.csv").at("missing").at("status").find("missing.dat: no such file"),
            std::string::npos);
}

TEST_F(BatchTest, UsageErrorsExitWithTwoAndOneLine) {
  for (const char* arguments : {"nile.dat", "-o out", "--z 2 nile.dat", "--z 2 -o out --type q nile.dat",
                                "--z x -o out nile.dat", "--type x --z 2 -o out nile.dat",
                                "--z 2 --classes 2 --bounds 3 -o out nile.dat", "--z 2 --bandwidth 1,2 -o out nile.dat",
                                "--type t --classes 2 -o out nile.dat", "--z 2 --window big -o out nile.dat",
                                "--z 2 --threads 0 -o out nile.dat", "--z 2 --threads 1.5 -o out nile.dat", "--frobnicate", "--z 2,2 -o out nile.dat"}) {
    SCOPED_TRACE(arguments);
    EXPECT_EQ(batch(arguments), 2);
    const std::string err = readFile("batch.err");
    EXPECT_EQ(err.rfind("morvek-batch: ", 0), 0u) << err;
    EXPECT_NE(err.find("--help"), std::string::npos);
    EXPECT_FALSE(fs::exists("out"));
  }
  EXPECT_EQ(batch("--help"), 0);
  EXPECT_NE(readFile("batch.out").find("Usage: morvek-batch"), std::string::npos);
}

// Series side by side give the same files as one after the other.
TEST_F(BatchTest, ThreadsChangeNoResult) {
  writeDailySeries("a.dat", 1200);
  writeDailySeries("b.dat", 1900);
  const std::string common = "--z 2 --bandwidth cv --nsim 300 --figures none ";
  ASSERT_EQ(batch(common + "--threads 1 -o one nile.dat a.dat b.dat"), 0) << readFile("batch.err");
  ASSERT_EQ(batch(common + "--threads 3 -o three nile.dat a.dat b.dat"), 0) << readFile("batch.err");
  for (const char* name : {"nile", "a", "b"}) {
    for (const char* file : {"morvek-1.dat", "morvek-3.dat", "answers.txt", "rate.csv", "cv-window.csv", "row.csv"}) {
      EXPECT_TRUE(readFile(std::string("one/") + name + "/" + file) == readFile(std::string("three/") + name + "/" + file))
          << name << "/" << file;
    }
  }
  EXPECT_EQ(readFile("one/summary.csv"), readFile("three/summary.csv"));
}

// An earlier run's folder is replaced; a folder of the user's is not.
TEST_F(BatchTest, OnlyAnEarlierRunsFolderIsReplaced) {
  const std::string run = "--z 2 --window 3 --bandwidth 10 --nsim 200 --figures none -o out nile.dat";
  ASSERT_EQ(batch(run), 0);
  writeFile("out/nile/answers.txt", "stale");
  writeFile("out/nile/rate-1.svg", "an older figure");
  writeFile("out/nile/rate-1.pdf", "an older figure");
  ASSERT_EQ(batch(run), 0);
  EXPECT_NE(readFile("out/nile/answers.txt"), "stale");
  EXPECT_FALSE(fs::exists("out/nile/rate-1.svg"));

  writeFile("out/nile/notes.txt", "mine");
  ASSERT_EQ(batch(run), 1);
  EXPECT_EQ(readFile("out/nile/notes.txt"), "mine");
  EXPECT_NE(summary("out/summary.csv").at("nile").at("status").find("did not write"), std::string::npos);
  // Nor is a file of the user's under the series' name.
  fs::create_directories("mine");
  writeFile("mine/flat", "mine");
  fs::copy_file(sourcePath("tests/data/flat.txt"), "flat.dat");
  ASSERT_EQ(batch("--z 2 --window 3 --figures none -o mine flat.dat"), 1);
  EXPECT_EQ(readFile("mine/flat"), "mine");
  // Nothing is left behind beside the series folders.
  for (const auto& entry : fs::directory_iterator("out")) {
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
}

TEST_F(BatchTest, CollectGathersTheRowsOfSeparateRuns) {
  fs::copy_file(sourcePath("tests/data/flat.txt"), "flat.dat");
  const std::string common = "--z 2 --window 3 --bandwidth 10 --nsim 200 --figures none -o out ";
  ASSERT_EQ(batch(common + "nile.dat"), 0);
  ASSERT_EQ(batch(common + "flat.dat"), 1);
  ASSERT_EQ(batch("--collect out"), 1);  // flat failed
  const auto rows = csv("out/summary.csv");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][0], "flat");
  EXPECT_EQ(rows[2][0], "nile");
  EXPECT_EQ(batch("--collect nowhere"), 1);
}

// GNU parallel runs one process per series into one folder.
TEST_F(BatchTest, GnuParallelAndTheJobArrayScriptRunAStudy) {
  for (int i = 0; i < 4; ++i) writeDailySeries("station " + std::to_string(i) + ".dat", 1000 + 200 * i);
  fs::create_directories("stations");
  for (int i = 0; i < 4; ++i) fs::rename("station " + std::to_string(i) + ".dat", "stations/s" + std::to_string(i) + ".dat");
  ASSERT_EQ(shell("command -v parallel > /dev/null"), 0) << "GNU parallel is needed: apt-get install parallel";
  const std::string options = "--z 2.5 --nsim 200 --figures none";
  ASSERT_EQ(shell("parallel --will-cite -j2 " + std::string(MORVEK_BATCH_BINARY) + " " + options +
                  " -o study {} ::: stations/*.dat > /dev/null 2>&1"),
            0);
  ASSERT_EQ(batch("--collect study"), 0);
  ASSERT_EQ(csv("study/summary.csv").size(), 5u);

  // The job-array script as Slurm starts each task, one index at a time.
  const std::string script = sourcePath("examples/morvek-array.sh");
  for (int task = 0; task < 4; ++task) {
    ASSERT_EQ(shell("SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " MORVEK_DATA=stations MORVEK_OUT=array "
                    "MORVEK_OPTIONS='" + options + "' MORVEK_BATCH=" + MORVEK_BATCH_BINARY + " bash " + script +
                    " > /dev/null 2>&1"),
              0)
        << task;
  }
  EXPECT_NE(shell("SLURM_ARRAY_TASK_ID=9 MORVEK_DATA=stations MORVEK_OUT=array MORVEK_BATCH=" +
                  std::string(MORVEK_BATCH_BINARY) + " bash " + script + " > /dev/null 2>&1"),
            0);
  ASSERT_EQ(batch("--collect array"), 0);
  // The same study both ways.
  for (int i = 0; i < 4; ++i) {
    const std::string name = "/s" + std::to_string(i);
    EXPECT_EQ(readFile("study" + name + "/morvek-3.dat"), readFile("array" + name + "/morvek-3.dat"));
  }
  EXPECT_EQ(readFile("study/summary.csv"), readFile("array/summary.csv"));
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Figures are files of their format, drawn by the real gnuplot.
TEST_F(BatchTest, FiguresAreValidFilesOfTheirFormat) {
  ASSERT_EQ(shell("command -v gnuplot > /dev/null"), 0) << "gnuplot is needed: install gnuplot-nox";
  const std::string run = "--z 2 --window 3 --bandwidth 10 --nsim 200 -o ";
  ASSERT_EQ(batch(run + "png nile.dat"), 0) << readFile("batch.err");
  EXPECT_TRUE(startsWith(readFile("png/nile/series.png"), "\x89PNG"));
  EXPECT_TRUE(startsWith(readFile("png/nile/rate-1.png"), "\x89PNG"));
  ASSERT_EQ(batch(run + "svg --figures svg nile.dat"), 0);
  EXPECT_NE(readFile("svg/nile/rate-1.svg").find("<svg"), std::string::npos);
  ASSERT_EQ(batch(run + "pdf --figures pdf --figures-all nile.dat"), 0);
  std::vector<std::string> figures;
  for (const auto& entry : fs::directory_iterator("pdf/nile")) {
    if (entry.path().extension() == ".pdf") {
      figures.push_back(entry.path().filename());
      EXPECT_TRUE(startsWith(readFile(entry.path()), "%PDF")) << entry.path();
    }
  }
  std::sort(figures.begin(), figures.end());
  EXPECT_EQ(figures, (std::vector<std::string>{"01-data.pdf", "02-cv-window.pdf", "03-background.pdf",
                                               "04-background.pdf", "05-extremes.pdf", "06-distribution.pdf",
                                               "07-classes.pdf", "08-cv-bandwidth-1.pdf", "09-rate-1.pdf",
                                               "10-band-1.pdf"}));
  EXPECT_EQ(summary("pdf/summary.csv").at("nile").at("advisories").find("gnuplot"), std::string::npos);
}

// The command text of a figure: the dialog's own, with a terminal and an
// output, without the pause and the band's empty legend entry.
TEST(FigureScript, IsTheDialogsPlotWithoutPauseOrEmptyTitle) {
  const std::string golden = readFile(sourcePath("tests/golden/plot_type11.txt"));
  const std::string commands = golden.substr(golden.find("== 2.tmp ==\n") + 12);
  const std::string background = readFile(sourcePath("tests/golden/plot_type05.txt"));
  const std::string series = background.substr(background.find("== 2.tmp ==\n") + 12);
  morvek::testing::expectGolden(
      "figure_scripts.txt",
      "== band, png ==\n" + batch::figureScript(commands, batch::Format::png, "rate-1.plot-data", "rate-1.png") +
          "== series with extremes, svg ==\n" +
          batch::figureScript(series, batch::Format::svg, "series.plot-data", "it's.svg", "series.extremes"));
}

TEST(Options, SweepsNameTheirFolders) {
  const auto jobs = batch::jobsOf(batch::parseOptions({"--z", "2,3", "-o", "out", "a/nile.dat", "b/flow.txt"}));
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs[0].name, "nile_z2");
  EXPECT_EQ(jobs[3].name, "flow_z3");
  EXPECT_EQ(jobs[3].decisions.z, "3");
  EXPECT_EQ(jobs[3].decisions.window, "cv1");
  EXPECT_THROW(batch::jobsOf(batch::parseOptions({"--z", "2", "-o", "out", "a/nile.dat", "b/nile.txt"})),
               batch::UsageError);
  const auto written = batch::parseOptions({"--seed", "-9", "--observed=1,2", "--type=x", "-o", "o", "f"});
  EXPECT_EQ(written.decisions.seed, "-9");
  EXPECT_EQ(written.decisions.observed->second, "2");
  EXPECT_EQ(batch::parseOptions({"--z=2.5", "-o", "o", "f"}).z, std::vector<std::string>{"2.5"});
  const auto bounds = batch::parseOptions({"--type", "x", "--bounds", "4,6", "--nsim", "300,400,500", "-o", "o", "f"});
  EXPECT_EQ(bounds.decisions.classes, 3);
  EXPECT_THROW(batch::parseOptions({"--type", "x", "--bounds", "4,6", "--nsim", "300,400", "-o", "o", "f"}),
               batch::UsageError);
}

}  // namespace

namespace {

// The series figure marks each extreme at its value in the series.
TEST(FigureExtremes, AreTheSeriesValuesAtTheExtremeTimes) {
  morvek::State s = morvek::testing::withData(morvek::DataType::ordinary, {1, 2, 3, 4, 5}, {10, 25, 11, 12, 30});
  EXPECT_EQ(batch::extremeRows(s), "");
  s.setting.z = 2;
  morvek::testing::setExtremes(s, {2, 5}, {3.5, 4.5});
  EXPECT_EQ(batch::extremeRows(s), "2 25\n5 30\n");
}

// On a terminal the series reports the dialog's progress line, and
// clears it when a computation is done.
TEST(BatchProgress, ReportsTheDialogsProgressLines) {
  ScratchDir scratch;
  fs::copy_file(sourcePath("examples/nile.dat"), "nile.dat");
  batch::Shared shared;
  shared.out = "out";
  shared.config = readFile(sourcePath("examples/morvek.cfg"));
  fs::create_directories(shared.out);
  batch::Job job{"nile.dat", "nile", {}};
  job.decisions.z = "2";
  job.decisions.nsim = {"200"};
  std::vector<std::string> reports;
  const auto outcome = batch::runSeries(job, shared, [&](const std::string& text) { reports.push_back(text); });
  ASSERT_TRUE(outcome.ok) << outcome.row.back();
  const auto has = [&](const std::string& start) {
    return std::any_of(reports.begin(), reports.end(), [&](const std::string& r) { return r.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(has("Cross-validation of the background window: 23 of 23 windows"));
  EXPECT_TRUE(has("Bootstrap simulations: 200 of 200 replicates"));
  EXPECT_TRUE(has(""));
  EXPECT_EQ(reports.back(), "");
}

}  // namespace

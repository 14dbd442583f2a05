#include "morvek/driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::expectGolden;
using testing::lines;
using testing::readFile;
using testing::RecordingRunner;
using testing::Scripted;
using testing::ScratchDir;
using testing::writeFile;

const std::string kConfig = "&cfg /\n";

std::string banner() {
  const std::string rule58(58, '=');
  return emptyLines(100) +
         lines({"", rule58, "", "Morvek: Analysis and Risk Estimation of Extreme Events", "", rule58});
}

std::string welcome() {
  return emptyLines(2) + "Continue with Enter, exit with CTRL-C\n" + emptyLines(100) +
         lines({std::string(70, '='), "", "Morvek Version 3.0 (December 2014) --- welcome!", ""});
}

std::string dataTypeMenu() {
  return emptyLines(2) + lines({"", "Datatype:  ordinary               [o]",
                                "           extreme                [x]",
                                "           extreme times          [t]"});
}

std::string part1Menu() {
  return emptyLines(2) + lines({"", "Part 1: Time Interval Extraction", "",
                                "New                                      [n]",
                                "Original                                 [o]",
                                "Continue                                 [c]"});
}

struct Outcome {
  int status;
  std::string transcript;
  RecordingRunner plots;
};

Outcome runSession(const std::string& answers) {
  Scripted session(answers);
  Outcome result;
  result.status = runMorvek(session.console, result.plots);
  result.transcript = session.text();
  return result;
}

class DriverTest : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(DriverTest, TimeSeriesSessionWithExtractionAndReturn) {
  writeFile("morvek.cfg", kConfig);
  std::string data;
  for (int year = 1871; year <= 1880; ++year) data += std::to_string(year) + " 1000\n";
  writeFile("flows.txt", data);

  const Outcome result = runSession("\no\nflows.txt\nn\n1872 1878.5\no\nc\n");
  const std::string name = "Data file name:              flows.txt                                         ";
  const std::string original = lines({
      name, "Datatype:                    ordinary ",
      "Time interval - original:    [    1871.000;    1880.000 ]       -     10 points",
      "Time interval - observed:    [    1871.000;    1880.000 ]"});
  const std::string extracted =
      "Time interval - extracted:   [    1872.000;    1878.000 ]       -      7 points\n";
  // The script ends where the window dialog of Part 2 begins.
  const std::string shown =
      banner() + welcome() + dataTypeMenu() + "(t, x): [path + filename]\n" + original +
      part1Menu() +
      lines({"New interval must contain at least     7 points", "[left boundary, right boundary]: "}) +
      original + extracted + part1Menu() + original + part1Menu() + emptyLines(50) + original +
      emptyLines(2);
  EXPECT_EQ(result.transcript.substr(0, shown.size()), shown);
  EXPECT_EQ(result.status, 1);  // the window dialog met the end of input
  // The data are drawn at every pass of the Part 1 menu.
  EXPECT_EQ(result.plots.commands, std::vector<std::string>(3, "gnuplot 2.tmp"));
  EXPECT_NE(result.plots.commandFiles[1].find("extracted time interval"), std::string::npos);
}

TEST_F(DriverTest, EventTimesAreDrawnAsImpulses) {
  writeFile("morvek.cfg", kConfig);
  writeFile("times.txt", "1.5\n2.5\n4\n8\n");
  const Outcome result = runSession("\nt\ntimes.txt\n0\n10\nc\nk\n2\nc\nb\n200\n-1\nx\n");
  EXPECT_EQ(result.status, 0);
  ASSERT_EQ(result.plots.commandFiles.size(), 5u);  // times, the class, C(h), rate, band
  EXPECT_NE(result.plots.commandFiles[0].find(" plot '1.tmp' u 1:(1) w i lt   8\n"),
            std::string::npos)
      << result.plots.commandFiles[0];
  EXPECT_NE(result.transcript.find("(t): [path + filename]\n"), std::string::npos);
  EXPECT_NE(result.transcript.find("Time interval - observed:    [       0.000;      10.000 ]\n"),
            std::string::npos);
}

TEST_F(DriverTest, ClosedInputAtEveryQuestionEndsUnsuccessfully) {
  writeFile("morvek.cfg", kConfig);
  writeFile("events.txt", "1 5\n2 6\n3 7\n4 8\n5 9\n");
  const std::vector<std::string> answers{"", "x", "events.txt", "0", "6", "n", "1 3", "o", "c",
                                         "m", "1", "c", "k", "1", "c", "b", "200", "-1", "x"};
  for (std::size_t given = 0; given < answers.size(); ++given) {
    std::string script;
    for (std::size_t i = 0; i < given; ++i) script += answers[i] + "\n";
    const Outcome result = runSession(script);
    EXPECT_EQ(result.status, 1) << "after " << given << " answers";
    EXPECT_TRUE(result.transcript.ends_with("\nMorvek terminates unsuccessfully\n"))
        << "after " << given << " answers";
  }
  std::string all;
  for (const auto& answer : answers) all += answer + "\n";
  EXPECT_EQ(runSession(all).status, 0);
}

TEST_F(DriverTest, FatalErrorsWriteTheirLinesThenStop) {
  const Outcome missing = runSession("");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.transcript, "Error during data file opening\nMorvek terminates unsuccessfully\n");

  writeFile("morvek.cfg", "&cfg krell = 1 /\n");
  EXPECT_EQ(runSession("").transcript,
            "morvek.cfg line 1: unknown key 'krell'\nMorvek terminates unsuccessfully\n");

  writeFile("morvek.cfg", kConfig);
  writeFile("short.txt", "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n");
  const Outcome tooShort = runSession("\no\nshort.txt\n");
  EXPECT_EQ(tooShort.status, 1);
  EXPECT_TRUE(tooShort.transcript.ends_with(lines({"Data size:                6",
                                                   "Minimum data size:        7",
                                                   "Too few data points",
                                                   "Morvek terminates unsuccessfully"})));
}

// An exception that no routine turns into a message of its own still ends
// the run in order, with the closing line and status 1.
TEST_F(DriverTest, UnexpectedExceptionsEndTheRunInOrder) {
  struct FailingRunner : PlotRunner {
    explicit FailingRunner(bool memory) : memory(memory) {}
    void run(const std::string&) override {
      if (memory) throw std::bad_alloc();
      throw std::runtime_error("no plot");
    }
    bool memory;
  };
  writeFile("morvek.cfg", kConfig);
  writeFile("events.txt", "1 5\n2 6\n3 7\n4 8\n5 9\n");
  for (const bool memory : {true, false}) {
    Scripted session("\nx\nevents.txt\n0\n6\n");
    FailingRunner runner(memory);
    EXPECT_EQ(runMorvek(session.console, runner), 1);
    EXPECT_TRUE(session.text().ends_with(memory ? "\nOut of memory\nMorvek terminates unsuccessfully\n"
                                                : "\nInternal error: no plot\nMorvek terminates unsuccessfully\n"))
        << session.text().substr(session.text().size() - 200);
  }
}

// Which picture a command file draws, by the text only that type writes.
int plotType(const std::string& commandFile) {
  const std::pair<const char*, int> marks[] = {
      {"notitle w linespoints", 1},      {"'Background ( k =", 5},
      {"Number of extreme events =", 7}, {"title 'Class  1' w i", 8},
      {"u 1:(1) w i", 12},               {"title 'C_1(k)'", 13},
      {"Cross-validation function for risk", 9}, {"Cox-Lewis test for constant risk:", 10},
      {"Confidence band", 11}};
  int type = 0;
  for (const auto& [mark, t] : marks) {
    if (commandFile.find(mark) != std::string::npos) type = t;
  }
  // The extremes are drawn like the data, with their own axis label.
  if (type == 1 && commandFile.find("Scaled extreme value") != std::string::npos) type = 6;
  return type;
}

std::vector<int> plotTypes(const RecordingRunner& plots) {
  std::vector<int> types;
  for (const std::string& file : plots.commandFiles) types.push_back(plotType(file));
  return types;
}

// Forty years of flows around a slowly rising level with five floods.
std::string floods() {
  std::string data;
  for (int i = 0; i < 40; ++i) {
    double flow = 100.0 + i + 3.0 * ((i * 7) % 5);
    if (i == 5 || i == 12 || i == 21 || i == 30 || i == 36) flow += 40.0 + i;
    data += std::to_string(1950 + i) + " " + std::to_string(flow) + "\n";
  }
  return data;
}

TEST_F(DriverTest, TimeSeriesSessionReachesTheRiskEstimation) {
  // A coarse time grid keeps the golden rate table short.
  writeFile("morvek.cfg", "&cfg ngrid = 256 /\n");
  writeFile("floods.txt", floods());
  const std::string answers =
      "\no\nfloods.txt\nc\n"  // start-up, whole series
      "\nx\n\n4\n"            // window dialog: one wrong answer, then k = 4
      "c\n"                     // refused: no threshold yet
      "t\nt\n1 2 3\n"          // three test lines
      "t\ns\n11\n"             // a threshold that leaves too few extremes
      "c\n"                     // refused: too few points
      "t\ns\n2\n"              // the threshold kept
      "b\n\n3\n"               // smoothed again with k = 3, the extremes follow
      "c\n"
      "c\n"                     // refused: no classes yet
      "m\n2\nh\n5\n11\n"       // two classes by hand: 5 is below the smallest
      "c\n"
      "c\nk\n"                  // refused: no bandwidths yet, a class of two events
      "t\n2\n\n"                // the trend test of class 2
      "3\nm\n1\nc\n"            // back to one class of six
      "k\n20\n5\n"              // a bandwidth out of range, then 5
      "c\n"
      "x\n"                     // refused: no band yet
      "b\n199\n200\n0\n-17\n"   // 200 replicates, seed -17
      "4\nc\n"                  // to the risk estimation and back
      "x\n";
  const Outcome result = runSession(answers);
  EXPECT_EQ(result.status, 0);
  expectGolden("floods_session.txt", result.transcript);
  // The result files of the session: the rate and band survive the return
  // to the risk estimation.
  expectGolden("floods_morvek-1.dat", readFile("morvek-1.dat"));
  expectGolden("floods_morvek-2.dat", readFile("morvek-2.dat"));
  expectGolden("floods_morvek-3.dat", readFile("morvek-3.dat"));
  EXPECT_EQ(plotTypes(result.plots),
            (std::vector<int>{1, 13, 13, 5, 5, 5, 5, 13, 5, 6, 7, 8, 7, 8, 9, 10, 11}));
  // The test lines, then the threshold line alone, drawn over the data.
  const std::string& tests = result.plots.commandFiles[4];
  EXPECT_NE(tests.find("'' u 1:($3+  1.000*$4) title 'Background  +      1.000 * variability'"),
            std::string::npos) << tests;
  EXPECT_NE(tests.find("'' u 1:($3+  3.000*$4) title 'Background  +      3.000 * variability'"),
            std::string::npos) << tests;
  const std::string& threshold = result.plots.commandFiles[6];
  EXPECT_NE(threshold.find("title 'Threshold = background  +      2.000 * variability' w lines"),
            std::string::npos) << threshold;
  EXPECT_EQ(threshold.find("3.000 * variability"), std::string::npos);
}

TEST_F(DriverTest, ExtremeEventsGoStraightToTheClasses) {
  writeFile("morvek.cfg", kConfig);
  writeFile("events.txt", "1 5\n2 6.5\n3 7\n4 8\n5 9\n");
  const Outcome result =
      runSession("\nx\nevents.txt\n0\n6\nc\n2\nm\n2\ne\nc\nk\nt\n1\n\n3\nm\n1\nc\nk\n1\nc\n"
                 "b\n200\n-5\nx\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.transcript.find("Part 2: Extreme Events Detection\n"), std::string::npos);
  EXPECT_NE(result.transcript.find(lines({"Magnitude class", " 1   [  5.000E+00;  7.000E+00 ] -      3 points   ",
                                          " 2   ]  7.000E+00;  9.000E+00 ] -      2 points   "})),
            std::string::npos) << result.transcript;
  EXPECT_EQ(plotTypes(result.plots), (std::vector<int>{1, 6, 7, 8, 7, 8, 9, 10, 11}));
  EXPECT_NE(result.transcript.find("Too few data points in at least one class\n"), std::string::npos);
  EXPECT_TRUE(result.transcript.ends_with(
      lines({"morvek-2.dat:       extreme event times",
             "morvek-3.dat:       hypothesis test, estimated risk curves", "",
             "Morvek terminates successfully"})));
  EXPECT_FALSE(std::filesystem::exists("morvek-1.dat"));
}

TEST_F(DriverTest, EventTimesMakeOneClassWithoutQuestions) {
  writeFile("morvek.cfg", kConfig);
  writeFile("times.txt", "1.5\n2.5\n4\n8\n");
  const Outcome result = runSession("\nt\ntimes.txt\n0\n10\nc\nk\n2\nc\nb\n200\n-1\nx\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(plotTypes(result.plots), (std::vector<int>{12, 8, 9, 10, 11}));
  EXPECT_FALSE(std::filesystem::exists("morvek-1.dat"));
  EXPECT_TRUE(std::filesystem::exists("morvek-3.dat"));
  EXPECT_EQ(result.transcript.find("Magnitude Classification"), std::string::npos);
  EXPECT_NE(result.transcript.find(" 1   [ -9.990E+11; -9.990E+11 ] -      4 points   \n"),
            std::string::npos);
}

TEST_F(DriverTest, ReturnsFromTheClassesStartTheDetectionAfresh) {
  writeFile("morvek.cfg", kConfig);
  writeFile("floods.txt", floods());
  const std::string detect = "\n3\nt\ns\n2\nc\n";  // window, threshold, continue
  const std::string answers = "\no\nfloods.txt\nc\n" + detect +
                              "m\n1\n2\n" + detect +             // classes, back to Part 2
                              "1\nn\n1950 1969\nc\n" + detect +  // back to Part 1, 20 points
                              "m\n1\nc\n" +
                              "1\no\nc\n" + detect +  // the whole series for the risk
                              "m\n1\nc\nk\n5\nc\nb\n200\n-1\nx\n";
  const Outcome result = runSession(answers);
  EXPECT_EQ(result.status, 0) << result.transcript;
  // The window curves are computed anew for each pass: 40 points give
  // k = 3..10, 20 points k = 3..5.
  std::vector<std::size_t> entries;
  for (std::size_t i = 0; i < result.plots.commandFiles.size(); ++i) {
    if (plotType(result.plots.commandFiles[i]) != 13) continue;
    const std::string& rows = result.plots.dataFiles[i];
    entries.push_back(static_cast<std::size_t>(std::count(rows.begin(), rows.end(), '\n')));
  }
  EXPECT_EQ(entries, (std::vector<std::size_t>{8, 8, 3, 8}));
  EXPECT_NE(result.transcript.find("k:            3 <= [INT] <=      5\n"), std::string::npos);
}

TEST_F(DriverTest, SevenPointsGoThroughDetectionAndClasses) {
  writeFile("morvek.cfg", kConfig);
  writeFile("floods.txt", floods());
  const Outcome result =
      runSession("\no\nfloods.txt\nn\n1960 1966\nc\n\n3\nt\ns\n0.001\nc\nm\n1\nc\nk\n");
  // The risk needs the whole series; the script ends at that refusal.
  EXPECT_NE(result.transcript.find("Risk estimation requires:\n"), std::string::npos);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.transcript.find("k:            3 <= [INT] <=      3\n"), std::string::npos);
}

// A return from the bootstrap keeps every rate and band; a new rate
// discards the band of its class, which must then be drawn again.
TEST_F(DriverTest, ANewRateNeedsANewBand) {
  writeFile("morvek.cfg", kConfig);
  writeFile("events.txt", "1 5\n2 6.5\n3 7\n4 8\n5 9\n");
  const Outcome result = runSession("\nx\nevents.txt\n0\n6\nc\nm\n1\nc\nk\n1\nc\nb\n200\n-5\n"
                                    "4\nc\n4\nk\n1.5\nc\nx\nb\n200\nx\n");
  EXPECT_EQ(result.status, 0);
  const std::string band = " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.000E+00          200\n";
  const std::string rateOnly = " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.500E+00\n";
  const std::size_t kept = result.transcript.rfind(band);
  const std::size_t refused = result.transcript.find("Bootstrap simulations have not all yet been done\n");
  ASSERT_NE(refused, std::string::npos);
  EXPECT_LT(kept, result.transcript.find(rateOnly));
  EXPECT_LT(result.transcript.find(rateOnly), refused);
  const std::string rates = readFile("morvek-3.dat");
  EXPECT_EQ(rates.find("-9.99"), std::string::npos);
  EXPECT_EQ(rates.find("NaN"), std::string::npos);
}

// A flat stretch makes the variability zero at three extremes: the classes
// wait until a wider window sees variation there.
TEST_F(DriverTest, ZeroVariabilityAtExtremesAsksForAWiderWindow) {
  writeFile("morvek.cfg", kConfig);
  const double values[] = {5,     7.975, 4.233, 2.223, 6.482, 7.395, 2.9,   3.146, 7.577, 6.19,
                           2.116, 4.553, 5,     5,     9,     5,     9,     5,     9,     5,
                           5,     2.271, 4.116, 7.957, 5.122, 2.012, 5.648, 7.821, 3.625, 2.533,
                           7.011, 6.949, 2.487, 3.699, 7.848, 5.567, 2.006, 5.204, 7.942, 4.038};
  std::string data;
  for (int i = 0; i < 40; ++i) data += std::to_string(1950 + i) + " " + std::to_string(values[i]) + "\n";
  writeFile("flat.txt", data);
  const Outcome result = runSession("\no\nflat.txt\nc\n\n3\n\nt\ns\n3\nc\nb\n\n8\n\nc\nm\n1\nc\n");
  EXPECT_NE(result.transcript.find(lines({"Variability is zero at 3 of the extreme events",
                                          "Please choose a larger smoothing parameter k (Background smoothing [b])"})),
            std::string::npos);
  EXPECT_NE(result.transcript.find(" 1   [  3.361E+00;  6.173E+00 ] -      3 points   \n"), std::string::npos);
  EXPECT_EQ(result.transcript.find("NaN"), std::string::npos);
  EXPECT_EQ(result.transcript.find("Infinity"), std::string::npos);
}

TEST_F(DriverTest, ConstantSeriesIsCarriedThroughWithItsWarning) {
  writeFile("morvek.cfg", kConfig);
  std::string data;
  for (int i = 0; i < 12; ++i) data += std::to_string(i) + " 5\n";
  data[data.size() - 2] = '9';  // one point above the constant: infinitely far
  writeFile("flat.txt", data);
  const Outcome result =
      runSession("\no\nflat.txt\nc\n\n3\n\nt\ns\n-1\n" "t\ns\n1\n" "c\n");
  // One extreme is too few to go on; the run ends at the fifth refusal.
  EXPECT_NE(result.transcript.find("There exist points where time-dependent variability is very low"),
            std::string::npos);
  EXPECT_NE(result.transcript.find("Number of extreme events:        0 points"), std::string::npos);
  EXPECT_NE(result.transcript.find("Number of extreme events:        1 points"), std::string::npos);
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace morvek

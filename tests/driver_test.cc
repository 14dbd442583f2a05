#include "morvek/driver.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::lines;
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
  EXPECT_EQ(result.transcript,
            banner() + welcome() + dataTypeMenu() + "(t, x): [path + filename]\n" + original +
                part1Menu() +
                lines({"New interval must contain at least     7 points",
                       "[left boundary, right boundary]: "}) +
                original + extracted + part1Menu() + original + part1Menu() + emptyLines(50) +
                original +
                lines({"", "Extreme events detection is not available in this version.",
                       "Morvek terminates successfully"}));
  EXPECT_EQ(result.status, 0);
  // The data are drawn at every pass of the Part 1 menu.
  EXPECT_EQ(result.plots.commands, std::vector<std::string>(3, "gnuplot 2.tmp"));
  EXPECT_NE(result.plots.commandFiles[1].find("extracted time interval"), std::string::npos);
}

TEST_F(DriverTest, EventTimesAreDrawnAsImpulses) {
  writeFile("morvek.cfg", kConfig);
  writeFile("times.txt", "1.5\n2.5\n4\n8\n");
  const Outcome result = runSession("\nt\ntimes.txt\n0\n10\nc\n");
  EXPECT_EQ(result.status, 0);
  ASSERT_EQ(result.plots.commandFiles.size(), 1u);
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
  const std::vector<std::string> answers{"", "x", "events.txt", "0", "6", "n", "1 3", "c"};
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

}  // namespace
}  // namespace morvek

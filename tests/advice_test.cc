// Advisories: short hints on standard error where a message alone would
// leave a user stuck. The dialog on standard output stays byte for byte
// what it is without them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "morvek/driver.h"
#include "morvek/plot.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::readFile;
using testing::RecordingRunner;
using testing::Scripted;
using testing::ScratchDir;
using testing::writeFile;

struct Outcome {
  int status;
  std::string out, advice;
};

Outcome session(const std::string& answers) {
  Scripted s(answers);
  RecordingRunner plots;
  const int status = runMorvek(s.console, plots);
  return {status, s.text(), s.advice.str()};
}

// The real program with standard error discarded writes what the dialog
// writes without advisories.
void expectSameDialog(const std::string& answers, const std::string& withoutAdvice) {
  writeFile("answers.txt", answers);
  std::filesystem::create_directories("bin");
  writeFile("bin/gnuplot", "#!/bin/sh\nexit 0\n");
  std::filesystem::permissions("bin/gnuplot", std::filesystem::perms::owner_all);
  const std::string command = "PATH=\"$PWD/bin:$PATH\" " + std::string(MORVEK_BINARY) +
                              " <answers.txt >out.txt 2>/dev/null";
  std::system(command.c_str());
  EXPECT_EQ(readFile("out.txt"), withoutAdvice);
}

std::string plain(const std::string& answers) {
  std::istringstream in(answers);
  std::ostringstream out;
  Console quiet(in, out);
  RecordingRunner plots;
  runMorvek(quiet, plots);
  return out.str();
}

TEST(AdviceTest, MissingConfigurationAndAHeaderLine) {
  ScratchDir dir;
  const Outcome missing = session("");
  EXPECT_EQ(missing.out, "Error during data file opening\nMorvek terminates unsuccessfully\n");
  EXPECT_EQ(missing.advice, "morvek: morvek.cfg was not found in the working folder " + dir.path().string() +
                                "\n  write one with every key at its start value: morvek-prep cfg > morvek.cfg\n");
  expectSameDialog("", missing.out);

  writeFile("morvek.cfg", "&cfg /\n");
  writeFile("flows.csv", "year;flow\n1871;1120\n1872;1160\n");
  const std::string answers = "\no\nflows.csv\n";
  const Outcome header = session(answers);
  EXPECT_EQ(header.advice, "morvek: line 1 of flows.csv is not two numbers: year;flow\n"
                           "  morvek-prep series flows.csv -o data.dat reads headers, dates, missing values "
                           "and decimal commas\n");
  EXPECT_EQ(header.out, plain(answers));
  expectSameDialog(answers, header.out);
}

// The Nile flows: both window criteria and the bandwidth criterion are
// smallest at an end of their ranges.
TEST(AdviceTest, OptimaAtTheEndOfTheirRange) {
  ScratchDir dir;
  writeFile("morvek.cfg", "&cfg nhsrch = 100, ngrid = 256 /\n");
  writeFile("nile.dat", readFile(std::string(MORVEK_SOURCE_DIR) + "/examples/nile.dat"));
  const std::string answers = readFile(std::string(MORVEK_SOURCE_DIR) + "/examples/nile-session.txt");
  const Outcome result = session(answers);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.advice,
            "morvek: k_cv1 and k_cvm are the smallest window offered (k = 3): the curves may have no inner "
            "minimum;\n  look at them, and consider a larger k for a background of the slow changes only\n"
            "morvek: h_cv of class 1 is the largest bandwidth searched; a larger hrelmax in morvek.cfg\n"
            "  widens the search, or the rate may simply be nearly constant\n");
  EXPECT_EQ(result.out, plain(answers));
  expectSameDialog(answers, result.out);
}

TEST(AdviceTest, AWaitingPlotSaysHowToGoOn) {
  std::ostringstream waiting;
  SystemPlotRunner runner(&waiting);
  runner.run("true");
  const std::string line = "Press a key in the plot window to go on";
  EXPECT_EQ(waiting.str(), line + "\r" + std::string(line.size(), ' ') + "\r");
}

}  // namespace
}  // namespace morvek

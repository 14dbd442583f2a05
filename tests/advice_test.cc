// Advisories: short hints on standard error where a message alone would
// leave a user stuck. They never reach the dialog's stream (main_test runs
// the program with standard error apart and checks standard output whole).
#include <gtest/gtest.h>

#include "morvek/driver.h"
#include "morvek/plot.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// The advisories of a session, after checking that its dialog is the one
// a console without advisories shows.
std::string adviceOf(const std::string& answers) {
  Scripted with(answers), without(answers);
  Console quiet(without.in, without.out);
  RecordingRunner plots;
  runMorvek(with.console, plots);
  runMorvek(quiet, plots);
  EXPECT_EQ(with.text(), without.text());
  return with.advice.str();
}

TEST(AdviceTest, MissingConfigurationHeaderLineAndOptimaAtTheEnds) {
  ScratchDir dir;
  EXPECT_EQ(adviceOf(""), "morvek: morvek.cfg was not found in the working folder " + dir.path().string() +
                              "\n  write one with every key at its start value: morvek-prep cfg > morvek.cfg\n");
  writeFile("morvek.cfg", "&cfg nhsrch = 100, ngrid = 256 /\n");
  writeFile("flows.csv", "year;flow\n1871;1120\n1872;1160\n");
  EXPECT_EQ(adviceOf("\no\nflows.csv\n"), "morvek: line 1 of flows.csv is not two numbers: year;flow\n"
                                          "  morvek-prep series flows.csv -o data.dat reads headers, dates, "
                                          "missing values and decimal commas\n");
  // The Nile flows: both window criteria and the bandwidth criterion are
  // smallest at an end of their ranges.
  writeFile("nile.dat", readFile(std::string(MORVEK_SOURCE_DIR) + "/examples/nile.dat"));
  EXPECT_EQ(adviceOf(readFile(std::string(MORVEK_SOURCE_DIR) + "/examples/nile-session.txt")),
            "morvek: k_cv1 and k_cvm are the smallest window offered (k = 3): the curves may have no inner "
            "minimum;\n  look at them, and consider a larger k for a background of the slow changes only\n"
            "morvek: h_cv of class 1 is the largest bandwidth searched; a larger hrelmax in morvek.cfg\n"
            "  widens the search, or the rate may simply be nearly constant\n");
}

TEST(AdviceTest, AWaitingPlotSaysHowToGoOn) {
  std::ostringstream waiting;
  SystemPlotRunner(&waiting).run("true");
  const std::string line = "Press a key in the plot window to go on";
  EXPECT_EQ(waiting.str(), line + "\r" + std::string(line.size(), ' ') + "\r");
}

}  // namespace
}  // namespace morvek

#include "morvek/driver.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

struct Outcome {
  int status;
  std::string transcript;
  RecordingRunner plots;
};

// A session on the data file `name` holding `data` (none without a name).
Outcome run(const std::string& answers, const std::string& name = "", const std::string& data = "",
            const std::string& config = "&cfg /\n") {
  if (!name.empty()) {
    writeFile("morvek.cfg", config);
    writeFile(name, data);
  }
  Scripted session(answers);
  Outcome result;
  result.status = runMorvek(session.console, result.plots);
  result.transcript = session.text();
  return result;
}

// The command files drawn, without their fixed style lines, each headed by
// the number of rows of its data file.
std::string plotsOf(const Outcome& r) {
  std::string text;
  for (std::size_t i = 0; i < r.plots.commandFiles.size(); ++i) {
    const std::string& rows = r.plots.dataFiles[i];
    text += "== 2.tmp, " + std::to_string(std::count(rows.begin(), rows.end(), '\n')) + " data rows ==\n";
    std::istringstream in(r.plots.commandFiles[i]);
    for (std::string line; std::getline(in, line);) text += line.starts_with(" set style line") ? "" : line + "\n";
  }
  return text;
}

// Forty years of flows around a slowly rising level with five floods.
std::string floods() {
  std::string data;
  for (int i = 0; i < 40; ++i) {
    const bool flood = i == 5 || i == 12 || i == 21 || i == 30 || i == 36;
    const double flow = 100.0 + i + 3.0 * ((i * 7) % 5) + (flood ? 40.0 + i : 0);
    data += std::to_string(1950 + i) + " " + std::to_string(flow) + "\n";
  }
  return data;
}

const std::string kEvents = "1 5\n2 6.5\n3 7\n4 8\n5 9\n";
const std::string kUnsuccessfully = "\nMorvek terminates unsuccessfully\n";

class DriverTest : public ::testing::Test {
  ScratchDir dir_;
};

TEST_F(DriverTest, TimeSeriesSessionReachesTheRiskEstimation) {
  const std::string answers =
      "\no\nfloods.txt\nc\n" "\nx\n\n4\n"  // whole series; window dialog: one wrong answer, then k = 4
      "c\n"                              // refused: no threshold yet
      "t\nt\n1 2 3\n" "t\ns\n11\n"       // three test lines; a threshold that leaves too few extremes
      "c\n" "t\ns\n2\n"                  // refused: too few points; the threshold kept
      "b\n\n3\n" "c\n" "c\n"             // smoothed again with k = 3, the extremes follow; refused: no classes
      "m\n2\nh\n5\n11\n" "c\n"           // two classes by hand: 5 is below the smallest
      "c\nk\n" "t\n2\n\n"                // refused: no bandwidths, a class of two events; its trend test
      "3\nm\n1\nc\n" "k\n20\n5\n" "c\n"  // back to one class of six; a bandwidth out of range, then 5
      "x\n" "b\n199\n200\n0\n-17\n"      // refused: no band yet; 200 replicates, seed -17
      "4\nc\n" "x\n";                    // to the risk estimation and back: rate and band survive
  // A coarse time grid keeps the golden rate table short.
  const Outcome result = run(answers, "floods.txt", floods(), "&cfg ngrid = 256 /\n");
  EXPECT_EQ(result.status, 0);
  expectGolden("floods_session.txt", result.transcript);
  expectGolden("floods_plots.txt", plotsOf(result));
  for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) {
    expectGolden(std::string("floods_") + file, readFile(file));
  }
}

// Each session's transcript, plots and result files (tests/golden/session_*.txt),
// with the texts that must show in this order. No transcript shows a value
// that is not a number, and every rate file is complete.
TEST_F(DriverTest, SessionsMatchTheirGoldens) {
  std::string flows, flat, zero;
  for (int year = 1871; year <= 1880; ++year) flows += std::to_string(year) + " 1000\n";
  for (int i = 0; i < 12; ++i) flat += std::to_string(i) + (i == 11 ? " 9\n" : " 5\n");
  // A flat stretch (5 9 5 9 ...) makes the variability zero at three extremes for k = 3.
  const double values[] = {5,     7.975, 4.233, 2.223, 6.482, 7.395, 2.9,   3.146, 7.577, 6.19,  2.116, 4.553, 5, 5,
                           9,     5,     9,     5,     9,     5,     5,     2.271, 4.116, 7.957, 5.122, 2.012, 5.648,
                           7.821, 3.625, 2.533, 7.011, 6.949, 2.487, 3.699, 7.848, 5.567, 2.006, 5.204, 7.942, 4.038};
  for (int i = 0; i < 40; ++i) zero += std::to_string(1950 + i) + " " + std::to_string(values[i]) + "\n";
  const std::string detect = "\n3\nt\ns\n2\nc\n";  // window, threshold, continue
  const std::string band = " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.000E+00          200\n";
  const struct { const char *golden, *file; std::string data, answers; int status; std::vector<std::string> inOrder;
                 std::string config = "&cfg /\n"; } cases[] = {
      // An extracted interval and the return to the original one; the script ends in the window dialog.
      {"session_extraction.txt", "flows.txt", flows, "\no\nflows.txt\nn\n1872 1878.5\no\nc\n", 1, {}},
      // Event times make one class without questions; extremes skip the detection.
      {"session_times.txt", "times.txt", "1.5\n2.5\n4\n8\n", "\nt\ntimes.txt\n0\n10\nc\nk\n2\nc\nb\n200\n-1\nx\n", 0,
       {}},
      {"session_extremes.txt", "events.txt", kEvents,
       "\nx\nevents.txt\n0\n6\nc\n2\nm\n2\ne\nc\nk\nt\n1\n\n3\nm\n1\nc\nk\n1\nc\nb\n200\n-5\nx\n", 0, {}},
      // Returns from Parts 2 and 3 start the detection afresh, with window curves for the interval of the pass.
      {"session_returns.txt", "floods.txt", floods(),
       "\no\nfloods.txt\nc\n\n3\n1\nc\n" + detect + "m\n1\n2\n" + detect + "1\nn\n1950 1969\nc\n" + detect +
           "m\n1\nc\n1\no\nc\n" + detect + "m\n1\nc\nk\n5\nc\nb\n200\n-1\nx\n", 0, {}},
      // Seven points go through detection and classes; the risk needs the whole series.
      {"session_seven.txt", "floods.txt", floods(),
       "\no\nfloods.txt\nn\n1960 1966\nc\n\n3\nt\ns\n0.001\nc\nm\n1\nc\nk\n", 1, {}},
      // A constant series with one point above it, which is infinitely far: one extreme is too few.
      {"session_constant.txt", "flat.txt", flat, "\no\nflat.txt\nc\n\n3\n\nt\ns\n-1\nt\ns\n1\nc\n", 1, {}},
      // Fatal errors write their lines, then the closing line.
      {"session_unknown_key.txt", "flat.txt", flat, "", 1, {}, "&cfg krell = 1 /\n"},
      {"session_too_few_points.txt", "short.txt", "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n", "\no\nshort.txt\n", 1, {}},
      // A return from the bootstrap keeps every rate and band (shown after the bootstrap, in Parts 4
      // and 5 after the return, in Part 4 again); a new rate discards the band of its class, which
      // must then be drawn again.
      {"session_new_rate.txt", "events.txt", kEvents,
       "\nx\nevents.txt\n0\n6\nc\nm\n1\nc\nk\n1\nc\nb\n200\n-5\n4\nc\n4\nk\n1.5\nc\nx\nb\n200\nx\n", 0,
       {band, band, band, band, " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.500E+00\n",
        "Bootstrap simulations have not all yet been done\n"}},
      // The classes wait until a wider window sees variation at the extremes.
      {"session_zero_variability.txt", "zero.txt", zero,
       "\no\nzero.txt\nc\n\n3\n\nt\ns\n3\nc\nb\n\n8\n\nc\nm\n1\nc\n", 1,
       {"Variability is zero at 3 of the extreme events\n"
        "Please choose a larger smoothing parameter k (Background smoothing [b])\n",
        " 1   [  3.361E+00;  6.173E+00 ] -      3 points   \n"}},
  };
  for (const auto& c : cases) {
    for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) std::filesystem::remove(file);
    const Outcome result = run(c.answers, c.file, c.data, c.config);
    EXPECT_EQ(result.status, c.status) << c.golden;
    std::size_t at = 0;
    for (const std::string& text : c.inOrder) {
      at = result.transcript.find(text, at);
      ASSERT_NE(at, std::string::npos) << c.golden << " lacks, after what went before: " << text;
      at += text.size();
    }
    for (const char* bad : {"NaN", "Infinity"}) EXPECT_EQ(result.transcript.find(bad), std::string::npos) << c.golden;
    const std::string rates = readFile("morvek-3.dat");
    const std::string table = rates.substr(std::min(rates.size(), rates.find("Cox-Lewis")));
    EXPECT_TRUE(table.find("-9.99") == std::string::npos && table.find("NaN") == std::string::npos) << c.golden;
    std::string files = "== result files:";
    for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) {
      files += std::filesystem::exists(file) ? std::string(" ") + file : "";
    }
    expectGolden(c.golden, result.transcript + plotsOf(result) + files + "\n");
  }
}

TEST_F(DriverTest, ClosedInputAtEveryQuestionEndsUnsuccessfully) {
  const std::vector<std::string> answers{"", "x", "events.txt", "0", "6", "n", "1 3", "o", "c", "m",
                                         "1", "c", "k", "1", "c", "b", "200", "-1", "x"};
  run("", "events.txt", "1 5\n2 6\n3 7\n4 8\n5 9\n");
  std::string script;
  for (const std::string& answer : answers) {
    const Outcome result = run(script);
    EXPECT_EQ(result.status, 1) << "closed before " << answer << " in " << script;
    EXPECT_TRUE(result.transcript.ends_with(kUnsuccessfully)) << script;
    script += answer + "\n";
  }
  EXPECT_EQ(run(script).status, 0);
}

// An exception that no routine turns into a message of its own still ends
// the run in order, with the closing line and status 1.
TEST_F(DriverTest, UnexpectedExceptionsEndTheRunInOrder) {
  struct FailingRunner : PlotRunner {
    bool memory = false;
    void run(const std::string&) override { memory ? throw std::bad_alloc() : throw std::runtime_error("no plot"); }
  };
  run("", "events.txt", kEvents);
  for (const bool memory : {true, false}) {
    FailingRunner runner;
    runner.memory = memory;
    Scripted session("\nx\nevents.txt\n0\n6\n");
    EXPECT_EQ(runMorvek(session.console, runner), 1);
    EXPECT_TRUE(session.text().ends_with((memory ? "\nOut of memory" : "\nInternal error: no plot") + kUnsuccessfully));
  }
}

}  // namespace
}  // namespace morvek

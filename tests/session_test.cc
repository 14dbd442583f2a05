// Whole sessions: the dialog driven by scripted answers, each transcript,
// plot and result file checked whole against its golden copy; the program
// as users start it; and the advisories, which never change the dialog.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <tuple>

#include "morvek/driver.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

struct Outcome {
  int status;
  std::string transcript;
  RecordingRunner plots;
};

// A session on a copy of tests/data/`name` (none without a name).
Outcome run(const std::string& answers, const std::string& name = "", const std::string& config = "&cfg /\n") {
  if (!name.empty()) {
    writeFile("morvek.cfg", config);
    writeFile(name, readFile(sourcePath("tests/data/" + name)));
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

class SessionTest : public ::testing::Test {
  ScratchDir dir_;
};

// Each session's transcript, plots and result files (tests/golden/session_*.txt),
// with the texts that must show in this order. No transcript shows a value
// that is not a number, and every rate file is complete.
TEST_F(SessionTest, SessionsMatchTheirGoldens) {
  const std::string detect = "\n3\nt\ns\n2\nc\n";  // window, threshold, continue
  const std::string band = " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.000E+00          200\n";
  const struct { const char *golden, *file; std::string answers; int status; std::vector<std::string> inOrder;
                 std::string config = "&cfg /\n"; } cases[] = {
      // floods.txt: forty years of flows around a slowly rising level with five floods, through every
      // phase; a coarse time grid keeps the rate table short.
      {"session_floods.txt", "floods.txt",
       "\no\nfloods.txt\nc\n" "\nx\n\n4\n"  // whole series; window dialog: one wrong answer, then k = 4
       "c\n"                              // refused: no threshold yet
       "t\nt\n1 2 3\n" "t\ns\n11\n"       // three test lines; a threshold that leaves too few extremes
       "c\n" "t\ns\n2\n"                  // refused: too few points; the threshold kept
       "b\n\n3\n" "c\n" "c\n"             // smoothed again with k = 3, the extremes follow; refused: no classes
       "m\n2\nh\n5\n11\n" "c\n"           // two classes by hand: 5 is below the smallest
       "c\nk\n" "t\n2\n\n"                // refused: no bandwidths, a class of two events; its trend test
       "3\nm\n1\nc\n" "k\n20\n5\n" "c\n"  // back to one class of six; a bandwidth out of range, then 5
       "x\n" "b\n199\n200\n0\n-17\n"      // refused: no band yet; 200 replicates, seed -17
       "4\nc\n" "x\n",                    // to the risk estimation and back: rate and band survive
       0, {}, "&cfg ngrid = 256 /\n"},
      // An extracted interval and the return to the original one; the script ends in the window dialog.
      {"session_extraction.txt", "flows.txt", "\no\nflows.txt\nn\n1872 1878.5\no\nc\n", 1, {}},
      // Event times make one class without questions; extremes skip the detection.
      {"session_times.txt", "times.txt", "\nt\ntimes.txt\n0\n10\nc\nk\n2\nc\nb\n200\n-1\nx\n", 0, {}},
      {"session_extremes.txt", "events.txt",
       "\nx\nevents.txt\n0\n6\nc\n2\nm\n2\ne\nc\nk\nt\n1\n\n3\nm\n1\nc\nk\n1\nc\nb\n200\n-5\nx\n", 0, {}},
      // Returns from the detection and the classification start the detection afresh, with window curves
      // for the interval of the pass.
      {"session_returns.txt", "floods.txt",
       "\no\nfloods.txt\nc\n\n3\n1\nc\n" + detect + "m\n1\n2\n" + detect + "1\nn\n1950 1969\nc\n" + detect +
           "m\n1\nc\n1\no\nc\n" + detect + "m\n1\nc\nk\n5\nc\nb\n200\n-1\nx\n", 0, {}},
      // Seven points go through detection and classes; the risk needs the whole series.
      {"session_seven.txt", "floods.txt", "\no\nfloods.txt\nn\n1960 1966\nc\n\n3\nt\ns\n0.001\nc\nm\n1\nc\nk\n", 1, {}},
      // A constant series with one point above it, which is infinitely far: one extreme is too few.
      {"session_constant.txt", "flat.txt", "\no\nflat.txt\nc\n\n3\n\nt\ns\n-1\nt\ns\n1\nc\n", 1, {}},
      // Fatal errors write their lines, then the closing line.
      {"session_unknown_key.txt", "flat.txt", "", 1, {}, "&cfg krell = 1 /\n"},
      {"session_too_few_points.txt", "short.txt", "\no\nshort.txt\n", 1, {}},
      // A return from the bootstrap keeps every rate and band (shown after the bootstrap, in the risk
      // estimation and the bootstrap after the return, in the risk estimation again); a new rate discards
      // the band of its class, which must then be drawn again.
      {"session_new_rate.txt", "events.txt",
       "\nx\nevents.txt\n0\n6\nc\nm\n1\nc\nk\n1\nc\nb\n200\n-5\n4\nc\n4\nk\n1.5\nc\nx\nb\n200\nx\n", 0,
       {band, band, band, band, " 1   [  5.000E+00;  9.000E+00 ] -      5 points          1.500E+00\n",
        "Bootstrap simulations have not all yet been done\n"}},
      // The classes wait until a wider window sees variation at the extremes (zero.txt: a flat stretch
      // 5 9 5 9 ... makes the variability zero at three extremes for k = 3).
      {"session_zero_variability.txt", "zero.txt", "\no\nzero.txt\nc\n\n3\n\nt\ns\n3\nc\nb\n\n8\n\nc\nm\n1\nc\n", 1,
       {"Variability is zero at 3 of the extreme events\n"
        "Please choose a larger smoothing parameter k (Background smoothing [b])\n",
        " 1   [  3.361E+00;  6.173E+00 ] -      3 points   \n"}},
  };
  for (const auto& c : cases) {
    for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) std::filesystem::remove(file);
    const Outcome result = run(c.answers, c.file, c.config);
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
    std::string files;
    for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) {
      files += std::filesystem::exists(file) ? "== " + std::string(file) + " ==\n" + readFile(file) : "";
    }
    expectGolden(c.golden, result.transcript + plotsOf(result) + files);
  }
}

// Closed input at every question, and faults no routine expected, end the
// run unsuccessfully.
TEST_F(SessionTest, ClosedInputAtEveryQuestionAndUnexpectedExceptions) {
  const std::vector<std::string> answers{"", "x", "events.txt", "0", "6", "n", "1 3", "o", "c", "m",
                                         "1", "c", "k", "1", "c", "b", "200", "-1", "x"};
  const std::string unsuccessfully = "\nMorvek terminates unsuccessfully\n";
  run("", "events.txt");
  std::string script;
  for (const std::string& answer : answers) {
    const Outcome result = run(script);
    EXPECT_EQ(result.status, 1) << "closed before " << answer << " in " << script;
    EXPECT_TRUE(result.transcript.ends_with(unsuccessfully)) << script;
    script += answer + "\n";
  }
  EXPECT_EQ(run(script).status, 0);
  // An exception that no routine turns into a message of its own still ends
  // the run in order, with the closing line and status 1.
  struct FailingRunner : PlotRunner {
    bool memory = false;
    void run(const std::string&) override { memory ? throw std::bad_alloc() : throw std::runtime_error("no plot"); }
  };
  for (const bool memory : {true, false}) {
    FailingRunner runner;
    runner.memory = memory;
    Scripted session("\nx\nevents.txt\n0\n6\n");
    EXPECT_EQ(runMorvek(session.console, runner), 1);
    EXPECT_TRUE(session.text().ends_with((memory ? "\nOut of memory" : "\nInternal error: no plot") + unsuccessfully));
  }
}

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

// Advisories: short hints on standard error where a message alone would
// leave a user stuck.
TEST_F(SessionTest, AdvisoriesOnAMissingConfigurationAHeaderLineAndOptimaAtTheEnds) {
  EXPECT_EQ(adviceOf(""), "morvek: morvek.cfg was not found in the working folder " +
                              std::filesystem::current_path().string() +
                              "\n  write one with every key at its start value: morvek-prep cfg > morvek.cfg\n");
  writeFile("morvek.cfg", "&cfg nhsrch = 100, ngrid = 256 /\n");
  writeFile("flows.csv", "year;flow\n1871;1120\n1872;1160\n");
  writeFile("nile.dat", readFile(sourcePath("examples/nile.dat")));
  std::ostringstream waiting;
  SystemPlotRunner(&waiting).run("true");
  // A header line; the Nile flows, whose window criteria and bandwidth criterion are all smallest at an
  // end of their ranges; a plot window waiting for a key, its line erased when it is closed.
  expectGolden("advice.txt", adviceOf("\no\nflows.csv\n") +
                                 adviceOf(readFile(sourcePath("examples/nile-session.txt"))) + waiting.str());
}

// Answers the dialog refuses without a word of its own get an advisory
// that says why; the dialog itself stays as it is.
TEST_F(SessionTest, SilentRefusalsSayWhyOnTheAdvisoryStream) {
  writeFile("morvek.cfg", "&cfg nhsrch = 100, ngrid = 256 /\n");
  writeFile("nile.dat", readFile(sourcePath("examples/nile.dat")));
  const std::string here = std::filesystem::current_path().string();
  // Each attempt at the window first waits for Enter before the curves are drawn.
  const std::string toWindow = "\no\nnile.dat\nc\n";
  const std::string toSeed = toWindow + "\n3\nt\ns\n2\nc\nm\n1\nc\nk\n10\nc\nb\n2000\n";
  const std::string optimum =
      "morvek: k_cv1 and k_cvm are the smallest window offered (k = 3): the curves may have no inner minimum;\n"
      "  look at them, and consider a larger k for a background of the slow changes only\n";
  const struct { std::string answers, advice; } cases[] = {
      {"\nq\n\no\nnile.dta\n" + std::string(60, 'n') + "\n",
       "morvek: 'q' is not a key of this menu\nmorvek: an empty answer is not a key of this menu\n"
       "morvek: nile.dta: no such file in " + here + "\nmorvek: a data file name keeps its first 50 characters: " +
           std::string(50, 'n') + "\nmorvek: " + std::string(50, 'n') + ": no such file in " + here + "\n"},
      {"\no\nbin\n", "morvek: bin: not a regular file\n"},
      {toWindow + "\n30\n\n2\n\n2.5\n\n\n\n3\n", optimum + "morvek: 30 is above the largest window 25\n"
                                        "morvek: 2 is below the smallest window 3\n"
                                        "morvek: '2.5' is not a whole number\nmorvek: the answer holds no number\n"},
      {toWindow + "\n3\nt\ns\n1000\nabc\n", optimum + "morvek: the threshold z must have 0.001 <= abs(z) <= 100, not 1000\n"
                                                   "morvek: 'abc' is not a number\n"},
      {toSeed + "5\n0\n", optimum + "morvek: h_cv of class 1 is the largest bandwidth searched; a larger hrelmax in morvek.cfg\n"
                                  "  widens the search, or the rate may simply be nearly constant\n"
                                  "morvek: the seed must be a negative integer\nmorvek: the seed must be a negative integer\n"},
      {"\no\nnile.dat\nn\n1800 1850\n1900 1890\n1900\n",
       "morvek: [1800, 1850] holds none of the data, from 1871 to 1970\n"
       "morvek: the left boundary must be below the right one\nmorvek: the answer holds 1 of the 2 numbers asked for\n"},
  };
  std::filesystem::create_directories("bin");
  for (const auto& c : cases) EXPECT_EQ(adviceOf(c.answers), c.advice) << c.answers;
}

// Dead ends at the classes and at the largest window: extremes of a single
// value make one class, and zero variability at the largest window says
// what helps instead of asking for a larger window.
TEST_F(SessionTest, ExtremesOfOneValueAndZeroVariabilityAtTheLargestWindow) {
  writeFile("morvek.cfg", "&cfg /\n");
  writeFile("same.txt", "1 4\n2 4\n3 4\n4 4\n5 4\n");
  Outcome same = run("\nx\nsame.txt\n0\n6\nc\nm\n2\n3\n1\nc\n");
  const std::string refused = "All extreme events have the same value - one class holds them all\n";
  const std::size_t first = same.transcript.find(refused);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(same.transcript.find(refused, first + 1), std::string::npos);
  EXPECT_NE(same.transcript.find(" 1   [  4.000E+00;  4.000E+00 ] -      5 points", first), std::string::npos);

  // Forty dry days and four wet ones: the median absolute deviation is zero in every window.
  std::string dry;
  for (int day = 1; day <= 40; ++day) dry += std::to_string(day) + (day % 10 == 5 ? " 3\n" : " 0\n");
  writeFile("dry.txt", dry);
  const std::string zero = "Variability is zero at 4 of the extreme events\n"
                           "The running median of absolute deviations is zero where many values are equal"
                           " (dry days, rounded stages)\n";
  for (const auto& [config, k, help] :
       {std::tuple{"&cfg /\n", "10", "Please choose a larger krel in morvek.cfg (at most 0.500) and start Morvek new\n"},
        std::tuple{"&cfg krel = 0.5 /\n", "19",
                   "Please prepare the extreme events directly (morvek-prep events) and start Morvek new"
                   " with the data type \"extreme\"\n"}}) {
    writeFile("morvek.cfg", config);
    const Outcome r = run("\no\ndry.txt\nc\n\n" + std::string(k) + "\n\nt\ns\n2\nc\n");
    EXPECT_NE(r.transcript.find(zero + help), std::string::npos) << config;
    EXPECT_EQ(r.transcript.find("Please choose a larger smoothing parameter k"), std::string::npos) << config;
  }
}

// What a terminal shows of a stream with carriage returns: each line as
// last overwritten from its start.
Lines shownOnATerminal(const std::string& text) {
  Lines lines{""};
  std::size_t column = 0;
  for (char c : text) {
    if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else {
      std::string& line = lines.back();
      if (column < line.size()) line[column] = c; else line.push_back(c);
      ++column;
    }
  }
  return lines;
}

// A progress line on the advisory stream is erased before an advisory, so
// that the advisory starts a line of its own.
TEST_F(SessionTest, AdvisoriesNeverShareALineWithProgress) {
  writeFile("morvek.cfg", "&cfg nhsrch = 100, ngrid = 256 /\n");
  writeFile("nile.dat", readFile(sourcePath("examples/nile.dat")));
  std::istringstream in(readFile(sourcePath("examples/nile-session.txt")));
  std::ostringstream out, stderrText;
  Console console(in, out, &stderrText, &stderrText);
  RecordingRunner plots;
  EXPECT_EQ(runMorvek(console, plots), 0);
  ASSERT_NE(stderrText.str().find("Cross-validation of the background window: 23 of 23 windows"), std::string::npos);
  int advisories = 0;
  for (const std::string& line : shownOnATerminal(stderrText.str())) {
    const std::size_t at = line.find("morvek: ");
    if (at == std::string::npos) continue;
    ++advisories;
    EXPECT_EQ(line.find_first_not_of(' '), at) << line;
  }
  EXPECT_EQ(advisories, 2);
}

// Runs the program in the working directory with `input` as standard input;
// a stand-in gnuplot on the PATH notes each command file it was given.
int runProgram(const std::string& input) {
  writeFile("input.txt", input);
  std::filesystem::create_directories("bin");
  writeFile("bin/gnuplot", "#!/bin/sh\necho \"$@\" >> gnuplot-calls.txt\n");
  std::filesystem::permissions("bin/gnuplot", std::filesystem::perms::owner_all);
  const std::string command =
      "PATH=\"$PWD/bin:$PATH\" timeout 60 " + std::string(MORVEK_BINARY) + " < input.txt > output.txt 2> advice.txt";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The program as users start it, a separate process with gnuplot found on
// the PATH: exit status and standard output byte for byte (the advisories
// on standard error change nothing there), without a configuration and in
// the session of the walkthrough replayed from its answer file.
TEST_F(SessionTest, ProgramExitStatusAndStandardOutput) {
  EXPECT_EQ(runProgram(""), 1);
  EXPECT_EQ(readFile("output.txt"), "Error during data file opening\nMorvek terminates unsuccessfully\n");
  EXPECT_TRUE(readFile("advice.txt").starts_with("morvek: morvek.cfg was not found"));
  for (const char* file : {"morvek.cfg", "nile.dat"}) std::filesystem::copy_file(sourcePath("examples/") + file, file);
  EXPECT_EQ(runProgram(readFile(sourcePath("examples/nile-session.txt"))), 0);
  expectGolden("main_nile_session.txt", readFile("output.txt"));
  EXPECT_NE(readFile("advice.txt").find("morvek: h_cv of class 1 is the largest bandwidth searched"), std::string::npos);
  std::string calls;
  for (int i = 0; i < 10; ++i) calls += "2.tmp\n";
  EXPECT_EQ(readFile("gnuplot-calls.txt"), calls);
  EXPECT_NE(readFile("morvek-3.dat").find("Magnitude class 1: u =  3.737E-01  P-value (one-sided)  =  3.543E-01\n"),
            std::string::npos);
}

// --help and --version answer without a dialog and without a
// configuration; other arguments are ignored as before.
TEST_F(SessionTest, HelpAndVersionAnswerWithoutADialog) {
  for (const auto& [argument, text] : {std::pair{"--help", kUsage}, std::pair{"--version", kVersion}}) {
    const std::string command = std::string(MORVEK_BINARY) + " " + argument + " < /dev/null > output.txt 2> advice.txt";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << argument;
    EXPECT_EQ(readFile("output.txt"), text);
    EXPECT_EQ(readFile("advice.txt"), "");
  }
  const int status = std::system((std::string(MORVEK_BINARY) + " --other < /dev/null > output.txt 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_TRUE(readFile("output.txt").ends_with("Morvek terminates unsuccessfully\n"));
}

}  // namespace
}  // namespace morvek

// The program as users start it: a separate process, answers on standard
// input, gnuplot found on the PATH.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

// Runs the program in the working directory with `input` as standard input;
// a stand-in gnuplot on the PATH notes each command file it was given.
int runProgram(const std::string& input) {
  writeFile("input.txt", input);
  std::filesystem::create_directories("bin");
  writeFile("bin/gnuplot", "#!/bin/sh\necho \"$@\" >> gnuplot-calls.txt\n");
  std::filesystem::permissions("bin/gnuplot", std::filesystem::perms::owner_all);
  const std::string command = "PATH=\"$PWD/bin:$PATH\" timeout 60 " + std::string(MORVEK_BINARY) +
                              " < input.txt > output.txt 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MainTest, MissingConfigurationFailsWithStatusOne) {
  ScratchDir dir;
  EXPECT_EQ(runProgram(""), 1);
  EXPECT_EQ(readFile("output.txt"),
            "Error during data file opening\nMorvek terminates unsuccessfully\n");
}

TEST(MainTest, ExampleSessionEndsSuccessfully) {
  ScratchDir dir;
  const std::string examples = std::string(MORVEK_SOURCE_DIR) + "/examples/";
  std::filesystem::copy_file(examples + "morvek.cfg", "morvek.cfg");
  std::filesystem::copy_file(examples + "nile.dat", "nile.dat");
  // Part 1: 1900 to 1950, then back to the whole series; Part 2: k = 3,
  // threshold 2; Part 3: one class; Part 4: bandwidth 10; Part 5: 200
  // replicates with seed -1, then the result files.
  EXPECT_EQ(runProgram("\no\nnile.dat\nn\n1900 1950\no\nc\n\n3\nt\ns\n2\nc\nm\n1\nc\nk\n10\nc\n"
                       "b\n200\n-1\nx\n"),
            0);
  const std::string output = readFile("output.txt");
  EXPECT_NE(output.find("Time interval - extracted:   [    1900.000;    1950.000 ]       -     51 points"),
            std::string::npos);
  EXPECT_NE(output.find("Number of extreme events:       12 points"), std::string::npos);
  EXPECT_NE(output.find(" 1   [  2.141E+00;  1.371E+01 ] -     12 points          1.000E+01\n"),
            std::string::npos);
  EXPECT_TRUE(output.ends_with("Morvek terminates successfully\n"));
  // Data three times, window curves, background twice, extremes,
  // distribution, classes, C(h), the rate and its band.
  std::string calls;
  for (int i = 0; i < 12; ++i) calls += "2.tmp\n";
  EXPECT_EQ(readFile("gnuplot-calls.txt"), calls);
  for (const char* file : {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"}) {
    EXPECT_TRUE(readFile(file).starts_with("Morvek:  Output\n")) << file;
  }
}

// The session of the walkthrough, replayed from its answer file.
TEST(MainTest, ExampleAnswersReplayAWholeSession) {
  ScratchDir dir;
  const std::string examples = std::string(MORVEK_SOURCE_DIR) + "/examples/";
  std::filesystem::copy_file(examples + "morvek.cfg", "morvek.cfg");
  std::filesystem::copy_file(examples + "nile.dat", "nile.dat");
  EXPECT_EQ(runProgram(readFile(examples + "nile-session.txt")), 0);
  const std::string output = readFile("output.txt");
  EXPECT_NE(output.find("Test statistic u =  3.737E-01\n"), std::string::npos);
  EXPECT_NE(output.find(" 1   [  2.141E+00;  1.371E+01 ] -     12 points          1.000E+01         2000\n"),
            std::string::npos);
  EXPECT_TRUE(output.ends_with("Morvek terminates successfully\n"));
  EXPECT_NE(readFile("morvek-3.dat").find("Magnitude class 1: u =  3.737E-01  P-value (one-sided)  =  3.543E-01\n"),
            std::string::npos);
}

TEST(MainTest, ClosedInputFailsWithStatusOne) {
  ScratchDir dir;
  std::filesystem::copy_file(std::string(MORVEK_SOURCE_DIR) + "/examples/morvek.cfg",
                             "morvek.cfg");
  EXPECT_EQ(runProgram("\no\n"), 1);
  EXPECT_TRUE(readFile("output.txt").ends_with("Morvek terminates unsuccessfully\n"));
}

}  // namespace
}  // namespace morvek

// The program as users start it: a separate process, answers on standard
// input, gnuplot found on the PATH.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>

#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

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

// Exit status and standard output byte for byte (the advisories on
// standard error change nothing there): without a configuration, and the
// session of the walkthrough replayed from its answer file.
TEST(MainTest, ExitStatusAndStandardOutput) {
  ScratchDir dir;
  EXPECT_EQ(runProgram(""), 1);
  EXPECT_EQ(readFile("output.txt"), "Error during data file opening\nMorvek terminates unsuccessfully\n");
  EXPECT_TRUE(readFile("advice.txt").starts_with("morvek: morvek.cfg was not found"));
  const std::string examples = std::string(MORVEK_SOURCE_DIR) + "/examples/";
  for (const char* file : {"morvek.cfg", "nile.dat"}) std::filesystem::copy_file(examples + file, file);
  EXPECT_EQ(runProgram(readFile(examples + "nile-session.txt")), 0);
  expectGolden("main_nile_session.txt", readFile("output.txt"));
  EXPECT_NE(readFile("advice.txt").find("morvek: h_cv of class 1 is the largest bandwidth searched"), std::string::npos);
  std::string calls;
  for (int i = 0; i < 10; ++i) calls += "2.tmp\n";
  EXPECT_EQ(readFile("gnuplot-calls.txt"), calls);
  EXPECT_NE(readFile("morvek-3.dat").find("Magnitude class 1: u =  3.737E-01  P-value (one-sided)  =  3.543E-01\n"),
            std::string::npos);
}

}  // namespace
}  // namespace morvek

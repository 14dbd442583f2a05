#include "morvek/startup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::lines;
using testing::Scripted;
using testing::writeFile;
using Lines = std::vector<std::string>;

const std::string kMenu =
    lines({"", "Datatype:  ordinary               [o]", "           extreme                [x]",
           "           extreme times          [t]"});
const std::string kStart = emptyLines(2) + kMenu;
const std::string kPairsPrompt = "(t, x): [path + filename]\n";
const std::string kTimesPrompt = "(t): [path + filename]\n";

std::string repeat(const std::string& s, int n) { return n == 0 ? "" : s + repeat(s, n - 1); }

// Runs a dialog step; the lines of its stop, if it stopped.
template <class Step>
std::optional<Lines> stopOf(Step&& step) {
  try {
    step();
  } catch (const Fatal& stop) {
    return stop.lines();
  }
  return std::nullopt;
}

TEST(Info0, BannerThenPauseAndWelcome) {
  Scripted io("anything at all\nnot read\n");
  info0(io.console);
  info0e(io.console);
  const std::string rule(58, '=');
  EXPECT_EQ(
      io.text(),
      emptyLines(100) +
          lines({"", rule, "", "Morvek: Analysis and Risk Estimation of Extreme Events", "", rule,
                 "", "", "Continue with Enter, exit with CTRL-C"}) +
          emptyLines(100) +
          lines({std::string(70, '='), "", "Morvek Version 3.0 (December 2014) --- welcome!", ""}));
  Scripted closed;
  EXPECT_EQ(stopOf([&] { info0e(closed.console); }), Lines{});
  EXPECT_EQ(closed.text(), emptyLines(2) + "Continue with Enter, exit with CTRL-C\n");
}

// The first character of the answer chooses; an answer is cut to 50 characters.
TEST(Chsett1, EachDataTypeAsksForItsFile) {
  testing::ScratchDir dir;
  const std::string fifty = std::string(46, 'd') + ".txt";
  writeFile(fifty, "1 2\n");
  const std::tuple<const char*, DataType, std::string> cases[] = {
      {"o", DataType::ordinary, kPairsPrompt},
      {"xylophone", DataType::extreme, kPairsPrompt},
      {"t", DataType::times, kTimesPrompt}};
  for (const auto& [answer, type, prompt] : cases) {
    State s;
    Scripted io(std::string(answer) + "\n" + fifty + "-not-part-of-the-name\n");
    chsett1(s, io.console);
    EXPECT_EQ(s.setting.datatype, type) << answer;
    EXPECT_EQ(s.setting.inputfile, fifty);
    EXPECT_EQ(io.text(), kStart + prompt);
  }
}

// Every question allows five attempts; blank file names are read again
// without a prompt, five times per attempt.
TEST(Chsett1, FiveAttemptsPerQuestion) {
  testing::ScratchDir dir;
  const std::string longer = std::string(50, 'e') + ".txt";  // cut to 50, so never found
  writeFile(longer, "1 2\n");
  writeFile("data.txt", "1 2\n");
  std::filesystem::create_directory("folder");
  State s;
  Scripted io("O\n\n?\nX\nt\n\n   \n\t\n\n  data.txt  \n");
  chsett1(s, io.console);
  EXPECT_EQ(s.setting.datatype, DataType::times);
  // Kept as typed, blank-padded to 50; the blanks around it do not stop it opening.
  EXPECT_EQ(s.setting.inputfile, "  data.txt  " + std::string(38, ' '));
  EXPECT_EQ(io.text(), emptyLines(2) + repeat(kMenu, 5) + kTimesPrompt);

  Scripted fiveWrong("O\n\n \nT\nq\no\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, fiveWrong.console); }), Lines{});
  EXPECT_EQ(fiveWrong.text(), emptyLines(2) + repeat(kMenu, 5));
  Scripted fiveBlank("t\n\n \n\n\n\ndata.txt\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, fiveBlank.console); }), Lines{});
  EXPECT_EQ(fiveBlank.text(), kStart + kTimesPrompt);
  Scripted closed("o\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, closed.console); }), Lines{});

  Scripted fiveFailed("x\n\n\n\n\nmissing.txt\n\n\n\n\nfolder\n./missing\n\nstill missing\n" +
                      longer + "\ndata.txt\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, fiveFailed.console); }),
            Lines{"Error during data file opening (file does possibly not exist)"});
  EXPECT_EQ(fiveFailed.text(), kStart + repeat(kPairsPrompt, 5));
  EXPECT_EQ(s.setting.inputfile, longer.substr(0, 50));
}

// Runs chsett2 on a data file of n points behind this header; the lines of
// its stop, or the data size it accepted.
Lines dataSize(DataType type, int n, const std::string& header = "") {
  testing::ScratchDir dir;
  State s;
  s.setting.datatype = type;
  std::string text = header;
  for (int i = 1; i <= n; ++i) text += std::to_string(i) + (s.hasValues() ? " 5\n" : "\n");
  writeFile("data.txt", text);
  s.setting.inputfile = "data.txt";
  Scripted io;
  const auto stop = stopOf([&] { chsett2(s, io.console); });
  return stop ? *stop : Lines{"n1 = " + std::to_string(s.setting.n1)};
}

Lines tooFew(const std::string& size, const std::string& minimum) {
  return {"Data size:         " + size, "Minimum data size: " + minimum, "Too few data points"};
}

// Only a regular file is taken: the reading of a pipe would block, and a
// device such as /dev/zero would never end.
TEST(Chsett1, OnlyRegularFilesAreTaken) {
  testing::ScratchDir dir;
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  writeFile("data.txt", "1\n");
  std::filesystem::create_symlink("data.txt", "link");
  State s;
  Scripted io("t\npipe\n/dev/zero\n/dev/null\nlink\n");
  chsett1(s, io.console);
  EXPECT_EQ(s.setting.inputfile, "link" + std::string(46, ' '));
  EXPECT_EQ(io.text(), kStart + repeat(kTimesPrompt, 4));
}

TEST(Chsett2, MinimumDataSizeByType) {
  EXPECT_EQ(dataSize(DataType::ordinary, 7), Lines{"n1 = 7"});
  EXPECT_EQ(dataSize(DataType::ordinary, 6), tooFew("       6", "       7"));
  EXPECT_EQ(dataSize(DataType::extreme, 4), Lines{"n1 = 4"});
  EXPECT_EQ(dataSize(DataType::extreme, 2), tooFew("       2", "       4"));
  EXPECT_EQ(dataSize(DataType::times, 4), Lines{"n1 = 4"});
  EXPECT_EQ(dataSize(DataType::times, 9, "time\n"), tooFew("       0", "       4"));
}

}  // namespace
}  // namespace morvek

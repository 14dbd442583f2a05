#include "morvek/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::emptyLines;
using testing::lines;
using testing::ScratchDir;
using testing::Scripted;
using testing::writeFile;

using Lines = std::vector<std::string>;

const std::string kMenu = lines({"", "Datatype:  ordinary               [o]",
                                 "           extreme                [x]",
                                 "           extreme times          [t]"});
const std::string kPairsPrompt = "(t, x): [path + filename]\n";
const std::string kTimesPrompt = "(t): [path + filename]\n";
const Lines kNotOpened{"Error during data file opening (file does possibly not exist)"};

std::string repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

std::string padded(const std::string& name) { return name + std::string(50 - name.size(), ' '); }

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

TEST(Info0, Banner) {
  Scripted io;
  info0(io.console);
  const std::string rule(58, '=');
  EXPECT_EQ(io.text(), emptyLines(100) + lines({"", rule, "",
                                                "Morvek: Analysis and Risk Estimation of Extreme "
                                                "Events",
                                                "", rule}));
}

TEST(Info0e, PauseThenWelcome) {
  const std::string prompt = emptyLines(2) + "Continue with Enter, exit with CTRL-C\n";
  Scripted io("anything at all\nnot read\n");
  info0e(io.console);
  EXPECT_EQ(io.text(), prompt + emptyLines(100) +
                           lines({std::string(70, '='), "",
                                  "Morvek Version 3.0 (December 2014) --- welcome!", ""}));
  Scripted closed;
  EXPECT_EQ(stopOf([&] { info0e(closed.console); }), Lines{});
  EXPECT_EQ(closed.text(), prompt);
}

TEST(Chsett1, EachDataTypeAsksForItsFile) {
  struct Case {
    const char* answer;
    DataType type;
    const std::string& prompt;
  };
  for (const Case& c : {Case{"o", DataType::ordinary, kPairsPrompt},
                        Case{"xylophone", DataType::extreme, kPairsPrompt},
                        Case{"t", DataType::times, kTimesPrompt}}) {
    ScratchDir dir;
    writeFile("data.txt", "1 2\n");
    State s;
    Scripted io(std::string(c.answer) + "\ndata.txt\n");
    chsett1(s, io.console);
    EXPECT_EQ(s.setting.datatype, c.type) << c.answer;
    EXPECT_EQ(s.setting.inputfile, padded("data.txt"));
    EXPECT_EQ(io.text(), emptyLines(2) + kMenu + c.prompt);
  }
}

TEST(Chsett1, WrongAnswersRepeatTheMenuAndTheFifthStops) {
  ScratchDir dir;
  writeFile("data.txt", "1 2\n");
  State s;
  Scripted io("O\n\n?\nX\nt\ndata.txt\n");
  chsett1(s, io.console);
  EXPECT_EQ(s.setting.datatype, DataType::times);
  EXPECT_EQ(io.text(), emptyLines(2) + repeat(kMenu, 5) + kTimesPrompt);

  Scripted five("O\n\n \nT\nq\no\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, five.console); }), Lines{});
  EXPECT_EQ(five.text(), emptyLines(2) + repeat(kMenu, 5));

  // Closed input fails every attempt, at the menu and at the file name.
  Scripted none;
  EXPECT_EQ(stopOf([&] { chsett1(s, none.console); }), Lines{});
  EXPECT_EQ(none.text(), emptyLines(2) + repeat(kMenu, 5));
  Scripted typeOnly("o\n");
  EXPECT_TRUE(stopOf([&] { chsett1(s, typeOnly.console); }));
}

TEST(Chsett1, BlankAnswersAreReadAgainWithoutPrompt) {
  ScratchDir dir;
  writeFile("data.txt", "1\n");
  State s;
  Scripted io("t\n\n   \n\t\n\n  data.txt  \n");
  chsett1(s, io.console);
  // Stored as typed; the blanks around the name do not stop it opening.
  EXPECT_EQ(s.setting.inputfile, padded("  data.txt  "));
  EXPECT_EQ(io.text(), emptyLines(2) + kMenu + kTimesPrompt);

  Scripted five("t\n\n \n\n\n\ndata.txt\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, five.console); }), Lines{});
  EXPECT_EQ(five.text(), emptyLines(2) + kMenu + kTimesPrompt);

  // Each attempt has its own five blank answers.
  Scripted again("o\n\n\n\n\nmissing.txt\n\n\n\n\ndata.txt\n");
  chsett1(s, again.console);
  EXPECT_EQ(s.setting.inputfile, padded("data.txt"));
  EXPECT_EQ(again.text(), emptyLines(2) + kMenu + kPairsPrompt + kPairsPrompt);
}

TEST(Chsett1, FiveFailedOpeningsStop) {
  ScratchDir dir;
  std::filesystem::create_directory("folder");
  State s;
  Scripted io("x\nmissing.txt\nfolder\nfolder/\n./missing\nstill missing\ndata.txt\n");
  writeFile("data.txt", "1 2\n");
  EXPECT_EQ(stopOf([&] { chsett1(s, io.console); }), kNotOpened);
  EXPECT_EQ(io.text(), emptyLines(2) + kMenu + repeat(kPairsPrompt, 5));
}

TEST(Chsett1, FileNameIsCutToFiftyCharacters) {
  ScratchDir dir;
  const std::string fifty = std::string(46, 'd') + ".txt";
  writeFile(fifty, "1 2\n");
  State s;
  Scripted cut("o\n" + fifty + "-not-part-of-the-name\n");
  chsett1(s, cut.console);
  EXPECT_EQ(s.setting.inputfile, fifty);
  EXPECT_EQ(cut.text(), emptyLines(2) + kMenu + kPairsPrompt);

  // A longer name that exists cannot be reached.
  const std::string longer = std::string(50, 'e') + ".txt";
  writeFile(longer, "1 2\n");
  Scripted tooLong("o\n" + repeat(longer + "\n", 5));
  EXPECT_EQ(stopOf([&] { chsett1(s, tooLong.console); }), kNotOpened);
  EXPECT_EQ(s.setting.inputfile, longer.substr(0, 50));
}

// Runs chsett2 on a data file of this text; the stop and the console text.
struct SizeOutcome {
  std::optional<Lines> stop;
  std::string console;
  int n1 = kUnsetInt;
};

SizeOutcome dataSize(DataType type, const std::string& text) {
  ScratchDir dir;
  writeFile("data.txt", text);
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = padded("data.txt");
  Scripted io;
  SizeOutcome result;
  result.stop = stopOf([&] { chsett2(s, io.console); });
  result.console = io.text();
  if (!result.stop) result.n1 = s.setting.n1;
  return result;
}

std::string points(int n, bool pairs) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += std::to_string(i) + (pairs ? " 1.5\n" : "\n");
  return text;
}

TEST(Chsett2, MinimumDataSizeByType) {
  EXPECT_EQ(dataSize(DataType::ordinary, points(7, true)).n1, 7);
  EXPECT_EQ(dataSize(DataType::extreme, points(4, true)).n1, 4);
  EXPECT_EQ(dataSize(DataType::times, points(4, false)).n1, 4);
  EXPECT_EQ(dataSize(DataType::ordinary, points(7, true)).console, "");

  const Lines ordinary6{"Data size:                6", "Minimum data size:        7",
                        "Too few data points"};
  EXPECT_EQ(dataSize(DataType::ordinary, points(6, true)).stop, ordinary6);
  const Lines ordinary2{"Data size:                2", "Minimum data size:        7",
                        "Too few data points"};
  EXPECT_EQ(dataSize(DataType::ordinary, points(2, true)).stop, ordinary2);
  const Lines events2{"Data size:                2", "Minimum data size:        4",
                      "Too few data points"};
  EXPECT_EQ(dataSize(DataType::extreme, points(2, true)).stop, events2);
  EXPECT_EQ(dataSize(DataType::times, points(2, false)).stop, events2);
  const Lines header{"Data size:                0", "Minimum data size:        4",
                     "Too few data points"};
  EXPECT_EQ(dataSize(DataType::times, "time\n" + points(9, false)).stop, header);
}

TEST(Chsett2, LayoutProblemsStopBeforeTheSizeCheck) {
  SizeOutcome shortLine = dataSize(DataType::ordinary, "1 1\n2 1\n3\n4 1\n5 1\n6 1\n7 1\n8 1\n");
  EXPECT_EQ(shortLine.console, "       3\n");
  EXPECT_EQ(shortLine.stop, Lines{"Input data file problem possibly in above line number(s)"});
  EXPECT_EQ(dataSize(DataType::times, "1\n2 3\n").stop,
            Lines{"Input data file problem (possibly more than one value per line)"});
}

TEST(MinimumDataSize, TwiceTheSmallestWindowPlusOneForTimeSeries) {
  State s;
  s.setting.datatype = DataType::ordinary;
  EXPECT_EQ(minimumDataSize(s), 7);
  s.setting.datatype = DataType::extreme;
  EXPECT_EQ(minimumDataSize(s), 4);
  s.setting.datatype = DataType::times;
  EXPECT_EQ(minimumDataSize(s), 4);
}

}  // namespace
}  // namespace morvek

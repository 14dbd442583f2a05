#include "morvek/datafile.h"

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
using Values = std::vector<double>;

const char* const kProblemLines = "Input data file problem possibly in above line number(s)";
const char* const kPoint8 = "Point        8 error (time not increasing): t(i) <= t(i-1)";

// What one call of read1 left: the console text, the lines of the stop (if
// it stopped), the returned count and the arrays read.
struct Outcome {
  std::string console;
  std::optional<Lines> stop;
  int count = -1;
  Values t, x;
  bool xHeld = false;
};

// The file name as the start-up dialog stores it: blank-padded to 50.
std::string stored(const std::string& name) { return name + std::string(50 - name.size(), ' '); }

// Runs read1 on a data file "data.txt" of this text in a fresh directory.
// With n1 unset the pre-scan runs, otherwise the read of n1 points.
Outcome run(DataType type, const std::string& text, int n1 = kUnsetInt,
            const std::string& answers = "", const std::string& name = stored("data.txt")) {
  ScratchDir dir;
  writeFile("data.txt", text);
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = name;
  Scripted io(answers);
  Outcome result;
  try {
    if (n1 == kUnsetInt) {
      result.count = read1(s, io.console, ReadOption::count);
    } else {
      s.setting.n1 = n1;
      allocate0(s);
      init0(s);
      result.count = read1(s, io.console, ReadOption::values);
      result.t.assign(s.data.t1.begin(), s.data.t1.end());
      result.x.assign(s.data.x1.begin(), s.data.x1.end());
      result.xHeld = s.data.x1.held();
    }
  } catch (const Fatal& stop) {
    result.stop = stop.lines();
  }
  result.console = io.text();
  return result;
}

Outcome count(DataType type, const std::string& text) { return run(type, text); }

// Ten lines "i 100+i" with line `shortLine` holding its time only.
std::string pairsWithShortLine(int shortLine) {
  std::string text;
  for (int i = 1; i <= 10; ++i) {
    text += std::to_string(i);
    if (i != shortLine) text += " " + std::to_string(100 + i);
    text += "\n";
  }
  return text;
}

constexpr DataType kPairTypes[] = {DataType::ordinary, DataType::extreme};

TEST(DataFileOpens, ExistingFileWithBlanksAroundItsName) {
  ScratchDir dir;
  writeFile("data.txt", "1 2\n");
  std::filesystem::create_directory("folder");
  EXPECT_TRUE(dataFileOpens("data.txt"));
  EXPECT_TRUE(dataFileOpens(stored("  data.txt")));
  EXPECT_FALSE(dataFileOpens(stored("missing.txt")));
  EXPECT_FALSE(dataFileOpens(stored("folder")));
  EXPECT_FALSE(dataFileOpens(std::string(50, ' ')));
}

TEST(Read1, FileThatCannotBeOpenedStopsBothModes) {
  const Lines opening{"Error during data file opening"};
  for (int n1 : {kUnsetInt, 3}) {
    EXPECT_EQ(run(DataType::ordinary, "1 2\n", n1, "", stored("missing.txt")).stop, opening);
    ScratchDir dir;
    std::filesystem::create_directory("folder");
    State s;
    s.setting.inputfile = stored("folder");
    s.setting.n1 = 3;
    allocate0(s);
    Scripted io;
    try {
      read1(s, io.console, n1 == kUnsetInt ? ReadOption::count : ReadOption::values);
      ADD_FAILURE() << "a folder was read";
    } catch (const Fatal& stop) {
      EXPECT_EQ(stop.lines(), opening);
    }
  }
}

TEST(Read1Count, CountsLinesThatBeginWithANumber) {
  for (DataType type : kPairTypes) {
    EXPECT_EQ(count(type, "1 10\n2 20\n3 30\n").count, 3);
    // Free form: commas, tabs, exponents with E or D, no final line end.
    EXPECT_EQ(count(type, "1,10\n2.5e0 , -20\n+3D0\t3.0E+01\n4 .5").count, 4);
    // Empty lines anywhere are skipped; CRLF line ends are read.
    EXPECT_EQ(count(type, "\n1 10\r\n\r\n2 20\r\n  \r\n3 30\r\n\r\n\n").count, 3);
    // A header has nothing before it; a text line ends the count there.
    EXPECT_EQ(count(type, "time value\n1 10\n2 20\n").count, 0);
    EXPECT_EQ(count(type, "1 10\n2 20\n3 30\nend of data\n5 50\n").count, 3);
    // Numbers must be finite.
    EXPECT_EQ(count(type, "1 10\nNaN 20\n").count, 1);
    EXPECT_EQ(count(type, "1 10\nInf 20\n").count, 1);
    EXPECT_EQ(count(type, "1 10\n1e999 20\n").count, 1);
  }
  EXPECT_EQ(count(DataType::times, "1\n2\n3\n4\n").count, 4);
  EXPECT_EQ(count(DataType::times, "\n1\r\n\r\n2.5E+00\r\n3,\n\n").count, 3);
  EXPECT_EQ(count(DataType::times, "t\n1\n2\n").count, 0);
  EXPECT_EQ(count(DataType::times, "").count, 0);
  for (DataType type : {DataType::ordinary, DataType::extreme, DataType::times}) {
    EXPECT_EQ(count(type, "1 10\n2 20\n").console, "");
  }
}

TEST(Read1Count, LineWithOneNumberIsNamed) {
  for (DataType type : kPairTypes) {
    // Pass C finds line 5 by the time of line 6 in second place.
    Outcome five = count(type, pairsWithShortLine(5));
    EXPECT_EQ(five.console, "       5\n");
    EXPECT_EQ(five.stop, Lines{kProblemLines});
    // The short last line is not followed by anything to match: the last
    // line is named.
    Outcome last = count(type, pairsWithShortLine(10));
    EXPECT_EQ(last.console, "      10\n");
    EXPECT_EQ(last.stop, Lines{kProblemLines});
    // After the first shift the reads are one line off, so only the first
    // of two short lines is found.
    std::string twoShort = pairsWithShortLine(3);
    twoShort.replace(twoShort.find("7 107"), 5, "7");
    EXPECT_EQ(count(type, twoShort).console, "       3\n");
  }
}

TEST(Read1Count, UnreadableSecondNumberIsNamed) {
  for (DataType type : kPairTypes) {
    Outcome text = count(type, "1 10\n2 20\n3 x\n4 40\n5 NaN\n6 60\n");
    EXPECT_EQ(text.console, lines({"       3", "       5"}));
    EXPECT_EQ(text.stop, Lines{kProblemLines});
  }
}

TEST(Read1Count, MoreValuesThanALineHolds) {
  for (DataType type : kPairTypes) {
    Outcome three = count(type, "1 10\n2 20 99\n3 30\n");
    EXPECT_EQ(three.console, "");
    EXPECT_EQ(three.stop, Lines{"Input data file problem (possibly more than two values per line)"});
    // Text behind the numbers of a line is not a number too many.
    EXPECT_EQ(count(type, "1 10 a\n2 20\n3 30\n").count, 3);
  }
  Outcome two = count(DataType::times, "1\n2 5\n3\n");
  EXPECT_EQ(two.console, "");
  EXPECT_EQ(two.stop, Lines{"Input data file problem (possibly more than one value per line)"});
  EXPECT_EQ(count(DataType::times, "1,\n2\n3\n").count, 3);
}

TEST(Read1Values, ReadsEveryTypeInFreeForm) {
  const std::string pairs = "\n1 10\r\n\r\n2,-20\r\n 3.5E+00 , -3.0D-1\r\n1.25e1\t4e2\n\n";
  for (DataType type : kPairTypes) {
    Outcome read = run(type, pairs, 4);
    EXPECT_FALSE(read.stop);
    EXPECT_EQ(read.count, 4);
    EXPECT_EQ(read.t, (Values{1, 2, 3.5, 12.5}));
    EXPECT_EQ(read.x, (Values{10, -20, -0.3, 400}));
    EXPECT_EQ(read.console, "");
  }
  Outcome times = run(DataType::times, "0.5\r\n\n1D0\r\n1.5e0\n", 3);
  EXPECT_FALSE(times.stop);
  EXPECT_EQ(times.t, (Values{0.5, 1, 1.5}));
  EXPECT_FALSE(times.xHeld);
}

TEST(Read1Values, DataSizeThatDoesNotMatchTheFile) {
  for (DataType type : {DataType::ordinary, DataType::extreme, DataType::times}) {
    const std::string three = type == DataType::times ? "1\n2\n3\n" : "1 10\n2 20\n3 30\n";
    EXPECT_EQ(run(type, three, 4).stop, Lines{"True number of points less than input"});
    EXPECT_EQ(run(type, three, 2).stop, Lines{"True number of points greater than input"});
    // A text line after the data, and one among them.
    EXPECT_EQ(run(type, three + "end\n", 3).stop, Lines{"Error during file read"});
    EXPECT_EQ(run(type, "1 10\nx\n3 30\n", 3).stop, Lines{"Error during file read"});
  }
  EXPECT_EQ(run(DataType::ordinary, "1 10\n2 Inf\n3 30\n", 3).stop,
            Lines{"Error during file read"});
}

TEST(Read1Values, EqualTimesAreListed) {
  const std::string pairs = "1 5\n2 5\n3 5\n4 5\n5 5\n6 5\n7 5\n7 6\n9 5\n10 5\n";
  Outcome equal = run(DataType::extreme, pairs, 10);
  EXPECT_EQ(equal.console, lines({kPoint8}));
  EXPECT_EQ(equal.stop, Lines{});
  Outcome times = run(DataType::times, "1\n2\n3\n4\n5\n6\n7\n7.0\n6\n10\n", 10);
  EXPECT_EQ(times.console,
            lines({kPoint8, "Point        9 error (time not increasing): t(i) <= t(i-1)"}));
  EXPECT_EQ(times.stop, Lines{});
}

// 45 decreasing times list points 2 to 45, with a pause after the 21st and
// the 41st line.
std::string decreasingTimes() {
  std::string text;
  for (int i = 45; i >= 1; --i) text += std::to_string(i) + " 0\n";
  return text;
}

std::string pointLines(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    const std::string number = std::to_string(i);
    text += "Point " + std::string(8 - number.size(), ' ') + number +
            " error (time not increasing): t(i) <= t(i-1)\n";
  }
  return text;
}

TEST(Read1Values, LongListPausesAfterEveryTwentyLines) {
  Outcome listed = run(DataType::ordinary, decreasingTimes(), 45, "\n\n");
  EXPECT_EQ(listed.console, pointLines(2, 22) + "Continue with Enter\n" + pointLines(23, 42) +
                                "Continue with Enter\n" + pointLines(43, 45));
  EXPECT_EQ(listed.stop, Lines{});
  // Nobody there to press Enter: the run stops at the first pause.
  Outcome closed = run(DataType::ordinary, decreasingTimes(), 45, "");
  EXPECT_EQ(closed.console, pointLines(2, 22) + "Continue with Enter\n");
  EXPECT_EQ(closed.stop, Lines{});
}

TEST(ListReader, ReadSpansLinesAndIgnoresTheRestOfItsLastLine) {
  ListReader reader("1\n\n2 3 4\nx 5\n6");
  double pair[2];
  ASSERT_EQ(reader.read(pair), ListReader::Status::ok);
  EXPECT_EQ(pair[0], 1);
  EXPECT_EQ(pair[1], 2);
  EXPECT_EQ(reader.read(pair), ListReader::Status::error);  // "x" on the next line
  EXPECT_EQ(reader.skip(1), ListReader::Status::ok);        // "6": the line of "x" is gone
  EXPECT_EQ(reader.skip(1), ListReader::Status::end);
  reader.rewind();
  EXPECT_EQ(reader.skip(2), ListReader::Status::ok);
  EXPECT_EQ(reader.skip(1), ListReader::Status::error);
}

}  // namespace
}  // namespace morvek

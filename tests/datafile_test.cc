#include "morvek/datafile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::lines;
using Lines = std::vector<std::string>;
using Values = std::vector<double>;

const Lines kProblemLines{"Input data file problem possibly in above line number(s)"};
const Lines kReadError{"Error during file read"};
constexpr DataType kPairTypes[] = {DataType::ordinary, DataType::extreme};
constexpr DataType kAllTypes[] = {DataType::ordinary, DataType::extreme, DataType::times};

// What one call of read1 left: the console text, the lines of the stop (if
// it stopped), the returned count and the arrays read.
struct Outcome {
  std::string console;
  std::optional<Lines> stop;
  int count = -1;
  Values t, x;
};

// Runs read1 on "data.txt" holding this text, named as the start-up dialog
// stores it (blank-padded to 50). Without n1 the pre-scan runs, otherwise
// the read of n1 points, answering pauses from `answers`.
Outcome run(DataType type, const std::string& text, int n1 = kUnsetInt,
            const std::string& answers = "", const std::string& name = "data.txt") {
  testing::ScratchDir dir;
  testing::writeFile("data.txt", text);
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = name + std::string(50 - name.size(), ' ');
  testing::Scripted io(answers);
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
    }
  } catch (const Fatal& stop) {
    result.stop = stop.lines();
  }
  result.console = io.text();
  return result;
}

Outcome count(DataType type, const std::string& text) { return run(type, text); }

TEST(Read1, FileThatCannotBeOpenedStopsBothModes) {
  for (int n1 : {kUnsetInt, 3}) {
    EXPECT_EQ(run(DataType::ordinary, "1 2\n", n1, "", "missing.txt").stop,
              Lines{"Error during data file opening"});
  }
}

TEST(Read1Count, CountsLinesThatBeginWithANumber) {
  for (DataType type : kPairTypes) {
    // Free form: commas, tabs, exponents with E or D, no final line end.
    EXPECT_EQ(count(type, "1,10\n2.5e0 , -20\n+3D0\t3.0E+01\n4 .5").count, 4);
    // Empty lines anywhere are skipped; CRLF line ends are read.
    EXPECT_EQ(count(type, "\n1 10\r\n\r\n2 20\r\n  \r\n3 30\r\n\r\n\n").count, 3);
    // A header has nothing before it; a text or unreadable line ends the count.
    EXPECT_EQ(count(type, "time value\n1 10\n2 20\n").count, 0);
    EXPECT_EQ(count(type, "1 10\n2 20\n3 30\nend of data\n5 50\n").count, 3);
    EXPECT_EQ(count(type, "1 10\nNaN 20\n").count, 1);
  }
  EXPECT_EQ(count(DataType::times, "\n1\r\n\r\n2.5E+00\r\n3,\n\n").count, 3);
  EXPECT_EQ(count(DataType::times, "t\n1\n2\n").count, 0);
  for (DataType type : kAllTypes) EXPECT_EQ(count(type, "1 10\n2 20\n").console, "");
}

TEST(Read1Count, LinesThatCannotBeReadAsPairsAreNamed) {
  for (DataType type : kPairTypes) {
    // The read of a pair shifts onto the next line: line 5 is found because
    // its "second number" is the time of line 6.
    Outcome five = count(type, "1 0\n2 0\n3 0\n4 0\n5\n6 0\n7 0\n8 0\n9 0\n10 0\n");
    EXPECT_EQ(five.console, "       5\n");
    EXPECT_EQ(five.stop, kProblemLines);
    // A short last line has nothing after it to match: the last line is named.
    EXPECT_EQ(count(type, "1 0\n2 0\n3 0\n4\n").console, "       4\n");
    // After the first shift the reads are one line off: only line 3 is found.
    EXPECT_EQ(count(type, "1 0\n2 0\n3\n4 0\n5 0\n6 0\n7\n8 0\n").console, "       3\n");
    // Unreadable second numbers are named where they stand.
    Outcome text = count(type, "1 10\n2 20\n3 x\n4 40\n5 NaN\n6 60\n");
    EXPECT_EQ(text.console, lines({"       3", "       5"}));
    EXPECT_EQ(text.stop, kProblemLines);
  }
}

TEST(Read1Count, MoreValuesThanALineHolds) {
  for (DataType type : kPairTypes) {
    Outcome three = count(type, "1 10\n2 20 99\n3 30\n");
    EXPECT_EQ(three.console, "");
    EXPECT_EQ(three.stop,
              Lines{"Input data file problem (possibly more than two values per line)"});
    // Text behind the numbers of a line is not a number too many.
    EXPECT_EQ(count(type, "1 10 a\n2 20\n3 30\n").count, 3);
  }
  Outcome two = count(DataType::times, "1\n2 5\n3\n");
  EXPECT_EQ(two.console, "");
  EXPECT_EQ(two.stop, Lines{"Input data file problem (possibly more than one value per line)"});
  EXPECT_EQ(count(DataType::times, "1,\n2\n3\n").count, 3);
}

TEST(Read1Values, ReadsEveryTypeInFreeForm) {
  for (DataType type : kPairTypes) {
    Outcome read = run(type, "\n1 10\r\n\r\n2,-20\r\n 3.5E+00 , -3.0D-1\r\n1.25e1\t4e2\n\n", 4);
    EXPECT_EQ(read.stop, std::nullopt);
    EXPECT_EQ(read.count, 4);
    EXPECT_EQ(read.t, (Values{1, 2, 3.5, 12.5}));
    EXPECT_EQ(read.x, (Values{10, -20, -0.3, 400}));
    EXPECT_EQ(read.console, "");
  }
  Outcome times = run(DataType::times, "0.5\r\n\n1D0\r\n1.5e0\n", 3);
  EXPECT_EQ(times.stop, std::nullopt);
  EXPECT_EQ(times.t, (Values{0.5, 1, 1.5}));
  EXPECT_EQ(times.x, Values{});  // no values kept for event times
}

TEST(Read1Values, DataSizeThatDoesNotMatchTheFile) {
  for (DataType type : kAllTypes) {
    const std::string three = type == DataType::times ? "1\n2\n3\n" : "1 10\n2 20\n3 30\n";
    EXPECT_EQ(run(type, three, 4).stop, Lines{"True number of points less than input"});
    EXPECT_EQ(run(type, three, 2).stop, Lines{"True number of points greater than input"});
    // A text line after the data, and one among them.
    EXPECT_EQ(run(type, three + "end\n", 3).stop, kReadError);
    EXPECT_EQ(run(type, "1 10\nx\n3 30\n", 3).stop, kReadError);
  }
}

// The lines listing points first to last as not later than the one before.
std::string pointLines(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    const std::string number = std::to_string(i);
    text += "Point " + std::string(8 - number.size(), ' ') + number +
            " error (time not increasing): t(i) <= t(i-1)\n";
  }
  return text;
}

TEST(Read1Values, TimesThatDoNotIncreaseAreListed) {
  Outcome equal = run(DataType::extreme, "1 5\n2 5\n3 5\n4 5\n5 5\n6 5\n7 5\n7 6\n9 5\n", 9);
  EXPECT_EQ(equal.console, "Point        8 error (time not increasing): t(i) <= t(i-1)\n");
  EXPECT_EQ(equal.stop, Lines{});
  Outcome times = run(DataType::times, "1\n2\n3\n4\n5\n6\n7\n7.0\n6\n10\n", 10);
  EXPECT_EQ(times.console, pointLines(8, 9));
  EXPECT_EQ(times.stop, Lines{});
}

// 45 decreasing times list points 2 to 45, pausing after the 21st and the 41st line.
TEST(Read1Values, LongListPausesAfterEveryTwentyLines) {
  std::string decreasing;
  for (int i = 45; i >= 1; --i) decreasing += std::to_string(i) + " 0\n";
  Outcome listed = run(DataType::ordinary, decreasing, 45, "\n\n");
  EXPECT_EQ(listed.console, pointLines(2, 22) + "Continue with Enter\n" + pointLines(23, 42) +
                                "Continue with Enter\n" + pointLines(43, 45));
  EXPECT_EQ(listed.stop, Lines{});
  // Nobody there to press Enter: the run stops at the first pause.
  Outcome closed = run(DataType::ordinary, decreasing, 45, "");
  EXPECT_EQ(closed.console, pointLines(2, 22) + "Continue with Enter\n");
  EXPECT_EQ(closed.stop, Lines{});
}

}  // namespace
}  // namespace morvek

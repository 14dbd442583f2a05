#include "morvek/console.h"

#include <gtest/gtest.h>

#include "morvek/numbers.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::Scripted;

TEST(NumbersTest, FreeFormReals) {
  EXPECT_EQ(parseReal("12"), 12.0);
  EXPECT_EQ(parseReal("-0.5"), -0.5);
  EXPECT_EQ(parseReal("+.5"), 0.5);
  EXPECT_EQ(parseReal("5."), 5.0);
  EXPECT_EQ(parseReal("1.5E+03"), 1500.0);
  EXPECT_EQ(parseReal("2d-1"), 0.2);
  EXPECT_EQ(parseReal("1e3"), 1000.0);
  for (const char* bad : {"", "+", ".", "e3", "1e", "1.5.2", "abc", "1,5", "0x10", "nan", "NaN",
                          "inf", "Infinity", "1e400", "--1", "1e+"}) {
    EXPECT_FALSE(parseReal(bad)) << bad;
  }
}

TEST(NumbersTest, IntegersRefuseFractionsAndOverflow) {
  EXPECT_EQ(parseInt("400"), 400);
  EXPECT_EQ(parseInt("+7"), 7);
  EXPECT_EQ(parseInt("-12"), -12);
  for (const char* bad : {"2.5", "3e0", "3.", "", "+", "+-3", "2147483648", "1 2"}) {
    EXPECT_FALSE(parseInt(bad)) << bad;
  }
  EXPECT_EQ(parseInt("-2147483648"), -2147483648LL);
}

TEST(NumbersTest, LinesSplitAtBlanksTabsAndCommas) {
  EXPECT_EQ(readReals(" 1950.5 ,\t-2e1,, 3 ", 3), (std::vector<double>{1950.5, -20.0, 3.0}));
  EXPECT_EQ(readReals("1 2 junk", 2), (std::vector<double>{1.0, 2.0}));  // the rest is ignored
  EXPECT_FALSE(readReals("1", 2));
  EXPECT_FALSE(readReals("1 x", 2));
  EXPECT_FALSE(readInts("2.5", 1));
  EXPECT_EQ(readInts("-5", 1), (std::vector<int>{-5}));
}

TEST(ConsoleTest, MenuRepeatsUntilAKeyAndComparesCase) {
  Scripted session("O\n\nxyz\n");
  const Menu menu{{"", "Head"}, {{'a', "Alpha  [a]"}, {'x', "Ex     [x]"}}};
  EXPECT_EQ(choose(session.console, menu), 'x');
  const std::string once = "\nHead\nAlpha  [a]\nEx     [x]\n";
  EXPECT_EQ(session.text(), once + once + once);
}

TEST(ConsoleTest, FifthWrongAnswerStops) {
  Scripted session("1\n2\n3\n4\n5\na\n");
  const Menu menu{{}, {{'a', "Alpha  [a]"}}};
  EXPECT_THROW(choose(session.console, menu), Fatal);
}

TEST(ConsoleTest, ClosedInputFailsEveryAttempt) {
  Scripted session("");
  const Menu menu{{}, {{'a', "Alpha  [a]"}}};
  try {
    choose(session.console, menu);
    FAIL() << "closed input must stop the run";
  } catch (const Fatal& fatal) {
    EXPECT_TRUE(fatal.lines().empty());
  }
  EXPECT_EQ(session.text(),
      "Alpha  [a]\nAlpha  [a]\nAlpha  [a]\nAlpha  [a]\nAlpha  [a]\n");
  Scripted paused("");
  EXPECT_THROW(paused.console.pause(), Fatal);
  EXPECT_EQ(paused.text(), "Continue with Enter\n");
}

TEST(ConsoleTest, NumberLinesAndCarriageReturns) {
  Scripted session("1 2\r\n3\n");
  EXPECT_EQ(readRealsLine(session.console, 2), (std::vector<double>{1, 2}));
  EXPECT_FALSE(readRealsLine(session.console, 2));  // a line with too few numbers
  EXPECT_FALSE(readRealsLine(session.console, 1));  // end of input
}

TEST(ConsoleTest, OverlongLinesAreReadInPieces) {
  const std::string piece(kMaxAnswerLength, 'a');
  Scripted exact(piece + "\nb");
  EXPECT_EQ(exact.console.readLine(), piece);  // the line end right behind it is its own
  EXPECT_EQ(exact.console.readLine(), "b");
  EXPECT_FALSE(exact.console.readLine());
  Scripted longer(piece + "cd\n");
  EXPECT_EQ(longer.console.readLine(), piece);
  EXPECT_EQ(longer.console.readLine(), "cd");

  // Input without line ends, as from /dev/zero, fails a question's five
  // attempts after five pieces instead of filling memory.
  Scripted zeros(std::string(8 * kMaxAnswerLength, '\0'));
  const Menu menu{{}, {{'a', "Alpha  [a]"}}};
  EXPECT_THROW(choose(zeros.console, menu), Fatal);
  EXPECT_EQ(zeros.in.tellg(), 5 * static_cast<std::streamoff>(kMaxAnswerLength));
}

}  // namespace
}  // namespace morvek

#include "morvek/console.h"

#include <gtest/gtest.h>
#include <climits>

#include "morvek/numbers.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::Scripted;

TEST(NumbersTest, FreeFormRealsAndIntegers) {
  for (const auto& [text, value] : {std::pair{"12", 12.0}, {"-0.5", -0.5}, {"+.5", 0.5}, {"5.", 5.0},
                                     {"1.5E+03", 1500.0}, {"2d-1", 0.2}, {"1e3", 1000.0}}) {
    EXPECT_EQ(parseReal(text), value) << text;
  }
  for (const char* bad : {"", "+", ".", "e3", "1e", "1.5.2", "abc", "1,5", "0x10", "nan", "NaN", "inf", "Infinity",
                          "1e400", "--1", "1e+"}) {
    EXPECT_FALSE(parseReal(bad)) << bad;
  }
  for (const auto& [text, value] : {std::pair{"400", 400}, {"+7", 7}, {"-12", -12}, {"-2147483648", INT_MIN}}) {
    EXPECT_EQ(parseInt(text), value) << text;
  }
  for (const char* bad : {"2.5", "3e0", "3.", "", "+", "+-3", "2147483648", "1 2"}) EXPECT_FALSE(parseInt(bad)) << bad;
  // Items are split at blanks, tabs and commas; the rest of a line is ignored.
  EXPECT_EQ(readReals(" 1950.5 ,\t-2e1,, 3 ", 3), (std::vector<double>{1950.5, -20.0, 3.0}));
  EXPECT_EQ(readReals("1 2 junk", 2), (std::vector<double>{1.0, 2.0}));
  EXPECT_FALSE(readReals("1", 2) || readReals("1 x", 2) || readInts("2.5", 1));
  EXPECT_EQ(readInts("-5", 1), (std::vector<int>{-5}));
}

// A line end may be CRLF. A longer line is read in pieces; the line end
// right behind a piece is its own. Input without line ends, as from
// /dev/zero, fails a question's five attempts after five pieces instead of
// filling memory. (Menus, pauses and closed input show in the dialogs of
// startup_test and driver_test.)
TEST(ConsoleTest, LinesAreReadInPieces) {
  Scripted numbers("1 2\r\n3\n");
  EXPECT_EQ(readRealsLine(numbers.console, 2), (std::vector<double>{1, 2}));
  EXPECT_FALSE(readRealsLine(numbers.console, 2));  // a line with too few numbers
  EXPECT_FALSE(readRealsLine(numbers.console, 1));  // end of input
  const std::string piece(kMaxAnswerLength, 'a');
  Scripted exact(piece + "\nb"), longer(piece + "cd\n");
  EXPECT_EQ(exact.console.readLine(), piece);
  EXPECT_EQ(exact.console.readLine(), "b");
  EXPECT_FALSE(exact.console.readLine());
  EXPECT_EQ(longer.console.readLine(), piece);
  EXPECT_EQ(longer.console.readLine(), "cd");
  Scripted zeros(std::string(8 * kMaxAnswerLength, '\0'));
  EXPECT_THROW(choose(zeros.console, Menu{{}, {{'a', "Alpha  [a]"}}}), Fatal);
  EXPECT_EQ(zeros.in.tellg(), 5 * static_cast<std::streamoff>(kMaxAnswerLength));
}

}  // namespace
}  // namespace morvek

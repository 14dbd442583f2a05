#include "morvek/format.h"

#include <gtest/gtest.h>

#include <limits>

namespace morvek {
namespace {

TEST(FormatTest, IntegersAreRightAlignedOrStars) {
  EXPECT_EQ(fmtI(8, 4), "   8");
  EXPECT_EQ(fmtI(-999, 4), "-999");
  EXPECT_EQ(fmtI(-1000, 4), "****");
  EXPECT_EQ(fmtI(123456, 4), "****");
  EXPECT_EQ(fmtI(16384, 20), "               16384");
  EXPECT_EQ(fmtI(0, 2), " 0");
}

TEST(FormatTest, FixedPoint) {
  EXPECT_EQ(fmtF(0.5, 20, 8), "          0.50000000");
  EXPECT_EQ(fmtF(-1.5, 7, 3), " -1.500");
  EXPECT_EQ(fmtF(1950.0, 11, 3), "   1950.000");
  EXPECT_EQ(fmtF(0.9, 6, 4), "0.9000");
  EXPECT_EQ(fmtF(0.75, 5, 2), " 0.75");
  EXPECT_EQ(fmtF(9.999999960041972e-10, 18, 6), "          0.000000");
  EXPECT_EQ(fmtF(1000000003.9958029, 18, 6), " 1000000003.995803");
  // Rounding happens on the decimal digits, half away from the binary value.
  EXPECT_EQ(fmtF(2.0005, 7, 3), "  2.001");  // 2.0005 is stored a little above
  EXPECT_EQ(fmtF(0.9999, 5, 3), "1.000");
}

TEST(FormatTest, FixedPointDropsTheLeadingZeroBeforeGivingUp) {
  EXPECT_EQ(fmtF(0.5, 4, 2), "0.50");
  EXPECT_EQ(fmtF(0.5, 3, 2), ".50");
  EXPECT_EQ(fmtF(-0.5, 4, 2), "-.50");
  EXPECT_EQ(fmtF(-0.5, 3, 2), "***");
  EXPECT_EQ(fmtF(12345.0, 7, 3), "*******");
}

TEST(FormatTest, Scientific) {
  EXPECT_EQ(fmtES(1.0, 24, 16), "  1.0000000000000000E+00");
  EXPECT_EQ(fmtES(-9.99e11, 10, 3), "-9.990E+11");
  EXPECT_EQ(fmtES(1950.5, 14, 6), "  1.950500E+03");
  EXPECT_EQ(fmtES(1234.0, 10, 3), " 1.234E+03");
  EXPECT_EQ(fmtES(0.0, 10, 3), " 0.000E+00");
  EXPECT_EQ(fmtES(9.99951, 10, 3), " 1.000E+01");
  EXPECT_EQ(fmtES(1.0e-5, 14, 6), "  1.000000E-05");
  EXPECT_EQ(fmtES(-9.99e11, 9, 3), "*********");
}

TEST(FormatTest, ScientificBeyondTwoExponentDigitsDropsTheLetter) {
  EXPECT_EQ(fmtES(1.0e100, 24, 16), "  1.0000000000000000+100");
  EXPECT_EQ(fmtES(-2.5e-150, 14, 6), " -2.500000-150");
  EXPECT_EQ(fmtES(std::numeric_limits<double>::max(), 14, 6), "  1.797693+308");
}

TEST(FormatTest, NonFiniteValuesAreWords) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(fmtF(inf, 11, 3), "   Infinity");
  EXPECT_EQ(fmtES(-inf, 14, 6), "     -Infinity");
  EXPECT_EQ(fmtF(nan, 11, 3), "        NaN");
  EXPECT_EQ(fmtF(-inf, 5, 2), " -Inf");
  EXPECT_EQ(fmtF(nan, 2, 1), "**");
}

TEST(FormatTest, TextFields) {
  EXPECT_EQ(fmtA("twopoint", 10), "twopoint  ");
  EXPECT_EQ(fmtA("a-very-long-name", 6), "a-very");
  EXPECT_EQ(fit("abc", 5), "  abc");
  EXPECT_EQ(fit("abcdef", 5), "*****");
}

}  // namespace
}  // namespace morvek

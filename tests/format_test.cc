#include "morvek/format.h"

#include <gtest/gtest.h>
#include <limits>

namespace morvek {
namespace {

TEST(Format, FixedWidthFieldsAsFortranWritesThem) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<std::string, std::string> cases[] = {
      // Iw, Fw.d, ESw.d: right-aligned, asterisks when too wide, rounding on the decimal digits of the binary
      // value (2.0005 is stored a little above), the zero before the point dropped first, exponents beyond 99
      // in the room of the letter, Infinity and NaN as words ("Inf" when narrow). Aw: padded or cut.
      {fmtI(-999, 4), "-999"}, {fmtI(-1000, 4), "****"}, {fmtI(123456, 4), "****"}, {fmtI(0, 2), " 0"},
      {fmtF(-1.5, 7, 3), " -1.500"}, {fmtF(0.9, 6, 4), "0.9000"}, {fmtF(2.0005, 7, 3), "  2.001"},
      {fmtF(0.5, 4, 2), "0.50"}, {fmtF(0.9999, 5, 3), "1.000"},
      {fmtF(9.999999960041972e-10, 18, 6), "          0.000000"}, {fmtF(0.5, 3, 2), ".50"},
      {fmtF(1000000003.9958029, 18, 6), " 1000000003.995803"}, {fmtF(-0.5, 4, 2), "-.50"}, {fmtF(-0.5, 3, 2), "***"},
      {fmtF(12345.0, 7, 3), "*******"}, {fmtES(-9.99e11, 10, 3), "-9.990E+11"}, {fmtES(0.0, 10, 3), " 0.000E+00"},
      {fmtES(9.99951, 10, 3), " 1.000E+01"}, {fmtES(1.0e-5, 14, 6), "  1.000000E-05"},
      {fmtES(-9.99e11, 9, 3), "*********"}, {fmtES(1.0e100, 24, 16), "  1.0000000000000000+100"},
      {fmtES(-2.5e-150, 14, 6), " -2.500000-150"}, {fmtES(std::numeric_limits<double>::max(), 14, 6), "  1.797693+308"},
      {fmtF(inf, 11, 3), "   Infinity"}, {fmtES(-inf, 14, 6), "     -Infinity"}, {fmtF(nan, 11, 3), "        NaN"},
      {fmtF(-inf, 5, 2), " -Inf"}, {fmtES(inf, 3, 2), "Inf"}, {fmtF(nan, 2, 1), "**"},
      {fmtA("twopoint", 10), "twopoint  "}, {fmtA("a-very-long-name", 6), "a-very"}, {fit("abc", 5), "  abc"},
      {fit("abcdef", 5), "*****"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace morvek

#include "morvek/datafile.h"

#include <gtest/gtest.h>
#include <sstream>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// What read1 does with `name` (stored blank-padded to 50, as the start-up
// dialog leaves it) for this data type: without n1 the pre-scan, otherwise
// the read of n1 points, answering pauses from `answers`. The console text,
// the lines of the stop, or the count and values returned.
std::string read(DataType type, const std::string& name, int n1, const std::string& answers = "") {
  State s;
  s.setting.datatype = type;
  s.setting.inputfile = name + std::string(50 - name.size(), ' ');
  s.setting.n1 = n1;
  Scripted io(answers);
  std::ostringstream text;
  try {
    if (n1 != kUnsetInt) {
      allocate0(s);
      init0(s);
    }
    text << "count " << read1(s, io.console, n1 == kUnsetInt ? ReadOption::count : ReadOption::values) << "\n";
  } catch (const Fatal& stop) {
    std::string lines = stop.lines().empty() ? "stop\n" : "";
    for (const std::string& line : stop.lines()) lines += "stop: " + line + "\n";
    return io.text() + lines;
  }
  if (n1 == kUnsetInt) return io.text() + text.str();
  text << "t";
  for (double t : s.data.t1) text << " " << t;
  text << "\nx";
  for (double x : s.data.x1) text << " " << x;
  return io.text() + text.str() + "\n";
}

// tests/golden/datafile.txt: free-form lines (commas, tabs, exponents with
// E or D, CRLF, empty lines, no final line end); the count ends at a text
// line; lines that cannot be read as pairs are named, the read of a pair
// shifting onto the next line after a short one; more values than a line
// holds; a data size that does not match the file; times that do not
// increase, listed with a pause after every twenty lines.
TEST(Read1, EachFileGivesItsCountValuesOrStop) {
  std::string decreasing;
  for (int i = 45; i >= 1; --i) decreasing += std::to_string(i) + " 0\n";
  const struct { const char* types; std::string text; int n1; std::string answers = ""; } cases[] = {
      {"ox", "1,10\n2.5e0 , -20\n+3D0\t3.0E+01\n4 .5", kUnsetInt},
      {"ox", "\n1 10\r\n\r\n2 20\r\n  \r\n3 30\r\n\r\n\n", kUnsetInt},
      {"ox", "time value\n1 10\n2 20\n", kUnsetInt}, {"ox", "1 10\n2 20\n3 30\nend of data\n5 50\n", kUnsetInt},
      {"ox", "1 10\nNaN 20\n", kUnsetInt}, {"ox", "1 0\n2 0\n3 0\n4 0\n5\n6 0\n7 0\n8 0\n9 0\n10 0\n", kUnsetInt},
      {"ox", "1 0\n2 0\n3 0\n4\n", kUnsetInt}, {"ox", "1 0\n2 0\n3\n4 0\n5 0\n6 0\n7\n8 0\n", kUnsetInt},
      {"ox", "1 10\n2 20\n3 x\n4 40\n5 NaN\n6 60\n", kUnsetInt}, {"ox", "1 10\n2 20 99\n3 30\n", kUnsetInt},
      {"ox", "1 10 a\n2 20\n3 30\n", kUnsetInt}, {"t", "\n1\r\n\r\n2.5E+00\r\n3,\n\n", kUnsetInt},
      {"t", "t\n1\n2\n", kUnsetInt}, {"t", "1\n2 5\n3\n", kUnsetInt}, {"t", "1,\n2\n3\n", kUnsetInt},
      {"ox", "\n1 10\r\n\r\n2,-20\r\n 3.5E+00 , -3.0D-1\r\n1.25e1\t4e2\n\n", 4}, {"t", "0.5\r\n\n1D0\r\n1.5e0\n", 3},
      {"ox", "1 10\n2 20\n3 30\n", 4}, {"ox", "1 10\n2 20\n3 30\n", 2}, {"ox", "1 10\n2 20\n3 30\nend\n", 3},
      {"oxt", "1 10\nx\n3 30\n", 3}, {"t", "1\n2\n3\n", 4}, {"t", "1\n2\n3\n", 2}, {"t", "1\n2\n3\nend\n", 3},
      {"x", "1 5\n2 5\n3 5\n4 5\n5 5\n6 5\n7 5\n7 6\n9 5\n", 9}, {"t", "1\n2\n3\n4\n5\n6\n7\n7.0\n6\n10\n", 10},
      {"o", decreasing, 45, "\n\n"}, {"o", decreasing, 45, ""},  // nobody there to press Enter
  };
  ScratchDir dir;
  std::string all;
  for (const auto& c : cases) {
    writeFile("data.txt", c.text);
    std::string first, shown;
    for (const char* type = c.types; *type != '\0'; ++type) {
      const DataType t = *type == 'o' ? DataType::ordinary : *type == 'x' ? DataType::extreme : DataType::times;
      const std::string result = read(t, "data.txt", c.n1, c.answers);
      if (first.empty()) first = result;
      EXPECT_EQ(result, first) << c.types << " " << c.text;
    }
    for (char ch : c.text.substr(0, 100)) {
      shown += ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : ch == '\t' ? "\\t" : std::string(1, ch);
    }
    const std::string size = c.n1 == kUnsetInt ? "" : ", n1 " + std::to_string(c.n1);
    all += "== " + std::string(c.types) + size + ": " + shown + " ==\n" + first;
  }
  expectGolden("datafile.txt", all);
  EXPECT_EQ(read(DataType::ordinary, "missing.txt", kUnsetInt), "stop: Error during data file opening\n");
  EXPECT_EQ(read(DataType::ordinary, "missing.txt", 3), "stop: Error during data file opening\n");
}

}  // namespace
}  // namespace morvek

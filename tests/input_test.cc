// What Morvek reads and how it writes numbers: answers and numbers, the
// fixed-width fields, the configuration, the start-up questions, the data
// file; and the workspace, released by the phase returned to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <climits>
#include <filesystem>
#include <limits>
#include <sstream>

#include "morvek/config.h"
#include "morvek/console.h"
#include "morvek/datafile.h"
#include "morvek/format.h"
#include "morvek/numbers.h"
#include "morvek/startup.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// A text in a golden heading: line ends and tabs shown as escapes.
std::string escaped(const std::string& text) {
  std::string shown;
  for (char c : text) shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : std::string(1, c);
  return shown;
}

// The text with its escapes turned back into line ends and tabs.
std::string unescaped(std::string text) {
  for (const auto& [escape, c] : {std::pair{"\\n", '\n'}, {"\\r", '\r'}, {"\\t", '\t'}}) {
    for (std::size_t at = text.find(escape); at != std::string::npos; at = text.find(escape, at + 1)) {
      text.replace(at, 2, 1, c);
    }
  }
  return text;
}

// The cases of tests/data/`name`, one a line; lines that start with # are notes.
std::vector<std::string> cases(const std::string& name) {
  std::istringstream in(readFile(sourcePath("tests/data/" + name)));
  std::vector<std::string> all;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("#")) all.push_back(line);
  }
  return all;
}

TEST(NumbersTest, FreeFormRealsAndIntegers) {
  for (const auto& [text, value] : {std::pair{"12", 12.0}, {"-0.5", -0.5}, {"+.5", 0.5}, {"5.", 5.0},
                                     {"1.5E+03", 1500.0}, {"2d-1", 0.2}, {"1e3", 1000.0}}) {
    EXPECT_EQ(parseReal(text), value) << text;
  }
  for (const char* bad : {"", "+", ".", "e3", "1e", "1.5.2", "abc", "1,5", "0x10", "nan", "NaN", "inf", "Infinity",
                          "1e400", "--1", "1e+", "1e5x", "2e3.5"}) {
    EXPECT_FALSE(parseReal(bad)) << bad;
  }
  for (const auto& [text, value] : {std::pair{"400", 400}, {"+7", 7}, {"-12", -12}, {"-2147483648", INT_MIN}}) {
    EXPECT_EQ(parseInt(text), value) << text;
  }
  for (const char* bad : {"2.5", "3e0", "3.", "", "+", "+-3", "2147483648", "1 2"}) EXPECT_FALSE(parseInt(bad)) << bad;
}

// A line end may be CRLF. A longer line is read in pieces; the line end
// right behind a piece is its own. Input without line ends, as from
// /dev/zero, fails a question's five attempts after five pieces instead of
// filling memory.
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

// Iw, Fw.d, ESw.d: right-aligned, asterisks when too wide, rounding on the
// decimal digits of the binary value (2.0005 is stored a little above), the
// zero before the point dropped first, exponents beyond 99 in the room of
// the letter, Infinity and NaN as words ("Inf" when narrow). Aw: padded or cut.
TEST(Format, FixedWidthFieldsAsFortranWritesThem) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<std::string, std::string> cases[] = {
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

// The lines of the stop of read0 in the working directory, or the values it accepted.
std::string configOutcome() {
  State s;
  std::ostringstream text;
  try {
    read0(s);
  } catch (const Fatal& stop) {
    return stopText(stop);
  }
  const Parameters& p = s.parameters;
  text.precision(15);
  text << "accepted: krel " << p.krel << ", rule " << ruleText(p.rule) << ", hrelmax " << p.hrelmax << ", nhsrch "
       << p.nhsrch << ", ngrid " << p.ngrid << ", alpha " << p.alpha << "\n";
  return text.str();
}

// tests/golden/config.txt: what each morvek.cfg of tests/data/config.txt
// gives. Anything but a regular file stops like a missing one: a folder is
// not an empty configuration, a pipe would block and /dev/zero never ends.
TEST(Read0, EachFileGivesItsValuesOrItsStop) {
  ScratchDir dir;
  std::string all;
  for (const std::string& line : cases("config.txt")) {
    writeFile("morvek.cfg", unescaped(line));
    all += "== " + line + " ==\n" + configOutcome();
  }
  expectGolden("config.txt", all);
  for (const auto make : {+[] {}, +[] { std::filesystem::create_directory("morvek.cfg"); },
                          +[] { ASSERT_EQ(::mkfifo("morvek.cfg", 0600), 0); },
                          +[] { std::filesystem::create_symlink("/dev/zero", "morvek.cfg"); }}) {
    std::filesystem::remove("morvek.cfg");
    make();
    EXPECT_EQ(configOutcome(), "stop: Error during data file opening\n");
  }
}

// The dialog of one start-up step under a heading, the lines of its stop, then the settings.
std::string dialog(const std::string& heading, void (*step)(State&, Console&), State& s,
                   const std::string& answers = "") {
  Scripted io(answers);
  std::string text = "== " + escaped(heading) + " ==\n";
  try {
    step(s, io.console);
    text += io.text();
  } catch (const Fatal& fatal) {
    text += io.text() + stopText(fatal);
  }
  return text + "datatype " + std::string(datatypeText(s.setting.datatype)) + ", file '" + s.setting.inputfile +
         "', n1 " + std::to_string(s.setting.n1) + "\n";
}

// tests/golden/startup.txt: the first character of the answer chooses the
// data type; a file name is cut to 50 characters and kept as typed; every
// question allows five attempts, and blank names are read again without a
// prompt, five times per attempt; only a regular file is taken (a pipe
// would block, /dev/zero never end). Then the minimum data size by type.
TEST(StartupTest, DataTypeFileAndSize) {
  ScratchDir dir;
  const std::string fifty = std::string(46, 'd') + ".txt", longer = std::string(50, 'e') + ".txt";
  for (const std::string& name : {fifty, longer, std::string("data.txt")}) writeFile(name, "1 2\n");
  std::filesystem::create_directory("folder");
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  std::filesystem::create_symlink("data.txt", "link");
  std::string all;
  for (const std::string& answers :
       {"o\n" + fifty + "-not-part-of-the-name\n", "xylophone\n" + fifty + "\n", "t\n" + fifty + "\n",
        std::string("O\n\n?\nX\nt\n\n   \n\t\n\n  data.txt  \n"), std::string("O\n\n \nT\nq\no\n"),
        std::string("t\n\n \n\n\n\ndata.txt\n"), std::string("o\n"),
        std::string("t\npipe\n/dev/zero\n/dev/null\nlink\n"),
        "x\n\n\n\n\nmissing.txt\n\n\n\n\nfolder\n./missing\n\nstill missing\n" + longer + "\ndata.txt\n"}) {
    State s;
    all += dialog(answers, chsett1, s, answers);
  }
  for (const auto& [type, n, header] : {std::tuple{DataType::ordinary, 7, ""}, {DataType::ordinary, 6, ""},
                                         {DataType::extreme, 4, ""}, {DataType::extreme, 2, ""},
                                         {DataType::times, 4, ""}, {DataType::times, 9, "time\n"}}) {
    State s;
    s.setting.datatype = type;
    s.setting.inputfile = "data.txt";
    std::string text = header;
    for (int i = 1; i <= n; ++i) text += std::to_string(i) + (s.hasValues() ? " 5\n" : "\n");
    writeFile("data.txt", text);
    all += dialog("data size: " + text, chsett2, s);
  }
  expectGolden("startup.txt", all);
}

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
    if (n1 != kUnsetInt) enter(s, Stage::start);
    text << "count " << read1(s, io.console, n1 == kUnsetInt ? ReadOption::count : ReadOption::values) << "\n";
  } catch (const Fatal& stop) {
    return io.text() + stopText(stop);
  }
  if (n1 == kUnsetInt) return io.text() + text.str();
  text << "t";
  for (double t : s.data.t1) text << " " << t;
  text << "\nx";
  for (double x : s.data.x1) text << " " << x;
  return io.text() + text.str() + "\n";
}

// tests/golden/datafile.txt: what each case of tests/data/datafile.txt
// gives: free-form lines (commas, tabs, exponents with E or D, CRLF, empty
// lines, no final line end); the count ends at a text line; lines that
// cannot be read as pairs are named, the read of a pair shifting onto the
// next line after a short one; more values than a line holds; a data size
// that does not match the file; times that do not increase. The data types
// named in a case read alike.
TEST(Read1, EachFileGivesItsCountValuesOrStop) {
  ScratchDir dir;
  std::string all;
  for (const std::string& line : cases("datafile.txt")) {
    std::istringstream fields(line);
    std::string types, size, answers, text;
    fields >> types >> size >> answers;
    std::getline(fields.ignore(), text);
    const int n1 = size == "-" ? kUnsetInt : std::stoi(size);
    writeFile("data.txt", unescaped(text));
    std::string first;
    for (const char type : types) {
      const DataType t = type == 'o' ? DataType::ordinary : type == 'x' ? DataType::extreme : DataType::times;
      const std::string result = read(t, "data.txt", n1, answers == "-" ? "" : unescaped(answers));
      if (first.empty()) first = result;
      EXPECT_EQ(result, first) << line;
    }
    const std::string shown = size == "-" ? "" : ", n1 " + size;
    all += "== " + types + shown + ": " + escaped(unescaped(text).substr(0, 100)) + " ==\n" + first;
  }
  expectGolden("datafile.txt", all);
  EXPECT_EQ(read(DataType::ordinary, "missing.txt", kUnsetInt), "stop: Error during data file opening\n");
  EXPECT_EQ(read(DataType::ordinary, "missing.txt", 3), "stop: Error during data file opening\n");
}

// A return to a phase releases its groups and those of all later ones; a
// release passes over the value arrays that event times never hold.
// Releasing an expected array twice stops, as does space that cannot be had.
TEST(StateTest, GroupsAreReleasedByTheirPhase) {
  for (const DataType type : {DataType::ordinary, DataType::times}) {
    State s = withData(type, {1, 2, 3, 4, 5, 6, 7, 8});
    if (type == DataType::ordinary) setSmoothed(s, std::vector(8, 1.0), std::vector(8, 1.0));
    setExtremes(s, {2, 5}, {1, 1});
    setClasses(s, {0, 1, 2}, {{2}, {5}});
    setPseudodata(s, {{-2, 2}, {5, 15}});
    setGrid(s, 0, 9, 64);
    releaseFromPart(s, 4);  // back from the bootstrap to the risk estimation: only the rate arrays
    EXPECT_FALSE(s.data.lx.held());
    EXPECT_TRUE(s.data.t.held() && s.setting.h.held() && s.data.u.held());
    releaseFromPart(s, 3);
    EXPECT_FALSE(s.data.t.held() || s.setting.nsim.held() || s.setting.h.held() || s.setting.c.held() ||
                 s.data.t4.held());
    EXPECT_TRUE(s.data.t3.held());
    releaseFromPart(s, 1);
    EXPECT_FALSE(s.data.t2.held() || s.data.x2.held() || s.data.b2.held() || s.data.t3.held());
    EXPECT_TRUE(s.data.t1.held());
    EXPECT_EQ(stopLines([&] { release(s, Group::g1); }), Lines{"Subroutine deallocate1: unexpected deallocation error"});
    release(s, Group::g0);
    EXPECT_EQ(stopLines([&] { release(s, Group::g0); }), Lines{"Subroutine deallocate0: unexpected deallocation error"});
    release(s, Group::g2b);  // the groups after 2a pass over what is not held
  }
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer aborts on a failed operator new instead of throwing
  State s;
  s.setting.l = 3;  // three classes of 2^31 reals: more than the machine has
  s.setting.maxnrr = INT_MAX;
  EXPECT_EQ(stopLines([&] { make(s, Group::g4f); }), Lines{"Subroutine allocate4f: space requested not possible"});
#endif
}

}  // namespace
}  // namespace morvek

#include "morvek/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <filesystem>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// The dialog of one step under a heading, the lines of its stop, then the settings.
std::string dialog(const std::string& heading, void (*step)(State&, Console&), State& s,
                   const std::string& answers = "") {
  Scripted io(answers);
  std::string text = "== ";
  for (char c : heading) text += c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
  text += " ==\n";
  try {
    step(s, io.console);
    text += io.text();
  } catch (const Fatal& fatal) {
    text += io.text() + (fatal.lines().empty() ? "stop\n" : "");
    for (const std::string& line : fatal.lines()) text += "stop: " + line + "\n";
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

}  // namespace
}  // namespace morvek

#include "morvek/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <filesystem>
#include <sstream>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// The lines of the stop of read0 in the working directory, or the values it accepted.
std::string outcome() {
  State s;
  std::ostringstream text;
  try {
    read0(s);
  } catch (const Fatal& stop) {
    for (const std::string& line : stop.lines()) text << "stop: " << line << "\n";
    return text.str();
  }
  const Parameters& p = s.parameters;
  text.precision(15);
  text << "accepted: krel " << p.krel << ", rule " << ruleText(p.rule) << ", hrelmax " << p.hrelmax << ", nhsrch "
       << p.nhsrch << ", ngrid " << p.ngrid << ", alpha " << p.alpha << "\n";
  return text.str();
}

// tests/golden/config.txt: what each morvek.cfg gives. Comments, line ends
// and any case are allowed and text around the group ignored; the limits
// of each range are included; the values out of range are reported in
// table order, not file order; parse errors name the line; long words are
// cut in the message. Anything but a regular file stops like a missing one:
// a folder is not an empty configuration, a pipe would block and /dev/zero
// never ends.
TEST(Read0, EachFileGivesItsValuesOrItsStop) {
  std::vector<std::string> files{
      "&cfg /\n",
      "! Morvek settings, krell = 1 / &cfg\r\n&CFG   ! the group opens\r\n  KREL =\r\n"
      "    3.0E-1,  Rule = \"reflection\"  ! a / and krell = 2 here are comment\r\n  hrelmax\r\n  = 0.75D0\r\n"
      "  NHSRCH=1000,NGRID=4096 Alpha=0.95/ alpha = 5 is after the group\r\n",
      "&cfg krel = 0.5 hrelmax = 0.05 nhsrch = 100 alpha = 0.8 rule = 'twopoint' /",
      "&cfg krel = 0.05 hrelmax = 1.0 nhsrch = 10000 alpha = 0.9999 /", "&cfg krel = 0.50001 /",
      "&cfg krel = 0.04999 /", "&cfg rule = 'Twopoint' /", "&cfg hrelmax = 1.00001 /", "&cfg hrelmax = 0.01 /",
      "&cfg nhsrch = 10001 /", "&cfg nhsrch = 99 /", "&cfg ngrid = 32768 /", "&cfg ngrid = 1000 /",
      "&cfg alpha = 0.79 /", "&cfg alpha = 1.0 /", "&cfg alpha = 0.5\n krel = 0.6 /",
      "&cfg\n krel = 0.3\n krell = 0.2 /\n", "&cfg\n\n krel 0.3 /", "&cfg krel =\n\n  0.3x /",
      "&cfg\n ngrid = 2048.0 /", "&cfg alpha = NaN /", "&cfg rule = twopoint /", "&cfg\n rule = 'twopoint\n /",
      "&cfg rule = 'reflections' /",  // cut to ten characters it would be allowed
      "krel = 0.3 /\n", "&cfg krel = 0.3\n", "&cfg 0123456789012345678901234567890123456789X = 1 /",
      "&cfg alpha = 0.0123456789012345678901234567890123456789x /"};
  for (int n = 64; n <= 16384; n *= 2) files.push_back("&cfg ngrid = " + std::to_string(n) + " /");
  ScratchDir dir;
  std::string all;
  for (const std::string& text : files) {
    writeFile("morvek.cfg", text);
    std::string shown;
    for (char c : text) shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    all += "== " + shown + " ==\n" + outcome();
  }
  expectGolden("config.txt", all);
  std::filesystem::remove("morvek.cfg");
  const std::string opening = "stop: Error during data file opening\n";
  EXPECT_EQ(outcome(), opening);
  std::filesystem::create_directory("morvek.cfg");
  EXPECT_EQ(outcome(), opening);
  std::filesystem::remove("morvek.cfg");
  ASSERT_EQ(::mkfifo("morvek.cfg", 0600), 0);
  EXPECT_EQ(outcome(), opening);
  std::filesystem::remove("morvek.cfg");
  std::filesystem::create_symlink("/dev/zero", "morvek.cfg");
  EXPECT_EQ(outcome(), opening);
}

}  // namespace
}  // namespace morvek

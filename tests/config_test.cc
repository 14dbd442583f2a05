#include "morvek/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using testing::ScratchDir;
using testing::writeFile;

using Lines = std::vector<std::string>;

// Right-aligns a value in the 20 columns that follow every label.
std::string col20(const std::string& digits) { return std::string(20 - digits.size(), ' ') + digits; }

// Reads a configuration file of this text (none, or a folder in its place,
// without text); the lines of the stop, or a marker line when the
// configuration was accepted.
Lines stopFor(const std::optional<std::string>& text, State* accepted = nullptr,
              bool folder = false) {
  ScratchDir dir;
  if (text) writeFile("morvek.cfg", *text);
  if (folder) std::filesystem::create_directory("morvek.cfg");
  State s;
  try {
    read0(s);
  } catch (const Fatal& stop) {
    return stop.lines();
  }
  if (accepted != nullptr) *accepted = s;
  return {"(accepted)"};
}

const Lines kAccepted{"(accepted)"};

TEST(Read0, GroupWithoutItemsKeepsStartValues) {
  State s;
  ASSERT_EQ(stopFor("&cfg /\n", &s), kAccepted);
  EXPECT_EQ(s.parameters.krel, 0.25);
  EXPECT_EQ(s.parameters.kmin, 3);
  EXPECT_EQ(s.parameters.rule, Rule::twopoint);
  EXPECT_EQ(s.parameters.hrelmax, 0.5);
  EXPECT_EQ(s.parameters.nhsrch, 400);
  EXPECT_EQ(s.parameters.ngrid, 2048);
  EXPECT_EQ(s.parameters.alpha, 0.9);
}

TEST(Read0, ReadsEveryKey) {
  State s;
  ASSERT_EQ(stopFor("&cfg krel = 0.3, rule = 'reflection', hrelmax=0.75 nhsrch = 1000\n"
                    "     ngrid = 4096, alpha = 0.95 /\n",
                    &s),
            kAccepted);
  EXPECT_EQ(s.parameters.krel, 0.3);
  EXPECT_EQ(s.parameters.rule, Rule::reflection);
  EXPECT_EQ(s.parameters.hrelmax, 0.75);
  EXPECT_EQ(s.parameters.nhsrch, 1000);
  EXPECT_EQ(s.parameters.ngrid, 4096);
  EXPECT_EQ(s.parameters.alpha, 0.95);
}

TEST(Read0, RangeLimitsAreIncluded) {
  for (const char* item :
       {"krel = 0.5", "krel = 0.05", "hrelmax = 1.0", "hrelmax = 0.05", "nhsrch = 100",
        "nhsrch = 10000", "alpha = 0.8", "alpha = 0.9999", "rule = 'twopoint'",
        "rule = \"reflection\"", "ngrid = 64", "ngrid = 128", "ngrid = 256", "ngrid = 512",
        "ngrid = 1024", "ngrid = 2048", "ngrid = 4096", "ngrid = 8192", "ngrid = 16384"}) {
    EXPECT_EQ(stopFor(std::string("&cfg ") + item + " /\n"), kAccepted) << item;
  }
  State s;
  ASSERT_EQ(stopFor("&cfg rule = 'twopoint' /", &s), kAccepted);
  EXPECT_EQ(s.parameters.rule, Rule::twopoint);
}

struct RangeCase {
  const char* item;
  Lines block;
};

TEST(Read0, EachOutOfRangeValueGivesItsBlock) {
  const std::string maximum = "       allowed maximum is = ";
  const std::string minimum = "       allowed minimum is = ";
  const std::string ngrid = "                    ngrid = ";
  const Lines ngridRule{"  it must be a power of 2   ",
                        "  and lie between           " + col20("64"),
                        "  and                       " + col20("16384")};
  const RangeCase cases[] = {
      {"krel = 0.50001",
       {"                     krel = " + col20("0.50001000"), maximum + col20("0.50000000")}},
      {"krel = 0.04999",
       {"                     krel = " + col20("0.04999000"), minimum + col20("0.05000000")}},
      {"krel = -2.5e-1",
       {"                     krel = " + col20("-0.25000000"), minimum + col20("0.05000000")}},
      {"rule = 'Twopoint'",
       {"                      rule: Twopoint  ", "allowed are (character*10): twopoint  ",
        "                            reflection"}},
      {"rule = 'REFLECTION'",
       {"                      rule: REFLECTION", "allowed are (character*10): twopoint  ",
        "                            reflection"}},
      {"rule = ''",
       {"                      rule:           ", "allowed are (character*10): twopoint  ",
        "                            reflection"}},
      {"hrelmax = 1.00001",
       {"                  hrelmax = " + col20("1.00001000"), maximum + col20("1.00000000")}},
      {"hrelmax = 0.01",
       {"                  hrelmax = " + col20("0.01000000"), minimum + col20("0.05000000")}},
      {"nhsrch = 10001",
       {"                   nhsrch = " + col20("10001"), maximum + col20("10000")}},
      {"nhsrch = 99", {"                   nhsrch = " + col20("99"), minimum + col20("100")}},
      {"ngrid = 32768", {ngrid + col20("32768"), ngridRule[0], ngridRule[1], ngridRule[2]}},
      {"ngrid = 1000", {ngrid + col20("1000"), ngridRule[0], ngridRule[1], ngridRule[2]}},
      {"ngrid = 32", {ngrid + col20("32"), ngridRule[0], ngridRule[1], ngridRule[2]}},
      {"ngrid = -64", {ngrid + col20("-64"), ngridRule[0], ngridRule[1], ngridRule[2]}},
      {"alpha = 0.79",
       {"                    alpha = " + col20("0.79000000"), minimum + col20("0.80000000")}},
      {"alpha = 1.0",
       {"                    alpha = " + col20("1.00000000"), maximum + col20("0.99990000")}},
  };
  for (const RangeCase& c : cases) {
    Lines expected = c.block;
    expected.emplace_back();  // the empty line before the closing line
    EXPECT_EQ(stopFor(std::string("&cfg ") + c.item + " /\n"), expected) << c.item;
  }
}

TEST(Read0, AllBadKeysAreReportedInTableOrderBeforeOneStop) {
  // Written in reverse order: the report follows the table, not the file.
  EXPECT_EQ(stopFor("&cfg alpha = 0.5\n krel = 0.6 /\n"),
            (Lines{"                     krel = " + col20("0.60000000"),
                   "       allowed maximum is = " + col20("0.50000000"),
                   "                    alpha = " + col20("0.50000000"),
                   "       allowed minimum is = " + col20("0.80000000"), ""}));
  EXPECT_EQ(stopFor("&cfg alpha=2 ngrid=100 nhsrch=1 hrelmax=2 rule='none' krel=1 /"),
            (Lines{"                     krel = " + col20("1.00000000"),
                   "       allowed maximum is = " + col20("0.50000000"),
                   "                      rule: none      ",
                   "allowed are (character*10): twopoint  ",
                   "                            reflection",
                   "                  hrelmax = " + col20("2.00000000"),
                   "       allowed maximum is = " + col20("1.00000000"),
                   "                   nhsrch = " + col20("1"),
                   "       allowed minimum is = " + col20("100"),
                   "                    ngrid = " + col20("100"),
                   "  it must be a power of 2   ",
                   "  and lie between           " + col20("64"),
                   "  and                       " + col20("16384"),
                   "                    alpha = " + col20("2.00000000"),
                   "       allowed maximum is = " + col20("0.99990000"), ""}));
}

TEST(Read0, MissingFileStops) {
  EXPECT_EQ(stopFor(std::nullopt), (Lines{"Error during data file opening"}));
}

// A folder named morvek.cfg cannot be read as a file: it stops like a
// missing file rather than as an empty configuration.
TEST(Read0, FolderOfThatNameCannotBeOpened) {
  EXPECT_EQ(stopFor(std::nullopt, nullptr, true), (Lines{"Error during data file opening"}));
}

TEST(Read0, ParseErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"&cfg\n krel = 0.3\n krell = 0.2 /\n", "morvek.cfg line 3: unknown key 'krell'"},
      {"&cfg\nKRELL = 1 /", "morvek.cfg line 2: unknown key 'KRELL'"},
      {"&cfg\n\n krel 0.3 /", "morvek.cfg line 3: expected '=' after 'krel'"},
      {"&cfg krel =\n\n  0.3x /", "morvek.cfg line 3: malformed value '0.3x' for 'krel'"},
      {"&cfg\n ngrid = 2048.0 /", "morvek.cfg line 2: malformed value '2048.0' for 'ngrid'"},
      {"&cfg nhsrch = 99999999999 /",
       "morvek.cfg line 1: malformed value '99999999999' for 'nhsrch'"},
      {"&cfg alpha = NaN /", "morvek.cfg line 1: malformed value 'NaN' for 'alpha'"},
      {"&cfg alpha = Inf /", "morvek.cfg line 1: malformed value 'Inf' for 'alpha'"},
      {"&cfg hrelmax = 1e400 /", "morvek.cfg line 1: malformed value '1e400' for 'hrelmax'"},
      {"&cfg krel = /", "morvek.cfg line 1: missing value for 'krel'"},
      {"&cfg = 0.3 /", "morvek.cfg line 1: unexpected '='"},
      {"&cfg rule = twopoint /",
       "morvek.cfg line 1: value of 'rule' must be written between quotes"},
      {"&cfg\n rule = 'twopoint\n /", "morvek.cfg line 2: value of 'rule' has no closing quote"},
      {"&cfg rule = 'reflections' /",
       "morvek.cfg line 1: value of 'rule' is longer than 10 characters"},
      {"krel = 0.3 /\n", "morvek.cfg: no group '&cfg' found"},
      {"& cfg krel = 0.3 /\n", "morvek.cfg: no group '&cfg' found"},
      {"", "morvek.cfg: no group '&cfg' found"},
      {"&cfg krel = 0.3\n", "morvek.cfg: group 'cfg' is not closed with '/'"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(stopFor(text), Lines{message}) << text;
  }
}

TEST(Read0, AcceptsCommentsLineBreaksAnyCaseAndTextAroundTheGroup) {
  State s;
  ASSERT_EQ(stopFor("! Morvek settings, krell = 1 / &cfg\r\n"
                    "&CFG   ! the group opens\r\n"
                    "  KREL =\r\n"
                    "    3.0E-1,  Rule = \"reflection\"  ! a / and krell = 2 here are comment\r\n"
                    "  hrelmax\r\n"
                    "  = 0.75D0\r\n"
                    "  NHSRCH=1000,NGRID=4096/ alpha = 5 is after the group\r\n",
                    &s),
            kAccepted);
  EXPECT_EQ(s.parameters.krel, 0.3);
  EXPECT_EQ(s.parameters.rule, Rule::reflection);
  EXPECT_EQ(s.parameters.hrelmax, 0.75);
  EXPECT_EQ(s.parameters.nhsrch, 1000);
  EXPECT_EQ(s.parameters.ngrid, 4096);
  EXPECT_EQ(s.parameters.alpha, 0.9);
}

}  // namespace
}  // namespace morvek

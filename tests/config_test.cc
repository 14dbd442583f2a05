#include "morvek/config.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using Lines = std::vector<std::string>;

const Lines kAccepted{"(accepted)"};
// The 28-column labels of the range report.
const std::string kKrel = "                     krel = ";
const std::string kHrelmax = "                  hrelmax = ";
const std::string kNhsrch = "                   nhsrch = ";
const std::string kNgrid = "                    ngrid = ";
const std::string kAlpha = "                    alpha = ";
const std::string kMax = "       allowed maximum is = ";
const std::string kMin = "       allowed minimum is = ";

// A label followed by a value right-aligned in 20 columns.
std::string row(const std::string& label, const std::string& value) {
  return label + std::string(20 - value.size(), ' ') + value;
}

// Runs read0 in the working directory; the lines of its stop, or kAccepted.
Lines outcome(State& s) {
  try {
    read0(s);
  } catch (const Fatal& stop) {
    return stop.lines();
  }
  return kAccepted;
}

// The same with "morvek.cfg" holding this text, in a fresh directory.
Lines stopFor(const std::string& text, State* accepted = nullptr) {
  testing::ScratchDir dir;
  testing::writeFile("morvek.cfg", text);
  State s;
  return outcome(accepted != nullptr ? *accepted : s);
}

// The six configured values, in table order.
auto configured(const State& s) {
  const Parameters& p = s.parameters;
  return std::tuple(p.krel, p.rule, p.hrelmax, p.nhsrch, p.ngrid, p.alpha);
}

TEST(Read0, GroupWithoutItemsKeepsStartValues) {
  State s;
  ASSERT_EQ(stopFor("&cfg /\n", &s), kAccepted);
  EXPECT_EQ(configured(s), std::tuple(0.25, Rule::twopoint, 0.5, 400, 2048, 0.9));
}

TEST(Read0, AcceptsCommentsLineBreaksAnyCaseAndTextAroundTheGroup) {
  State s;
  ASSERT_EQ(stopFor("! Morvek settings, krell = 1 / &cfg\r\n"
                    "&CFG   ! the group opens\r\n"
                    "  KREL =\r\n"
                    "    3.0E-1,  Rule = \"reflection\"  ! a / and krell = 2 here are comment\r\n"
                    "  hrelmax\r\n"
                    "  = 0.75D0\r\n"
                    "  NHSRCH=1000,NGRID=4096 Alpha=0.95/ alpha = 5 is after the group\r\n",
                    &s),
            kAccepted);
  EXPECT_EQ(configured(s), std::tuple(0.3, Rule::reflection, 0.75, 1000, 4096, 0.95));
}

TEST(Read0, RangeLimitsAreIncluded) {
  std::vector<std::string> items{"krel = 0.5",     "krel = 0.05",    "hrelmax = 1.0",
                                 "hrelmax = 0.05", "nhsrch = 100",   "nhsrch = 10000",
                                 "alpha = 0.8",    "alpha = 0.9999", "rule = 'twopoint'"};
  for (int n = 64; n <= 16384; n *= 2) items.push_back("ngrid = " + std::to_string(n));
  for (const std::string& item : items) {
    EXPECT_EQ(stopFor("&cfg " + item + " /\n"), kAccepted) << item;
  }
}

TEST(Read0, EachOutOfRangeValueGivesItsBlockInTableOrder) {
  const Lines rule{"allowed are (character*10): twopoint  ",
                   "                            reflection"};
  const Lines grid{"  it must be a power of 2   ", row("  and lie between           ", "64"),
                   row("  and                       ", "16384")};
  const std::pair<const char*, Lines> cases[] = {
      {"krel = 0.50001", {row(kKrel, "0.50001000"), row(kMax, "0.50000000")}},
      {"krel = 0.04999", {row(kKrel, "0.04999000"), row(kMin, "0.05000000")}},
      {"rule = 'Twopoint'", {"                      rule: Twopoint  ", rule[0], rule[1]}},
      {"hrelmax = 1.00001", {row(kHrelmax, "1.00001000"), row(kMax, "1.00000000")}},
      {"hrelmax = 0.01", {row(kHrelmax, "0.01000000"), row(kMin, "0.05000000")}},
      {"nhsrch = 10001", {row(kNhsrch, "10001"), row(kMax, "10000")}},
      {"nhsrch = 99", {row(kNhsrch, "99"), row(kMin, "100")}},
      {"ngrid = 32768", {row(kNgrid, "32768"), grid[0], grid[1], grid[2]}},
      {"ngrid = 1000", {row(kNgrid, "1000"), grid[0], grid[1], grid[2]}},
      {"alpha = 0.79", {row(kAlpha, "0.79000000"), row(kMin, "0.80000000")}},
      {"alpha = 1.0", {row(kAlpha, "1.00000000"), row(kMax, "0.99990000")}},
      // Written in reverse order: the report follows the table, not the file.
      {"alpha = 0.5\n krel = 0.6",
       {row(kKrel, "0.60000000"), row(kMax, "0.50000000"), row(kAlpha, "0.50000000"),
        row(kMin, "0.80000000")}},
  };
  for (auto [item, expected] : cases) {
    expected.emplace_back();  // one empty line before the single closing line
    EXPECT_EQ(stopFor(std::string("&cfg ") + item + " /\n"), expected) << item;
  }
}

// Anything but a regular file stops like a missing one: a folder is not
// an empty configuration, a pipe would block and /dev/zero never ends.
TEST(Read0, MissingFileOrOneThatIsNotRegularStops) {
  testing::ScratchDir dir;
  State s;
  EXPECT_EQ(outcome(s), Lines{"Error during data file opening"});
  std::filesystem::create_directory("morvek.cfg");
  EXPECT_EQ(outcome(s), Lines{"Error during data file opening"});
  std::filesystem::remove("morvek.cfg");
  ASSERT_EQ(::mkfifo("morvek.cfg", 0600), 0);
  EXPECT_EQ(outcome(s), Lines{"Error during data file opening"});
  std::filesystem::remove("morvek.cfg");
  std::filesystem::create_symlink("/dev/zero", "morvek.cfg");
  EXPECT_EQ(outcome(s), Lines{"Error during data file opening"});
}

TEST(Read0, ParseErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"&cfg\n krel = 0.3\n krell = 0.2 /\n", "morvek.cfg line 3: unknown key 'krell'"},
      {"&cfg\n\n krel 0.3 /", "morvek.cfg line 3: expected '=' after 'krel'"},
      {"&cfg krel =\n\n  0.3x /", "morvek.cfg line 3: malformed value '0.3x' for 'krel'"},
      {"&cfg\n ngrid = 2048.0 /", "morvek.cfg line 2: malformed value '2048.0' for 'ngrid'"},
      {"&cfg alpha = NaN /", "morvek.cfg line 1: malformed value 'NaN' for 'alpha'"},
      {"&cfg rule = twopoint /",
       "morvek.cfg line 1: value of 'rule' must be written between quotes"},
      {"&cfg\n rule = 'twopoint\n /", "morvek.cfg line 2: value of 'rule' has no closing quote"},
      // Cut to ten characters this would read as an allowed value.
      {"&cfg rule = 'reflections' /",
       "morvek.cfg line 1: value of 'rule' is longer than 10 characters"},
      {"krel = 0.3 /\n", "morvek.cfg: no group '&cfg' found"},
      // Long words are cut in the message.
      {"&cfg 0123456789012345678901234567890123456789X = 1 /",
       "morvek.cfg line 1: unknown key '0123456789012345678901234567890123456789...'"},
      {"&cfg alpha = 0.0123456789012345678901234567890123456789x /",
       "morvek.cfg line 1: malformed value '0.01234567890123456789012345678901234567...' for 'alpha'"},
      {"&cfg krel = 0.3\n", "morvek.cfg: group 'cfg' is not closed with '/'"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(stopFor(text), Lines{message}) << text;
}

}  // namespace
}  // namespace morvek

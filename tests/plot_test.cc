#include "morvek/plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "morvek/fatal.h"
#include "tests/test_support.h"

namespace morvek {
namespace {

using namespace testing;

// Every drawn type can be made from this state. The extremes are unsorted
// for the distribution; class 1's row of the per-class results is a decoy.
State sample() {
  State s = withData(DataType::ordinary, {1950.5, 1951.5, 1952.5}, {1.5, -0.5, 3.25});
  s.setting.k = 3;
  setSmoothed(s, {1.0, 1.0, 1.5}, {0.5, 0.5, 0.25});
  setExtremes(s, {1951.0, 1951.5, 1952.0}, {2.5, 1.25, 4.0});
  setClasses(s, {0, 1, 2, 3}, {{1950.5, 1952.5}, {1951.5}, {1952.0}});
  s.parameters.nhsrch = s.parameters.ngrid = 2;
  s.data.cv.create(2, 2);
  s.data.cv.fill({9.0, 9.0});
  s.data.cv.at(1, 0) = {0.5, -1.25};
  s.data.cv.at(1, 1) = {1.0, -2.0};
  s.data.lx = held<double>({1950.0, 1953.0});
  s.data.ly = table({{9, 9}, {0.25, 0.5}});
  s.data.lyl = table({{9, 9}, {0.125, 0.25}});
  s.data.lyu = table({{9, 9}, {0.5, 1.0}});
  s.data.u = held<double>({9.0, -1.5});
  s.data.p = held<double>({9.0, 0.25});
  s.cvmeddata = {held<double>({1.0, 0.5}), held<double>({2.0, 0.75}), held<int>({3, 4})};
  for (int type = 1; type <= 13; ++type) s.settingp[type] = {1950.0, 1953.0, kUnsetReal, 0.0};
  s.settingp[7] = {1.25, 4.0, 1.0, 3.0, Scale::log, Scale::log};
  s.settingp[8] = {1950.0, 1953.0, 0.0, 3.75};
  s.settingp[12] = {1950.0, 1953.0, 0.0, 1.25};
  return s;
}

// A log axis on the window from `from` to `to` with the lowest test line z1.
void logWindow(State& s, double from, double to, double z1) {
  s.settingp[5] = {from, to, kUnsetReal, 0, Scale::lin, Scale::log};
  s.settingp.zplot[0] = z1;
}

// Changes to the sample; tests/golden/plot_variants.txt holds what each
// draws (the command file without its fixed style lines).
const struct Variant {
  int type;
  const char* name;
  void (*change)(State&);
} kVariants[] = {
    {5, "three test lines, one negative", [](State& s) { s.settingp.zplot = {-1.5, 2.0, 6.0}; }},
    // A single line is titled as the threshold only when its multiplier is the threshold in force.
    {5, "the threshold alone", [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {2.5, 0.0, 7.0}; }},
    {5, "a zero line alone", [](State& s) { s.setting.z = 2.5; s.settingp.zplot = {0.0, 0.0, 3.0}; }},
    // A set lower end draws the vertical range; a log axis needs everything drawn in the window
    // positive: the data and the lowest test line.
    {5, "vertical range, log", [](State& s) { s.settingp[5] = {1952.0, 1953.0, 0.5, 4.0, Scale::lin, Scale::log}; }},
    {5, "log refused: x = -0.5 at 1951.5", [](State& s) { s.settingp[5].logy = Scale::log; }},
    {5, "log: b - 4 v = 0.5", [](State& s) { logWindow(s, 1952, 1953, -4); }},
    {5, "log refused: b - 6 v = 0", [](State& s) { logWindow(s, 1952, 1953, -6); }},
    {5, "log: nothing in the window", [](State& s) { logWindow(s, 1960, 1970, 2); }},
    // A rank axis from 0 cannot be logarithmic; the fine tics stay.
    {7, "ranks from 0", [](State& s) { s.settingp[7].yl = 0.0; }},
    // Only the first l classes get a column and an impulse clause.
    {8, "one class", [](State& s) { s.setting.l = 1; }},
    {8, "two classes", [](State& s) { s.setting.l = 2; }},
    {12, "event times, extracted", [](State& s) { s.setting.datatype = DataType::times; s.setting.n1 = 5; }},
    // The title says ZOOM when the window cuts off what the type draws: the data for types 5 and 12,
    // the extremes for 6 and 8; type 1 always draws the whole series.
    {1, "no zoom", [](State& s) { s.settingp[1].xl = 1951; s.settingp[1].xu = 1952; }},
    {5, "zoom", [](State& s) { s.settingp[5].xl = 1950.8; s.settingp[5].xu = 1952.2; }},
    {5, "no zoom", [](State& s) { s.settingp[5].xl = 1950.5; s.settingp[5].xu = 1952.5; }},
    {12, "zoom", [](State& s) { s.settingp[12].xl = 1950.5; s.settingp[12].xu = 1952.2; }},
    {6, "no zoom", [](State& s) { s.settingp[6].xl = 1950.8; s.settingp[6].xu = 1952.2; }},
    {6, "zoom", [](State& s) { s.settingp[6].xl = 1951.0; s.settingp[6].xu = 1951.9; }},
    {8, "no zoom", [](State& s) { s.settingp[8].xl = 1950.8; s.settingp[8].xu = 1952.2; }},
    {8, "zoom", [](State& s) { s.settingp[8].xl = 1951.2; s.settingp[8].xu = 1952.2; }},
};

// What the real gnuplot refuses in the command file "2.tmp": only the
// pause line may be refused, since a gnuplot built without a mouse has no
// "pause mouse". Complaints about the data (an empty right-hand axis next
// to "set y2tics", no point inside the window) are not refusals. gnuplot
// stops a script at its first error, so a refusal of the last line shows
// that every line before it was taken.
std::string refusals(const std::string& commands) {
  std::system("gnuplot -e \"set terminal dumb\" 2.tmp < /dev/null > gnuplot.out 2> gnuplot.err");
  std::istringstream complaints(readFile("gnuplot.err"));
  std::string refused;
  for (std::string line; std::getline(complaints, line);) {
    std::smatch at;
    if (!std::regex_search(line, at, std::regex(R"(line (\d+):)")) || line.find("warning:") != std::string::npos ||
        line.find("all points y value undefined") != std::string::npos) {
      continue;
    }
    const bool last = std::stoi(at[1]) == std::count(commands.begin(), commands.end(), '\n');
    refused += last && line.find("mouse") != std::string::npos ? "" : line + "\n";
  }
  return refused;
}

class PlotTest : public ::testing::Test {
 protected:
  // The command file, accepted by gnuplot; the data file stays in "1.tmp". Types 9 to 11 draw class 2.
  std::string draw(const State& s, int type) {
    plot(s, io.console, runner, type, type >= 9 && type <= 11 ? 2 : 0);
    EXPECT_EQ(runner.commands.back(), "gnuplot 2.tmp");
    const std::string commands = readFile("2.tmp");
    EXPECT_EQ(refusals(commands), "") << "plot type " << type << ":\n" << commands;
    return commands;
  }
  ScratchDir dir;
  Scripted io;
  RecordingRunner runner;
};

TEST_F(PlotTest, EveryTypeAndVariantWritesItsFiles) {
  ASSERT_EQ(std::system("command -v gnuplot > /dev/null"), 0) << "gnuplot is needed: install gnuplot-nox";
  for (int type : {1, 5, 6, 7, 8, 9, 10, 11, 12, 13}) {
    const std::string commands = draw(sample(), type);
    const std::string name = std::string("plot_type") + (type < 10 ? "0" : "") + std::to_string(type) + ".txt";
    expectGolden(name, "== 1.tmp ==\n" + readFile("1.tmp") + "== 2.tmp ==\n" + commands);
  }
  std::string all;
  for (const Variant& v : kVariants) {
    State s = sample();
    v.change(s);
    std::istringstream commands(draw(s, v.type));
    all += "== type " + std::to_string(v.type) + ", " + v.name + " ==\n" + readFile("1.tmp") + "--\n";
    for (std::string line; std::getline(commands, line);) all += line.starts_with(" set style line") ? "" : line + "\n";
  }
  expectGolden("plot_variants.txt", all);
}

// Types 2 to 4 are valid numbers without a picture; other numbers, and
// files that cannot be opened, stop the run before gnuplot is called.
TEST_F(PlotTest, NothingIsDrawnForUnusedTypesOrAfterAStop) {
  const auto stop = [&](int type) -> std::vector<std::string> {
    try {
      plot(sample(), io.console, runner, type);
    } catch (const Fatal& fatal) {
      return fatal.lines();
    }
    return {};
  };
  for (int type : {2, 3, 4}) EXPECT_EQ(stop(type), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists("1.tmp") || std::filesystem::exists("2.tmp"));
  for (int type : {0, 14}) EXPECT_EQ(stop(type), std::vector<std::string>{"Plot-type value out of range"});
  std::filesystem::create_directory("1.tmp");
  EXPECT_EQ(stop(1), std::vector<std::string>{"Error during plot data file opening"});
  std::filesystem::remove("1.tmp");
  std::filesystem::create_directory("2.tmp");
  EXPECT_EQ(stop(1), std::vector<std::string>{"Error during plot command file opening"});
  EXPECT_TRUE(runner.commands.empty());
  EXPECT_NO_THROW(SystemPlotRunner().run("exit 3"));  // gnuplot's exit status is not the analysis's concern
}

}  // namespace
}  // namespace morvek

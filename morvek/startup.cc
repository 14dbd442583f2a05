#include "morvek/startup.h"

#include <optional>
#include <string>

#include "morvek/datafile.h"
#include "morvek/fatal.h"
#include "morvek/format.h"

namespace morvek {

namespace {

constexpr int kEventsMinimumDataSize = 4;
constexpr int kEventsMinimumInterval = 3;

int smoothableLength(const State& s) { return 2 * s.parameters.kmin + 1; }

struct DataTypeChoice {
  char key;
  std::string_view line;
  DataType type;
};

constexpr DataTypeChoice kDataTypes[] = {
    {'o', "Datatype:  ordinary               [o]", DataType::ordinary},
    {'x', "           extreme                [x]", DataType::extreme},
    {'t', "           extreme times          [t]", DataType::times},
};

DataType askDataType(Console& console) {
  Menu menu{{""}, {}};
  for (const auto& choice : kDataTypes) menu.entries.push_back({choice.key, choice.line});
  const char key = choose(console, menu);
  for (const auto& choice : kDataTypes) {
    if (choice.key == key) return choice.type;
  }
  return DataType::ordinary;
}

bool isBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// One attempt at the file name: the prompt, then up to five lines until one
// is not blank. Five blank lines, or the end of input, stop the run. A
// longer name is cut to the length the dialog keeps, and the user is told.
std::string askFileName(Console& console, std::string_view prompt) {
  console.line(prompt);
  for (int blanks = 0; blanks < kAttempts; ++blanks) {
    const auto answer = console.readLine();
    if (!answer) break;
    if (isBlank(*answer)) continue;
    const std::string name = fmtA(*answer, static_cast<int>(kFileNameLength));
    if (answer->find_last_not_of(' ') >= kFileNameLength) {
      console.advise("a data file name keeps its first " + std::to_string(kFileNameLength) +
                     " characters: " + name);
    }
    return name;
  }
  throw Fatal();
}

}  // namespace

int minimumDataSize(const State& s) {
  return s.setting.datatype == DataType::ordinary ? smoothableLength(s) : kEventsMinimumDataSize;
}

int minimumIntervalSize(const State& s) {
  return s.setting.datatype == DataType::ordinary ? smoothableLength(s) : kEventsMinimumInterval;
}

void info0(Console& console) {
  console.blank(100);
  console.line();
  console.line(std::string(58, '='));
  console.line();
  console.line("Morvek: Analysis and Risk Estimation of Extreme Events");
  console.line();
  console.line(std::string(58, '='));
}

void info0e(Console& console) {
  console.blank(2);
  console.line("Continue with Enter, exit with CTRL-C");
  if (!console.readLine()) throw Fatal();
  console.blank(100);
  console.line(std::string(70, '='));
  console.line();
  console.line("Morvek Version 3.0 (December 2014) --- welcome!");
  console.line();
}

void chsett1(State& s, Console& console) {
  console.blank(2);
  s.setting.datatype = askDataType(console);
  const std::string_view prompt =
      s.hasValues() ? "(t, x): [path + filename]" : "(t): [path + filename]";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    s.setting.inputfile = askFileName(console, prompt);
    const std::string problem = dataFileProblem(s.setting.inputfile, s.dataFolder);
    if (problem.empty()) return;
    console.advise(problem);
  }
  throw Fatal("Error during data file opening (file does possibly not exist)");
}

void chsett2(State& s, Console& console) {
  s.setting.n1 = read1(s, console, ReadOption::count);
  const int minimum = minimumDataSize(s);
  if (s.setting.n1 < minimum) {
    throw Fatal({"Data size:         " + fmtI(s.setting.n1, 8),
                 "Minimum data size: " + fmtI(minimum, 8), "Too few data points"});
  }
}

}  // namespace morvek

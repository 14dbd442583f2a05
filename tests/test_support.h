// Helpers shared by the tests: a scratch working directory, scripted
// console sessions and a plot runner that records instead of drawing.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "morvek/console.h"
#include "morvek/plot.h"

namespace morvek::testing {

// Makes a fresh directory the working directory for the lifetime of the
// object, since Morvek reads and writes its files there.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// Writes a text file in the working directory.
void writeFile(const std::string& name, const std::string& text);
std::string readFile(const std::string& name);

// A console fed with a script of answers, one per line, whose output is
// kept for comparison.
struct Scripted {
  explicit Scripted(const std::string& answers = "") : in(answers), console(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
  std::string text() const { return out.str(); }
};

// Records the command lines and the "2.tmp" each would have drawn.
class RecordingRunner : public PlotRunner {
 public:
  void run(const std::string& commandLine) override;
  std::vector<std::string> commands;
  std::vector<std::string> commandFiles;  // contents of 2.tmp at each run
  std::vector<std::string> dataFiles;     // contents of 1.tmp at each run
};

// Compares `text` with the file tests/golden/`name`. With the environment
// variable MORVEK_UPDATE_GOLDEN set, writes the file instead; a changed
// golden is then read line by line before it is committed.
void expectGolden(const std::string& name, const std::string& text);

// Joins lines with line ends, for golden transcripts.
std::string lines(std::initializer_list<std::string> items);
std::string emptyLines(int count);

}  // namespace morvek::testing

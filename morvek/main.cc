// Morvek: analysis and risk estimation of extreme events in a time series.
// The program reads morvek.cfg and its dialog from the working directory
// and the console. --help and --version answer without a dialog; any other
// argument is ignored, as it always was.
#include <cstring>
#include <iostream>

#include "morvek/console.h"
#include "morvek/driver.h"
#include "morvek/plot.h"
#include "morvek/progress.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)) {
    std::cout << (std::strcmp(argv[1], "--help") == 0 ? morvek::kUsage : morvek::kVersion) << std::flush;
    return std::cout ? 0 : 1;
  }
  morvek::Console console(std::cin, std::cout, &std::cerr, morvek::Progress::terminal());
  morvek::SystemPlotRunner runner;
  return morvek::runMorvek(console, runner);
}

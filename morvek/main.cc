// Morvek: analysis and risk estimation of extreme events in a time series.
// The program takes no arguments; it reads morvek.cfg and its dialog from
// the working directory and the console.
#include <iostream>

#include "morvek/console.h"
#include "morvek/driver.h"
#include "morvek/plot.h"

int main() {
  morvek::Console console(std::cin, std::cout, &std::cerr);
  morvek::SystemPlotRunner runner;
  return morvek::runMorvek(console, runner);
}

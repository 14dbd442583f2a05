#include "morvek/driver.h"

#include "morvek/config.h"
#include "morvek/datafile.h"
#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "morvek/plotsettings.h"
#include "morvek/startup.h"
#include "numerics/nrerror.h"

namespace morvek {

namespace {

// Every loop of the dialog is bounded, so that no answer sequence can keep
// the program going for ever.
constexpr int kPasses = 10000;

enum class Step { part1, part2, end };

class Driver {
 public:
  Driver(State& s, Console& console, PlotRunner& runner)
      : s_(s), console_(console), runner_(runner) {}

  void run() {
    startup();
    Step step = Step::part1;
    while (step != Step::end) {
      switch (step) {
        case Step::part1: step = part1(); break;
        case Step::part2: step = part2(); break;
        case Step::end: break;
      }
    }
    endOfRun();
  }

 private:
  void startup() {
    read0(s_);
    info0(console_);
    info0e(console_);
    chsett1(s_, console_);
    chsett2(s_, console_);
    allocate0(s_);
    init0(s_);
    read1(s_, console_, ReadOption::values);
    chsett3(s_, console_);
    check1(s_);
  }

  // A new pass of the Part 1 loop; a used-up loop ends the run.
  Step part1() {
    if (--part1Passes_ < 0) return Step::end;
    init1a(s_);
    allocate1(s_);
    init1b(s_);
    // Event times are drawn as impulses, the other types as a curve.
    const int plotType = s_.setting.datatype == DataType::times ? 12 : 1;
    for (int menu = 0; menu < kPasses; ++menu) {
      chsettp(s_, console_, plotType, '-');
      plot(s_, console_, runner_, plotType);
      info1(s_, console_);
      const char answer = decis1(console_);
      if (answer == 'c') break;
      interval(s_, console_, answer);
    }
    chsett3a(s_);
    return Step::part2;
  }

  // The entry of Part 2. Extreme detection and the later Parts are not part
  // of this version yet, so the run ends here.
  Step part2() {
    allocate2a(s_);
    allocate2c(s_);
    init2a(s_);
    init2b(s_);
    init2c(s_);
    console_.clear();
    info1(s_, console_);
    console_.line();
    console_.line("Extreme events detection is not available in this version.");
    return Step::end;
  }

  void endOfRun() {
    console_.line(kTerminatesSuccessfully);
    releaseAll(s_);
  }

  State& s_;
  Console& console_;
  PlotRunner& runner_;
  int part1Passes_ = kPasses;
};

}  // namespace

void run(State& s, Console& console, PlotRunner& runner) { Driver(s, console, runner).run(); }

int runMorvek(Console& console, PlotRunner& runner) {
  State state;
  try {
    run(state, console, runner);
    console.flush();
    return 0;
  } catch (const Fatal& fatal) {
    for (const std::string& line : fatal.lines()) console.line(line);
    console.line(kTerminatesUnsuccessfully);
  } catch (const numerics::NrError& error) {
    console.line(error.what());
    console.line(error.stop_text());
  }
  console.flush();
  return 1;
}

}  // namespace morvek

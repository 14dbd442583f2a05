#include "morvek/driver.h"

#include <exception>
#include <filesystem>
#include <new>
#include <string>

#include "morvek/background.h"
#include "morvek/bandwidth.h"
#include "morvek/bootstrap.h"
#include "morvek/classes.h"
#include "morvek/config.h"
#include "morvek/datafile.h"
#include "morvek/extremes.h"
#include "morvek/fatal.h"
#include "morvek/interval.h"
#include "morvek/plotsettings.h"
#include "morvek/pseudodata.h"
#include "morvek/rate.h"
#include "morvek/results.h"
#include "morvek/startup.h"
#include "morvek/trend.h"
#include "numerics/nrerror.h"

namespace morvek {

namespace {

std::string workingFolder() {
  std::error_code error;
  return std::filesystem::current_path(error).string();
}

// Every loop of the dialog is bounded, so that no answer sequence can keep
// the program going for ever.
constexpr int kPasses = 10000;

enum class Step { part1, part2, part3, part4, end };

constexpr char kDefaults = '-';

class Driver {
 public:
  Driver(State& s, Console& console, PlotRunner& runner, const Finished& finished)
      : s_(s), console_(console), runner_(runner), finished_(finished) {}

  void run() {
    startup();
    Step step = Step::part1;
    while (step != Step::end) {
      switch (step) {
        case Step::part1: step = part1(); break;
        case Step::part2: step = part2(); break;
        case Step::part3: step = part3(); break;
        case Step::part4: step = part4(); break;
        case Step::end: break;
      }
    }
    endOfRun();
  }

 private:
  void startup() {
    const std::string config = (s_.folder / kConfigFile).string();
    try {
      read0(s_, config);
    } catch (const Fatal&) {
      // The message names a data file; here it is the configuration.
      if (!readTextFile(config)) {
        const std::string name = kConfigFile;
        console_.advise(name + " was not found in the working folder " + workingFolder(),
                        "write one with every key at its start value: morvek-prep cfg > " + name);
      }
      throw;
    }
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

  bool isTimes() const { return s_.setting.datatype == DataType::times; }

  void draw(int type, int cls = 0) { plot(s_, console_, runner_, type, cls); }
  void setUp(int type, char option = kDefaults) { chsettp(s_, console_, type, option); }

  // A return to Part `part` releases its workspace and that of all later
  // Parts, so that the next pass creates every group afresh.
  Step back(int part) {
    releaseFromPart(s_, part);
    switch (part) {
      case 1: return Step::part1;
      case 2: return Step::part2;
      default: return Step::part3;
    }
  }

  // A new pass of the Part 1 loop; a used-up loop ends the run.
  Step part1() {
    if (--part1Passes_ < 0) return Step::end;
    part2Passes_ = kPasses;
    init1a(s_);
    allocate1(s_);
    init1b(s_);
    // Event times are drawn as impulses, the other types as a curve.
    const int plotType = isTimes() ? kTimesPlot : kDataPlot;
    for (int menu = 0; menu < kPasses; ++menu) {
      setUp(plotType);
      draw(plotType);
      info1(s_, console_);
      const char answer = decis1(console_);
      if (answer == 'c') break;
      interval(s_, console_, answer);
    }
    chsett3a(s_);
    return Step::part2;
  }

  // A new pass of the Part 2 loop: the extreme detection.
  Step part2() {
    if (--part2Passes_ < 0) return back(1);
    part3Passes_ = kPasses;
    allocate2a(s_);
    allocate2c(s_);
    init2a(s_);
    init2b(s_);
    init2c(s_);
    console_.clear();
    info1(s_, console_);
    if (s_.setting.datatype != DataType::ordinary) {
      extremes(s_);
    } else if (backgroundStage() == '1') {
      return back(1);
    }
    if (!isTimes()) {
      setUp(kExtremesPlot);
      draw(kExtremesPlot);
    }
    return Step::part3;
  }

  // Window, background, threshold and extremes of a time series, until the
  // user goes on ('c') or back to Part 1 ('1'). Each limit that is used up
  // falls back to the next outer one; the outermost goes on.
  char backgroundStage() {
    for (int stage = 0; stage < kPasses; ++stage) {
      setUp(kBackgroundPlot);
      for (int smoothing = 0; smoothing < kPasses; ++smoothing) {
        chsett4(s_, console_, runner_);
        background(s_, console_);
        if (s_.setting.z != kUnsetReal) extremes(s_);
        draw(kBackgroundPlot);
        const char answer = part2Menu();
        if (answer == '1' || answer == 'c') return answer;
      }
    }
    return 'c';
  }

  // The Part 2 menu until it asks for a new smoothing pass ('b'), for Part
  // 1 or to go on; a used-up menu acts as 'b'.
  char part2Menu() {
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info2(s_, console_);
      const char answer = decis2(s_, console_);
      switch (answer) {
        case 'b':
        case '1':
        case 'c': return answer;
        case 's':
          chsett5(s_, console_);
          setUp(kBackgroundPlot, answer);
          extremes(s_);
          break;
        default: setUp(kBackgroundPlot, answer); break;
      }
      draw(kBackgroundPlot);
    }
    return 'b';
  }

  // A new pass of the Part 3 loop: the magnitude classes.
  Step part3() {
    if (--part3Passes_ < 0) return back(2);
    init3a(s_);
    console_.clear();
    if (isTimes()) {
      makeClasses();
      return Step::part4;
    }
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info2(s_, console_);
      info3(s_, console_);
      switch (decis3(s_, console_)) {
        case 'm':
          release(s_, Group::g3a);
          release(s_, Group::g3b);
          release(s_, Group::g4a);
          release(s_, Group::g5a);
          setUp(kDistributionPlot);
          draw(kDistributionPlot);
          makeClasses();
          break;
        case '1': return back(1);
        case '2': return back(2);
        case 'c': return Step::part4;
      }
    }
    return Step::part4;
  }

  // The class dialog with the per-class settings that come with classes.
  void makeClasses() {
    chsett6(s_, console_);
    allocate4a(s_);
    init4a(s_);
    allocate5a(s_);
    init5a(s_);
    classes(s_);
    setUp(kClassesPlot);
    draw(kClassesPlot);
  }

  // The way from Part 3 to the risk estimation: pseudodata and the
  // bandwidth cross-validation are due again for the new classes. The rates
  // and bands (group 4b) live as long as the bandwidths and simulation
  // counts they belong to, so a return from Part 5 keeps them.
  Step part4() {
    chsett6a(s_);
    allocate4b(s_);
    init4b(s_);
    allocate4c(s_);
    init4c(s_);
    allocate4d(s_);
    init4d(s_);
    allocate4e(s_);
    init4e(s_);
    pseudodataPending_ = true;
    crossValidationPending_ = true;
    for (int pass = 0; pass < kPasses; ++pass) {
      char answer = riskPass();
      if (answer == 'c') answer = part5();
      switch (answer) {
        case '1': return back(1);
        case '2': return back(2);
        case '3': return back(3);
        case 'x': return Step::end;
        default: break;  // '4': the next pass
      }
    }
    return back(3);
  }

  // One pass of the Part 4 loop, until its menu leaves it.
  char riskPass() {
    console_.clear();
    hminmax(s_);
    intensityx(s_);
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info3(s_, console_);
      const char answer = decis4(s_, console_);
      switch (answer) {
        case 'k': estimate(); break;
        case 't': {
          const int cls = decis5(s_, console_);
          test(s_, cls);
          info4(s_, console_, cls);
          console_.clear();
          break;
        }
        default: return answer;
      }
    }
    return 'c';
  }

  // The bandwidth and rate of one class; pseudodata and cross-validation
  // run at the first request after the classes were made.
  void estimate() {
    if (pseudodataPending_) pseudodata(s_, s_.setting.maxnrr);
    if (crossValidationPending_) {
      Progress progress(console_, "Cross-validation of the kernel bandwidth",
                        "bandwidths", 2L * s_.setting.l * s_.parameters.nhsrch);
      cvint(s_, progress, s_.threads);
    }
    const int cls = decis5(s_, console_);
    draw(kBandwidthPlot, cls);
    chsett7(s_, console_, cls);
    intensity(s_, cls);
    test(s_, cls);
    setUp(kRatePlot);
    draw(kRatePlot, cls);
    check2(s_, console_, cls);
    pseudodataPending_ = false;
    crossValidationPending_ = false;
  }

  // Part 5 until its menu leaves it: '1', '2', '3', '4' or 'x'. A used-up
  // menu goes back to Part 4.
  char part5() {
    console_.clear();
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info3(s_, console_);
      const char answer = decis6(s_, console_);
      if (answer != 'b') return answer;
      const int cls = decis5(s_, console_);
      chsett8(s_, console_, cls);
      chsett9(s_, console_);
      {
        Progress progress(console_, "Bootstrap simulations", "replicates",
                          s_.setting.nsim[static_cast<std::size_t>(cls - 1)]);
        confidence(s_, cls, progress, s_.threads);
      }
      setUp(kBandPlot);
      draw(kBandPlot, cls);
    }
    return '4';
  }

  // The result files, the closing screen and the release of everything.
  void endOfRun() {
    if (s_.setting.datatype == DataType::ordinary) output1(s_);
    output2(s_);
    output3(s_);
    info5(s_, console_);
    console_.line(kTerminatesSuccessfully);
    if (finished_) finished_(s_);
    releaseAll(s_);
  }

  State& s_;
  Console& console_;
  PlotRunner& runner_;
  const Finished& finished_;
  int part1Passes_ = kPasses;
  int part2Passes_ = kPasses;  // of the current Part 1 pass
  int part3Passes_ = kPasses;  // of the current Part 2 pass
  bool pseudodataPending_ = true;
  bool crossValidationPending_ = true;
};

}  // namespace

void run(State& s, Console& console, PlotRunner& runner, const Finished& finished) {
  Driver(s, console, runner, finished).run();
}

int runMorvek(Console& console, PlotRunner& runner) {
  State state;
  return runMorvek(state, console, runner, {});
}

int runMorvek(State& state, Console& console, PlotRunner& runner, const Finished& finished,
              std::vector<std::string>* stop) {
  std::vector<std::string> lines;
  std::string last = kTerminatesUnsuccessfully;
  try {
    run(state, console, runner, finished);
    console.flush();
    return 0;
  } catch (const Fatal& fatal) {
    lines = fatal.lines();
  } catch (const numerics::NrError& error) {
    lines = {error.what()};
    last = closingLine(error.kind());
  } catch (const std::bad_alloc&) {
    // Storage that no routine reserves with a message of its own, such as
    // the text of a data file larger than memory.
    lines = {"Out of memory"};
  } catch (const std::exception& error) {
    // Never expected; still an orderly end rather than an abort.
    lines = {std::string(kInternalError) + error.what()};
  }
  for (const std::string& line : lines) console.line(line);
  console.line(last);
  console.flush();
  if (stop != nullptr) *stop = std::move(lines);
  return 1;
}

}  // namespace morvek

// The dialog's order of phases. Where each of its routines lives:
//
//   startup.cc     chsett1, chsett2, info0, info0e  (data type, file, banner)
//   config.cc      read0                            (morvek.cfg)
//   datafile.cc    read1                            (the data file)
//   interval.cc    chsett3, check1, decis1, interval, chsett3a, info1
//   background.cc  chsett4, cvmed, background       (window and running median)
//   extremes.cc    chsett5, extremes, decis2, info2
//   classes.cc     chsett6, classes, chsett6a, decis3, decis5, info3
//   pseudodata.cc  pseudodata
//   bandwidth.cc   hminmax, cvint, chsett7
//   rate.cc        intensityx, intest, intensity, decis4, check2
//   trend.cc       test, info4, erfcc_s
//   bootstrap.cc   chsett8, chsett9, bootstrap, confidence, decis6
//   results.cc     output1, output2, output3, info5
//   plot.cc        plot, plotgn;  plotsettings.cc: chsettp
//   state.cc       the workspace groups (allocate, init and deallocate
//                  routines of each, entered by stage)
//   numerics/      runmed, realft_sp, indexx_sp, sort, ran, gausssum
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
#include "morvek/menus.h"
#include "morvek/plot.h"
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
    enter(s_, Stage::start);
    read1(s_, console_, ReadOption::values);
    chsett3(s_, console_);
    check1(s_);
  }

  bool isTimes() const { return s_.setting.datatype == DataType::times; }

  void draw(PlotType type, std::size_t cls = 0) { plot(s_, console_, runner_, type, cls); }
  void setUp(PlotType type, BackgroundSetting setting = BackgroundSetting::defaults) {
    chsettp(s_, console_, type, setting);
  }

  // A return to Part `part` (1 to 3) releases its workspace and that of all
  // later Parts, so that the next pass creates every group afresh.
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
    enter(s_, Stage::interval);
    // Event times are drawn as impulses, the other types as a curve.
    const PlotType plotType = isTimes() ? PlotType::times : PlotType::data;
    for (int menu = 0; menu < kPasses; ++menu) {
      setUp(plotType);
      draw(plotType);
      info1(s_, console_);
      const Part1Choice choice = decis1(console_);
      if (choice == Part1Choice::proceed) break;
      interval(s_, console_, choice);
    }
    chsett3a(s_);
    return Step::part2;
  }

  // A new pass of the Part 2 loop: the extreme detection.
  Step part2() {
    if (--part2Passes_ < 0) return back(1);
    part3Passes_ = kPasses;
    enter(s_, Stage::detection);
    console_.clear();
    info1(s_, console_);
    if (s_.setting.datatype != DataType::ordinary) {
      extremes(s_);
    } else if (backgroundStage() == Part2Choice::part1) {
      return back(1);
    }
    if (!isTimes()) {
      setUp(PlotType::extremes);
      draw(PlotType::extremes);
    }
    return Step::part3;
  }

  // Window, background, threshold and extremes of a time series, until the
  // user goes on or back to Part 1. Each limit that is used up falls back to
  // the next outer one; the outermost goes on.
  Part2Choice backgroundStage() {
    for (int stage = 0; stage < kPasses; ++stage) {
      setUp(PlotType::background);
      for (int smoothing = 0; smoothing < kPasses; ++smoothing) {
        chsett4(s_, console_, runner_);
        background(s_, console_);
        if (s_.setting.z != kUnsetReal) extremes(s_);
        draw(PlotType::background);
        const Part2Choice choice = part2Menu();
        if (choice != Part2Choice::smoothing) return choice;
      }
    }
    return Part2Choice::proceed;
  }

  // The Part 2 menu until it asks for a new smoothing pass, for Part 1 or
  // to go on; a used-up menu asks for a new smoothing pass.
  Part2Choice part2Menu() {
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info2(s_, console_);
      const Part2Answer answer = decis2(s_, console_);
      switch (answer.choice) {
        case Part2Choice::smoothing:
        case Part2Choice::part1:
        case Part2Choice::proceed: return answer.choice;
        case Part2Choice::plot:
        case Part2Choice::threshold:
          if (answer.setting == BackgroundSetting::threshold) chsett5(s_, console_);
          setUp(PlotType::background, answer.setting);
          if (answer.setting == BackgroundSetting::threshold) extremes(s_);
          break;
      }
      draw(PlotType::background);
    }
    return Part2Choice::smoothing;
  }

  // A new pass of the Part 3 loop: the magnitude classes.
  Step part3() {
    if (--part3Passes_ < 0) return back(2);
    enter(s_, Stage::classification);
    console_.clear();
    if (isTimes()) {
      makeClasses();
      return Step::part4;
    }
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info2(s_, console_);
      info3(s_, console_);
      const Part3Choice choice = decis3(s_, console_);
      switch (choice) {
        case Part3Choice::classes:
          for (Group group : {Group::g3a, Group::g3b, Group::g4a, Group::g5a}) release(s_, group);
          setUp(PlotType::distribution);
          draw(PlotType::distribution);
          makeClasses();
          break;
        case Part3Choice::part1:
        case Part3Choice::part2: return back(partOf(choice));
        case Part3Choice::proceed: return Step::part4;
      }
    }
    return Step::part4;
  }

  // The class dialog with the per-class settings that come with classes.
  void makeClasses() {
    chsett6(s_, console_);
    enter(s_, Stage::classes);
    classes(s_);
    setUp(PlotType::classes);
    draw(PlotType::classes);
  }

  // The way from Part 3 to the risk estimation: pseudodata and the
  // bandwidth cross-validation are due again for the new classes. The rates
  // and bands (group 4b) live as long as the bandwidths and simulation
  // counts they belong to, so a return from Part 5 keeps them.
  Step part4() {
    chsett6a(s_);
    enter(s_, Stage::risk);
    pseudodataPending_ = true;
    crossValidationPending_ = true;
    for (int pass = 0; pass < kPasses; ++pass) {
      const Part4Choice choice = riskPass();
      int part = partOf(choice);
      if (choice == Part4Choice::proceed) {
        const Part5Choice next = part5();
        if (next == Part5Choice::exit) return Step::end;
        part = partOf(next);
      }
      if (part != 4) return back(part);  // 4: the next pass
    }
    return back(3);
  }

  // One pass of the Part 4 loop, until its menu leaves it.
  Part4Choice riskPass() {
    console_.clear();
    hminmax(s_);
    intensityx(s_);
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info3(s_, console_);
      const Part4Choice choice = decis4(s_, console_);
      switch (choice) {
        case Part4Choice::bandwidth: estimate(); break;
        case Part4Choice::test: {
          const std::size_t cls = decis5(s_, console_);
          test(s_, cls);
          info4(s_, console_, cls);
          console_.clear();
          break;
        }
        default: return choice;
      }
    }
    return Part4Choice::proceed;
  }

  // The bandwidth and rate of one class; pseudodata and cross-validation
  // run at the first request after the classes were made.
  void estimate() {
    if (pseudodataPending_) pseudodata(s_);
    if (crossValidationPending_) {
      Progress progress(console_, "Cross-validation of the kernel bandwidth",
                        "bandwidths", 2L * s_.setting.l * s_.parameters.nhsrch);
      cvint(s_, progress, s_.threads);
    }
    const std::size_t cls = decis5(s_, console_);
    draw(PlotType::bandwidth, cls);
    chsett7(s_, console_, cls);
    intensity(s_, cls);
    test(s_, cls);
    setUp(PlotType::rate);
    draw(PlotType::rate, cls);
    check2(s_, console_, cls);
    pseudodataPending_ = false;
    crossValidationPending_ = false;
  }

  // Part 5 until its menu leaves it for an earlier Part or the output. A
  // used-up menu goes back to Part 4.
  Part5Choice part5() {
    console_.clear();
    for (int menu = 0; menu < kPasses; ++menu) {
      info1(s_, console_);
      info3(s_, console_);
      const Part5Choice choice = decis6(s_, console_);
      if (choice != Part5Choice::bootstrap) return choice;
      const std::size_t cls = decis5(s_, console_);
      chsett8(s_, console_, cls);
      chsett9(s_, console_);
      {
        Progress progress(console_, "Bootstrap simulations", "replicates",
                          s_.setting.nsim[cls]);
        confidence(s_, cls, progress, s_.threads);
      }
      setUp(PlotType::band);
      draw(PlotType::band, cls);
    }
    return Part5Choice::part4;
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

#include "morvek/extremes.h"

#include <cmath>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "morvek/config.h"
#include "morvek/format.h"
#include "morvek/menus.h"
#include "morvek/resultfile.h"

namespace morvek {

namespace {

constexpr double kMinThreshold = 0.001;
constexpr double kMaxThreshold = 100.0;
constexpr int kEnoughExtremes = 3;

// Detection for a time series. A point exactly on the threshold is no
// event; with zero variability the scaled value is infinite or not a
// number, and it is carried as such.
void detect(State& s) {
  const Data& d = s.data;
  const double z = s.setting.z;
  const std::size_t n2 = d.x2.size();
  auto beyond = [&](std::size_t i) {
    const double threshold = d.b2[i] + z * d.v2[i];
    return z > 0 ? d.x2[i] > threshold : d.x2[i] < threshold;
  };
  if (z == 0) return;
  int count = 0;
  for (std::size_t i = 0; i < n2; ++i) count += beyond(i);
  s.setting.n3 = count;
  make(s, Group::g2b);
  std::size_t j = 0;
  for (std::size_t i = 0; i < n2; ++i) {
    if (!beyond(i)) continue;
    s.data.t3[j] = d.t2[i];
    s.data.x3[j] = (d.x2[i] - d.b2[i]) / d.v2[i];
    ++j;
  }
}

// Only time series come to Part 2.
Menu part2Menu() {
  Menu menu{{"", "Part 2: Extreme Events Detection", ""},
            {{key(Part2Choice::plot), "Plot setting                             [p]"},
             {key(Part2Choice::threshold), "Threshold setting                        [t]"},
             {key(Part2Choice::smoothing), "Background smoothing                     [b]"}}};
  addEarlierParts(menu, DataType::ordinary, 2);
  menu.entries.push_back({key(Part2Choice::proceed), "Continue                                 [c]"});
  return menu;
}

const Menu kPlotMenu{{"", "Plot setting:", ""},
                     {{key(BackgroundSetting::defaultHorizontal), "Horizontal range = extracted time interval [h]"},
                      {key(BackgroundSetting::otherHorizontal), "                   other                   [o]"},
                      {key(BackgroundSetting::vertical), "Vertical range                             [v]"},
                      {key(BackgroundSetting::linear), "Vertical axis: linear                      [l]"},
                      {key(BackgroundSetting::log), "               log_10                      [g]"}}};

const Menu kThresholdMenu{{"", "Threshold setting:", ""},
                          {{key(BackgroundSetting::testLines), "Test                                     [t]"},
                           {key(BackgroundSetting::threshold), "Set                                      [s]"}}};

// Lines 2 to 4 of the summary, as far as their values are set.
std::vector<std::string> summaryLines(const Setting& g) {
  std::vector<std::string> lines;
  if (g.k != kUnsetInt) lines.push_back("Smoothing parameter k:     " + fmtI(g.k, 7));
  if (g.z != kUnsetReal) lines.push_back(fmtA(kThresholdLabel, 27) + fmtF(g.z, 7, 3));
  if (g.n3 != kUnsetInt) {
    lines.push_back("Number of extreme events:  " + fmtI(g.n3, 7) + " points");
  }
  return lines;
}

// What helps where the variability is zero at an extreme. Below the largest
// window a wider one may see variation; at the largest, the values are
// equal over most of every window, and only a wider window allowed by the
// configuration, or extremes prepared without a background, get further.
void explainZeroVariability(const State& s, Console& console) {
  const Setting& g = s.setting;
  if (g.k < g.kmax) {
    console.line("Please choose a larger smoothing parameter k (Background smoothing [b])");
    return;
  }
  console.line("The running median of absolute deviations is zero where many values are equal"
               " (dry days, rounded stages)");
  const bool widerFits = g.kmax < (g.n2 - 1) / 2;
  if (widerFits && s.parameters.krel < kMaxKrel) {
    console.line("Please choose a larger krel in morvek.cfg (at most " + fmtF(kMaxKrel, 5, 3) +
                 ") and start Morvek new");
  } else {
    console.line("Please prepare the extreme events directly (morvek-prep events) and start Morvek new"
                 " with the data type \"extreme\"");
  }
}

}  // namespace

void extremes(State& s) {
  if (s.setting.datatype == DataType::ordinary) {
    detect(s);
    return;
  }
  s.setting.n3 = s.setting.n2;
  make(s, Group::g2b);
  const Data& d = s.data;
  std::copy(d.t2.begin(), d.t2.end(), s.data.t3.begin());
  if (s.hasValues()) std::copy(d.x2.begin(), d.x2.end(), s.data.x3.begin());
}

void chsett5(State& s, Console& console) {
  s.setting.z = ask([&]() -> std::optional<double> {
    console.line("Set threshold z");
    console.line(fmtF(kMinThreshold, 7, 3) + " <= abs(z) <= " + fmtF(kMaxThreshold, 7, 3));
    console.line("[z]:");
    const auto answer = readRealsLine(console, 1);
    if (!answer) return std::nullopt;
    const double size = std::abs(answer->front());
    if (kMinThreshold <= size && size <= kMaxThreshold) return answer->front();
    console.advise("the threshold z must have " + fmtShortest(kMinThreshold) + " <= abs(z) <= " +
                   fmtShortest(kMaxThreshold) + ", not " + fmtShortest(answer->front()));
    return std::nullopt;
  });
}

Part2Answer decis2(const State& s, Console& console) {
  console.blank(2);
  static const Menu menu = part2Menu();
  return ask([&]() -> std::optional<Part2Answer> {
    const auto answer = offer(console, menu);
    if (!answer) return std::nullopt;
    const auto choice = static_cast<Part2Choice>(*answer);
    switch (choice) {
      case Part2Choice::plot:
        return Part2Answer{choice, static_cast<BackgroundSetting>(choose(console, kPlotMenu))};
      case Part2Choice::threshold:
        return Part2Answer{choice, static_cast<BackgroundSetting>(choose(console, kThresholdMenu))};
      case Part2Choice::proceed:
        if (s.setting.z == kUnsetReal) {
          console.line("Threshold has not yet been set");
          return std::nullopt;
        }
        if (s.setting.n3 < kEnoughExtremes) {
          console.line("Too few points");
          return std::nullopt;
        }
        // Zero variability scales an extreme to an infinite value (or not a
        // number), which no class, plot or result file can hold. A wider
        // window sees variation where a narrow one sees a flat stretch.
        if (const auto flat =
                std::ranges::count_if(s.data.x3, [](double x) { return !std::isfinite(x); })) {
          console.line("Variability is zero at " + std::to_string(flat) + " of the extreme events");
          explainZeroVariability(s, console);
          return std::nullopt;
        }
        return Part2Answer{choice};
      default: return Part2Answer{choice};
    }
  });
}

void info2(const State& s, Console& console) {
  console.line();
  for (const std::string& line : summaryLines(s.setting)) console.line(line);
}

void info2(const State& s, const std::string& file) {
  std::vector<std::string> lines{" "};
  for (std::string& line : summaryLines(s.setting)) lines.push_back(std::move(line));
  appendLines(file, lines);
}

}  // namespace morvek

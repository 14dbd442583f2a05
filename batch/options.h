// The command line of morvek-batch: the decisions of a session as options,
// and the sweeps over thresholds and windows that make several analyses of
// one series.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch/series.h"

namespace batch {

// A command line that cannot be run; exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  bool help = false, version = false;
  std::optional<std::filesystem::path> collect;  // --collect DIR
  std::filesystem::path out;                     // -o DIR
  std::vector<std::filesystem::path> files;
  Decisions decisions;                 // all but the swept threshold and window
  std::vector<std::string> z, window;  // one analysis per combination
  std::optional<std::filesystem::path> config;
  std::optional<Format> figures;  // default: png where gnuplot is installed
  bool allFigures = false;
  unsigned threads = 0;  // 0: one per core
};

// Throws UsageError with a one-line message.
Options parseOptions(const std::vector<std::string>& args);

// One job per file and combination, in that order; a combination's values
// are added to the series' name where the option sweeps.
std::vector<Job> jobsOf(const Options& options);

inline constexpr const char* kBatchVersion = "morvek-batch 3.0\n";
extern const char* const kBatchUsage;

}  // namespace batch

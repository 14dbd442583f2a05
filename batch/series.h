// One analysis without a dialog: a data file and the decisions of a
// session in, a folder of results and one row of the summary table out.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/answers.h"
#include "batch/figures.h"

namespace batch {

struct Job {
  std::filesystem::path file;  // the data file
  std::string name;            // its folder in the output folder and its row's name
  Decisions decisions;
};

// What every analysis of a run shares.
struct Shared {
  std::filesystem::path out;  // the output folder
  std::string config;         // the text of the configuration
  Format figures = Format::none;
  bool allFigures = false;
  unsigned threads = 0;  // of one analysis' long computations (0: one per core)
};

struct Outcome {
  std::vector<std::string> row;  // the fields of the summary table
  bool ok = false;
};

// Where an analysis shows how far it is: the text of its progress line.
using Report = std::function<void(const std::string&)>;

// Runs the analysis and writes `shared.out/job.name/`, whole or not at all:
// the results with the row, or the row alone where the analysis failed.
Outcome runSeries(const Job& job, const Shared& shared, const Report& report = {});

// The summary table's header fields.
const std::vector<std::string>& summaryHeader();

// One line of a CSV table, quoted where needed, with its line end.
std::string csvLine(const std::vector<std::string>& fields);

// The rows of the summary table of the series in `out`, from each series'
// own row, in name order. `missing` receives the folders without a row.
std::vector<std::vector<std::string>> collectRows(const std::filesystem::path& out,
                                                  std::vector<std::string>* missing = nullptr);

// Writes out/summary.csv whole.
void writeSummary(const std::filesystem::path& out, const std::vector<std::vector<std::string>>& rows);

// The name of a series' own row file in its folder.
inline constexpr const char* kRowFile = "row.csv";

}  // namespace batch

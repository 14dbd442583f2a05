// morvek-batch: Morvek's analysis without a dialog, for one series or many.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>

#include "batch/options.h"
#include "morvek/datafile.h"
#include "prep/prep.h"

namespace {

// The one progress line of a run on a terminal: how many series are done,
// and the progress line of each series that runs.
class Board {
 public:
  Board(std::size_t total, unsigned slots, bool shown) : total_(total), texts_(slots), shown_(shown) {}

  void update(unsigned slot, const std::string& name, const std::string& text) {
    if (!shown_) return;
    std::lock_guard lock(mutex_);
    texts_[slot] = text.empty() ? name : name + ": " + text;
    draw(false);
  }
  void done(unsigned slot) {
    if (!shown_) return;
    std::lock_guard lock(mutex_);
    ++done_;
    texts_[slot].clear();
    draw(true);
  }
  // Erases the line, so that a message can take its place.
  void erase() {
    if (!shown_) return;
    std::lock_guard lock(mutex_);
    std::cerr << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  void draw(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - drawn_ < std::chrono::milliseconds(100)) return;
    drawn_ = time;
    std::string line = "morvek-batch: " + std::to_string(done_) + " of " + std::to_string(total_) + " series done";
    for (const std::string& text : texts_) {
      if (!text.empty()) line += "; " + text;
    }
    if (line.size() > 160) line.resize(160);
    std::cerr << '\r' << line;
    if (line.size() < width_) std::cerr << std::string(width_ - line.size(), ' ');
    std::cerr << std::flush;
    width_ = line.size();
  }

  std::mutex mutex_;
  std::size_t total_, done_ = 0;
  std::vector<std::string> texts_;
  bool shown_;
  std::size_t width_ = 0;
  std::chrono::steady_clock::time_point drawn_{};
};

int usage(const std::string& message) {
  std::cerr << "morvek-batch: " << message << "\n"
            << "Try 'morvek-batch --help' for more information.\n";
  return 2;
}

bool allOk(const std::vector<std::vector<std::string>>& rows) {
  return std::all_of(rows.begin(), rows.end(), [](const auto& row) { return row.back() == "ok"; });
}

int collect(const std::filesystem::path& out) {
  std::vector<std::string> missing;
  const auto rows = batch::collectRows(out, &missing);
  for (const std::string& name : missing) {
    std::cerr << "morvek-batch: " << (out / name).string() << ": no " << batch::kRowFile
              << " of a finished series; left out\n";
  }
  batch::writeSummary(out, rows);
  std::cerr << "morvek-batch: " << (out / "summary.csv").string() << ": " << rows.size() << " series\n";
  return allOk(rows) && missing.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  batch::Options options;
  try {
    options = batch::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const batch::UsageError& error) {
    return usage(error.what());
  }
  if (options.help) {
    std::cout << batch::kBatchUsage;
    return 0;
  }
  if (options.version) {
    std::cout << batch::kBatchVersion;
    return 0;
  }
  try {
    if (options.collect) return collect(*options.collect);

    std::vector<batch::Job> jobs;
    try {
      jobs = batch::jobsOf(options);
    } catch (const batch::UsageError& error) {
      return usage(error.what());
    }

    batch::Shared shared;
    shared.out = options.out;
    if (options.config) {
      auto text = morvek::readTextFile(options.config->string());
      if (!text) {
        std::cerr << "morvek-batch: " << options.config->string() << ": cannot be read as a configuration file\n";
        return 1;
      }
      shared.config = std::move(*text);
    } else if (auto text = morvek::readTextFile("morvek.cfg")) {
      shared.config = std::move(*text);
    } else {
      shared.config = prep::configText();
    }
    if (options.figures) {
      shared.figures = *options.figures;
    } else {
      shared.figures = batch::gnuplotInstalled() ? batch::Format::png : batch::Format::none;
    }
    if (shared.figures != batch::Format::none && !batch::gnuplotInstalled()) {
      std::cerr << "morvek-batch: no gnuplot on the search path, so no figures (--figures none says so quietly)\n";
      shared.figures = batch::Format::none;
    }
    shared.allFigures = options.allFigures;

    std::error_code error;
    std::filesystem::create_directories(shared.out, error);
    if (!std::filesystem::is_directory(shared.out)) {
      std::cerr << "morvek-batch: " << shared.out.string() << ": cannot be made a folder"
                << (error ? ": " + error.message() : std::string()) << "\n";
      return 1;
    }

    // Series side by side, and the cores left to each one's own long
    // computations; every result is the same on any number of threads.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = options.threads > 0 ? options.threads : cores;
    const auto side = static_cast<unsigned>(std::min<std::size_t>(threads, jobs.size()));
    shared.threads = std::max(1u, threads / std::max(1u, side));

    Board board(jobs.size(), side, ::isatty(STDERR_FILENO) != 0);
    std::vector<batch::Outcome> outcomes(jobs.size());
    std::atomic<std::size_t> next{0};
    std::mutex messages;
    auto work = [&](unsigned slot) {
      for (std::size_t i; (i = next++) < jobs.size();) {
        const batch::Job& job = jobs[i];
        board.update(slot, job.name, {});
        const batch::Report report = [&](const std::string& text) { board.update(slot, job.name, text); };
        try {
          outcomes[i] = batch::runSeries(job, shared, report);
        } catch (const std::exception& failure) {
          outcomes[i].row.assign(batch::summaryHeader().size(), {});
          outcomes[i].row.front() = job.name;
          outcomes[i].row.back() = failure.what();
        }
        board.done(slot);
        if (!outcomes[i].ok) {
          std::lock_guard lock(messages);
          board.erase();
          std::cerr << "morvek-batch: " << job.name << ": " << outcomes[i].row.back() << "\n";
        }
      }
    };
    {
      std::vector<std::jthread> helpers;
      for (unsigned t = 1; t < side; ++t) helpers.emplace_back(work, t);
      work(0);
    }
    board.erase();

    std::vector<std::vector<std::string>> rows;
    for (const auto& outcome : outcomes) rows.push_back(outcome.row);
    batch::writeSummary(shared.out, rows);
    return allOk(rows) ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "morvek-batch: " << error.what() << "\n";
    return 1;
  }
}

// The user's data file: one data point per line, no header; two numbers
// per line (time and value, or time and magnitude) or, for event times
// only, one. Numbers are free form; times must strictly increase.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// Reads a text the way a free-form read statement does: each read starts
// on the next line, takes the numbers it needs from as many lines as it
// takes (empty lines are skipped), and ignores the rest of its last line.
class ListReader {
 public:
  enum class Status { ok, error, end };

  explicit ListReader(std::string_view text) : text_(text) {}

  // One read of values.size() numbers. On an error the rest of the
  // offending line is skipped.
  Status read(std::span<double> values);
  // One read of `count` numbers that are not kept.
  Status skip(long long count);
  void rewind() { pos_ = 0; }

 private:
  template <class Store>
  Status readInto(long long count, Store store);

  std::string_view text_;
  std::size_t pos_ = 0;  // start of the next line
};

enum class ReadOption {
  count,   // pre-scan: count the data points and check the line layout
  values,  // read n1 points into t1 (and x1) and check the time order
};

// With ReadOption::count returns the data size of s.setting.inputfile; with
// ReadOption::values fills t1 and x1 (held with n1 entries) and returns n1.
// Every problem writes its lines and stops the run.
int read1(State& s, Console& console, ReadOption option);

// The whole text of a regular file (links followed); nullopt for a file
// that does not exist or cannot be read, and for anything that is not a
// regular file: a folder, a pipe, a device such as /dev/zero. Those could
// not be read twice, or might never end.
std::optional<std::string> readTextFile(const std::string& path);

// Why the data file of this name (blanks around it ignored) does not open
// for reading, in plain words ("nile.dat: no such file in /home/user");
// empty when it opens. Only a regular file opens.
// A relative name is looked up in `folder` (empty: the working folder).
std::string dataFileProblem(std::string_view name, const std::filesystem::path& folder = {});

// The whole text of the data file; nullopt when it cannot be opened or read.
std::optional<std::string> readDataFile(std::string_view name, const std::filesystem::path& folder = {});

}  // namespace morvek

// morvek-prep: turns the files people have (agency CSV exports with
// headers, ISO dates and gaps; lists of events) into the plain files Morvek
// reads: one point per line, "time value" or "time", times strictly
// increasing, in decimal time units.
//
// Every routine here works on text in memory and returns text, so that the
// command-line driver (main.cc) alone touches files and streams.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace prep {

// A fault in the input or the options. The text names the file, the line
// number, the line's content and what was expected, where there is a line.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which of Morvek's three data types a file is made for.
enum class Kind { series, events, times };

enum class Ties { refuse, first, last, max, min, mean };
enum class Period { none, day, month, year };
enum class Stat { max, min, mean, sum };

// The words that choose a value on the command line and name it in the
// summaries, found by value: a value without one cannot be chosen.
template <class E>
struct Word {
  E value;
  std::string_view word;
};
inline constexpr Word<Ties> kTiesWords[] = {
    {Ties::first, "first"}, {Ties::last, "last"}, {Ties::max, "max"}, {Ties::min, "min"}, {Ties::mean, "mean"}};
inline constexpr Word<Period> kPeriodWords[] = {{Period::day, "day"}, {Period::month, "month"}, {Period::year, "year"}};
inline constexpr Word<Stat> kStatWords[] = {
    {Stat::max, "max"}, {Stat::min, "min"}, {Stat::mean, "mean"}, {Stat::sum, "sum"}};

// The word of `value`, or "" where it has none.
template <class E, std::size_t N>
std::string wordOf(const Word<E> (&words)[N], E value) {
  for (const Word<E>& w : words) {
    if (w.value == value) return std::string(w.word);
  }
  return "";
}

struct ReadOptions {
  std::string time = "1";   // column number (from 1) or header name
  std::string value = "2";
  std::vector<std::string> missing;  // marks of a missing value beyond empty, NA and NaN
  Ties ties = Ties::refuse;
  Period aggregate = Period::none;
  Stat stat = Stat::max;
};

// A data file for Morvek and the summary of how it was made, for the user.
struct Prepared {
  std::string data;
  std::string summary;
};

// A delimited file of times (numbers or ISO dates) and values.
Prepared prepare(std::string_view file, std::string_view text, Kind kind, const ReadOptions& options);

// One station of a file that holds several.
struct Station {
  std::string id;
  Prepared prepared;  // what prepare makes of the station's lines alone
};

struct Stations {
  std::vector<Station> stations;  // in the order of their first lines
  std::string summary;            // of the file and of each station
};

// A delimited file of many stations, told apart by the column `idColumn`
// (a number from 1 or a header name, as the time and value columns are).
// Each station's lines are read as prepare reads a file of those lines
// alone, under the file's header, with the file's line numbers in errors.
// An id that cannot be a file name of its own is an error, since each
// station is made for a file named after it; ids that differ in case alone
// are different stations.
Stations prepareStations(std::string_view file, std::string_view text, Kind kind, const ReadOptions& options,
                         const std::string& idColumn);

// Which event of a cluster declustering keeps: the highest, the lowest,
// or as the threshold of a morvek-1.dat says (the lowest below a negative
// one, else the highest).
enum class Keep { byThreshold, highest, lowest };

// Runs declustering: an event closer than `run` time units to the previous
// one joins its cluster (equal times are in the same cluster), and each
// cluster keeps its peak by `keep`, the first of equal peaks. The text is a
// "time value" file or a morvek-1.dat, whose list of extremes it reads.
Prepared decluster(std::string_view file, std::string_view text, double run, Keep keep);

// A morvek.cfg with every key at its start value.
std::string configText();

// A number written so that it reads back to the same double.
std::string roundTrip(double value);

}  // namespace prep

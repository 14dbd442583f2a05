// morvek-prep: the command line around prep.h. It reads the input file,
// writes the prepared file to standard output or, whole or not at all, to
// the file named with -o (with --id, one file per station into the folder
// named with -o, all or none), and the summary or the error to standard
// error.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "prep/output.h"
#include "prep/prep.h"

namespace {

constexpr const char* kUsage =
    "Usage: morvek-prep COMMAND FILE [OPTIONS]\n"
    "Turns your files into the data files Morvek reads (one point per line).\n"
    "\n"
    "Commands:\n"
    "  series FILE     a time series (Morvek's data type \"ordinary\")\n"
    "  events FILE     extreme events with magnitudes (data type \"extreme\");\n"
    "                  with --times-only their times alone (data type \"times\")\n"
    "  decluster FILE --run R [--low | --high]\n"
    "                  one event per cluster: an event closer than R time units\n"
    "                  to the previous one (or at the same time) joins its\n"
    "                  cluster, which keeps its peak: the largest value, with\n"
    "                  --low the smallest. FILE is a \"time value\" file or a\n"
    "                  morvek-1.dat (its list of extremes); below a negative\n"
    "                  threshold z there, the smallest, unless --high is given\n"
    "  cfg             a morvek.cfg with every key at its start value\n"
    "\n"
    "Options of series and events:\n"
    "  --time COL      the time column, by number (from 1) or header name (default 1)\n"
    "  --value COL     the value column (default 2)\n"
    "  --missing TOK   one more mark of a missing value (empty, NA and NaN always are)\n"
    "  --ties RULE     repeated times: first, last, max, min or mean (default: an error)\n"
    "  --aggregate P   day, month or year: one point per period, at its start\n"
    "  --stat S        max, min, mean or sum of each period (default max)\n"
    "  --times-only    (events) write the times alone\n"
    "  --id COL        the column naming the station, in a file of many stations:\n"
    "                  -o names a folder then (made if missing) that takes a file\n"
    "                  ID.dat per station, as its lines alone would give. An id\n"
    "                  must be able to name a file (not empty, . or .., no slash\n"
    "                  or control character, no leading -). All stations are\n"
    "                  checked first: where one fails, none is written\n"
    "Any command:\n"
    "  -o FILE         write FILE (whole or not at all) instead of standard output\n"
    "  --help          this text\n"
    "\n"
    "Files may be separated by commas, semicolons, tabs or blanks, as the first line\n"
    "with a number or date shows; the line above it names the columns, lines above\n"
    "that (titles) and lines starting with # are skipped. A UTF-8 byte-order mark\n"
    "is skipped. Times are numbers or ISO dates (YYYY-MM-DD, YYYY-MM,\n"
    "YYYY-MM-DDThh:mm[:ss], \"YYYY-MM-DD hh:mm[:ss]\"), which become decimal years.\n"
    "A summary goes to standard error.\n"
    "\n"
    "Example: morvek-prep series gauges.csv --id station --time date --value flow -o gauges\n"
    "writes gauges/<station>.dat for every station of gauges.csv.\n";

struct Usage {
  std::string why;
};

template <class E, std::size_t N>
E choice(const std::string& option, const std::string& word, const prep::Word<E> (&words)[N]) {
  for (const auto& [value, name] : words) {
    if (word == name) return value;
  }
  throw Usage{option + " does not take '" + word + "'"};
}

std::string readInput(const std::string& path) {
  if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw prep::Error(path + ": no such file");
  std::ifstream in(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) throw prep::Error(path + ": cannot be read");
  return text;
}

void writeOutput(const std::optional<std::string>& path, const std::string& text) {
  if (path) {
    prep::writeWhole(*path, text);
    return;
  }
  std::cout << text;
  std::cout.flush();
  if (!std::cout) throw prep::Error("standard output: cannot be written");
}

// Every station is prepared before the first file is written, so that a
// fault in any of them leaves the folder as it was.
int writeStations(const prep::Stations& split, const std::string& folder) {
  std::vector<std::string> names;
  for (const prep::Station& station : split.stations) names.push_back(station.id + ".dat");
  std::vector<prep::FileText> files;
  for (std::size_t i = 0; i < names.size(); ++i) files.push_back({names[i], split.stations[i].prepared.data});
  prep::writeIntoFolder(folder, files);
  std::cerr << split.summary << "morvek-prep: wrote " << files.size() << " stations into " << folder << "\n";
  return 0;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) throw Usage{"no command"};
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  const std::string& command = args[0];
  prep::ReadOptions options;
  std::optional<std::string> input, output, idColumn;
  std::optional<double> runLength;
  std::optional<prep::Keep> keep;
  bool timesOnly = false;
  // Options that a command would ignore are refused, so that none seems to
  // have been applied when it was not.
  std::vector<std::string> readingOptions, declusterOptions;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Usage{a + " needs a value"};
      return args[++i];
    };
    if (a == "--time" || a == "--value" || a == "--missing" || a == "--ties" || a == "--aggregate" ||
        a == "--stat" || a == "--times-only" || a == "--id") {
      readingOptions.push_back(a);
    }
    if (a == "--run" || a == "--low" || a == "--high") declusterOptions.push_back(a);
    if (a == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (a == "-o") {
      output = value();
    } else if (a == "--time") {
      options.time = value();
    } else if (a == "--value") {
      options.value = value();
    } else if (a == "--id") {
      idColumn = value();
    } else if (a == "--missing") {
      options.missing.push_back(value());
    } else if (a == "--ties") {
      options.ties = choice(a, value(), prep::kTiesWords);
    } else if (a == "--aggregate") {
      options.aggregate = choice(a, value(), prep::kPeriodWords);
    } else if (a == "--stat") {
      options.stat = choice(a, value(), prep::kStatWords);
    } else if (a == "--run") {
      const std::string& word = value();
      char* end = nullptr;
      runLength = std::strtod(word.c_str(), &end);
      if (end == word.c_str() || *end != '\0') throw Usage{"--run needs a number, not '" + word + "'"};
    } else if (a == "--low" || a == "--high") {
      const prep::Keep wanted = a == "--low" ? prep::Keep::lowest : prep::Keep::highest;
      if (keep && *keep != wanted) throw Usage{"--low and --high exclude each other"};
      keep = wanted;
    } else if (a == "--times-only") {
      timesOnly = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw Usage{"unknown option " + a};
    } else if (!input) {
      input = a;
    } else {
      throw Usage{"one input file only; '" + a + "' is a second"};
    }
  }

  if (command == "cfg") {
    if (input) throw Usage{"cfg takes no input file"};
    if (!readingOptions.empty() || !declusterOptions.empty()) {
      throw Usage{"cfg takes no " + (readingOptions.empty() ? declusterOptions : readingOptions).front()};
    }
    writeOutput(output, prep::configText());
    return 0;
  }
  if (command != "series" && command != "events" && command != "decluster") {
    throw Usage{"unknown command '" + command + "'"};
  }
  if (!input) throw Usage{command + " needs an input file"};
  prep::Prepared prepared;
  if (command == "decluster") {
    if (!runLength) throw Usage{"decluster needs --run R"};
    if (!readingOptions.empty()) {
      const std::string& a = readingOptions.front();
      throw Usage{"decluster takes no " + a +
                  (a == "--ties" ? ": events at equal times are in the same cluster" : " (it belongs to series and events)")};
    }
    prepared = prep::decluster(*input, readInput(*input), *runLength, keep.value_or(prep::Keep::byThreshold));
  } else {
    if (!declusterOptions.empty()) throw Usage{declusterOptions.front() + " belongs to decluster"};
    if (timesOnly && command == "series") throw Usage{"--times-only belongs to events"};
    const prep::Kind kind = command == "series" ? prep::Kind::series
                            : timesOnly         ? prep::Kind::times
                                                : prep::Kind::events;
    if (idColumn) {
      if (!output) throw Usage{"--id needs -o FOLDER, the folder that takes a file for each station"};
      return writeStations(prep::prepareStations(*input, readInput(*input), kind, options, *idColumn), *output);
    }
    prepared = prep::prepare(*input, readInput(*input), kind, options);
  }
  writeOutput(output, prepared.data);
  std::cerr << prepared.summary;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const Usage& usage) {
    std::cerr << "morvek-prep: " << usage.why << "\nTry 'morvek-prep --help'.\n";
    return 2;
  } catch (const prep::Error& error) {
    std::cerr << "morvek-prep: " << error.what() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "morvek-prep: " << error.what() << "\n";
  }
  return 1;
}

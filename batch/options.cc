#include "batch/options.h"

#include <cerrno>
#include <cstdlib>
#include <set>

namespace batch {

const char* const kBatchUsage =
    "Usage: morvek-batch [OPTIONS] -o DIR FILE...\n"
    "       morvek-batch --collect DIR\n"
    "Runs Morvek's analysis on each data file without a dialog and writes DIR/NAME/\n"
    "(result files, answers.txt, session.txt, CSV tables, figures) and DIR/summary.csv.\n"
    "\n"
    "  --type o|x|t           data type: time series, extremes with magnitudes, times (o)\n"
    "  --observed LEFT,RIGHT  observation interval of x and t (the first and last time)\n"
    "  --interval LEFT,RIGHT  the interval to extract (all data)\n"
    "  --window K|cv1|cvm     running-median window k, or where C_1 or C_m is least (cv1)\n"
    "  --z Z                  threshold, background + Z * variability (required for o)\n"
    "  --classes L            1 to 3 evenly spaced magnitude classes (1)\n"
    "  --bounds B1[,B2]       inner class bounds per hand instead\n"
    "  --bandwidth H|cv       kernel bandwidth, or where C(h) is least; one per class (cv)\n"
    "  --nsim N               bootstrap simulations; one value, or one per class (1000)\n"
    "  --seed S               negative seed of the random generator (-1)\n"
    "  --cfg FILE             configuration (morvek.cfg here, else the start values)\n"
    "  --figures png|svg|pdf|none  format of the figures (png where gnuplot is installed)\n"
    "  --figures-all          every picture the dialog draws, not only series and rates\n"
    "  --threads N            series side by side (one per core)\n"
    "  --collect DIR          write DIR/summary.csv from the rows of every series in DIR\n"
    "A comma list for --z or --window runs one analysis per combination.\n"
    "Exit status: 0 when every series is ok, 1 when one failed, 2 for a usage error.\n"
    "More: man morvek-batch\n";

namespace {

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (true) {
    const auto comma = text.find(',', at);
    parts.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return parts;
}

bool isNumber(const std::string& text) {
  if (text.empty() || text.find_first_of(" \t") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

bool isInteger(const std::string& text) {
  if (text.empty()) return false;
  std::size_t at = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (at == text.size()) return false;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
  }
  return true;
}

std::vector<std::string> numbers(const std::string& option, const std::string& value, bool integers,
                                 std::size_t least, std::size_t most) {
  const std::vector<std::string> parts = split(value);
  if (parts.size() < least || parts.size() > most) {
    const std::string count = least == most ? std::to_string(least) : std::to_string(least) + " to " + std::to_string(most);
    throw UsageError(option + " " + value + ": expected " + count + " values separated by commas");
  }
  for (const std::string& part : parts) {
    if (integers ? !isInteger(part) : !isNumber(part)) {
      throw UsageError(option + " " + value + ": '" + part + "' is not " + (integers ? "a whole number" : "a number"));
    }
  }
  return parts;
}

std::pair<std::string, std::string> pairOf(const std::string& option, const std::string& value) {
  const auto parts = numbers(option, value, false, 2, 2);
  return {parts[0], parts[1]};
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
  Options o;
  Decisions& d = o.decisions;
  bool classesGiven = false, boundsGiven = false, observedGiven = false;
  std::optional<std::string> z, window;
  bool outGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    }
    if (arg == "--version") {
      o.version = true;
      return o;
    }
    if (arg == "--figures-all") {
      o.allFigures = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::string name = arg, value;
      if (const auto eq = arg.find('='); eq != std::string::npos && arg.substr(0, 2) == "--") {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      } else {
        static const std::set<std::string> kWithValue{"-o", "--type", "--observed", "--interval", "--window",
                                                      "--z", "--classes", "--bounds", "--bandwidth", "--nsim",
                                                      "--seed", "--cfg", "--figures", "--threads", "--collect"};
        if (kWithValue.count(arg) == 0) throw UsageError("unknown option " + arg);
        if (i + 1 == args.size()) throw UsageError(arg + " needs a value");
        value = args[++i];
      }
      if (name == "-o") {
        o.out = value;
        outGiven = true;
      } else if (name == "--collect") {
        o.collect = value;
      } else if (name == "--type") {
        bool known = false;
        for (auto type : {morvek::DataType::ordinary, morvek::DataType::extreme, morvek::DataType::times}) {
          if (value == typeKey(type)) {
            d.type = type;
            known = true;
          }
        }
        if (!known) throw UsageError("--type " + value + ": expected o, x or t");
      } else if (name == "--observed") {
        d.observed = pairOf(name, value);
        observedGiven = true;
      } else if (name == "--interval") {
        d.interval = pairOf(name, value);
      } else if (name == "--window") {
        window = value;
      } else if (name == "--z") {
        z = value;
      } else if (name == "--classes") {
        d.classes = std::stoi(numbers(name, value, true, 1, 1)[0].substr(0, 6));
        classesGiven = true;
      } else if (name == "--bounds") {
        d.bounds = numbers(name, value, false, 1, 2);
        boundsGiven = true;
      } else if (name == "--bandwidth") {
        d.bandwidth = split(value);
        for (const std::string& h : d.bandwidth) {
          if (h != "cv" && !isNumber(h)) throw UsageError("--bandwidth " + value + ": '" + h + "' is neither cv nor a number");
        }
      } else if (name == "--nsim") {
        d.nsim = numbers(name, value, true, 1, 3);
      } else if (name == "--seed") {
        d.seed = numbers(name, value, true, 1, 1)[0];
      } else if (name == "--cfg") {
        o.config = value;
      } else if (name == "--figures") {
        if (value == "png") o.figures = Format::png;
        else if (value == "svg") o.figures = Format::svg;
        else if (value == "pdf") o.figures = Format::pdf;
        else if (value == "none") o.figures = Format::none;
        else throw UsageError("--figures " + value + ": expected png, svg, pdf or none");
      } else if (name == "--threads") {
        const auto n = numbers(name, value, true, 1, 1)[0];
        if (n[0] == '-' || n.size() > 4 || std::stoi(n) < 1) throw UsageError("--threads " + value + ": expected 1 to 9999");
        o.threads = static_cast<unsigned>(std::stoi(n));
      } else {
        throw UsageError("unknown option " + name);
      }
      continue;
    }
    o.files.emplace_back(arg);
  }

  if (o.collect) {
    if (!o.files.empty() || outGiven) throw UsageError("--collect DIR takes no data files and no -o");
    return o;
  }
  if (!outGiven || o.out.empty()) throw UsageError("-o DIR is required: the folder for the results");
  if (o.files.empty()) throw UsageError("no data file given");

  const bool series = d.type == morvek::DataType::ordinary;
  if (series) {
    if (!z) throw UsageError("--z is required for a time series (--type o)");
    if (observedGiven) throw UsageError("--observed is for --type x and t; a time series is observed from its first to its last time");
    o.z = numbers("--z", *z, false, 1, 1000);
    o.window = split(window.value_or("cv1"));
    for (const std::string& k : o.window) {
      if (k != "cv1" && k != "cvm" && !isInteger(k)) {
        throw UsageError("--window " + *window + ": '" + k + "' is neither a whole number nor cv1 or cvm");
      }
    }
  } else {
    if (z) throw UsageError("--z is for a time series (--type o)");
    if (window) throw UsageError("--window is for a time series (--type o)");
    o.z = {""};
    o.window = {""};
  }
  if (classesGiven && boundsGiven) throw UsageError("--classes and --bounds exclude each other");
  if (boundsGiven) d.classes = static_cast<int>(d.bounds.size()) + 1;
  if (d.type == morvek::DataType::times && (classesGiven || boundsGiven)) {
    throw UsageError("event times (--type t) have no magnitudes to class");
  }
  const auto perClass = [&](const char* option, const std::vector<std::string>& values) {
    if (values.size() != 1 && values.size() != static_cast<std::size_t>(d.classes)) {
      throw UsageError(std::string(option) + ": expected one value, or one per class (" + std::to_string(d.classes) + ")");
    }
  };
  perClass("--bandwidth", d.bandwidth);
  perClass("--nsim", d.nsim);
  return o;
}

std::vector<Job> jobsOf(const Options& o) {
  std::vector<Job> jobs;
  std::set<std::string> names;
  for (const auto& file : o.files) {
    std::string stem = file.stem().string();
    if (stem.empty() || stem.front() == '.') stem = file.filename().string();
    if (stem.empty() || stem.front() == '.') throw UsageError(file.string() + ": a data file needs a name to name its folder");
    for (const std::string& z : o.z) {
      for (const std::string& k : o.window) {
        Job job{file, stem, o.decisions};
        job.decisions.z = z;
        if (!k.empty()) job.decisions.window = k;
        if (o.z.size() > 1) job.name += "_z" + z;
        if (o.window.size() > 1) job.name += "_k" + k;
        if (!names.insert(job.name).second) {
          throw UsageError(file.string() + ": a second series named " + job.name + " would share its folder");
        }
        jobs.push_back(std::move(job));
      }
    }
  }
  return jobs;
}

}  // namespace batch

#include "morvek/datafile.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/numbers.h"

namespace morvek {

template <class Store>
ListReader::Status ListReader::readInto(long long count, Store store) {
  long long filled = 0;
  while (filled < count) {
    if (pos_ >= text_.size()) return Status::end;
    std::size_t lineEnd = text_.find('\n', pos_);
    if (lineEnd == std::string_view::npos) lineEnd = text_.size();
    const std::string_view line = text_.substr(pos_, lineEnd - pos_);
    pos_ = lineEnd + 1;
    std::size_t i = 0;
    while (filled < count) {
      const std::string_view item = nextItem(line, i);
      if (item.empty()) break;
      const auto value = parseReal(item);
      if (!value) return Status::error;
      store(filled++, *value);
    }
  }
  return Status::ok;
}

ListReader::Status ListReader::read(std::span<double> values) {
  return readInto(static_cast<long long>(values.size()),
                  [&](long long i, double v) { values[static_cast<std::size_t>(i)] = v; });
}

ListReader::Status ListReader::skip(long long count) {
  return readInto(count, [](long long, double) {});
}

namespace {

std::optional<std::ifstream> openRegularFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return file;
}

std::string trimmedName(std::string_view name) {
  const auto first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(name.substr(first, name.find_last_not_of(' ') - first + 1));
}

}  // namespace

std::optional<std::string> readTextFile(const std::string& path) {
  auto file = openRegularFile(path);
  if (!file) return std::nullopt;
  std::string text;
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error) text.reserve(static_cast<std::size_t>(size));
  char chunk[1 << 16];
  while (file->read(chunk, sizeof chunk) || file->gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(file->gcount()));
  }
  if (file->bad()) return std::nullopt;
  return text;
}

std::string dataFileProblem(std::string_view name, const std::filesystem::path& in) {
  const std::string trimmed = trimmedName(name);
  if (trimmed.empty()) return "no data file name";
  const std::string path = (in / trimmed).string();
  if (openRegularFile(path)) return {};
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    const auto folder = std::filesystem::absolute(path, error).parent_path();
    return path + ": no such file in " + folder.string();
  }
  if (!std::filesystem::is_regular_file(status)) return path + ": not a regular file";
  return path + ": cannot be read";
}

std::optional<std::string> readDataFile(std::string_view name, const std::filesystem::path& folder) {
  const std::string path = trimmedName(name);
  if (path.empty()) return std::nullopt;
  return readTextFile((folder / path).string());
}

namespace {

using Status = ListReader::Status;

std::string openData(const State& s) {
  auto text = readDataFile(s.setting.inputfile, s.dataFolder);
  if (!text) throw Fatal("Error during data file opening");
  return std::move(*text);
}

std::vector<double> workArray(int count) {
  return allocating("read1", [&] { return std::vector<double>(static_cast<std::size_t>(count)); });
}

void nameLine(Console& console, int i) { console.line(fmtI(i, 8)); }

[[noreturn]] void layoutProblem() {
  throw Fatal("Input data file problem possibly in above line number(s)");
}

// Reads the first number of each of the `count` lines, naming each line
// where that fails and marking the file as faulty.
std::vector<double> firstNumbers(Console& console, ListReader& reader, int count, bool& faulty) {
  std::vector<double> first = workArray(count);
  for (int i = 1; i <= count; ++i) {
    if (reader.read(std::span(&first[static_cast<std::size_t>(i - 1)], 1)) != Status::ok) {
      nameLine(console, i);
      faulty = true;
    }
  }
  return first;
}

// A file holding more numbers than `perLine` on each of its `count` lines.
void checkNoMore(ListReader& reader, int count, int perLine, const char* problem) {
  reader.rewind();
  if (reader.skip(static_cast<long long>(perLine) * count + 1) == Status::ok) throw Fatal(problem);
}

// Checks that each of the `count` lines holds two numbers.
void checkTwoPerLine(Console& console, ListReader& reader, int count) {
  bool faulty = false;
  const std::vector<double> first = firstNumbers(console, reader, count, faulty);

  // A line with one number makes a read of two take the next line's first
  // number, so the reads run out before the lines do.
  reader.rewind();
  bool endedEarly = false;
  double pair[2];
  for (int i = 1; i <= count; ++i) {
    const Status status = reader.read(pair);
    if (status == Status::error) {
      nameLine(console, i);
      faulty = true;
    } else if (status == Status::end) {
      faulty = true;
      endedEarly = true;
      break;
    }
  }

  if (endedEarly) {
    // The shifted read shows where: its second number is the first number
    // of the line after the short one.
    reader.rewind();
    bool named = false;
    for (int i = 1; i <= count; ++i) {
      const Status status = reader.read(pair);
      if (status == Status::end) break;
      if (status == Status::ok && i < count && pair[1] == first[static_cast<std::size_t>(i)]) {
        nameLine(console, i);
        named = true;
      }
    }
    if (!named) nameLine(console, count);
  }
  if (faulty) layoutProblem();
  checkNoMore(reader, count, 2, "Input data file problem (possibly more than two values per line)");
}

// Checks that each of the `count` lines holds one number.
void checkOnePerLine(Console& console, ListReader& reader, int count) {
  bool faulty = false;
  firstNumbers(console, reader, count, faulty);
  if (faulty) layoutProblem();
  checkNoMore(reader, count, 1, "Input data file problem (possibly more than one value per line)");
}

// A line that does not start with the numbers a data point needs stops the
// run (a header, a date, NA, a decimal comma); the messages name no line,
// so the first such line is named here, once.
void adviseUnreadableLine(const State& s, Console& console, std::string_view text) {
  const int needed = s.hasValues() ? 2 : 1;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (splitItems(line).empty() || readReals(line, needed)) continue;
    const std::string shown = line.size() > 60 ? std::string(line.substr(0, 60)) + "..." : std::string(line);
    const std::string name = trimmedName(s.setting.inputfile);
    const char* command = s.setting.datatype == DataType::ordinary ? "series"
                          : s.setting.datatype == DataType::extreme ? "events"
                                                                    : "events --times-only";
    console.advise("line " + std::to_string(number) + " of " + name + " is not " +
                       (needed == 2 ? "two numbers: " : "a number: ") + shown,
                   std::string("morvek-prep ") + command + " " + name +
                       " -o data.dat reads headers, dates, missing values and decimal commas");
    return;
  }
}

int prescan(const State& s, Console& console) {
  const std::string text = openData(s);
  adviseUnreadableLine(s, console, text);
  ListReader reader(text);
  int count = 0;
  double value;
  while (count < std::numeric_limits<int>::max() &&
         reader.read(std::span(&value, 1)) == Status::ok) {
    ++count;
  }
  reader.rewind();
  if (s.hasValues()) {
    checkTwoPerLine(console, reader, count);
  } else {
    checkOnePerLine(console, reader, count);
  }
  return count;
}

void readValues(State& s, Console& console) {
  const std::string text = openData(s);
  ListReader reader(text);
  Data& d = s.data;
  const int n1 = s.setting.n1;
  d.t1.fill(0.0);
  d.x1.fill(0.0);

  const bool pairs = s.hasValues();
  double point[2];
  for (int i = 0; i < n1; ++i) {
    const Status status = reader.read(std::span(point, pairs ? 2 : 1));
    if (status == Status::error) throw Fatal("Error during file read");
    if (status == Status::end) throw Fatal("True number of points less than input");
    d.t1[static_cast<std::size_t>(i)] = point[0];
    if (pairs) d.x1[static_cast<std::size_t>(i)] = point[1];
  }
  const Status more = reader.skip(1);
  if (more == Status::error) throw Fatal("Error during file read");
  if (more == Status::ok) throw Fatal("True number of points greater than input");

  int listed = 0;
  for (int i = 1; i < n1; ++i) {
    if (d.t1[static_cast<std::size_t>(i)] - d.t1[static_cast<std::size_t>(i - 1)] > 0) continue;
    console.line("Point " + fmtI(i + 1, 8) + " error (time not increasing): t(i) <= t(i-1)");
    // Long lists pause after every twenty lines so that none scrolls away unread.
    if (listed > 0 && listed % 20 == 0) console.pause();
    ++listed;
  }
  if (listed > 0) throw Fatal();
}

}  // namespace

int read1(State& s, Console& console, ReadOption option) {
  if (option == ReadOption::count) return prescan(s, console);
  readValues(s, console);
  return s.setting.n1;
}

}  // namespace morvek

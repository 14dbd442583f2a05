#include "prep/prep.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <map>
#include <optional>
#include <span>
#include <sstream>

#include "morvek/config.h"
#include "morvek/resultfile.h"
#include "morvek/results.h"

namespace prep {

namespace {

constexpr std::size_t kShownContent = 60;
constexpr std::size_t kShownDropped = 5;

// ---- Times -----------------------------------------------------------------

// A time as read: an ISO date with its parts, or a plain number.
struct Stamp {
  bool date = false;
  int year = 0, month = 1, day = 1;
  double second = 0;  // of the day
  double number = 0;  // a plain number, or the decimal year of a date
};

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysIn(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// year + (day of year - 1 + fraction of the day) / days in that year.
double decimalYear(int y, int m, int d, double second) {
  int dayOfYear = d;
  for (int k = 1; k < m; ++k) dayOfYear += daysIn(y, k);
  return y + (dayOfYear - 1 + second / 86400.0) / (isLeap(y) ? 366 : 365);
}

// Reads `width` digits at `pos` into `out`.
bool digits(std::string_view s, std::size_t pos, std::size_t width, int& out) {
  if (pos + width > s.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

std::optional<Stamp> parseStamp(std::string_view s) {
  Stamp t;
  t.date = true;
  // Some agencies write 2010/03/14 for 2010-03-14.
  const char dash = s.size() > 4 && s[4] == '/' ? '/' : '-';
  if (!digits(s, 0, 4, t.year) || s.size() < 7 || s[4] != dash || !digits(s, 5, 2, t.month)) {
    return std::nullopt;
  }
  if (t.month < 1 || t.month > 12) return std::nullopt;
  if (s.size() > 7) {
    if (s[7] != dash || !digits(s, 8, 2, t.day) || t.day < 1 || t.day > daysIn(t.year, t.month)) {
      return std::nullopt;
    }
    if (s.size() > 10) {
      int hour = 0, minute = 0, second = 0;
      if ((s[10] != 'T' && s[10] != ' ') || !digits(s, 11, 2, hour) || s.size() < 16 || s[13] != ':' ||
          !digits(s, 14, 2, minute) || hour > 23 || minute > 59) {
        return std::nullopt;
      }
      std::string_view rest = s.substr(16);
      if (rest.starts_with(':')) {
        if (!digits(rest, 1, 2, second) || second > 59) return std::nullopt;
        rest.remove_prefix(3);
      }
      if (rest == "Z") rest = {};
      if (!rest.empty()) return std::nullopt;
      t.second = hour * 3600.0 + minute * 60.0 + second;
    }
  }
  t.number = decimalYear(t.year, t.month, t.day, t.second);
  return t;
}

// A plain number; with `decimalComma` one comma may stand for the point.
std::optional<double> parseNumber(std::string_view s, bool decimalComma) {
  std::string text(s);
  if (decimalComma && std::ranges::count(text, ',') == 1 && text.find('.') == std::string::npos) {
    text[text.find(',')] = '.';
  }
  std::string_view v = text;
  if (v.starts_with('+')) v.remove_prefix(1);
  double x = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
  if (ec != std::errc() || end != v.data() + v.size() || v.empty() || !std::isfinite(x)) {
    return std::nullopt;
  }
  return x;
}

std::optional<Stamp> parseTime(std::string_view s, bool decimalComma) {
  if (auto date = parseStamp(s)) return date;
  if (auto number = parseNumber(s, decimalComma)) {
    Stamp t;
    t.number = *number;
    return t;
  }
  return std::nullopt;
}

// The start of the period that holds t; day and month need dates.
std::optional<double> periodStart(const Stamp& t, Period period) {
  switch (period) {
    case Period::day: return t.date ? std::optional(decimalYear(t.year, t.month, t.day, 0)) : std::nullopt;
    case Period::month: return t.date ? std::optional(decimalYear(t.year, t.month, 1, 0)) : std::nullopt;
    case Period::year: return t.date ? t.year : std::floor(t.number);
    case Period::none: break;
  }
  return t.number;
}

// ---- Lines and fields --------------------------------------------------------

struct Line {
  long number;
  std::string_view text;
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Spreadsheet programs begin their CSV exports with a UTF-8 byte-order
// mark, which would otherwise stick to the first header name or time.
std::string_view withoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.starts_with(kMark)) text.remove_prefix(kMark.size());
  return text;
}

// The lines that hold something other than a comment.
std::vector<Line> contentLines(std::string_view text) {
  std::vector<Line> lines;
  long number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trim(text.substr(0, end));
    ++number;
    if (!line.empty() && line.front() != '#') lines.push_back({number, line});
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

// Tab, semicolon, comma, or else blanks: the first of these the line holds.
char separatorOf(std::string_view first) {
  for (char c : {'\t', ';', ','}) {
    if (first.find(c) != std::string_view::npos) return c;
  }
  return ' ';
}

bool isClock(std::string_view s) {
  return s.size() >= 5 && s[2] == ':' && std::isdigit(static_cast<unsigned char>(s[0])) &&
         std::isdigit(static_cast<unsigned char>(s[1]));
}

std::vector<std::string> fields(std::string_view line, char separator) {
  std::vector<std::string> out;
  if (separator == ' ') {
    std::istringstream words{std::string(line)};
    std::string word;
    while (words >> word) {
      // "2020-01-31 06:00" is one time even where blanks separate fields.
      if (isClock(word) && !out.empty() && out.back().size() == 10 && parseStamp(out.back())) {
        out.back() += ' ' + word;
      } else {
        out.push_back(word);
      }
    }
    return out;
  }
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : separator;
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      out.emplace_back(trim(field));
      field.clear();
    } else {
      field += c;
    }
  }
  return out;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// ---- Errors and the summary --------------------------------------------------

std::string shown(std::string_view content) {
  return content.size() > kShownContent ? std::string(content.substr(0, kShownContent)) + "..."
                                        : std::string(content);
}

[[noreturn]] void fail(std::string_view file, const Line& line, std::string_view why,
                       std::string_view expected) {
  throw Error(std::string(file) + ":" + std::to_string(line.number) + ": " + std::string(why) +
              "\n  the line: " + shown(line.text) + "\n  expected: " + std::string(expected));
}

struct Dropped {
  long line;
  std::string why;
};

class Summary {
 public:
  explicit Summary(std::string_view file) : file_(file) {}
  void drop(long line, std::string why) { dropped_.push_back({line, std::move(why)}); }
  std::size_t droppedCount() const { return dropped_.size(); }
  std::string text(long read, std::size_t headers, std::size_t kept) const {
    return "morvek-prep: " + file_ + ": " + std::to_string(read) + " lines read, " + std::to_string(headers) +
           " header lines, " + std::to_string(kept) + " kept, " + std::to_string(dropped_.size()) + " dropped\n" +
           droppedLines();
  }
  // A station's share of a file: its data lines, not the file's.
  std::string stationText(std::string_view id, std::size_t lines, std::size_t kept) const {
    return "morvek-prep: station " + std::string(id) + ": " + std::to_string(lines) + " lines, " +
           std::to_string(kept) + " kept, " + std::to_string(dropped_.size()) + " dropped\n" + droppedLines();
  }
  // The first few dropped lines, each with why.
  std::string droppedLines() const {
    std::string s;
    for (std::size_t i = 0; i < std::min(dropped_.size(), kShownDropped); ++i) {
      s += "  line " + std::to_string(dropped_[i].line) + ": " + dropped_[i].why + "\n";
    }
    if (dropped_.size() > kShownDropped) {
      s += "  and " + std::to_string(dropped_.size() - kShownDropped) + " more\n";
    }
    return s;
  }

 private:
  std::string file_;
  std::vector<Dropped> dropped_;
};

std::string answerFor(Kind kind) {
  switch (kind) {
    case Kind::series: return "o (ordinary time series)";
    case Kind::events: return "x (extreme events)";
    case Kind::times: return "t (extreme times)";
  }
  return "";
}

// ---- Points ------------------------------------------------------------------

struct Point {
  Stamp time;
  double value = 0;
  Line line;
};

// The statistic of the group's values; a sum beyond the largest double is
// infinite, a mean never is.
double combine(std::span<const Point> group, Stat stat) {
  double lowest = group.front().value, highest = lowest, sum = 0;
  for (const Point& p : group) {
    sum += p.value;
    lowest = std::min(lowest, p.value);
    highest = std::max(highest, p.value);
  }
  if (stat == Stat::max) return highest;
  if (stat == Stat::min) return lowest;
  const double n = static_cast<double>(group.size());
  if (std::isfinite(sum)) return stat == Stat::sum ? sum : sum / n;
  // A partial sum overflowed, though the mean, and perhaps the sum, are
  // finite (1e308 + 1e308 - 1e308). Scaled by 2^-k with 2^k > n, no partial
  // sum can exceed the largest double; the scaling by a power of two loses
  // nothing but the bits of values too small to matter beside these.
  const int k = std::bit_width(group.size());
  double scaled = 0;
  for (const Point& p : group) scaled += std::ldexp(p.value, -k);
  if (stat == Stat::sum) return std::ldexp(scaled, k);
  // Rounding must not carry the mean outside the values, nor to infinity.
  return std::clamp(std::ldexp(scaled / n, k), lowest, highest);
}

// The start of a period, as the user's times were written.
std::string periodName(const Stamp& t, Period period, double start) {
  if (!t.date) return roundTrip(start);
  auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  std::string name = std::to_string(t.year);
  if (period != Period::year) name += "-" + two(t.month);
  if (period == Period::day) name += "-" + two(t.day);
  return name;
}

// Equal times become one point by the tie rule; without one they are an
// error that names both lines.
std::vector<Point> resolveTies(std::string_view file, const std::vector<Point>& points, Ties ties,
                               Summary& summary) {
  std::vector<Point> out;
  for (std::size_t i = 0; i < points.size();) {
    std::size_t j = i + 1;
    while (j < points.size() && points[j].time.number == points[i].time.number) ++j;
    if (j > i + 1) {
      if (ties == Ties::refuse) {
        fail(file, points[i + 1].line,
             "the time of line " + std::to_string(points[i].line.number) + " is repeated",
             "times that increase, or --ties first|last|max|min|mean");
      }
      const std::size_t keep = ties == Ties::last ? j - 1 : i;
      Point kept = points[keep];
      const std::span group(points.data() + i, j - i);
      if (ties == Ties::max) kept.value = combine(group, Stat::max);
      if (ties == Ties::min) kept.value = combine(group, Stat::min);
      if (ties == Ties::mean) kept.value = combine(group, Stat::mean);
      for (std::size_t k = i; k < j; ++k) {
        if (k != keep) {
          summary.drop(points[k].line.number, "repeated time (--ties " + wordOf(kTiesWords, ties) + ")");
        }
      }
      out.push_back(kept);
    } else {
      out.push_back(points[i]);
    }
    i = j;
  }
  return out;
}

// "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  }
  return out;
}

// A column by number, or by its name in the header (`option` says which
// option gave it). A name that several columns share is an error rather
// than the first of them: which one the user meant cannot be known.
std::size_t columnOf(std::string_view file, const std::string& option, const std::string& wanted,
                     const Line* header, char separator) {
  if (!wanted.empty() && std::ranges::all_of(wanted, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    const std::size_t n = std::stoul(wanted);
    if (n == 0) throw Error(std::string(file) + ": column numbers start at 1");
    return n - 1;
  }
  if (!header) throw Error(std::string(file) + ": no header line names a column '" + wanted + "'");
  const auto names = fields(header->text, separator);
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]) == lower(wanted)) found.push_back(i);
  }
  if (found.empty()) fail(file, *header, "no column is named '" + wanted + "'", "one of the names in this header line");
  if (found.size() > 1) {
    std::vector<std::string> numbers, options;
    for (std::size_t i : found) {
      numbers.push_back(std::to_string(i + 1));
      options.push_back(option + " " + numbers.back());
    }
    std::string choices = listed(options);
    choices.replace(choices.rfind(" and "), 5, " or ");
    fail(file, *header,
         "columns " + listed(numbers) + " are " + (found.size() == 2 ? "both" : "all") + " named '" + wanted + "'",
         "the column's number, " + choices);
  }
  return found.front();
}

std::string write(const std::vector<Point>& points, Kind kind) {
  std::string out;
  for (const Point& p : points) {
    out += roundTrip(p.time.number);
    if (kind != Kind::times) out += ' ' + roundTrip(p.value);
    out += '\n';
  }
  return out;
}

std::string spanLine(const std::vector<Point>& points) {
  if (points.empty()) return "morvek-prep: no points kept\n";
  return "morvek-prep: time span " + roundTrip(points.front().time.number) + " to " +
         roundTrip(points.back().time.number) + ", " + std::to_string(points.size()) + " points\n";
}

}  // namespace

std::string roundTrip(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

namespace {

// How a delimited file is laid out, as its first data line shows.
struct Layout {
  std::vector<Line> lines;   // the content lines
  std::size_t headers = 0;   // lines before the data: the header and titles above it
  char separator = ' ';
  bool decimalComma = false;
  std::size_t timeColumn = 0, valueColumn = 0;

  const Line* header() const { return headers > 0 ? &lines[headers - 1] : nullptr; }
  std::span<const Line> data() const { return std::span(lines).subspan(headers); }
};

Layout layoutOf(std::string_view file, std::string_view text, Kind kind, const ReadOptions& options) {
  Layout layout;
  layout.lines = contentLines(withoutByteOrderMark(text));
  const std::vector<Line>& lines = layout.lines;
  if (lines.empty()) throw Error(std::string(file) + ": no data lines");
  const bool namedTime = !std::ranges::all_of(options.time, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });

  // The first line with a number or date among its fields starts the data
  // and decides the separator; the line above it, if any, names the
  // columns, and lines above that are titles. A title such as "Daily
  // flows" or "Station Manaus; Rio Negro" thus cannot choose the separator.
  // Each line is split as it would split itself, since the separator is
  // not known before the data line is found. A time column given by name
  // needs a header, so the first line is one then.
  auto holdsData = [](const Line& line) {
    const char own = separatorOf(line.text);
    return std::ranges::any_of(fields(line.text, own),
                               [&](const std::string& f) { return parseTime(f, own != ',').has_value(); });
  };
  std::size_t& headers = layout.headers;
  headers = namedTime ? 1 : 0;
  while (headers < lines.size() && !holdsData(lines[headers])) ++headers;
  if (headers >= lines.size()) throw Error(std::string(file) + ": no line holds numbers or dates");
  layout.separator = separatorOf(lines[headers].text);
  layout.decimalComma = layout.separator != ',';
  layout.timeColumn = columnOf(file, "--time", options.time, layout.header(), layout.separator);
  layout.valueColumn = kind == Kind::times ? layout.timeColumn
                                           : columnOf(file, "--value", options.value, layout.header(), layout.separator);
  return layout;
}

// The fields of a data line, of which there must be at least `needed`.
std::vector<std::string> fieldsOf(std::string_view file, const Layout& layout, const Line& line, std::size_t needed) {
  auto f = fields(line.text, layout.separator);
  if (f.size() < needed) {
    const char s = layout.separator;
    fail(file, line, "too few fields (" + std::to_string(f.size()) + ")",
         "at least " + std::to_string(needed) + " fields separated by " +
             (s == ' ' ? std::string("blanks") : s == '\t' ? std::string("tabs") : std::string(1, s)));
  }
  return f;
}

// The points of `lines`, in their order, which must not go back in time;
// equal times are all kept.
std::vector<Point> readPoints(std::string_view file, const Layout& layout, std::span<const Line> lines, Kind kind,
                              const ReadOptions& options, Summary& summary) {
  auto missing = [&](const std::string& token) {
    const std::string l = lower(token);
    return token.empty() || l == "na" || l == "nan" || std::ranges::find(options.missing, token) != options.missing.end();
  };
  const std::size_t timeColumn = layout.timeColumn, valueColumn = layout.valueColumn;

  std::vector<Point> points;
  for (const Line& line : lines) {
    const auto f = fieldsOf(file, layout, line, std::max(timeColumn, valueColumn) + 1);
    if (missing(f[timeColumn])) {
      summary.drop(line.number, "missing time");
      continue;
    }
    const auto time = parseTime(f[timeColumn], layout.decimalComma);
    if (!time) {
      fail(file, line, "the time '" + shown(f[timeColumn]) + "' is unreadable",
           "a number or a date YYYY-MM-DD, YYYY-MM, YYYY-MM-DDThh:mm[:ss]");
    }
    Point p{*time, 0, line};
    if (kind != Kind::times) {
      if (missing(f[valueColumn])) {
        summary.drop(line.number, "missing value '" + f[valueColumn] + "'");
        continue;
      }
      const auto value = parseNumber(f[valueColumn], layout.decimalComma);
      if (!value) {
        fail(file, line, "the value '" + shown(f[valueColumn]) + "' is unreadable",
             "a number, or a missing-value mark (empty, NA, NaN or one given with --missing)");
      }
      p.value = *value;
    }
    if (!points.empty() && p.time.number < points.back().time.number) {
      fail(file, line, "the time is earlier than that of line " + std::to_string(points.back().line.number),
           "times that increase from line to line");
    }
    points.push_back(p);
  }
  return points;
}

// A series made of points as read: the data file, the number of points
// kept before aggregation, and the notes that follow the count of lines.
struct Finished {
  std::string data;
  std::size_t kept = 0;
  std::string notes;
};

Finished finish(std::string_view file, const std::vector<Point>& points, Kind kind, const ReadOptions& options,
                Summary& summary) {
  std::vector<Point> kept = resolveTies(file, points, options.ties, summary);
  const std::size_t keptBefore = kept.size();

  std::string aggregated;
  if (options.aggregate != Period::none) {
    const std::string period = wordOf(kPeriodWords, options.aggregate);
    std::vector<Point> periods;
    for (std::size_t i = 0; i < kept.size();) {
      const auto start = periodStart(kept[i].time, options.aggregate);
      if (!start) fail(file, kept[i].line, "the time is a plain number", "dates, to aggregate by day or month");
      std::size_t j = i + 1;
      while (j < kept.size() && periodStart(kept[j].time, options.aggregate) == start) ++j;
      Point p = kept[i];
      p.time.number = *start;
      p.value = combine(std::span(kept.data() + i, j - i), options.stat);
      if (!std::isfinite(p.value)) {
        fail(file, kept[i].line,
             "the sum of the " + period + " from " + periodName(kept[i].time, options.aggregate, *start) +
                 " is beyond the largest number (about 1.8e308)",
             "values whose sum over each " + period + " is smaller, or --stat max, min or mean");
      }
      periods.push_back(p);
      i = j;
    }
    // The summary spells out the options' short words.
    static constexpr Word<Stat> kStatNames[] = {
        {Stat::max, "maximum"}, {Stat::min, "minimum"}, {Stat::mean, "mean"}, {Stat::sum, "sum"}};
    aggregated = "morvek-prep: " + std::to_string(keptBefore) + " points make " + std::to_string(periods.size()) +
                 " periods of a " + period + ", each its " + wordOf(kStatNames, options.stat) +
                 " at the period's start\n";
    kept = std::move(periods);
  }
  return {write(kept, kind), keptBefore, aggregated + spanLine(kept)};
}

std::string answerLine(Kind kind) {
  return "morvek-prep: answer Morvek's data type question with " + answerFor(kind) + "\n";
}

}  // namespace

Prepared prepare(std::string_view file, std::string_view text, Kind kind, const ReadOptions& options) {
  Summary summary(file);
  const Layout layout = layoutOf(file, text, kind, options);
  const Finished made = finish(file, readPoints(file, layout, layout.data(), kind, options, summary), kind, options, summary);
  return {made.data, summary.text(layout.lines.back().number, layout.headers, made.kept) + made.notes + answerLine(kind)};
}

namespace {

// Why `id` cannot name a file of its own in the output folder, or "". It
// must stay one name inside the folder (no slash, not . or ..), not read as
// an option to a command given the file (a leading dash), not hide in a
// listing (control characters), and fit with ".dat" in the 255 bytes a name
// may have on the usual file systems. Everything else is kept as written.
std::string unsafeId(std::string_view id) {
  constexpr std::size_t kLongestName = 255 - std::string_view(".dat").size();
  if (id.empty()) return "the station id is empty";
  if (id == "." || id == "..") return "the station id '" + std::string(id) + "' names a folder";
  if (id.find('/') != std::string_view::npos) return "the station id '" + shown(id) + "' holds a slash";
  if (std::ranges::any_of(id, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
    return "the station id holds a control character";
  }
  if (id.front() == '-') return "the station id '" + shown(id) + "' starts with a dash";
  if (id.size() > kLongestName) return "the station id is longer than " + std::to_string(kLongestName) + " bytes";
  return "";
}

}  // namespace

Stations prepareStations(std::string_view file, std::string_view text, Kind kind, const ReadOptions& options,
                         const std::string& idColumn) {
  const Layout layout = layoutOf(file, text, kind, options);
  const std::size_t id = columnOf(file, "--id", idColumn, layout.header(), layout.separator);
  // With the defaults --time 1 --value 2, a file that begins with the
  // station's column would otherwise fail on its first id as a time.
  if (id == layout.timeColumn || id == layout.valueColumn) {
    const std::size_t other[] = {id == 0 ? 2u : 1u, id <= 1 ? 3u : 2u};  // the first two columns but the id's
    fail(file, layout.header() ? *layout.header() : layout.data().front(),
         "--id and " + std::string(id == layout.timeColumn ? "--time" : "--value") + " both take column " +
             std::to_string(id + 1),
         kind == Kind::times ? "--time for another column, such as --time " + std::to_string(other[0])
                             : "--time and --value for other columns, such as --time " + std::to_string(other[0]) +
                                   " --value " + std::to_string(other[1]));
  }

  // Each station's lines, in the order of the stations' first lines; a
  // station is then read as a file of its lines alone would be.
  std::vector<std::string> ids;
  std::vector<std::vector<Line>> lines;
  std::map<std::string, std::size_t, std::less<>> index;
  const std::size_t needed = std::max({layout.timeColumn, layout.valueColumn, id}) + 1;
  for (const Line& line : layout.data()) {
    std::string name = fieldsOf(file, layout, line, needed)[id];
    if (const std::string why = unsafeId(name); !why.empty()) {
      fail(file, line, why, "an id that can name a file: not empty, not . or .., without slashes or control "
                            "characters, not starting with -");
    }
    const auto [at, fresh] = index.try_emplace(name, ids.size());
    if (fresh) {
      ids.push_back(std::move(name));
      lines.emplace_back();
    }
    lines[at->second].push_back(line);
  }

  Stations out;
  out.summary = "morvek-prep: " + std::string(file) + ": " + std::to_string(layout.lines.back().number) +
                " lines read, " + std::to_string(layout.headers) + " header lines, " + std::to_string(ids.size()) +
                " stations\n";
  for (std::size_t s = 0; s < ids.size(); ++s) {
    Summary summary(file);
    const Finished made = finish(file, readPoints(file, layout, lines[s], kind, options, summary), kind, options, summary);
    const std::string told = summary.stationText(ids[s], lines[s].size(), made.kept) + made.notes;
    out.stations.push_back({ids[s], {made.data, told}});
    out.summary += told;
  }
  out.summary += answerLine(kind);
  return out;
}

namespace {

// The extremes of a morvek-1.dat: the columns t3 and x3 in the first rows
// of its table; the other rows hold the series alone. Sets `z`
// to the threshold the file was made with, where it says.
std::vector<Point> resultExtremes(std::string_view file, std::string_view text, std::optional<double>& z,
                                  Summary& summary) {
  std::vector<Point> events;
  bool table = false, zWritten = false;
  for (const Line& line : contentLines(text)) {
    const auto f = fields(line.text, ' ');
    if (!table) {
      table = std::ranges::equal(f, morvek::kSeriesColumns);
      // Morvek writes the line only where z is set, in a field of 7 that
      // holds asterisks where z (at most 100 in size) does not fit.
      if (line.text.starts_with(morvek::kThresholdLabel)) {
        zWritten = true;
        z = parseNumber(trim(line.text.substr(morvek::kThresholdLabel.size())), false);
      }
      continue;
    }
    using enum morvek::SeriesColumn;
    if (zWritten && !z && f.size() > kThreshold) {
      // The threshold column is b2 + z*v2: z follows from any row whose
      // variability is positive.
      const auto b = parseNumber(f[kB2], false), v = parseNumber(f[kV2], false);
      const auto bzv = parseNumber(f[kThreshold], false);
      if (b && v && bzv && *v > 0) z = (*bzv - *b) / *v;
    }
    if (f.size() != kSeriesColumnCount) continue;
    const auto t = parseNumber(f[kT3], false);
    const auto x = parseNumber(f[kX3], false);
    if (t && x) {
      events.push_back({Stamp{.number = *t}, *x, line});
    } else {
      // -Infinity where the variability was zero: Morvek reads no such value.
      summary.drop(line.number, t ? "the extreme '" + f[kX3] + "' is not a finite number"
                                  : "the time '" + f[kT3] + "' of an extreme is not a finite number");
    }
  }
  if (events.empty()) throw Error(std::string(file) + ": this morvek-1.dat lists no extremes");
  return events;
}

}  // namespace

Prepared decluster(std::string_view file, std::string_view text, double run, Keep keep) {
  if (!(run > 0) || !std::isfinite(run)) throw Error("--run needs a positive number of time units");
  std::vector<Point> events;
  Summary summary(file);
  std::string head, note;
  text = withoutByteOrderMark(text);
  if (text.starts_with(morvek::kResultTitle)) {
    std::optional<double> z;
    events = resultExtremes(file, text, z, summary);
    head = "morvek-prep: " + std::string(file) + ": " + std::to_string(events.size() + summary.droppedCount()) +
           " extremes listed, " + std::to_string(events.size()) + " kept, " + std::to_string(summary.droppedCount()) +
           " dropped\n" + summary.droppedLines();
    // Extremes below a negative threshold are the lowest values: the
    // highest of a cluster would be its weakest event.
    if (keep == Keep::byThreshold && z && *z < 0) {
      keep = Keep::lowest;
      note = "morvek-prep: the threshold z = " + roundTrip(*z) + " of " + std::string(file) +
             " is negative: each cluster keeps its lowest value (--high keeps the highest)\n";
    }
  } else {
    const ReadOptions options;
    const Layout layout = layoutOf(file, text, Kind::events, options);
    events = readPoints(file, layout, layout.data(), Kind::events, options, summary);
    head = summary.text(layout.lines.back().number, layout.headers, events.size());
  }
  // Equal times are one cluster, as their distance, 0, is below any run.
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (events[i].time.number < events[i - 1].time.number) {
      fail(file, events[i].line, "the time is earlier than that of line " + std::to_string(events[i - 1].line.number),
           "times that do not decrease from line to line");
    }
  }
  const bool low = keep == Keep::lowest;
  std::vector<Point> peaks;
  std::size_t largest = 0;
  for (std::size_t i = 0; i < events.size();) {
    std::size_t j = i + 1;
    while (j < events.size() && events[j].time.number - events[j - 1].time.number < run) ++j;
    std::size_t peak = i;
    for (std::size_t k = i + 1; k < j; ++k) {
      if (low ? events[k].value < events[peak].value : events[k].value > events[peak].value) peak = k;
    }
    peaks.push_back(events[peak]);
    largest = std::max(largest, j - i);
    i = j;
  }
  return {write(peaks, Kind::events),
          head + note + "morvek-prep: " + std::string(file) + ": " + std::to_string(events.size()) + " events make " +
              std::to_string(peaks.size()) + " clusters (run " + roundTrip(run) + ", largest " +
              std::to_string(largest) + " events); each keeps its " + (low ? "lowest" : "highest") +
              " value\n" + spanLine(peaks) + answerLine(Kind::events)};
}

std::string configText() {
  const morvek::Parameters start;
  std::ostringstream out;
  out << "! Morvek configuration: the start values, written out.\n&cfg\n" << std::left;
  for (const morvek::ConfigKey& key : morvek::kConfigKeys) {
    const std::string value = key.real      ? roundTrip(start.*key.real)
                              : key.integer ? std::to_string(start.*key.integer)
                                            : "'" + std::string(morvek::ruleName(start.rule)) + "'";
    out << "  " << std::setw(8) << key.name << "= " << std::setw(14) << value << "! " << key.comment << '\n';
  }
  out << "/\n";
  return out.str();
}

}  // namespace prep

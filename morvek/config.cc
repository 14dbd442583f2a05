#include "morvek/config.h"

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvek/datafile.h"
#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/numbers.h"

namespace morvek {

namespace {

// The values as written, before they are checked against their ranges.
struct RawConfig {
  double krel = 0.25;
  std::string rule = "twopoint  ";
  double hrelmax = 0.5;
  int nhsrch = 400;
  int ngrid = 2048;
  double alpha = 0.9;
};

bool endsWord(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '/' || c == '!' || c == '=';
}

// A cursor over the file text that knows its line number.
class Scanner {
 public:
  explicit Scanner(std::string text) : text_(std::move(text)) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  int line() const { return line_; }
  void advance() {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
  // Skips blanks, commas, line ends and comments ("!" to the end of line).
  void skipSeparators(bool commas = true) {
    while (!atEnd()) {
      const char c = peek();
      if (c == '!') {
        while (!atEnd() && peek() != '\n') advance();
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || (commas && c == ',')) {
        advance();
      } else {
        return;
      }
    }
  }
  // A run of characters up to the next separator, "/" or comment; never
  // across a line end, so the line count stays as it is.
  std::string word() {
    const std::size_t end = itemEnd(text_, pos_, endsWord);
    std::string w = text_.substr(pos_, end - pos_);
    pos_ = end;
    return w;
  }
  // A quoted text; the opening quote is the current character. A doubled
  // quote stands for one quote character. nullopt when not closed.
  std::optional<std::string> quoted() {
    const char quote = peek();
    advance();
    std::string value;
    while (!atEnd()) {
      const char c = peek();
      advance();
      if (c == quote) {
        if (peek() != quote) return value;
        advance();
      } else if (c == '\n') {
        return std::nullopt;
      }
      value += c;
    }
    return std::nullopt;
  }

 private:
  std::string text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// A key or value as quoted in a message: a long one is cut, so that a
// file that is not a configuration at all gives a readable line.
std::string shown(std::string_view text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) return std::string(text);
  return std::string(text.substr(0, kShown)) + "...";
}

[[noreturn]] void parseError(const std::string& path, int line, const std::string& problem) {
  throw Fatal(path + " line " + std::to_string(line) + ": " + problem);
}

// Moves the scanner to just behind "&cfg"; text before the group is ignored.
bool findGroup(Scanner& in) {
  for (in.skipSeparators(); !in.atEnd(); in.skipSeparators()) {
    if (in.peek() == '&') {
      in.advance();
      if (lower(in.word()) == "cfg") return true;
    } else if (in.word().empty()) {
      in.advance();  // a lone "/", "=" or quote
    }
  }
  return false;
}

RawConfig parse(const std::string& path, std::string text) {
  RawConfig raw;
  Scanner in(std::move(text));
  if (!findGroup(in)) throw Fatal(path + ": no group '&cfg' found");
  for (;;) {
    in.skipSeparators();
    if (in.atEnd()) throw Fatal(path + ": group 'cfg' is not closed with '/'");
    if (in.peek() == '/') return raw;
    const int keyLine = in.line();
    const std::string key = in.word();
    if (key.empty()) parseError(path, keyLine, std::string("unexpected '") + in.peek() + "'");
    const std::string name = lower(key);
    if (name != "krel" && name != "rule" && name != "hrelmax" && name != "nhsrch" &&
        name != "ngrid" && name != "alpha") {
      parseError(path, keyLine, "unknown key '" + shown(key) + "'");
    }
    in.skipSeparators(false);
    if (in.peek() != '=') parseError(path, in.line(), "expected '=' after '" + key + "'");
    in.advance();
    in.skipSeparators(false);
    const int valueLine = in.line();
    if (name == "rule") {
      if (in.peek() != '\'' && in.peek() != '"') {
        parseError(path, valueLine, "value of 'rule' must be written between quotes");
      }
      const auto value = in.quoted();
      if (!value) parseError(path, valueLine, "value of 'rule' has no closing quote");
      if (value->size() > 10) {
        parseError(path, valueLine, "value of 'rule' is longer than 10 characters");
      }
      raw.rule = fmtA(*value, 10);
      continue;
    }
    const std::string value = in.word();
    if (value.empty()) parseError(path, valueLine, "missing value for '" + key + "'");
    const auto malformed = [&] {
      parseError(path, valueLine, "malformed value '" + shown(value) + "' for '" + key + "'");
    };
    if (name == "nhsrch" || name == "ngrid") {
      const auto number = parseInt(value);
      if (!number) malformed();
      (name == "nhsrch" ? raw.nhsrch : raw.ngrid) = *number;
    } else {
      const auto number = parseReal(value);
      if (!number) malformed();
      (name == "krel" ? raw.krel : name == "hrelmax" ? raw.hrelmax : raw.alpha) = *number;
    }
  }
}

constexpr int kLabel = 28;
constexpr int kField = 20;

std::string label(std::string_view text) { return fit(text, kLabel); }
std::string real(double v) { return fmtF(v, kField, 8); }
std::string integer(int v) { return fmtI(v, kField); }

// Appends the lines of a value above its maximum or below its minimum.
template <class T, class Format>
void checkRange(std::vector<std::string>& out, std::string_view name, T value, T minimum,
                T maximum, Format format) {
  if (value > maximum) {
    out.push_back(label(std::string(name) + " = ") + format(value));
    out.push_back(label("allowed maximum is = ") + format(maximum));
  } else if (value < minimum) {
    out.push_back(label(std::string(name) + " = ") + format(value));
    out.push_back(label("allowed minimum is = ") + format(minimum));
  }
}

bool isGridSize(int n) {
  for (int size = 64; size <= 16384; size *= 2) {
    if (n == size) return true;
  }
  return false;
}

}  // namespace

void read0(State& s, const std::string& path) {
  auto text = readTextFile(path);
  if (!text) throw Fatal("Error during data file opening");
  const RawConfig raw = parse(path, std::move(*text));

  std::vector<std::string> violations;
  checkRange(violations, "krel", raw.krel, 0.05, kMaxKrel, real);
  if (raw.rule != "twopoint  " && raw.rule != "reflection") {
    violations.push_back(label("rule: ") + raw.rule);
    violations.push_back(label("allowed are (character*10): ") + "twopoint  ");
    violations.push_back(std::string(kLabel, ' ') + "reflection");
  }
  checkRange(violations, "hrelmax", raw.hrelmax, 0.05, 1.0, real);
  checkRange(violations, "nhsrch", raw.nhsrch, 100, 10000, integer);
  if (!isGridSize(raw.ngrid)) {
    violations.push_back(label("ngrid = ") + integer(raw.ngrid));
    violations.push_back("  it must be a power of 2   ");
    violations.push_back("  and lie between           " + integer(64));
    violations.push_back("  and                       " + integer(16384));
  }
  checkRange(violations, "alpha", raw.alpha, 0.8, 0.9999, real);
  if (!violations.empty()) {
    violations.emplace_back();
    throw Fatal(violations);
  }

  Parameters& p = s.parameters;
  p.krel = raw.krel;
  p.rule = raw.rule == "reflection" ? Rule::reflection : Rule::twopoint;
  p.hrelmax = raw.hrelmax;
  p.nhsrch = raw.nhsrch;
  p.ngrid = raw.ngrid;
  p.alpha = raw.alpha;
}

}  // namespace morvek

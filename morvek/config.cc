#include "morvek/config.h"

#include <algorithm>
#include <bit>
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

// The rule's text is read blank-padded to this width, and no longer.
constexpr int kRuleWidth = 10;

// The values as written, before they are checked against their ranges: the
// numbers in their members, the rule as text.
struct RawConfig {
  Parameters numbers;
  std::string rule = fmtA(ruleName(Parameters{}.rule), kRuleWidth);
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
    const auto entry = std::ranges::find(kConfigKeys, lower(key), &ConfigKey::name);
    if (entry == std::end(kConfigKeys)) parseError(path, keyLine, "unknown key '" + shown(key) + "'");
    in.skipSeparators(false);
    if (in.peek() != '=') parseError(path, in.line(), "expected '=' after '" + key + "'");
    in.advance();
    in.skipSeparators(false);
    const int valueLine = in.line();
    if (!entry->real && !entry->integer) {
      const std::string its = "value of '" + std::string(entry->name) + "' ";
      if (in.peek() != '\'' && in.peek() != '"') parseError(path, valueLine, its + "must be written between quotes");
      const auto value = in.quoted();
      if (!value) parseError(path, valueLine, its + "has no closing quote");
      if (value->size() > std::size_t{kRuleWidth}) {
        parseError(path, valueLine, its + "is longer than " + std::to_string(kRuleWidth) + " characters");
      }
      raw.rule = fmtA(*value, kRuleWidth);
      continue;
    }
    const std::string value = in.word();
    if (value.empty()) parseError(path, valueLine, "missing value for '" + key + "'");
    const auto malformed = [&] {
      parseError(path, valueLine, "malformed value '" + shown(value) + "' for '" + key + "'");
    };
    if (entry->integer) {
      const auto number = parseInt(value);
      if (!number) malformed();
      raw.numbers.*entry->integer = *number;
    } else {
      const auto number = parseReal(value);
      if (!number) malformed();
      raw.numbers.*entry->real = *number;
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

bool isPowerOf2Within(int n, int minimum, int maximum) {
  return n >= minimum && n <= maximum && std::has_single_bit(static_cast<unsigned>(n));
}

}  // namespace

void read0(State& s, const std::string& path) {
  auto text = readTextFile(path);
  if (!text) throw Fatal("Error during data file opening");
  const RawConfig raw = parse(path, std::move(*text));

  const auto rule =
      std::ranges::find_if(kRuleNames, [&](const RuleName& r) { return fmtA(r.name, kRuleWidth) == raw.rule; });
  std::vector<std::string> violations;
  for (const ConfigKey& key : kConfigKeys) {
    const std::string name(key.name);
    const int minimum = static_cast<int>(key.minimum), maximum = static_cast<int>(key.maximum);
    if (key.real) {
      checkRange(violations, name, raw.numbers.*key.real, key.minimum, key.maximum, real);
    } else if (key.powerOf2) {
      const int n = raw.numbers.*key.integer;
      if (!isPowerOf2Within(n, minimum, maximum)) {
        violations.push_back(label(name + " = ") + integer(n));
        violations.push_back("  it must be a power of 2   ");
        violations.push_back("  and lie between           " + integer(minimum));
        violations.push_back("  and                       " + integer(maximum));
      }
    } else if (key.integer) {
      checkRange(violations, name, raw.numbers.*key.integer, minimum, maximum, integer);
    } else if (rule == std::end(kRuleNames)) {
      violations.push_back(label(name + ": ") + raw.rule);
      for (const RuleName& r : kRuleNames) {
        violations.push_back(label(&r == kRuleNames ? "allowed are (character*10): " : "") + fmtA(r.name, kRuleWidth));
      }
    }
  }
  if (!violations.empty()) {
    violations.emplace_back();
    throw Fatal(violations);
  }

  for (const ConfigKey& key : kConfigKeys) {
    if (key.real) s.parameters.*key.real = raw.numbers.*key.real;
    if (key.integer) s.parameters.*key.integer = raw.numbers.*key.integer;
  }
  s.parameters.rule = rule->rule;
}

}  // namespace morvek

#include "morvek/numbers.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace morvek {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the Fortran real syntax: [sign] digits [. digits] [exponent], with
// at least one digit in the mantissa and the exponent letter E or D.
bool isRealSyntax(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t mantissaDigits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++mantissaDigits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i == s.size()) return true;
  if (s[i] != 'e' && s[i] != 'E' && s[i] != 'd' && s[i] != 'D') return false;
  ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t exponentStart = i;
  while (i < s.size() && isDigit(s[i])) ++i;
  return i > exponentStart && i == s.size();
}

}  // namespace

bool isSeparator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; }

std::size_t itemEnd(std::string_view text, std::size_t pos, SeparatorTest separator) {
  while (pos < text.size() && !separator(text[pos])) ++pos;
  return pos;
}

std::string_view nextItem(std::string_view text, std::size_t& pos, SeparatorTest separator) {
  while (pos < text.size() && separator(text[pos])) ++pos;
  const std::size_t start = pos;
  pos = itemEnd(text, pos, separator);
  return text.substr(start, pos - start);
}

std::vector<std::string_view> splitItems(std::string_view line) {
  std::vector<std::string_view> items;
  std::size_t i = 0;
  for (std::string_view item = nextItem(line, i); !item.empty(); item = nextItem(line, i)) {
    items.push_back(item);
  }
  return items;
}

std::optional<double> parseReal(std::string_view token) {
  if (!isRealSyntax(token)) return std::nullopt;
  if (token.front() == '+') token.remove_prefix(1);
  // from_chars knows only the exponent letter E; Fortran's D needs a copy.
  std::string copy;
  if (token.find_first_of("dD") != std::string_view::npos) {
    copy.assign(token);
    for (char& c : copy) {
      if (c == 'd' || c == 'D') c = 'e';
    }
    token = copy;
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec != std::errc{} || end != token.data() + token.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> parseInt(std::string_view token) {
  std::size_t i = 0;
  if (!token.empty() && token[0] == '+') i = 1;
  if (i == token.size()) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(token.data() + i, token.data() + token.size(), value);
  if (ec != std::errc{} || end != token.data() + token.size()) return std::nullopt;
  if (i == 1 && token.size() > 1 && token[1] == '-') return std::nullopt;
  return value;
}

namespace {

// The first `count` items as values; the item that fails, or the count of
// items found where there are too few, in `refusal`.
template <class T, class Parse>
std::optional<std::vector<T>> readItems(std::string_view line, int count, Parse parse, std::string_view kind,
                                        std::string* refusal = nullptr) {
  const auto items = splitItems(line);
  if (static_cast<int>(items.size()) < count) {
    if (refusal != nullptr) {
      *refusal = items.empty() ? std::string("the answer holds no number")
                               : "the answer holds " + std::to_string(items.size()) + " of the " +
                                     std::to_string(count) + " numbers asked for";
    }
    return std::nullopt;
  }
  std::vector<T> values;
  for (int i = 0; i < count; ++i) {
    const std::string_view item = items[static_cast<std::size_t>(i)];
    const auto value = parse(item);
    if (!value) {
      if (refusal != nullptr) {
        constexpr std::size_t kShown = 40;
        const std::string shown = item.size() > kShown ? std::string(item.substr(0, kShown)) + "..." : std::string(item);
        *refusal = "'" + shown + "' is not " + std::string(kind);
      }
      return std::nullopt;
    }
    values.push_back(*value);
  }
  return values;
}

}  // namespace

std::optional<std::vector<double>> readReals(std::string_view line, int count, std::string* refusal) {
  return readItems<double>(line, count, parseReal, "a number", refusal);
}

std::optional<std::vector<int>> readInts(std::string_view line, int count, std::string* refusal) {
  return readItems<int>(line, count, parseInt, "a whole number", refusal);
}

}  // namespace morvek

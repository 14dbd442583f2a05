#include "morvek/format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace morvek {

std::string fmtShortest(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

std::string fit(std::string_view text, int w) {
  if (w <= 0) return {};
  const auto width = static_cast<std::size_t>(w);
  if (text.size() > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + std::string(text);
}

namespace {

// Infinity and NaN are written as words; a narrow field falls back to
// "Inf" before it gives up to asterisks.
std::string nonFinite(double value, int w) {
  if (std::isnan(value)) return fit("NaN", w);
  const std::string sign = value < 0 ? "-" : "";
  const std::string word = sign + "Infinity";
  if (static_cast<int>(word.size()) <= w) return fit(word, w);
  return fit(sign + "Inf", w);
}

std::string printed(const char* pattern, int d, double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, pattern, d, value);
  return buffer;
}

}  // namespace

std::string fmtI(long long value, int w) { return fit(std::to_string(value), w); }

std::string fmtF(double value, int w, int d) {
  if (!std::isfinite(value)) return nonFinite(value, w);
  std::string digits = printed("%.*f", d, value);
  if (static_cast<int>(digits.size()) > w) {
    // The optional zero before the point goes first.
    const std::size_t zero = digits[0] == '-' ? 1 : 0;
    if (digits.compare(zero, 2, "0.") == 0) digits.erase(zero, 1);
  }
  return fit(digits, w);
}

std::string fmtES(double value, int w, int d) {
  if (!std::isfinite(value)) return nonFinite(value, w);
  std::string digits = printed("%.*E", d, value);
  // printf writes at least two exponent digits; three need the letter's room.
  const std::size_t e = digits.find('E');
  if (digits.size() - e - 2 > 2) digits.erase(e, 1);
  return fit(digits, w);
}

std::string fmtA(std::string_view text, int w) {
  std::string field(text.substr(0, static_cast<std::size_t>(w)));
  field.resize(static_cast<std::size_t>(w), ' ');
  return field;
}

}  // namespace morvek

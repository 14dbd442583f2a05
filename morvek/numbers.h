// Free-form numbers, as users type them at a prompt or write them in a
// data file: separated by blanks, tabs or commas, in integer, fixed-point
// or exponent notation ("12", "-0.5", "1.5E+03", "2d-1").
//
// Only finite numbers are accepted: "NaN", "Inf" and values beyond the
// double range are unreadable, so they never reach the analysis.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvek {

// One real number; nullopt when the token is not one.
std::optional<double> parseReal(std::string_view token);

// One 32-bit integer; "2.5" or "3e0" are not integers.
std::optional<int> parseInt(std::string_view token);

// True for the characters that separate free-form items.
bool isSeparator(char c);

// The end of the item that starts at `pos`: the first separator from there
// on, or the end of the text. `separator` decides what parts items, so the
// answers, the data file and the configuration share one tokenizer.
using SeparatorTest = bool (*)(char);
std::size_t itemEnd(std::string_view text, std::size_t pos, SeparatorTest separator = isSeparator);

// The next item from `pos` on, separators before it skipped; `pos` moves
// past it. Empty at the end of the text.
std::string_view nextItem(std::string_view text, std::size_t& pos, SeparatorTest separator = isSeparator);

// Splits a line into its free-form items.
std::vector<std::string_view> splitItems(std::string_view line);

// The first `count` items of a line as reals (or integers); nullopt when
// the line holds fewer items or one of them is unreadable. Items beyond
// `count` are ignored. With `refusal`, a refused line leaves there why, in
// plain words ("'abc' is not a number").
std::optional<std::vector<double>> readReals(std::string_view line, int count, std::string* refusal = nullptr);
std::optional<std::vector<int>> readInts(std::string_view line, int count, std::string* refusal = nullptr);

}  // namespace morvek

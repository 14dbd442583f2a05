// The configuration file morvek.cfg: one group `cfg` of key = value items,
//
//   &cfg krel = 0.3, rule = 'reflection'   ! a comment
//        ngrid = 4096 /
//
// Keys match without regard to case, items are separated by blanks,
// commas or line ends, a value may stand on the line after its key, and
// a key left out keeps its start value.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "morvek/state.h"

namespace morvek {

inline constexpr const char* kConfigFile = "morvek.cfg";

// The largest background window relative to the series length.
inline constexpr double kMaxKrel = 0.5;

// The pseudodata rules by their names in the file.
struct RuleName { Rule rule; std::string_view name; };
inline constexpr RuleName kRuleNames[] = {{Rule::twopoint, "twopoint"}, {Rule::reflection, "reflection"}};

constexpr std::string_view ruleName(Rule rule) { return std::ranges::find(kRuleNames, rule, &RuleName::rule)->name; }

// The keys, in the order their faults are reported. A number names its
// member of Parameters, whose start value it keeps when left out, and the
// range it must lie in; the rule, a text, has no member and must be one of
// kRuleNames. The comment is what `morvek-prep cfg` writes beside the key.
struct ConfigKey {
  std::string_view name;
  double Parameters::*real = nullptr;
  int Parameters::*integer = nullptr;
  double minimum = 0, maximum = 0;
  bool powerOf2 = false;  // only the powers of 2 within the range
  std::string_view comment;
};
inline constexpr ConfigKey kConfigKeys[] = {
    {.name = "krel", .real = &Parameters::krel, .minimum = 0.05, .maximum = kMaxKrel,
     .comment = "largest background window relative to the series length"},
    {.name = "rule", .comment = "pseudodata rule: 'twopoint' or 'reflection'"},
    {.name = "hrelmax", .real = &Parameters::hrelmax, .minimum = 0.05, .maximum = 1.0,
     .comment = "bandwidth search range"},
    {.name = "nhsrch", .integer = &Parameters::nhsrch, .minimum = 100, .maximum = 10000,
     .comment = "bandwidth search grid points"},
    {.name = "ngrid", .integer = &Parameters::ngrid, .minimum = 64, .maximum = 16384, .powerOf2 = true,
     .comment = "time grid points (a power of 2 from 64 to 16384)"},
    {.name = "alpha", .real = &Parameters::alpha, .minimum = 0.8, .maximum = 0.9999,
     .comment = "confidence level of the bootstrap band"},
};

// Reads the configuration file into s.parameters. A file that cannot be
// opened or parsed, or values out of range (all of them reported), stop the
// run.
void read0(State& s, const std::string& path = kConfigFile);

}  // namespace morvek

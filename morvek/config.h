// The configuration file morvek.cfg: one group `cfg` of key = value items,
//
//   &cfg krel = 0.3, rule = 'reflection'   ! a comment
//        ngrid = 4096 /
//
// Keys match without regard to case, items are separated by blanks,
// commas or line ends, a value may stand on the line after its key, and
// a key left out keeps its start value.
#pragma once

#include <string>

#include "morvek/state.h"

namespace morvek {

inline constexpr const char* kConfigFile = "morvek.cfg";

// The largest background window relative to the series length.
inline constexpr double kMaxKrel = 0.5;

// Reads the configuration file into s.parameters. A file that cannot be
// opened or parsed, or values out of range (all of them reported), stop the
// run.
void read0(State& s, const std::string& path = kConfigFile);

}  // namespace morvek

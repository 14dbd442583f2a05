// What the menus of the later Parts share: the entries that lead back to an
// earlier Part. Each menu returns an enum of its own whose values are its
// keys; the key of Part N is its digit.
#pragma once

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// The key of a menu entry whose choice an enum names.
template <class Choice>
constexpr char key(Choice choice) {
  return static_cast<char>(choice);
}

// The Part a choice leads back to (1 to 4); 0 for any other choice.
template <class Choice>
constexpr int partOf(Choice choice) {
  const char k = key(choice);
  return k >= '1' && k <= '4' ? k - '0' : 0;
}

// Appends the entries for the Parts before `part` that the data type passes
// through: only time series have the detection of Part 2, and event times
// have no magnitude classes (Part 3).
void addEarlierParts(Menu& menu, DataType type, int part);

}  // namespace morvek

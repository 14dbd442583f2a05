#include "morvek/menus.h"

namespace morvek {

void addEarlierParts(Menu& menu, DataType type, int part) {
  static constexpr MenuEntry kParts[] = {{'1', "Part 1: Time Interval Extraction         [1]"},
                                         {'2', "Part 2: Extreme Events Detection         [2]"},
                                         {'3', "Part 3: Magnitude Classification         [3]"},
                                         {'4', "Part 4: Risk Estimation                  [4]"}};
  for (int earlier = 1; earlier < part; ++earlier) {
    if (earlier == 2 && type != DataType::ordinary) continue;
    if (earlier == 3 && type == DataType::times) continue;
    menu.entries.push_back(kParts[earlier - 1]);
  }
}

}  // namespace morvek

#include "morvek/console.h"

#include <istream>
#include <ostream>

#include "morvek/numbers.h"

namespace morvek {

void Console::line(std::string_view text) {
  out_ << text << '\n';
}

void Console::blank(int count) {
  for (int i = 0; i < count; ++i) out_ << '\n';
}

void Console::flush() { out_.flush(); }

std::optional<std::string> Console::readLine() {
  // The user must see the question before the program waits.
  out_.flush();
  std::string text;
  if (!std::getline(in_, text)) return std::nullopt;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

void Console::pause(std::string_view invitation) {
  line(invitation);
  if (!readLine()) throw Fatal();
}

std::optional<char> offer(Console& console, const Menu& menu) {
  for (std::string_view text : menu.head) console.line(text);
  for (const MenuEntry& entry : menu.entries) console.line(entry.line);
  const auto answer = console.readLine();
  if (!answer || answer->empty()) return std::nullopt;
  for (const MenuEntry& entry : menu.entries) {
    if (entry.key == answer->front()) return entry.key;
  }
  return std::nullopt;
}

char choose(Console& console, const Menu& menu) {
  return ask([&] { return offer(console, menu); });
}

std::optional<std::vector<double>> readRealsLine(Console& console, int count) {
  const auto answer = console.readLine();
  if (!answer) return std::nullopt;
  return readReals(*answer, count);
}

std::optional<std::vector<int>> readIntsLine(Console& console, int count) {
  const auto answer = console.readLine();
  if (!answer) return std::nullopt;
  return readInts(*answer, count);
}

}  // namespace morvek

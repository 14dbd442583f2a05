#include "morvek/console.h"

#include <istream>
#include <ostream>
#include <streambuf>

#include "morvek/format.h"
#include "morvek/numbers.h"
#include "morvek/progress.h"

namespace morvek {

void Console::line(std::string_view text) {
  out_ << text << '\n';
}

void Console::blank(int count) {
  for (int i = 0; i < count; ++i) out_ << '\n';
}

void Console::flush() { out_.flush(); }

void Console::advise(std::string_view first, std::string_view second) {
  if (advice_ == nullptr) return;
  if (live_ != nullptr) live_->erase();
  out_.flush();  // after the dialog it belongs to
  *advice_ << "morvek: " << first << '\n';
  if (!second.empty()) *advice_ << "  " << second << '\n';
  advice_->flush();
}

std::optional<std::string> Console::readLine() {
  // The user must see the question before the program waits.
  out_.flush();
  using Traits = std::istream::traits_type;
  std::streambuf* input = in_.rdbuf();
  if (!in_.good() || input == nullptr) return std::nullopt;
  std::string text;
  for (;;) {
    const Traits::int_type c = input->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
      in_.setstate(std::ios::eofbit);
      if (text.empty()) return std::nullopt;
      break;
    }
    if (Traits::to_char_type(c) == '\n') break;
    text.push_back(Traits::to_char_type(c));
    if (text.size() == kMaxAnswerLength) {
      // A line end right behind the cut belongs to this piece.
      if (Traits::eq_int_type(input->sgetc(), Traits::to_int_type('\n'))) input->sbumpc();
      break;
    }
  }
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
  if (!answer) return std::nullopt;
  if (answer->empty()) {
    console.advise("an empty answer is not a key of this menu");
    return std::nullopt;
  }
  for (const MenuEntry& entry : menu.entries) {
    if (entry.key == answer->front()) return entry.key;
  }
  console.advise("'" + std::string(1, answer->front()) + "' is not a key of this menu");
  return std::nullopt;
}

char choose(Console& console, const Menu& menu) {
  return ask([&] { return offer(console, menu); });
}

std::optional<double> withinShownBounds(double answer, double lower, double upper) {
  const auto shownAlike = [](double a, double b) { return fmtES(a, 10, 3) == fmtES(b, 10, 3); };
  if (answer < lower) return shownAlike(answer, lower) ? std::optional(lower) : std::nullopt;
  if (answer > upper) return shownAlike(answer, upper) ? std::optional(upper) : std::nullopt;
  return answer;
}

namespace {

// The advisory on an answer outside [lower, upper].
void adviseOutside(Console& console, double answer, double lower, double upper, std::string_view what) {
  const bool below = answer < lower;
  console.advise(fmtShortest(answer) + (below ? " is below the smallest " : " is above the largest ") +
                 std::string(what) + " " + fmtShortest(below ? lower : upper));
}

}  // namespace

void adviseOnRange(Console& console, double left, double right, double first, double last) {
  if (!(left < right)) {
    console.advise("the left boundary must be below the right one");
  } else {
    console.advise("[" + fmtShortest(left) + ", " + fmtShortest(right) + "] holds none of the data, from " +
                   fmtShortest(first) + " to " + fmtShortest(last));
  }
}

int askInt(Console& console, int lower, int upper, std::string_view what, const std::function<void()>& show,
           const std::function<bool(int)>& accept) {
  return ask([&]() -> std::optional<int> {
    show();
    const auto answer = readIntsLine(console, 1);
    if (!answer) return std::nullopt;
    const int value = answer->front();
    if (value < lower || upper < value) {
      adviseOutside(console, value, lower, upper, what);
      return std::nullopt;
    }
    if (accept && !accept(value)) return std::nullopt;
    return value;
  });
}

double askReal(Console& console, double lower, double upper, std::string_view what,
               const std::function<void()>& show) {
  return ask([&]() -> std::optional<double> {
    show();
    const auto answer = readRealsLine(console, 1);
    if (!answer) return std::nullopt;
    const auto taken = withinShownBounds(answer->front(), lower, upper);
    if (!taken) adviseOutside(console, answer->front(), lower, upper, what);
    return taken;
  });
}

namespace {

template <class Read>
auto readLineWith(Console& console, int count, Read read) -> decltype(read("", count, nullptr)) {
  const auto answer = console.readLine();
  if (!answer) return std::nullopt;
  std::string refusal;
  auto values = read(*answer, count, &refusal);
  if (!values) console.advise(refusal);
  return values;
}

}  // namespace

std::optional<std::vector<double>> readRealsLine(Console& console, int count) {
  return readLineWith(console, count, readReals);
}

std::optional<std::vector<int>> readIntsLine(Console& console, int count) {
  return readLineWith(console, count, readInts);
}

}  // namespace morvek

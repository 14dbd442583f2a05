// The console dialog: every question, menu and message goes through a
// Console, which wraps the input and output streams so that whole dialogs
// run in tests with scripted input.
//
// Every answer is exactly one input line. A question allows five attempts;
// a wrong or unreadable answer, or the end of input, is a failed attempt,
// and the fifth failure stops the run. Closed input therefore always ends
// the run within moments instead of hanging.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "morvek/fatal.h"

namespace morvek {

inline constexpr int kAttempts = 5;

// No answer needs more characters than this. A longer input line is read
// as several answers of this length, so that input without line ends (a
// binary file, a device) costs failed attempts rather than all memory.
inline constexpr std::size_t kMaxAnswerLength = 1 << 16;

class Progress;

class Console {
 public:
  // `advice`: where advisories go (standard error); null keeps them back.
  // `progress`: where progress lines go (standard error on a terminal);
  // null shows none.
  Console(std::istream& in, std::ostream& out, std::ostream* advice = nullptr, std::ostream* progress = nullptr)
      : in_(in), out_(out), advice_(advice), progress_(progress) {}

  // Writes one line (text and a line end).
  void line(std::string_view text = {});
  // Writes `count` empty lines.
  void blank(int count);
  // Writes 50 empty lines to clear the screen.
  void clear() { blank(50); }
  void flush();

  // The next input line without its line end (or the next
  // kMaxAnswerLength characters of a longer one); nullopt at the end of
  // input.
  std::optional<std::string> readLine();

  // "Continue with Enter" (or the given invitation): waits for one input
  // line. Closed input stops the run, since nobody is there to continue.
  void pause(std::string_view invitation = "Continue with Enter");

  std::ostream& out() { return out_; }

  // An advisory: one or two lines in plain words that help past a terse
  // message. They never reach the dialog's own stream, which carries the
  // program's texts alone.
  void advise(std::string_view first, std::string_view second = {});

  std::ostream* progressStream() const { return progress_; }
  // The progress line now shown, which an advisory erases first; null for none.
  void track(Progress* live) { live_ = live; }

 private:
  std::istream& in_;
  std::ostream& out_;
  std::ostream* advice_;
  std::ostream* progress_;
  Progress* live_ = nullptr;
};

// Runs `attempt` up to five times until it returns a value; the fifth
// failure stops the run with "Morvek terminates unsuccessfully" alone.
template <class Attempt>
auto ask(Attempt&& attempt) -> std::remove_cvref_t<decltype(*attempt())> {
  for (int i = 0; i < kAttempts; ++i) {
    if (auto answer = attempt()) return *answer;
  }
  throw Fatal();
}

// A menu: lines written before the entries on every attempt, and the
// entries, each a key (the first character of the answer) and its line.
struct MenuEntry {
  char key;
  std::string_view line;
};

struct Menu {
  std::vector<std::string_view> head;
  std::vector<MenuEntry> entries;
};

// One attempt: shows the menu and reads the answer; the key when the
// answer starts with one of the menu's keys (case-sensitively).
std::optional<char> offer(Console& console, const Menu& menu);

// Shows the menu until one of its keys is answered (five attempts) and
// returns that key.
char choose(Console& console, const Menu& menu);

// A prompt shows its bounds rounded (ES10.3). An answer just outside a
// bound that reads the same as the bound in that form is taken as the
// bound, since the user typed what was shown; any other answer outside
// [lower, upper] is refused (nullopt). An infinite bound is no bound.
std::optional<double> withinShownBounds(double answer, double lower, double upper);

// One number within [lower, upper], with five attempts; `show` writes the
// question before each. An integer must be written as one; a real answer is
// taken as withinShownBounds takes it. `what` names the value in the
// advisory on a refused answer ("30 is above the largest window 25").
// `accept`, where given, may still refuse an integer within the bounds,
// with a message of its own.
int askInt(Console& console, int lower, int upper, std::string_view what, const std::function<void()>& show,
           const std::function<bool(int)>& accept = {});
double askReal(Console& console, double lower, double upper, std::string_view what,
               const std::function<void()>& show);

// The advisory on a refused range [left, right] of times that must overlap
// the data's [first, last]: which of the two rules it breaks.
void adviseOnRange(Console& console, double left, double right, double first, double last);

// Reads one line holding at least `count` numbers; nullopt for a failed
// attempt (end of input, too few numbers, an unreadable number), with an
// advisory that says why where there was an answer.
std::optional<std::vector<double>> readRealsLine(Console& console, int count);
std::optional<std::vector<int>> readIntsLine(Console& console, int count);

}  // namespace morvek

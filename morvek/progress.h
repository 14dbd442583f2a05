// A one-line progress indicator for computations that take seconds.
//
// It writes to standard error, and only when standard error is a terminal,
// so that standard output keeps exactly the dialog and piped or scripted
// runs see nothing. Workers on several threads may report at once; the
// line is redrawn at most ten times a second and erased when done.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <mutex>
#include <string>

namespace morvek {

class Console;

class Progress {
 public:
  // `out` null: a silent indicator. `what` names the items counted
  // ("windows"); `total` is their number.
  Progress(std::ostream* out, std::string label, std::string what, long total);
  // On the console's progress stream; an advisory written meanwhile erases
  // the line first, so that the two never share a line.
  Progress(Console& console, std::string label, std::string what, long total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Standard error when it is a terminal, else null.
  static std::ostream* terminal();

  // One more item is done.
  void step();

  // Erases the line now; the next step draws it again.
  void erase();

 private:
  void draw(long done);

  Console* console_ = nullptr;
  std::ostream* out_;
  std::string label_, what_;
  long total_;
  std::atomic<long> done_{0};
  std::mutex drawing_;
  std::chrono::steady_clock::time_point start_, drawn_;
  std::size_t width_ = 0;  // of the line last drawn, for erasing it
};

}  // namespace morvek

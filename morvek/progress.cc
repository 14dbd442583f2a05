#include "morvek/progress.h"

#include "morvek/console.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace morvek {

namespace {
constexpr std::chrono::milliseconds kRedraw{100};
}

Progress::Progress(std::ostream* out, std::string label, std::string what, long total)
    : out_(out),
      label_(std::move(label)),
      what_(std::move(what)),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      drawn_(start_) {}

Progress::Progress(Console& console, std::string label, std::string what, long total)
    : Progress(console.progressStream(), std::move(label), std::move(what), total) {
  console_ = &console;
  console.track(this);
}

Progress::~Progress() {
  erase();
  if (console_ != nullptr) console_->track(nullptr);
}

void Progress::erase() {
  std::lock_guard lock(drawing_);
  if (out_ == nullptr || width_ == 0) return;
  *out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
  width_ = 0;
}

std::ostream* Progress::terminal() { return ::isatty(STDERR_FILENO) ? &std::cerr : nullptr; }

void Progress::step() {
  const long done = ++done_;
  if (out_ == nullptr) return;
  // A worker that finds another one drawing leaves the line to it.
  std::unique_lock lock(drawing_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_ < kRedraw && done != total_) return;
  drawn_ = now;
  draw(done);
}

void Progress::draw(long done) {
  const double seconds = std::chrono::duration<double>(drawn_ - start_).count();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f s", seconds);
  std::string text = label_ + ": " + std::to_string(done) + " of " + std::to_string(total_) + " " +
                     what_ + ", " + elapsed;
  const std::size_t width = text.size();
  if (width < width_) text.append(width_ - width, ' ');
  width_ = std::max(width_, width);
  *out_ << '\r' << text << std::flush;
}

}  // namespace morvek

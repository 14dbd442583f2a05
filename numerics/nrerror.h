// Fatal errors of the numerical toolkit.
//
// A kernel that cannot go on throws NrError. Its message is the one line
// the toolkit writes ("nrerror: ..."), and stop_text() the closing line
// that takes the place of the program's own termination line.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace numerics {

class NrError : public std::runtime_error {
 public:
  NrError(const std::string& line, std::string stop_text)
      : std::runtime_error(line), stop_text_(std::move(stop_text)) {}
  const std::string& stop_text() const { return stop_text_; }

 private:
  std::string stop_text_;
};

}  // namespace numerics

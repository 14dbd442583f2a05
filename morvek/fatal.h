// The one way a Morvek routine stops the run.
//
// A routine that meets a condition the analysis cannot go on from throws
// Fatal with the lines it has to say; main writes them, then the closing
// line, and ends the process with a failure status. Nothing is saved.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "numerics/nrerror.h"

namespace morvek {

inline constexpr const char* kTerminatesUnsuccessfully = "Morvek terminates unsuccessfully";
inline constexpr const char* kTerminatesSuccessfully = "Morvek terminates successfully";
// Starts the line of an exception no routine expected (a fault of Morvek's).
inline constexpr const char* kInternalError = "Internal error: ";

class Fatal : public std::exception {
 public:
  Fatal() = default;
  explicit Fatal(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  explicit Fatal(std::string line) : lines_{std::move(line)} {}

  // Lines to write before "Morvek terminates unsuccessfully".
  const std::vector<std::string>& lines() const { return lines_; }
  const char* what() const noexcept override {
    return lines_.empty() ? kTerminatesUnsuccessfully : lines_.front().c_str();
  }

 private:
  std::vector<std::string> lines_;
};

// The line that closes a run the numerical toolkit stopped: the toolkit's
// own for its checks, the program's for the rest.
inline const char* closingLine(numerics::NrError::Kind kind) {
  using Kind = numerics::NrError::Kind;
  switch (kind) {
    case Kind::assertion:
      return "program terminated by assert1";
    case Kind::sizeMismatch:
      return "program terminated by assert_eq2";
    case Kind::nrerror:
      return "program terminated by nrerror";
    case Kind::runmedMode:
    case Kind::outOfMemory:
      break;
  }
  return kTerminatesUnsuccessfully;
}

// Runs body and returns what it returns; running out of memory in it stops
// the run with the routine's own message.
template <class Body>
decltype(auto) allocating(const char* routine, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  throw Fatal(std::string("Subroutine ") + routine + ": space requested not possible");
}

}  // namespace morvek

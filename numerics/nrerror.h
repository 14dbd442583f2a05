// Fatal errors of the numerical toolkit.
//
// A kernel that cannot go on throws NrError: its message is the one line
// the toolkit writes ("nrerror: ..."), and its kind says what went wrong,
// so that the program can choose the line it closes with.
#pragma once

#include <stdexcept>
#include <string>

namespace numerics {

class NrError : public std::runtime_error {
 public:
  enum class Kind {
    assertion,     // an argument failed a check (a transform's length)
    sizeMismatch,  // two lengths that must agree do not (indexx_sp)
    nrerror,       // a routine ran out of its fixed room (the sorts' stack)
    runmedMode,    // a running median asked for in a mode there is not
    outOfMemory,   // work arrays could not be obtained
  };

  NrError(Kind kind, const std::string& line) : std::runtime_error(line), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace numerics

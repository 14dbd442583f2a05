// Appending summary blocks to a result file that the run has created.
#pragma once

#include <string>
#include <vector>

namespace morvek {

// Appends the lines to the existing file `file`. A file that is missing or
// cannot be opened stops the run with "Error during data file opening"; one
// whose writing fails, with "Error during data file writing: " and its name.
void appendLines(const std::string& file, const std::vector<std::string>& lines);

}  // namespace morvek

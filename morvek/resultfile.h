// Creating a result file and appending blocks to it once the run has
// created it.
//
// Every result file is checked after it is closed: data still buffered are
// written at the close, so a full disk may only show there, and a failed
// file must never be reported as written.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace morvek {

// The first line of every result file, and the label of the threshold in
// the summary above its table, by which morvek-prep knows a result file
// and the threshold it was made with.
inline constexpr std::string_view kResultTitle = "Morvek:  Output";
inline constexpr std::string_view kThresholdLabel = "Threshold z:";

// Creates `file`, replacing an older one, and lets `write` fill it. A file
// that cannot be created stops the run with "Error during data file
// opening"; one whose writing fails, with "Error during data file writing: "
// and its name.
void createWith(const std::string& file, const std::function<void(std::ostream&)>& write);

// Lets `write` append to the existing file `file`. A file that is missing or
// cannot be opened stops the run with "Error during data file opening"; one
// whose writing fails, with "Error during data file writing: " and its name.
void appendWith(const std::string& file, const std::function<void(std::ostream&)>& write);

// Appends the lines to the existing file `file`, failing as appendWith does.
void appendLines(const std::string& file, const std::vector<std::string>& lines);

}  // namespace morvek

#include "morvek/resultfile.h"

#include <fstream>

#include "morvek/fatal.h"

namespace morvek {

namespace {

constexpr const char* kOpeningFailed = "Error during data file opening";

// Closes the file and reports a failure of any write, the flush at the
// close included.
void closeChecked(std::fstream& out, const std::string& file) {
  out.close();
  if (!out) throw Fatal("Error during data file writing: " + file);
}

}  // namespace

void createWith(const std::string& file, const std::function<void(std::ostream&)>& write) {
  std::fstream out(file, std::ios::out | std::ios::trunc);
  if (!out) throw Fatal(kOpeningFailed);
  write(out);
  closeChecked(out, file);
}

void appendWith(const std::string& file, const std::function<void(std::ostream&)>& write) {
  // Opening for reading as well refuses a file that does not exist yet.
  std::fstream out(file, std::ios::in | std::ios::out);
  if (!out) throw Fatal(kOpeningFailed);
  out.seekp(0, std::ios::end);
  write(out);
  closeChecked(out, file);
}

void appendLines(const std::string& file, const std::vector<std::string>& lines) {
  appendWith(file, [&](std::ostream& out) {
    for (const std::string& line : lines) out << line << '\n';
  });
}

}  // namespace morvek

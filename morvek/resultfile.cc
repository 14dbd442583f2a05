#include "morvek/resultfile.h"

#include <fstream>

#include "morvek/fatal.h"

namespace morvek {

void appendLines(const std::string& file, const std::vector<std::string>& lines) {
  // Opening for reading as well refuses a file that does not exist yet.
  std::fstream out(file, std::ios::in | std::ios::out);
  if (!out) throw Fatal("Error during data file opening");
  out.seekp(0, std::ios::end);
  for (const std::string& line : lines) out << line << '\n';
  out.close();
  if (!out) throw Fatal("Error during data file writing: " + file);
}

}  // namespace morvek

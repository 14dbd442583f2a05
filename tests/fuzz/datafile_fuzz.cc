// Fuzzes the data file reader: the first byte picks the data type (its
// value modulo 3: ordinary, extreme, times), the rest is the data file.
// The pre-scan and the read run as the start-up runs them; pauses of the
// time-order report are answered from a few empty lines.
#include <array>
#include <cstdint>
#include <sstream>

#include "morvek/datafile.h"
#include "morvek/format.h"
#include "morvek/startup.h"
#include "numerics/nrerror.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  morvek::fuzz::setUp(argc, argv, "datafile");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morvek;
  if (size == 0) return 0;
  State s;
  s.setting.datatype = std::array{DataType::ordinary, DataType::extreme, DataType::times}[data[0] % 3];
  fuzz::writeFile("data.txt", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  s.setting.inputfile = fmtA("data.txt", 50);  // blank-padded, as the start-up keeps it
  std::istringstream in(std::string(200, '\n'));
  std::ostringstream out;
  Console console(in, out);
  try {
    chsett2(s, console);
    enter(s, Stage::start);
    read1(s, console, ReadOption::values);
  } catch (const Fatal&) {
  } catch (const numerics::NrError&) {
  }
  return 0;
}
